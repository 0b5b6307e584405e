#include "gif/animation/EventLoopWait.h"
#include "gif/animation/ManualTimerClock.h"

#include "TAnimTimer.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
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

// Runs events until count workers sleep on clock (a tick handed to the GUI thread runs meanwhile).
bool waitForSleepers(const ManualTimerClock& clock, int count) {
    return waitUntil([&] { return clock.sleepers() == count; });
}

// Moves clock by milliseconds once every one of sleepers workers is asleep again.
void advanceWhenAsleep(ManualTimerClock& clock, int sleepers, int milliseconds) {
    ASSERT_TRUE(waitForSleepers(clock, sleepers)) << clock.sleepers() << " workers asleep";
    clock.advance(milliseconds);
}

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
    auto clock = std::make_shared<ManualTimerClock>();
    TickLog reference, zero, disabled;
    std::atomic<int> handOffsWithoutHandler{0};

    TAnimTimer zeroTimer(clock);
    zeroTimer.setInterval(0);
    zeroTimer.setOnTimer(zero.handler());
    TAnimTimer disabledTimer(clock);
    disabledTimer.setInterval(10);
    disabledTimer.setEnabled(false);
    disabledTimer.setOnTimer(disabled.handler());
    TAnimTimer bareTimer(clock);
    bareTimer.setHandOffObserver([&] { ++handOffsWithoutHandler; });
    bareTimer.setInterval(10);

    TAnimTimer referenceTimer(clock);
    referenceTimer.setInterval(10);
    referenceTimer.setOnTimer(reference.handler());
    for (int tick = 1; tick <= 8; ++tick) {
        advanceWhenAsleep(*clock, 1, 10); // only the reference timer's worker runs
        ASSERT_TRUE(waitUntil([&] { return reference.count == tick; })) << reference.count << " ticks";
    }
    EXPECT_EQ(zero.count, 0) << "interval 0 ticked";
    EXPECT_EQ(disabled.count, 0) << "a disabled timer ticked";
    EXPECT_EQ(handOffsWithoutHandler, 0) << "a timer without handler handed ticks to the GUI thread";

    // Parked timers start once all three conditions hold.
    zeroTimer.setInterval(10);
    disabledTimer.setEnabled(true);
    advanceWhenAsleep(*clock, 3, 10);
    EXPECT_TRUE(waitUntil([&] { return zero.count == 1 && disabled.count == 1 && reference.count == 9; }))
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
    for (const uint32_t changed : {40u, 3000u}) {
        SCOPED_TRACE("the interval changes from 600 to " + std::to_string(changed) +
                     " ms during the first sleep");
        auto clock = std::make_shared<ManualTimerClock>();
        TAnimTimer timer(clock);
        std::vector<int64_t> ticks;
        timer.setInterval(600);
        timer.setOnTimer([&](TAnimTimer*) { ticks.push_back(clock->nowMs()); });
        advanceWhenAsleep(*clock, 1, 100);
        timer.setInterval(changed);
        EXPECT_EQ(clock->earliestDeadlineMs(), 600) << "the sleep under way was restarted";

        // One millisecond before the end of the sleep the worker wakes, looks and sleeps on.
        const int wakeups = clock->wakeups();
        clock->advance(499);
        ASSERT_TRUE(waitUntil([&] { return clock->wakeups() > wakeups; }));
        EXPECT_TRUE(ticks.empty()) << "the first sleep was shortened";
        clock->advance(1);
        ASSERT_TRUE(waitUntil([&] { return ticks.size() == 1; }));
        EXPECT_EQ(ticks[0], 600);

        // The next sleep takes the new interval, counted from the end of the tick.
        ASSERT_TRUE(waitForSleepers(*clock, 1));
        EXPECT_EQ(clock->earliestDeadlineMs(), 600 + changed);
        clock->advance(static_cast<int>(changed));
        ASSERT_TRUE(waitUntil([&] { return ticks.size() == 2; }));
        EXPECT_EQ(ticks[1], 600 + changed);
        timer.setEnabled(false);
    }
}

TEST(AnimTimer, SlowHandlerDelaysTheNextTickAndTicksNeverOverlap) {
    auto clock = std::make_shared<ManualTimerClock>();
    TAnimTimer timer(clock);
    struct Span {
        int64_t start, end;
    };
    std::vector<Span> spans;
    int running = 0, overlaps = 0;
    timer.setInterval(50);
    timer.setOnTimer([&](TAnimTimer*) {
        if (++running > 1)
            ++overlaps;
        const int64_t start = clock->nowMs();
        clock->advance(120); // the work of a slow handler
        spans.push_back({start, clock->nowMs()});
        --running;
    });
    for (size_t tick = 1; tick <= 3; ++tick) {
        advanceWhenAsleep(*clock, 1, 50);
        ASSERT_TRUE(waitUntil([&] { return spans.size() == tick; }));
    }
    timer.setEnabled(false);
    EXPECT_EQ(overlaps, 0);
    for (size_t i = 0; i < spans.size(); ++i)
        EXPECT_EQ(spans[i].start, static_cast<int64_t>(50 + 170 * i))
            << "tick " << i << ": each tick should start a full interval after the previous one ended";
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
    auto clock = std::make_shared<ManualTimerClock>();
    auto* timer = new TAnimTimer(clock);
    int ticks = 0;
    timer->setInterval(20);
    timer->setOnTimer([&](TAnimTimer* sender) {
        ++ticks;
        sender->setInterval(10000); // the next sleep is long
    });
    advanceWhenAsleep(*clock, 1, 20);
    ASSERT_TRUE(waitUntil([&] { return ticks == 1; }));
    ASSERT_TRUE(waitForSleepers(*clock, 1));
    EXPECT_EQ(clock->earliestDeadlineMs(), 10020);
    delete timer; // the clock stands still: waiting for the sleep to end would never return
    EXPECT_EQ(clock->sleepsCutShort(), 1);
    EXPECT_EQ(clock->sleepers(), 0);
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
        delete timer; // returns although the GUI thread never takes the tick
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
        // Go on once the GUI thread has started to destroy the timer (which disables it first).
        while (sender->enabled())
            std::this_thread::yield();
        // Using the timer from its own tick during its destruction must still be safe.
        sender->setInterval(20);
        handedOver = sender->runOnGuiThread([] {});
        finished = true;
    });
    ASSERT_EQ(entered.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    delete timer;
    EXPECT_TRUE(finished) << "the timer was freed while its tick was still running";
    EXPECT_FALSE(handedOver) << "a job was handed to the GUI thread by a timer being destroyed";
}
