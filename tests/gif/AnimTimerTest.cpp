#include "gif/EventLoopWait.h"

#include "TAnimTimer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace {

bool onGuiThread() {
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Counts ticks of a timer; safe to read from the GUI thread while the worker ticks.
struct TickLog {
    std::atomic<int> count{0};
    std::atomic<int> offGuiThread{0};
    std::atomic<int> onGui{0};
    TAnimTimer::TNotifyEvent handler() {
        return [this](TAnimTimer*) {
            ++count;
            if (onGuiThread())
                ++onGui;
            else
                ++offGuiThread;
        };
    }
};

} // namespace

TEST(AnimTimer, StartsEnabledWithOneSecondOnTheGuiThreadAndNoHandler) {
    TAnimTimer timer;
    EXPECT_TRUE(timer.enabled());
    EXPECT_EQ(timer.interval(), 1000u);
    EXPECT_TRUE(timer.syncEvent());
    EXPECT_TRUE(timer.threaded());
    EXPECT_EQ(timer.threadPriority(), TThreadPriority::tpNormal);
    EXPECT_FALSE(timer.hasOnTimer());
}

TEST(AnimTimer, DeliversNoTickWithIntervalZeroDisabledOrWithoutHandler) {
    TickLog reference, zero, disabled;
    std::atomic<int> handOffsWithoutHandler{0};

    TAnimTimer zeroTimer;
    zeroTimer.setInterval(0);
    zeroTimer.setOnTimer(zero.handler());
    TAnimTimer disabledTimer;
    disabledTimer.setInterval(10);
    disabledTimer.setEnabled(false);
    disabledTimer.setOnTimer(disabled.handler());
    TAnimTimer bareTimer;
    bareTimer.setHandOffObserver([&] { ++handOffsWithoutHandler; });
    bareTimer.setInterval(10);

    TAnimTimer referenceTimer;
    referenceTimer.setInterval(10);
    referenceTimer.setOnTimer(reference.handler());
    ASSERT_TRUE(waitUntil([&] { return reference.count >= 8; }))
        << "the reference timer ticked " << reference.count << " times";
    EXPECT_EQ(zero.count, 0) << "interval 0 ticked";
    EXPECT_EQ(disabled.count, 0) << "a disabled timer ticked";
    EXPECT_EQ(handOffsWithoutHandler, 0) << "a timer without handler handed ticks to the GUI thread";

    // Parked timers start once all three conditions hold.
    zeroTimer.setInterval(10);
    disabledTimer.setEnabled(true);
    EXPECT_TRUE(waitUntil([&] { return zero.count >= 2 && disabled.count >= 2; }))
        << "after resuming: " << zero.count << " and " << disabled.count << " ticks";
}

TEST(AnimTimer, TicksRunOnTheGuiThreadWithSyncEventAndOnTheWorkerWithout) {
    TickLog sync, async;
    TAnimTimer syncTimer;
    syncTimer.setInterval(5);
    syncTimer.setOnTimer(sync.handler());
    TAnimTimer asyncTimer;
    asyncTimer.setSyncEvent(false);
    asyncTimer.setInterval(5);
    asyncTimer.setOnTimer(async.handler());

    ASSERT_TRUE(waitUntil([&] { return sync.count >= 5 && async.count >= 5; }));
    syncTimer.setEnabled(false);
    asyncTimer.setEnabled(false);
    EXPECT_EQ(sync.offGuiThread, 0) << "sync ticks off the GUI thread";
    EXPECT_EQ(async.onGui, 0) << "async ticks on the GUI thread";
}

TEST(AnimTimer, WorkerTickHandsJobsToTheGuiThreadAndWaits) {
    TAnimTimer timer;
    timer.setSyncEvent(false);
    std::atomic<int> jobsOnGui{0}, jobsElsewhere{0}, ranBeforeReturn{0};
    timer.setOnTimer([&](TAnimTimer* sender) {
        bool ran = false;
        const bool delivered = sender->runOnGuiThread([&] {
            ran = true;
            (onGuiThread() ? jobsOnGui : jobsElsewhere)++;
        });
        if (delivered && ran)
            ++ranBeforeReturn;
    });
    timer.setInterval(5);
    ASSERT_TRUE(waitUntil([&] { return ranBeforeReturn >= 3; })) << ranBeforeReturn << " jobs completed";
    timer.setEnabled(false);
    EXPECT_EQ(jobsElsewhere, 0) << "a job ran off the GUI thread";
}

TEST(AnimTimer, IntervalChangeTakesEffectAtTheNextSleep) {
    // A shorter interval does not cut the sleep under way short.
    {
        TAnimTimer timer;
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        timer.setInterval(600);
        timer.setOnTimer([&](TAnimTimer*) { ticks.push_back(clock.elapsed()); });
        clock.start();
        ASSERT_TRUE(waitUntil([&] { return clock.elapsed() >= 100; }));
        timer.setInterval(40);
        ASSERT_TRUE(waitUntil([&] { return ticks.size() >= 2; }));
        timer.setEnabled(false);
        EXPECT_GE(ticks[0], 590) << "the first sleep was shortened";
        EXPECT_LT(ticks[1] - ticks[0], 500) << "the new interval was not used for the next sleep";
    }
    // A longer interval neither lengthens nor restarts it.
    {
        TAnimTimer timer;
        QElapsedTimer clock;
        std::vector<qint64> ticks;
        timer.setInterval(300);
        timer.setOnTimer([&](TAnimTimer*) { ticks.push_back(clock.elapsed()); });
        clock.start();
        ASSERT_TRUE(waitUntil([&] { return clock.elapsed() >= 100; }));
        timer.setInterval(3000);
        ASSERT_TRUE(waitUntil([&] { return !ticks.empty(); }));
        timer.setEnabled(false);
        EXPECT_LT(ticks[0], 1500) << "the sleep under way was restarted or lengthened";
    }
}

TEST(AnimTimer, SlowHandlerDelaysTheNextTickAndTicksNeverOverlap) {
    TAnimTimer timer;
    QElapsedTimer clock;
    struct Span {
        qint64 start, end;
    };
    std::vector<Span> spans;
    int running = 0, overlaps = 0;
    timer.setInterval(50);
    timer.setOnTimer([&](TAnimTimer*) {
        if (++running > 1)
            ++overlaps;
        const qint64 start = clock.elapsed();
        QThread::msleep(120); // the work of a slow handler
        spans.push_back({start, clock.elapsed()});
        --running;
    });
    clock.start();
    ASSERT_TRUE(waitUntil([&] { return spans.size() >= 3; }));
    timer.setEnabled(false);
    EXPECT_EQ(overlaps, 0);
    for (size_t i = 1; i < spans.size(); ++i)
        EXPECT_GE(spans[i].start - spans[i - 1].end, 45)
            << "tick " << i << " started " << spans[i].start - spans[i - 1].end
            << " ms after the previous one ended; wanted a full interval";
}

TEST(AnimTimer, TickErrorsGoToTheReporterOnTheGuiThreadAndTheTimerGoesOn) {
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode == 0 ? "sync ticks" : mode == 1 ? "worker ticks" : "window timer");
        TAnimTimer timer;
        std::vector<QString> reports;
        int reportsOffGui = 0;
        std::atomic<int> ticks{0};
        timer.setErrorReporter([&](const QString& text) {
            if (!onGuiThread())
                ++reportsOffGui;
            reports.push_back(text);
        });
        timer.setSyncEvent(mode != 1);
        timer.setThreaded(mode != 2);
        timer.setInterval(5);
        timer.setOnTimer([&](TAnimTimer*) {
            if (++ticks <= 2)
                throw std::runtime_error("Image is too large");
        });
        ASSERT_TRUE(waitUntil([&] { return ticks >= 4 && reports.size() >= 2; }))
            << ticks << " ticks, " << reports.size() << " reports";
        timer.setEnabled(false);
        EXPECT_EQ(reports[0], "Image is too large");
        EXPECT_EQ(reportsOffGui, 0) << "a report was shown off the GUI thread";
    }
}

TEST(AnimTimer, WindowTimerTicksOnTheGuiThreadWhenNotThreaded) {
    TickLog log;
    std::atomic<int> handOffs{0};
    TAnimTimer timer;
    timer.setHandOffObserver([&] { ++handOffs; });
    timer.setThreaded(false);
    timer.setInterval(5);
    timer.setOnTimer(log.handler());
    ASSERT_TRUE(waitUntil([&] { return log.count >= 3; }));
    timer.setEnabled(false);
    EXPECT_EQ(log.offGuiThread, 0);
    EXPECT_EQ(handOffs, 0) << "the worker thread ran although Threaded is off";

    // Back to the thread.
    timer.setEnabled(true);
    timer.setThreaded(true);
    ASSERT_TRUE(waitUntil([&] { return handOffs >= 2; })) << handOffs << " hand-offs after Threaded on";
}

TEST(AnimTimerDestruction, WhileSleepingEndsAtOnce) {
    auto* timer = new TAnimTimer;
    int ticks = 0;
    timer->setInterval(20);
    timer->setOnTimer([&](TAnimTimer* sender) {
        ++ticks;
        sender->setInterval(10000); // the next sleep is long
    });
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }));
    QElapsedTimer clock;
    clock.start();
    delete timer;
    EXPECT_LT(clock.elapsed(), 1000) << "destruction waited for the sleep to end";
}

TEST(AnimTimerDestruction, WhileATickWaitsForTheGuiThreadDropsTheTick) {
    for (bool workerTick : {false, true}) {
        SCOPED_TRACE(workerTick ? "a worker tick waiting for a GUI job" : "a tick handed to the GUI thread");
        auto* timer = new TAnimTimer;
        std::promise<void> handedOver;
        std::atomic<bool> observed{false};
        std::atomic<int> guiRuns{0};
        std::atomic<int> deliveredJobs{0}, cancelledJobs{0};
        timer->setHandOffObserver([&] {
            if (!observed.exchange(true))
                handedOver.set_value();
        });
        if (workerTick) {
            timer->setSyncEvent(false);
            timer->setOnTimer([&](TAnimTimer* sender) {
                (sender->runOnGuiThread([&] { ++guiRuns; }) ? deliveredJobs : cancelledJobs)++;
            });
        } else {
            timer->setOnTimer([&](TAnimTimer*) { ++guiRuns; });
        }
        timer->setInterval(5);
        // The GUI thread does not run events here, so the hand-off stays pending.
        ASSERT_EQ(handedOver.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
        QElapsedTimer clock;
        clock.start();
        delete timer;
        EXPECT_LT(clock.elapsed(), 1000) << "destruction waited for the GUI thread";
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(guiRuns, 0) << "the dropped tick ran after the timer was destroyed";
        if (workerTick) {
            EXPECT_EQ(cancelledJobs, 1) << "runOnGuiThread did not report the cancelled job";
            EXPECT_EQ(deliveredJobs, 0);
        }
    }
}

TEST(AnimTimerDestruction, FromInsideItsOwnTickInEveryMode) {
    for (int mode = 0; mode < 3; ++mode) {
        SCOPED_TRACE(mode == 0 ? "sync tick" : mode == 1 ? "worker tick" : "window timer");
        auto* timer = new TAnimTimer;
        std::atomic<int> ticks{0};
        std::atomic<bool> destroyed{false};
        timer->setSyncEvent(mode != 1);
        timer->setThreaded(mode != 2);
        timer->setInterval(5);
        timer->setOnTimer([&](TAnimTimer* sender) {
            ++ticks;
            delete sender;
            destroyed = true;
        });
        ASSERT_TRUE(waitUntil([&] { return destroyed.load(); }));
        // A second timer's ticks show that time went on without another tick of the first.
        TickLog reference;
        TAnimTimer referenceTimer;
        referenceTimer.setInterval(5);
        referenceTimer.setOnTimer(reference.handler());
        ASSERT_TRUE(waitUntil([&] { return reference.count >= 5; }));
        EXPECT_EQ(ticks, 1) << "the destroyed timer went on ticking";
    }
}

TEST(AnimTimerDestruction, WhileAWorkerTickRunsWaitsForItToEnd) {
    auto* timer = new TAnimTimer;
    std::promise<void> entered;
    std::atomic<bool> inside{false}, finished{false}, handedOver{true};
    timer->setSyncEvent(false);
    timer->setInterval(5);
    timer->setOnTimer([&](TAnimTimer* sender) {
        if (inside.exchange(true))
            return;
        entered.set_value();
        QThread::msleep(100); // work on the worker while the GUI thread destroys the timer
        // The timer is being destroyed now: using it from its own tick must still be safe.
        sender->setInterval(20);
        handedOver = sender->runOnGuiThread([] {});
        finished = true;
    });
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    delete timer;
    EXPECT_TRUE(finished) << "the timer was freed while its tick was still running";
    EXPECT_FALSE(handedOver) << "a job was handed to the GUI thread by a timer being destroyed";
}
