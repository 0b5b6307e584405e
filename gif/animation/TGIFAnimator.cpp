#include "TGIFAnimator.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QtDebug>

#include <algorithm>
#include <exception>
#include <optional>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

constexpr uint32_t kShortestDelay = 50;
constexpr uint32_t kLongestDelay = 10000;

GifColor toGifColor(const QColor& color) {
    return {static_cast<uint8_t>(color.red()), static_cast<uint8_t>(color.green()),
            static_cast<uint8_t>(color.blue())};
}

// The picture with the pixels of key made transparent.
QImage withTransparentKey(const QImage& picture, uint32_t key) {
    QImage masked(picture.size(), QImage::Format_ARGB32);
    for (int y = 0; y < picture.height(); ++y) {
        const auto* source = reinterpret_cast<const uint32_t*>(picture.constScanLine(y));
        auto* target = reinterpret_cast<uint32_t*>(masked.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            target[x] = source[x] == key ? 0u : source[x];
    }
    return masked;
}

} // namespace

uint32_t TGIFAnimator::frameDelay(const TGIFImage& image, int index) {
    if (index < 0 || index >= image.frameCount() || image.frameCount() < 2)
        return 0;
    return std::clamp<uint32_t>(image.frame(index).delay(), kShortestDelay, kLongestDelay);
}

TGIFAnimator::TGIFAnimator(QWidget* parent, std::shared_ptr<TimerClock> clock)
    : TImageControl(parent), timer_(std::move(clock)) {
    image_.setOnChange([this] { imageChanged(); });
}

TGIFAnimator::~TGIFAnimator() {
    destroying_ = true;
    OnStart = OnStop = OnChange = OnFrameChanged = nullptr;
    timer_.setEnabled(false);
    timer_.setOnTimer(nullptr);
    image_.setOnChange(nullptr);
    // The timer member goes first and ends its thread; a tick under way finishes before the image goes.
}

bool TGIFAnimator::raise(const TNotifyEvent& event) {
    if (!event)
        return true;
    QPointer<TGIFAnimator> self(this);
    const TNotifyEvent handler = event; // the handler may replace itself or destroy this animator
    handler(this);
    return !self.isNull();
}

bool TGIFAnimator::asyncDrawing() const {
    std::lock_guard guard(*lockHandle());
    return asyncDrawing_;
}

void TGIFAnimator::setAsyncDrawing(bool on) {
    std::lock_guard guard(*lockHandle());
    if (asyncDrawing_ == on)
        return;
    asyncDrawing_ = on;
    timer_.setSyncEvent(!on);
}

void TGIFAnimator::setAnimate(bool on) {
    if (animate_ == on)
        return;
    if (on) {
        timer_.setOnTimer([this](TAnimTimer*) { tick(); });
        timer_.setEnabled(true);
        animate_ = timer_.enabled();
        raise(OnStart);
        return;
    }
    timer_.setEnabled(false);
    timer_.setOnTimer(nullptr);
    animate_ = false;
    if (raise(OnStop))
        pictureChanged();
}

void TGIFAnimator::setAutoSize(bool on) {
    if (autoSize_ == on)
        return;
    autoSize_ = on;
    pictureChanged();
}

bool TGIFAnimator::center() const {
    std::lock_guard guard(*lockHandle());
    return center_;
}

void TGIFAnimator::setCenter(bool on) {
    {
        std::lock_guard guard(*lockHandle());
        if (center_ == on)
            return;
        center_ = on;
    }
    pictureChanged();
    if (animate_)
        repaint();
}

bool TGIFAnimator::stretch() const {
    std::lock_guard guard(*lockHandle());
    return stretch_;
}

void TGIFAnimator::setStretch(bool on) {
    {
        std::lock_guard guard(*lockHandle());
        if (stretch_ == on)
            return;
        stretch_ = on;
    }
    pictureChanged();
    if (animate_)
        repaint();
}

bool TGIFAnimator::transparent() const {
    std::lock_guard guard(*lockHandle());
    return transparent_;
}

void TGIFAnimator::setTransparent(bool on) {
    {
        std::lock_guard guard(*lockHandle());
        if (transparent_ == on)
            return;
        transparent_ = on;
    }
    pictureChanged();
    if (animate_)
        repaint();
}

bool TGIFAnimator::loop() const {
    std::lock_guard guard(*lockHandle());
    return loop_;
}

void TGIFAnimator::setLoop(bool on) {
    std::lock_guard guard(*lockHandle());
    loop_ = on;
}

int TGIFAnimator::frameIndex() const {
    std::lock_guard guard(*lockHandle());
    return frameIndex_;
}

void TGIFAnimator::setFrameIndex(int index) {
    {
        std::lock_guard guard(*lockHandle());
        if (index == frameIndex_ || index < 0 || index >= image_.frameCount())
            return;
        frameIndex_ = index;
        timer_.setInterval(frameDelay(image_, index));
    }
    if (raise(OnFrameChanged))
        pictureChanged();
}

void TGIFAnimator::setImage(const TGIFImage& other) {
    if (&other == &image_)
        return;
    changeUnderLock([&] { image_ = other; }); // notifies: imageChanged()
}

void TGIFAnimator::loadImageFromFile(const std::string& path) {
    changeUnderLock([&] { image_.loadFromFile(path); });
}

void TGIFAnimator::loadImageFromBytes(const uint8_t* data, size_t size) {
    changeUnderLock([&] { image_.loadFromBytes(data, size); });
}

void TGIFAnimator::changeUnderLock(const std::function<void()>& change) {
    {
        std::lock_guard guard(*lockHandle());
        // A worker tick composing the old image finishes first.
        std::lock_guard compose(composeLock_);
        // OnChange waits until the lock is released: its handler may destroy this animator, which waits
        // for a worker tick that may be waiting for the lock.
        changeHeld_ = true;
        try {
            change();
        } catch (...) {
            changeHeld_ = false;
            restartAfterFailedLoad();
            throw;
        }
        changeHeld_ = false;
    }
    if (changePending_) {
        changePending_ = false;
        pictureChanged();
        raise(OnChange);
    }
}

void TGIFAnimator::restartAfterFailedLoad() {
    // A failed load sends no change notification, yet the image has lost what the composition shows.
    composer_.invalidate();
    lastPicture_.reset();
    ++imageGeneration_;
    frameIndex_ = image_.currentFrameIndex();
    errorReported_ = false;
    if (frameIndex_ >= 0)
        timer_.setInterval(frameDelay(image_, frameIndex_));
    pictureChanged();
}

void TGIFAnimator::setErrorReporter(ErrorReporter reporter) {
    reporter_ = reporter;
    timer_.setErrorReporter(std::move(reporter));
}

void TGIFAnimator::imageChanged() {
    {
        std::lock_guard guard(*lockHandle());
        std::lock_guard compose(composeLock_);
        composer_.invalidate();
        lastPicture_.reset();
        ++imageGeneration_;
        frameIndex_ = image_.currentFrameIndex();
        errorReported_ = false;
        if (frameIndex_ >= 0 && image_.frameCount() > 0)
            timer_.setInterval(frameDelay(image_, frameIndex_));
        if (changeHeld_) {
            changePending_ = true;
            return;
        }
    }
    pictureChanged();
    raise(OnChange);
}

void TGIFAnimator::pictureChanged() {
    if (destroying_)
        return;
    if (autoSize_ && !image_.empty())
        applyAutoSize();
    update();
}

void TGIFAnimator::applyAutoSize() {
    int w = image_.screenWidth(), h = image_.screenHeight();
    // A screen above the cap is never composed; the control must not grow to it either.
    if (int64_t{w} * h > GifComposer::kMaxScreenPixels)
        return;
    switch (align()) {
    case TAlign::alTop:
    case TAlign::alBottom:
        w = width();
        break;
    case TAlign::alLeft:
    case TAlign::alRight:
        h = height();
        break;
    case TAlign::alClient:
        w = width();
        h = height();
        break;
    case TAlign::alNone:
        break;
    }
    if (w != width() || h != height())
        resize(w, h);
}

bool TGIFAnimator::canTick() const {
    return shownInParent() && !drawing();
}

void TGIFAnimator::tick() {
    if (timer_.onTimerThread()) {
        tickOnWorker();
        return;
    }
    if (!canTick())
        return;
    // A copy: the handler of OnFrameChanged may destroy this animator while the lock is held.
    const auto lock = lockHandle();
    std::unique_lock guard(*lock);
    const int count = image_.frameCount();
    if (count < 2)
        return;
    frameIndex_ = frameIndex_ >= count - 1 ? 0 : frameIndex_ + 1;
    stepping_ = true;
    if (!raise(OnFrameChanged))
        return;
    repaint();
    stepping_ = false;
    const int shown = frameIndex_;
    if (shown >= 0 && shown < image_.frameCount())
        timer_.setInterval(frameDelay(image_, shown));
    const bool stop = !loop_ && shown == 0;
    guard.unlock();
    if (stop)
        setAnimate(false);
}

void TGIFAnimator::tickOnWorker() {
    if (!canTick())
        return;
    int index;
    View view;
    int generation;
    bool stop;
    {
        std::lock_guard guard(*lockHandle());
        const int count = image_.frameCount();
        if (count < 2)
            return;
        frameIndex_ = frameIndex_ >= count - 1 ? 0 : frameIndex_ + 1;
        index = frameIndex_;
        view = workerView_;
        generation = imageGeneration_;
        timer_.setInterval(frameDelay(image_, frameIndex_));
        stop = !loop_ && frameIndex_ == 0;
    }
    // Composed here without the display lock: a paint meanwhile shows the last picture instead of
    // waiting. The GUI thread's repaint then finds this composition kept.
    std::optional<std::string> error;
    std::optional<Picture> picture;
    if (onScreen_ && view.area.width > 0 && view.area.height > 0) {
        std::lock_guard compose(composeLock_);
        if (onScreen_) {
            try {
                picture = composePicture(index, view, error);
            } catch (const std::exception& e) {
                error = e.what();
            }
            if (picture)
                picture->image = picture->image.copy(); // the composition changes with the next frame
        }
    }
    if (picture) {
        std::lock_guard guard(*lockHandle());
        if (generation == imageGeneration_)
            lastPicture_ = std::move(picture);
    }
    // No lock is held while waiting for the GUI thread, whose paint may be waiting for one.
    timer_.runOnGuiThread([this, error, stop] {
        if (!raise(OnFrameChanged))
            return;
        repaint();
        if (error)
            reportOnce(*error);
        if (stop)
            setAnimate(false);
    });
}

void TGIFAnimator::reportOnce(const std::string& text) {
    if (errorReported_)
        return;
    errorReported_ = true;
    // Not from inside the paint: a modal report would run an event loop in the middle of painting.
    QMetaObject::invokeMethod(
        this,
        [this, message = QString::fromStdString(text)] {
            if (reporter_)
                reporter_(message);
            else
                qWarning("%s", qPrintable(message));
        },
        Qt::QueuedConnection);
}

bool TGIFAnimator::showsWhatIsBehind() const {
    return image_.empty() || image_.transparent();
}

TGIFAnimator::View TGIFAnimator::currentView() const {
    const int w = image_.screenWidth(), h = image_.screenHeight();
    View view;
    view.keyTransparent = transparent_;
    if (stretch_) {
        view.area = {0, 0, w, h};
        view.target = rect();
        return view;
    }
    // Centred: division truncating toward zero, so an image larger than the control shows its middle.
    const int originX = center_ ? (width() - w) / 2 : 0;
    const int originY = center_ ? (height() - h) / 2 : 0;
    const int left = std::max(0, -originX), top = std::max(0, -originY);
    const int right = std::min(w, width() - originX), bottom = std::min(h, height() - originY);
    view.area = {left, top, std::max(0, right - left), std::max(0, bottom - top)};
    view.target = QRect(originX + left, originY + top, view.area.width, view.area.height);
    return view;
}

std::optional<TGIFAnimator::Picture> TGIFAnimator::composePicture(int index, const View& view,
                                                                  std::optional<std::string>& error) {
    bool composed = false;
    try {
        composed = composer_.compose(image_, index, view.area);
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (const GifStatus status = composer_.takeStatus(); status != GifStatus::ok)
        error = gifStatusText(status);
    if (!composed)
        return std::nullopt;
    const GifComposer::Area area = composer_.area();
    QImage image(reinterpret_cast<const uchar*>(composer_.pixels().data()), area.width, area.height,
                 area.width * 4, QImage::Format_RGB32);
    if (view.keyTransparent && composer_.transparentColor())
        image = withTransparentKey(image, GifComposer::argb(*composer_.transparentColor()));
    return Picture{image, view.target};
}

void TGIFAnimator::paintImage(QPainter& painter) {
    if (image_.empty() || image_.screenWidth() < 1 || image_.screenHeight() < 1)
        return;
    const View view = currentView();
    workerView_ = view;
    std::optional<std::string> error;
    std::unique_lock compose(composeLock_, std::try_to_lock);
    if (compose.owns_lock()) {
        composer_.setWindowColor(toGifColor(palette().color(QPalette::Base)));
        std::optional<Picture> picture;
        try {
            picture = composePicture(frameIndex_, view, error);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (picture)
            painter.drawImage(picture->target, picture->image);
    } else if (lastPicture_) {
        // A worker tick is composing the next frame: show the last one rather than wait.
        painter.drawImage(lastPicture_->target, lastPicture_->image);
    }
    if (error)
        reportOnce(*error);
}

void TGIFAnimator::showEvent(QShowEvent* event) {
    onScreen_ = true;
    TImageControl::showEvent(event);
}

void TGIFAnimator::hideEvent(QHideEvent* event) {
    onScreen_ = false;
    releaseMemory();
    TImageControl::hideEvent(event);
}

void TGIFAnimator::releaseMemory() {
    {
        std::lock_guard guard(*lockHandle());
        std::lock_guard compose(composeLock_);
        composer_.release();
        image_.releaseBitmaps();
        lastPicture_.reset();
    }
#if defined(__GLIBC__)
    // Hand what was freed back to the system, not only to this process's heap.
    malloc_trim(0);
#endif
}
