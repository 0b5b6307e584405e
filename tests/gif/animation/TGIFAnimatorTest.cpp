#include "gif/AnimTestImages.h"
#include "gif/animation/EventLoopWait.h"
#include "gif/animation/ManualTimerClock.h"

#include "GifErrors.h"
#include "TGIFAnimator.h"
#include "support/HostileGifs.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

using namespace animtest;

namespace {

bool onGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

std::string joined(const std::vector<std::string>& events) {
    std::string all;
    for (const auto& e : events)
        all += (all.empty() ? "" : ", ") + e;
    return all;
}

// Waits until sleepers workers sleep on clock, then moves it to the earliest end of their sleeps.
testing::AssertionResult advanceToNextTick(ManualTimerClock& clock, int sleepers = 1) {
    if (!waitUntil([&] { return clock.sleepers() == sleepers; }))
        return testing::AssertionFailure() << clock.sleepers() << " workers asleep, wanted " << sleepers;
    clock.advance(static_cast<int>(*clock.earliestDeadlineMs() - clock.nowMs()));
    return testing::AssertionSuccess();
}

// Waits for done() after a tick, moving the clock on again whenever the workers sleep without it: a
// worker's tick that meets a paint under way on the GUI thread is skipped.
bool tickedUntil(ManualTimerClock& clock, const std::function<bool()>& done, int sleepers = 1) {
    return waitUntil([&] {
        const auto deadline = clock.earliestDeadlineMs();
        if (!done() && clock.sleepers() == sleepers && deadline && *deadline > clock.nowMs())
            clock.advance(static_cast<int>(*deadline - clock.nowMs()));
        return done();
    });
}

// A form holding one animator on a clock of its own (or one it shares), with a log of its events.
struct Form {
    std::shared_ptr<ManualTimerClock> clock;
    QWidget window;
    TGIFAnimator* gif;
    std::vector<std::string> events;
    int offGuiThread = 0;

    explicit Form(bool show = true, std::shared_ptr<ManualTimerClock> sharedClock = nullptr)
        : clock(sharedClock ? std::move(sharedClock) : std::make_shared<ManualTimerClock>()),
          gif(new TGIFAnimator(&window, clock)) {
        window.resize(100, 100);
        gif->OnFrameChanged = [this](TGIFAnimator* sender) {
            log("frame " + std::to_string(sender->frameIndex()));
        };
        gif->OnStart = [this](TGIFAnimator*) { log("start"); };
        gif->OnStop = [this](TGIFAnimator*) { log("stop"); };
        gif->OnChange = [this](TGIFAnimator*) { log("change"); };
        if (show)
            window.show();
    }
    void log(const std::string& text) {
        if (!onGuiThread())
            ++offGuiThread;
        events.push_back(text);
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : events)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
    void load(const std::vector<uint8_t>& bytes) { gif->loadImageFromBytes(bytes.data(), bytes.size()); }

    // Ends the worker's sleep and waits for the frame event of that tick (handed to the GUI thread).
    testing::AssertionResult nextFrame(int sleepers = 1) {
        const int before = count("frame");
        if (auto advanced = advanceToNextTick(*clock, sleepers); !advanced)
            return advanced;
        if (!tickedUntil(
                *clock, [&] { return count("frame") > before; }, sleepers))
            return testing::AssertionFailure() << "no frame event; events: " << joined(events);
        return testing::AssertionSuccess();
    }
    // The same for a tick that raises no event: the worker sleeps again only once the GUI thread has
    // run the tick.
    testing::AssertionResult silentTick() {
        if (auto advanced = advanceToNextTick(*clock); !advanced)
            return advanced;
        if (!waitUntil([&] {
                const auto deadline = clock->earliestDeadlineMs();
                return deadline && *deadline > clock->nowMs();
            }))
            return testing::AssertionFailure() << "the worker did not come round to sleep again";
        return testing::AssertionSuccess();
    }
};

std::vector<uint8_t> frames(int count, uint16_t delay = 0) {
    std::vector<Frame> list;
    for (int i = 0; i < count; ++i)
        list.push_back({0, 0, 2, 2, static_cast<uint8_t>(i % 3 + 1), 1, std::nullopt, delay});
    return gif(2, 2, list);
}

QColor pixel(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

std::string name(const QColor& c) {
    return c.name().toStdString();
}

} // namespace

TEST(GifAnimator, FrameDelayIsClampedToFiftyMillisecondsAndTenSeconds) {
    const uint16_t stored[] = {0, 1, 4, 5, 7, 1000, 1001, 2000}; // hundredths of a second
    const uint32_t want[] = {50, 50, 50, 50, 70, 10000, 10000, 10000};
    std::vector<Frame> list;
    for (uint16_t delay : stored)
        list.push_back({0, 0, 1, 1, 1, 1, std::nullopt, delay});
    TGIFImage image;
    load(image, gif(1, 1, list));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(TGIFAnimator::frameDelay(image, i), want[i])
            << "a stored delay of " << stored[i] * 10 << " ms";
    EXPECT_EQ(TGIFAnimator::frameDelay(image, -1), 0u);
    EXPECT_EQ(TGIFAnimator::frameDelay(image, 8), 0u);
    TGIFImage single;
    load(single, frames(1, 100));
    EXPECT_EQ(TGIFAnimator::frameDelay(single, 0), 0u) << "a single frame must park the timer";

    Form form;
    form.load(frames(2, 2000));
    EXPECT_EQ(form.gif->timer().interval(), 10000u) << "the timer does not take the first frame's delay";
}

TEST(GifAnimator, StartsStoppedWithLoopTransparentAndAutoSizeAndAParkedTimer) {
    Form form(false);
    EXPECT_FALSE(form.gif->animate());
    EXPECT_EQ(form.gif->frameIndex(), 0);
    EXPECT_TRUE(form.gif->loop());
    EXPECT_TRUE(form.gif->transparent());
    EXPECT_TRUE(form.gif->autoSize());
    EXPECT_FALSE(form.gif->center());
    EXPECT_FALSE(form.gif->stretch());
    EXPECT_FALSE(form.gif->asyncDrawing());
    EXPECT_TRUE(form.gif->image().empty());
    EXPECT_EQ(form.gif->size(), QSize(105, 105));
    EXPECT_TRUE(form.gif->timer().enabled());
    EXPECT_EQ(form.gif->timer().interval(), 1000u);
    EXPECT_FALSE(form.gif->timer().hasOnTimer());
}

TEST(GifAnimator, TwoFrameImageReportsOneThenZeroOnTheGuiThread) {
    Form form;
    form.load(frames(2));
    form.gif->setAnimate(true);
    for (int tick = 1; tick <= 2; ++tick) {
        ASSERT_TRUE(form.nextFrame());
        EXPECT_EQ(form.clock->nowMs(), 50 * tick) << "a stored delay of 0 is shown for 50 ms";
    }
    EXPECT_EQ(joined(form.events), "change, start, frame 1, frame 0");
    EXPECT_EQ(form.offGuiThread, 0);
}

TEST(GifAnimator, OneFrameImageNeverTicks) {
    Form single;
    Form reference(true, single.clock);
    single.load(frames(1));
    reference.load(frames(2));
    single.gif->setAnimate(true);
    reference.gif->setAnimate(true);
    for (int tick = 1; tick <= 3; ++tick)
        ASSERT_TRUE(reference.nextFrame(1)) << "only the reference's worker may sleep";
    EXPECT_EQ(single.count("frame"), 0) << joined(single.events);
    EXPECT_EQ(single.gif->timer().interval(), 0u);
}

TEST(GifAnimator, WithLoopOffReportsEachFrameThenStopsAtFrameZero) {
    for (bool async : {false, true}) {
        SCOPED_TRACE(async ? "async drawing" : "drawing on the GUI thread");
        Form form;
        form.load(frames(3));
        form.gif->setAsyncDrawing(async);
        form.gif->setLoop(false);
        form.gif->setAnimate(true);
        for (int tick = 1; tick <= 3; ++tick)
            ASSERT_TRUE(form.nextFrame()) << "tick " << tick;
        ASSERT_TRUE(waitUntil([&] { return form.count("stop") == 1; })) << joined(form.events);
        EXPECT_EQ(joined(form.events), "change, start, frame 1, frame 2, frame 0, stop");
        EXPECT_FALSE(form.gif->animate());
        EXPECT_FALSE(form.gif->timer().hasOnTimer());
        EXPECT_EQ(form.offGuiThread, 0) << "events were raised off the GUI thread";
    }
}

TEST(GifAnimator, NewImageRestartsAtFrameZeroWithoutFrameChanged) {
    Form form;
    form.load(frames(3));
    form.gif->setAnimate(true);
    ASSERT_TRUE(form.nextFrame());
    ASSERT_TRUE(form.nextFrame());
    ASSERT_EQ(form.gif->frameIndex(), 2);
    form.events.clear();
    form.load(frames(4, 30));
    EXPECT_EQ(joined(form.events), "change");
    EXPECT_EQ(form.gif->frameIndex(), 0);
    EXPECT_EQ(form.gif->timer().interval(), 300u);
    EXPECT_TRUE(form.gif->animate()) << "loading must leave Animate as it was";
    EXPECT_EQ(form.gif->composer().cacheIndex(), -1) << "the old composition was kept";

    TGIFImage other; // the same through setImage
    load(other, frames(2));
    form.events.clear();
    form.gif->setImage(other);
    EXPECT_EQ(joined(form.events), "change");
    EXPECT_EQ(form.gif->image().frameCount(), 2);
}

TEST(GifAnimator, TicksGoOnWhileTheFormIsHiddenButNotWhileTheControlIs) {
    Form form;
    form.load(frames(2));
    form.window.hide();
    form.gif->setAnimate(true);
    for (int tick = 1; tick <= 3; ++tick)
        ASSERT_TRUE(form.nextFrame()) << "no ticks while the form is hidden";

    form.gif->hide();
    const int before = form.count("frame");
    for (int tick = 1; tick <= 3; ++tick)
        ASSERT_TRUE(form.silentTick());
    EXPECT_EQ(form.count("frame"), before) << "a hidden control went on ticking";

    Form orphan(false); // no parent window at all
    orphan.gif->setParent(nullptr);
    orphan.load(frames(2));
    orphan.gif->setAnimate(true);
    for (int tick = 1; tick <= 3; ++tick)
        ASSERT_TRUE(orphan.silentTick());
    EXPECT_EQ(orphan.count("frame"), 0);
    delete orphan.gif;
}

TEST(GifAnimator, SetFrameIndexRefusesIndexesOutsideTheImageAndReportsTheChange) {
    Form form;
    form.load(frames(3, 20));
    form.events.clear();
    form.gif->setFrameIndex(3);
    form.gif->setFrameIndex(-1);
    form.gif->setFrameIndex(0);
    EXPECT_TRUE(form.events.empty()) << joined(form.events);
    form.gif->setFrameIndex(2);
    EXPECT_EQ(joined(form.events), "frame 2");
    EXPECT_EQ(form.gif->timer().interval(), 200u);
}

TEST(GifAnimator, AutoSizeTakesTheScreenSizeExceptWhatTheAlignmentFixes) {
    Form form;
    form.load(gif(7, 5, {{0, 0, 7, 5}}));
    EXPECT_EQ(form.gif->size(), QSize(7, 5));
    form.gif->setAlign(TAlign::alTop);
    EXPECT_EQ(form.gif->size(), QSize(100, 5));
    form.gif->setAlign(TAlign::alClient);
    form.load(gif(9, 9, {{0, 0, 9, 9}}));
    EXPECT_EQ(form.gif->size(), QSize(100, 100));
    form.window.resize(120, 80);
    EXPECT_EQ(form.gif->geometry(), QRect(0, 0, 120, 80)) << "the control does not follow its parent";

    form.gif->setAlign(TAlign::alNone); // a screen above the composition's cap is not taken on
    form.load(gif(65535, 1025, {{0, 0, 1, 1}}));
    EXPECT_EQ(form.gif->size(), QSize(120, 80));
}

namespace {

// An 8 x 8 image whose every pixel has its own colour, index y * 8 + x.
std::vector<uint8_t> numbered(uint8_t transparentIndex = 255) {
    std::vector<uint8_t> pixels;
    for (int i = 0; i < 64; ++i)
        pixels.push_back(static_cast<uint8_t>(i));
    GifBuilder builder;
    builder.screen(8, 8, GifBuilder::palette(64));
    builder.graphicControl(10, 0,
                           transparentIndex == 255 ? std::nullopt : std::optional<uint8_t>(transparentIndex));
    GifImageSpec frameSpec;
    frameSpec.width = frameSpec.height = 8;
    frameSpec.pixels = pixels;
    builder.image(frameSpec).trailer();
    return builder.bytes();
}

QColor numberedColor(int x, int y) {
    const GifRgb c = GifBuilder::palette(64)[static_cast<size_t>(y * 8 + x)];
    return QColor(c.r, c.g, c.b);
}

} // namespace

TEST(GifAnimatorPainting, PlacesThePictureAtTheTopLeftCentredOrStretched) {
    Form form;
    form.gif->setAutoSize(false);
    form.load(numbered());
    form.gif->setGeometry(0, 0, 12, 12);
    const QColor parentColor = form.gif->color();

    QImage shot = form.gif->grab().toImage();
    EXPECT_EQ(pixel(shot, 0, 0), numberedColor(0, 0));
    EXPECT_EQ(pixel(shot, 7, 7), numberedColor(7, 7));
    EXPECT_EQ(pixel(shot, 9, 9), parentColor) << "outside the picture: " << name(pixel(shot, 9, 9));

    form.gif->setCenter(true);
    shot = form.gif->grab().toImage();
    EXPECT_EQ(pixel(shot, 2, 2), numberedColor(0, 0));
    EXPECT_EQ(pixel(shot, 9, 9), numberedColor(7, 7));
    EXPECT_EQ(pixel(shot, 0, 0), parentColor);

    form.gif->setStretch(true); // wins over Center
    form.gif->setGeometry(0, 0, 16, 16);
    shot = form.gif->grab().toImage();
    EXPECT_EQ(pixel(shot, 0, 0), numberedColor(0, 0));
    EXPECT_EQ(pixel(shot, 15, 15), numberedColor(7, 7));
    EXPECT_EQ(pixel(shot, 5, 3), numberedColor(2, 1));
}

TEST(GifAnimatorPainting, CentredImageLargerThanTheControlShowsItsMiddle) {
    Form form;
    form.gif->setAutoSize(false);
    form.gif->setCenter(true);
    form.load(numbered());
    form.gif->setGeometry(0, 0, 3, 3); // (3 - 8) / 2 truncates to -2
    const QImage shot = form.gif->grab().toImage();
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(pixel(shot, x, y), numberedColor(x + 2, y + 2))
                << "control pixel (" << x << "," << y << ") is " << name(pixel(shot, x, y));
}

TEST(GifAnimatorPainting, TransparentPixelsShowTheParentsBackground) {
    Form form;
    QPalette palette = form.window.palette();
    palette.setColor(QPalette::Window, QColor(200, 0, 200));
    form.window.setPalette(palette);
    form.window.setAutoFillBackground(true);
    form.load(numbered(9)); // pixel (1,1) is transparent
    form.gif->move(10, 10);

    QImage shot = form.window.grab().toImage();
    EXPECT_EQ(pixel(shot, 11, 11), QColor(200, 0, 200)) << "got " << name(pixel(shot, 11, 11));
    EXPECT_EQ(pixel(shot, 12, 11), numberedColor(2, 1));

    form.gif->setTransparent(false); // the transparent colour is painted as it is
    shot = form.window.grab().toImage();
    EXPECT_EQ(pixel(shot, 11, 11), numberedColor(1, 1)) << "got " << name(pixel(shot, 11, 11));
}

TEST(GifAnimatorPainting, OpaqueImageShowsTheWindowColourWhereNoFrameHasDrawn) {
    Form form;
    QPalette palette = form.gif->palette();
    palette.setColor(QPalette::Base, QColor(10, 20, 30));
    form.gif->setPalette(palette);
    form.load(gif(4, 4, {{0, 0, 2, 2}}));
    const QImage shot = form.gif->grab().toImage();
    EXPECT_EQ(pixel(shot, 3, 3), QColor(10, 20, 30)) << "got " << name(pixel(shot, 3, 3));
    EXPECT_EQ(pixel(shot, 0, 0), QColor(255, 0, 0));
}

TEST(GifAnimatorPainting, ComposesOnlyWhatTheControlShowsAndFreesItWhenHidden) {
    Form form;
    form.window.resize(449, 250);
    form.gif->setAutoSize(false);
    form.gif->setCenter(true);
    form.gif->setGeometry(0, 0, 449, 250);
    // Frames of 8192 x 8191 taken off again after showing: the frames within the image limit stay.
    EXPECT_THROW(form.load(hostile::gif(hostile::Kind::PreviousAtTheCap, 200)), EInvalidGraphicOperation);
    ASSERT_EQ(form.gif->image().frameCount(), 4);
    const GifComposer::Area middle{3871, 3971, 449, 250}; // (449 - 8192) / 2 = -3871 and so on
    for (int step = 1; step <= 8; ++step) {
        const int64_t written = form.gif->composer().pixelsWritten();
        const int64_t drawn = form.gif->composer().framesDrawn();
        form.gif->setFrameIndex(step % 4);
        form.gif->grab();
        EXPECT_EQ(form.gif->composer().area(), middle) << "step " << step;
        EXPECT_EQ(form.gif->composer().framesDrawn() - drawn, 1) << "step " << step;
        EXPECT_LE(form.gif->composer().pixelsWritten() - written, 3 * 449 * 250) << "step " << step;
    }
    EXPECT_GT(form.gif->image().heldPixels(), 0);

    form.window.hide(); // the dialog closes: its memory goes back
    EXPECT_EQ(form.gif->composer().pixels().capacity(), 0u);
    EXPECT_EQ(form.gif->image().heldPixels(), 0);
    form.window.show();
    form.gif->grab();
    EXPECT_EQ(form.gif->composer().cacheIndex(), 0) << "shown again, it composes the frame it is at";
}

TEST(GifAnimatorPainting, UndecodableFrameIsReportedOncePerImageAndTheAnimationGoesOn) {
    Frame first{0, 0, 2, 2, 1, 1, std::nullopt, 0};
    first.localTable = true;
    Frame tableless{0, 0, 1, 1, 2, 1, std::nullopt, 0}; // no colour table anywhere
    const auto bytes = gif(2, 2, {first, tableless, first}, 0, false);

    Form form;
    std::vector<QString> reports;
    form.gif->setErrorReporter([&](const QString& text) { reports.push_back(text); });
    form.load(bytes);
    form.gif->setAnimate(true);
    for (int tick = 1; tick <= 7; ++tick)
        ASSERT_TRUE(form.nextFrame()) << "tick " << tick;
    QCoreApplication::processEvents(); // the report is queued behind the paint
    ASSERT_EQ(reports.size(), 1u) << "reports while the animation ran twice through the broken frame";
    EXPECT_EQ(reports[0], "Wrong number of colors; must be a power of 2");

    form.load(bytes); // a new image: its error is reported again, once
    for (int tick = 1; tick <= 6; ++tick)
        ASSERT_TRUE(form.nextFrame()) << "tick " << tick;
    QCoreApplication::processEvents();
    EXPECT_EQ(reports.size(), 2u);
}

TEST(GifAnimatorLifetime, DestroyedFromItsOwnFrameChangedEvent) {
    for (bool async : {false, true}) {
        SCOPED_TRACE(async ? "async drawing" : "drawing on the GUI thread");
        Form form;
        form.load(frames(3));
        form.gif->setAsyncDrawing(async);
        QPointer<TGIFAnimator> watch(form.gif);
        form.gif->OnFrameChanged = [&](TGIFAnimator* sender) { delete sender; };
        form.gif->setAnimate(true);
        ASSERT_TRUE(advanceToNextTick(*form.clock));
        ASSERT_TRUE(tickedUntil(*form.clock, [&] { return watch.isNull(); }));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // The timer's thread and its relay to the GUI thread hold the clock while they exist.
        EXPECT_EQ(form.clock.use_count(), 1) << "the timer's thread outlived the animator";
    }
}

TEST(GifAnimatorLifetime, DestroyedWhileAWorkerTickWaitsForTheGuiThread) {
    Form form;
    form.load(frames(3));
    form.gif->setAsyncDrawing(true);
    std::promise<void> handedOver;
    std::atomic<bool> once{false};
    form.gif->timer().setHandOffObserver([&] {
        if (!once.exchange(true))
            handedOver.set_value();
    });
    form.gif->setAnimate(true);
    ASSERT_TRUE(advanceToNextTick(*form.clock));
    // The GUI thread runs no events from here, so the worker keeps waiting for it.
    ASSERT_EQ(handedOver.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    delete form.gif;
    QCoreApplication::processEvents();
    EXPECT_EQ(form.count("frame"), 0) << "the event of a destroyed animator was raised";
}

TEST(GifAnimatorLifetime, DestroyedWhileAnimatingOnEitherThread) {
    for (bool async : {false, true}) {
        Form form;
        form.load(frames(3));
        form.gif->setAsyncDrawing(async);
        form.gif->setAnimate(true);
        ASSERT_TRUE(form.nextFrame());
        ASSERT_TRUE(form.nextFrame());
        delete form.gif;
        EXPECT_EQ(form.clock.use_count(), 1) << "the timer's thread outlived the animator";
    }
}

TEST(GifAnimatorLifetime, FailedLoadRestartsOnWhatTheImageKeptWithoutOnChange) {
    Form form;
    form.load(frames(3));
    form.gif->setAnimate(true);
    ASSERT_TRUE(form.nextFrame());
    ASSERT_TRUE(form.nextFrame());
    ASSERT_EQ(form.gif->frameIndex(), 2);
    form.events.clear();
    std::vector<uint8_t> bad = frames(3);
    bad[3] = '9'; // GIF99a
    try {
        form.load(bad);
        FAIL() << "a GIF99a file loaded";
    } catch (const EInvalidGraphicOperation& e) {
        EXPECT_STREQ(e.what(), "Unknown GIF version");
    }
    EXPECT_EQ(form.gif->frameIndex(), -1);
    EXPECT_EQ(form.gif->composer().cacheIndex(), -1) << "the old composition is still shown";
    EXPECT_EQ(form.count("change"), 0);
    const QImage shot = form.gif->grab().toImage(); // an empty image paints only the background
    EXPECT_EQ(shot.size(), form.gif->size());
}

TEST(GifAnimatorLifetime, DestroyedFromOnChangeWhileAWorkerTicks) {
    Form form;
    form.load(frames(3));
    form.gif->setAsyncDrawing(true);
    form.gif->setAnimate(true);
    ASSERT_TRUE(form.nextFrame());
    ASSERT_TRUE(form.nextFrame());
    QPointer<TGIFAnimator> watch(form.gif);
    form.gif->OnChange = [](TGIFAnimator* sender) { delete sender; };
    form.load(frames(2));
    EXPECT_TRUE(watch.isNull()) << "OnChange was not raised after the load";
}
