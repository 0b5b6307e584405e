#pragma once
// The main window: port choice and Reload, the owner-drawn section list, the four section actions,
// About, the status bar and the side panel with information on the selected section. It owns the
// section table and the connected port; the link and the dialogs are passed in.
#include "Dialogs.h"
#include "GBPCtrl.h"
#include "SectionIcons.h"
#include "SectionTable.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QListWidget;
class QPainter;
class QPushButton;
class QStatusBar;

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    TForm1(GBPCtrl& link, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs shown by View and About; they live as long as the window.
    void setViewDialog(QDialog* dialog) { viewDialog_ = dialog; }
    void setAboutDialog(QDialog* dialog) { aboutDialog_ = dialog; }

    // Handlers, named after their control and event.
    void FormCreate();
    void reldClick();
    void ListaClick();
    void ListaDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const;
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void ExpandClick();
    void Button2Click();
    // Rereads one section (the link in GBP mode), updates the total and repaints the list.
    void UpdateSection(uint8_t slot);

    // State the dialogs and tests read.
    const SectionTable& sectionTable() const { return table_; }
    SectionTable& sectionTable() { return table_; }
    uint8_t connectedPort() const { return ConnectedPort; }
    bool panelExpanded() const { return PanelExpanded; }
    bool scanning() const { return scanning_; }
    int selectedSlot() const;
    const SectionIcons& icons() const { return Ikony; }
    GBPCtrl& link() { return link_; }
    Dialogs& dialogs() { return dialogs_; }
    QString statusPanel(int index) const;
    void setStatusPanel(int index, const QString& text);
    QString ext1Caption() const;
    FileDialogState& openDialogState() { return openf; }
    FileDialogState& saveDialogState() { return savef; }

    // The activity panel's text when the phone cannot be put into GBP mode on port.
    static QString gbpErrorText(uint8_t port);

    // Client sizes with the side panel closed and open.
    static constexpr int kNarrowWidth = 297;
    static constexpr int kWideWidth = 481;
    static constexpr int kHeight = 372;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildControls();
    void buildSidePanel();
    // Connects a button's click to a handler through the standard error report.
    void connectHandler(QPushButton* button, void (TForm1::*handler)());
    void guarded(const std::function<void()>& action);
    void setActivity(const QString& text) { setStatusPanel(2, text); }
    void showTotal(int64_t total);
    void setLabel(QLabel* label, const QString& caption);

    GBPCtrl& link_;
    Dialogs& dialogs_;
    QDialog* viewDialog_ = nullptr;
    QDialog* aboutDialog_ = nullptr;

    SectionTable table_;
    SectionIcons Ikony;
    uint8_t ConnectedPort = 0;
    bool PanelExpanded = false;
    bool scanning_ = false;
    bool closePending_ = false;
    int selectedRow_ = -1;
    bool requirementsShown_ = false; // what the last selection gave the Requirements box
    FileDialogState openf;
    FileDialogState savef;

    // Controls, under their short names.
    QComboBox* Port = nullptr;
    QPushButton* reld = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Expand = nullptr;
    QListWidget* Lista = nullptr;
    QPushButton* btn1 = nullptr;
    QPushButton* btn2 = nullptr;
    QPushButton* btn3 = nullptr;
    QPushButton* btn4 = nullptr;
    QStatusBar* Status = nullptr;
    QLabel* statusLabels_[3] = {};
    QFrame* ext0 = nullptr;
    QFrame* ext1 = nullptr;
    QLabel* ext1Label_ = nullptr;
    QGroupBox* ext2 = nullptr;
    QGroupBox* ext3 = nullptr;
    QLabel* Info1 = nullptr;
    QLabel* Info2 = nullptr;
    QLabel* Info3 = nullptr;
    QLabel* Info4 = nullptr;
    QLabel* Info5 = nullptr;
    QLabel* Req1 = nullptr;
    QLabel* Req2 = nullptr;
};
