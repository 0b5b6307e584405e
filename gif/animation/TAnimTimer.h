#pragma once

#include "TTimerThread.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class QTimer;

// A timer that calls OnTimer each time Interval milliseconds have passed.
//
// Threaded (the default): a worker thread measures the time. With SyncEvent on (the default) each tick
// runs on the GUI thread while the worker waits for it, so ticks never overlap and a slow handler delays
// the next sleep; with SyncEvent off the tick runs on the worker. Threaded off: a QTimer on the GUI
// thread. The worker is parked while Interval is 0, the timer is disabled or no handler is set.
//
// An exception thrown by OnTimer goes to the error reporter, on the GUI thread; the timer goes on.
// Create, use and destroy the timer on the GUI thread. It may also be destroyed from inside its own tick,
// on either thread: it never waits for the GUI thread while being destroyed.
class TAnimTimer {
  public:
    using TNotifyEvent = std::function<void(TAnimTimer* sender)>;
    using ErrorReporter = std::function<void(const QString& text)>;

    // The worker thread measures time with clock (the system's steady clock unless a test gives another).
    explicit TAnimTimer(std::shared_ptr<TimerClock> clock = TimerClock::system());
    ~TAnimTimer();
    TAnimTimer(const TAnimTimer&) = delete;
    TAnimTimer& operator=(const TAnimTimer&) = delete;

    bool enabled() const;
    void setEnabled(bool on);
    uint32_t interval() const; // milliseconds
    void setInterval(uint32_t milliseconds);
    bool syncEvent() const;
    void setSyncEvent(bool on);
    bool threaded() const;
    void setThreaded(bool on);
    // Takes effect at the next resume of the worker thread.
    TThreadPriority threadPriority() const;
    void setThreadPriority(TThreadPriority priority);

    // Called at each tick with the timer as sender; nullptr for none.
    void setOnTimer(TNotifyEvent handler);
    bool hasOnTimer() const;

    // Shows errors of ticks (the program's standard error report); none set: Qt warnings.
    void setErrorReporter(ErrorReporter reporter);

    // From inside a tick on the worker thread: runs job on the GUI thread and waits for it; false when the
    // timer was destroyed first (job not run). On any other thread the job runs at once.
    bool runOnGuiThread(const std::function<void()>& job);
    bool onTimerThread() const;

    // For tests: called on the worker each time it hands work to the GUI thread and starts waiting.
    void setHandOffObserver(std::function<void()> observer);

  private:
    void update();
    void tick();
    void windowTick();

    mutable std::mutex mutex_; // the properties are read by the worker thread
    bool enabled_ = true;
    uint32_t interval_ = 1000;
    bool syncEvent_ = true;
    bool threaded_ = true;
    TThreadPriority threadPriority_ = TThreadPriority::tpNormal;
    TNotifyEvent onTimer_;
    ErrorReporter reporter_;
    bool destroying_ = false;

    std::unique_ptr<TTimerThread> thread_;
    QTimer* windowTimer_ = nullptr; // while Threaded is off
    bool inWindowTick_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true); // false once destruction starts
};
