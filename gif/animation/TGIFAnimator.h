#pragma once

#include "GifComposer.h"
#include "TAnimTimer.h"
#include "TGIFImage.h"
#include "TImageControl.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Plays a GIF animation: each frame composed over the frames before it by their disposal methods and
// shown for its own delay (clamped to 50 ms ... 10 s), painted at the top left, centred or stretched.
//
// Events (std::function members, each called on the GUI thread with the animator as sender; set them
// on the GUI thread):
//   OnStart        Animate became true.
//   OnStop         Animate became false (by the user, or at frame 0 with Loop off).
//   OnChange       the image changed (a load, setImage()); OnFrameChanged is not raised then.
//   OnFrameChanged the frame index changed, by a tick or by setFrameIndex(); raised before the frame is
//                  drawn, so the first report after a load names frame 1.
//
// A frame that cannot be decoded while painting leaves no trace and the animation goes on; its error
// goes to the error reporter once per loaded image (not at every tick), on the GUI thread.
//
// Only the part of the logical screen that the control shows is composed, so a step costs in proportion
// to what it draws there, however large the image. While the control is hidden (its window closed) the
// ticks go on but nothing is composed, and the composition and decoded frames are freed.
//
// Threads: with AsyncDrawing off (the default) every tick runs on the GUI thread. With it on, ticks run
// on the timer's thread, which composes the frame there without holding the lock that painting takes;
// a paint that meets a composition under way shows the last finished picture instead of waiting. The
// event, the repaint and the stop at the end of a non-looping animation are handed to the GUI thread.
// Load images through loadImageFromFile/loadImageFromBytes/setImage while AsyncDrawing is on: they hold
// the locks.
class TGIFAnimator : public TImageControl {
  public:
    using TNotifyEvent = std::function<void(TGIFAnimator* sender)>;
    using ErrorReporter = std::function<void(const QString& text)>;

    // The timer interval for frame index of image: 0 unless image has 2 frames or more and index is one
    // of them; else the frame's delay clamped to 50 ... 10000 ms.
    static uint32_t frameDelay(const TGIFImage& image, int index);

    // The timer measures the frame delays with clock (the system's steady clock unless a test gives
    // another).
    explicit TGIFAnimator(QWidget* parent = nullptr,
                          std::shared_ptr<TimerClock> clock = TimerClock::system());
    ~TGIFAnimator() override;

    bool asyncDrawing() const;
    void setAsyncDrawing(bool on);
    bool animate() const { return animate_; }
    void setAnimate(bool on);
    // With a non-empty image the control takes the size of its logical screen, except for the
    // dimensions its alignment takes from the parent.
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool on);
    bool center() const;
    void setCenter(bool on);
    int frameIndex() const;
    // Ignored unless 0 <= index < frame count.
    void setFrameIndex(int index);
    bool loop() const;
    void setLoop(bool on);
    bool stretch() const;
    void setStretch(bool on);
    bool transparent() const;
    void setTransparent(bool on);

    // The owned image; loading it directly restarts the animation at its first frame.
    TGIFImage& image() { return image_; }
    const TGIFImage& image() const { return image_; }
    // Copies other into the owned image.
    void setImage(const TGIFImage& other);
    // Load the owned image under the lock. Errors propagate (EInvalidGraphicOperation, EReadError,
    // std::system_error); after a failed load the animator shows what the image kept, from its start.
    void loadImageFromFile(const std::string& path);
    void loadImageFromBytes(const uint8_t* data, size_t size);

    // The program's standard error report for decoding errors while painting and errors of ticks.
    void setErrorReporter(ErrorReporter reporter);

    const TAnimTimer& timer() const { return timer_; }
    TAnimTimer& timer() { return timer_; }
    // The composition kept for painting (its frame count shows the work done).
    const GifComposer& composer() const { return composer_; }

    TNotifyEvent OnStart;
    TNotifyEvent OnStop;
    TNotifyEvent OnChange;
    TNotifyEvent OnFrameChanged;

  protected:
    bool showsWhatIsBehind() const override;
    void paintImage(QPainter& painter) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // What the control shows of the logical screen: the part to compose, where it goes in the control
    // (the whole control when stretched), and whether the transparent colour is keyed out.
    struct View {
        GifComposer::Area area;
        QRect target;
        bool keyTransparent = true;
    };
    // A finished composition and where it goes in the control.
    struct Picture {
        QImage image;
        QRect target;
    };
    void imageChanged();
    void restartAfterFailedLoad();
    // Runs change (which may notify imageChanged) under the lock; raises OnChange after releasing it.
    void changeUnderLock(const std::function<void()>& change);
    void pictureChanged();
    void applyAutoSize();
    void tick();
    void tickOnWorker();
    bool canTick() const;
    void reportOnce(const std::string& text);
    // Under the lock, on the GUI thread.
    View currentView() const;
    // Composes frame index for view; the picture wraps the composition's memory. A decoding error goes
    // to error. Under composeLock_.
    std::optional<Picture> composePicture(int index, const View& view, std::optional<std::string>& error);
    void releaseMemory();
    // Calls event if set; false when the handler destroyed this animator.
    bool raise(const TNotifyEvent& event);

    bool animate_ = false;
    TGIFImage image_;
    int frameIndex_ = 0;
    bool stretch_ = false;
    bool loop_ = true;
    bool center_ = false;
    bool transparent_ = true;
    bool stepping_ = false;
    // Serialises composition and decoding between the GUI thread and a worker tick; taken after the
    // display lock when both are held, never held while waiting for the GUI thread.
    std::recursive_mutex composeLock_;
    GifComposer composer_;
    // With async drawing: the last picture composed, shown while a worker tick composes the next one.
    std::optional<Picture> lastPicture_;
    View workerView_;         // what a worker tick composes: what the last paint showed
    int imageGeneration_ = 0; // counts image changes, so a worker's picture of an old image is dropped
    std::atomic<bool> onScreen_{false};
    bool asyncDrawing_ = false;
    bool autoSize_ = true;
    bool destroying_ = false;
    bool errorReported_ = false;
    bool changeHeld_ = false; // inside changeUnderLock: OnChange is raised after the lock is released
    bool changePending_ = false;
    ErrorReporter reporter_;
    // Last, so it is destroyed first: its thread ends while the state it may use still exists.
    TAnimTimer timer_;
};
