#pragma once
// The View section dialog: reads the selected section from the phone and shows it as a running GIF
// animation with a frame counter, or as a text or hex dump. Created once at start, shown modally by
// the main window's View button, which hands it a view request that also reads the section.
#include "SectionIcons.h"
#include "SectionViewer.h"

#include <QDialog>
#include <array>
#include <cstdint>

class Dialogs;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QWidget;
class TGIFAnimator;

class TForm2 : public QDialog, public SectionViewer {
    Q_OBJECT
  public:
    // owner: the window the dialog is centred on and modal to.
    TForm2(QWidget* owner, const SectionIcons& icons, Dialogs& dialogs);
    ~TForm2() override;

    // Reads the section and, when the phone answered, shows the dialog modally.
    void view(const ViewRequest& request) override;

    // Handlers.
    // Reads and shows the section; false when the phone could not be put into GBP mode.
    bool FormShow();
    void FillMemo();
    void trybChange() { FillMemo(); }
    void gifFrameChanged();
    void Button1Click();

    // The banner behind the header lines: a smooth run from blue at the left to white at the right.
    static QImage bannerImage();
    // The content type line of a section that is not a GIF, from its TargetFirmware.
    static QString typeLine(const std::string& targetFirmware);

    // What the last opening read.
    int32_t viewLength() const { return viewLength_; }
    TGIFAnimator& animator() { return *gif; }

    static constexpr int kClientWidth = 449;
    static constexpr int kClientHeight = 314;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    // The bytes the dumps and the decoder use: the read's count limited to the buffer.
    std::size_t usedLength() const;
    void activity(const QString& text) {
        if (request_.setActivity)
            request_.setActivity(text);
    }

    const SectionIcons& icons_;
    Dialogs& dialogs_;
    ViewRequest request_;
    std::array<uint8_t, kTransferBufferSize> viewBuffer_{};
    int32_t viewLength_ = 0;
    bool opening_ = false; // between the View click and the dialog's closing

    QLabel* Image1 = nullptr;
    QLabel* ntyp = nullptr;
    QLabel* nnzw = nullptr;
    QLabel* rozm = nullptr;
    QLabel* grafik = nullptr;
    QWidget* viegif = nullptr;
    TGIFAnimator* gif = nullptr;
    QWidget* viedat = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QComboBox* tryb = nullptr;
    QLabel* ramka = nullptr;
};
