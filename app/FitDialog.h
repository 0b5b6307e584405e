#pragma once
// "Fit to section": the picture and its fitted GIF side by side, the result playing as the phone will
// show it, with its size against the section's capacity; the size, colour, dithering and frame-dropping
// controls refit it on a worker thread, so the window never waits for a fit.
#include "GifFitter.h"
#include "PictureFile.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

class QCheckBox;
class QLabel;
class QPushButton;
class QSettings;
class QSpinBox;
class TGIFAnimator;

class FitDialog : public QDialog {
    Q_OBJECT
  public:
    // What the user chose; width and height 0 stand for the source's size.
    struct Choices {
        int width = 0, height = 0;
        int colors = 256;
        bool dither = true;
        bool dropFrames = false;
    };
    static FitOptions options(const Choices& choices, int32_t capacity);
    // "1834 of 2048 bytes: 96x72, 64 colours, 1 frame, PSNR 31.2 dB"; a result over the capacity says so.
    static QString summary(const FitResult& result, int32_t capacity);
    // The other side of a box of the source's aspect, when one side is side: at least 1.
    static int keptSide(int side, int sourceSide, int sourceOtherSide);
    // Reads a picture to fit on a worker thread, with the wait cursor: a large animation takes a while to
    // compose, and meanwhile the windows repaint (input waits).
    static PictureLoad readPicture(const QString& path);

    // The last colours, dithering and frame dropping come from settings (group "Fit") when given, and
    // go back there on Upload. The first fit starts at once.
    FitDialog(FitSource source, int32_t capacity, QSettings* settings = nullptr, QWidget* parent = nullptr);
    // Ends a fit under way and waits for it: the worker never outlives the dialog.
    ~FitDialog() override;

    Choices choices() const;
    // The result shown, which answers the current choices unless busy(); nothing before the first.
    const std::optional<FitResult>& fitted() const { return result_; }
    bool busy() const { return shownSerial_ != requestedSerial_; }
    int resultsShown() const { return resultsShown_; }

  signals:
    void resultShown();

  private:
    struct Request {
        uint64_t serial = 0;
        FitOptions options;
    };
    void refit();
    void work();
    void showResult(uint64_t serial, const FitResult& result, const QString& failure);
    void widthChanged(int width);
    void heightChanged(int height);
    void placeResult(int width, int height);
    void remember();

    const FitSource source_;
    const int32_t capacity_;
    QSettings* settings_;
    QLabel* picture_ = nullptr;
    TGIFAnimator* animator_ = nullptr;
    QLabel* summary_ = nullptr;
    QSpinBox* width_ = nullptr;
    QSpinBox* height_ = nullptr;
    QSpinBox* colors_ = nullptr;
    QCheckBox* dither_ = nullptr;
    QCheckBox* drop_ = nullptr;
    QPushButton* upload_ = nullptr;
    std::optional<FitResult> result_;
    uint64_t requestedSerial_ = 0;
    uint64_t shownSerial_ = 0;
    int resultsShown_ = 0;

    // Shared with the worker: only the newest request waits, an older one is dropped.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> pending_;
    bool stop_ = false;
    std::atomic<bool> abandon_{false}; // a newer request or the end: the fit under way stops early
    std::thread worker_;
};
