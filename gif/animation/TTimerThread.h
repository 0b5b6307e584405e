#pragma once

#include "TimerClock.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class QObject;

// Priority given to a timer's worker thread when it is resumed.
enum class TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The worker thread of a TAnimTimer: sleeps the interval, then runs the tick, either on the GUI thread
// (sync mode: the worker waits until the GUI thread has run it) or on the worker itself.
//
// Create and destroy it on the GUI thread (the thread that runs the Qt event loop), or destroy it from
// inside a tick on the worker. Destruction never waits for the GUI thread: a tick handed over but not
// yet run is dropped, and a worker waiting for the GUI thread stops waiting.
class TTimerThread {
  public:
    using Tick = std::function<void()>;
    using ErrorReporter = std::function<void(const QString& text)>;

    // tick runs the owner's tick; it is never called once this object's destructor has started. The
    // thread measures its sleeps with clock.
    explicit TTimerThread(Tick tick, std::shared_ptr<TimerClock> clock = TimerClock::system());
    // Ends the thread (see end()).
    ~TTimerThread();
    TTimerThread(const TTimerThread&) = delete;
    TTimerThread& operator=(const TTimerThread&) = delete;

    // Tells the thread to end and waits until it has (a tick under way finishes first); from inside a
    // tick on the worker it does not wait: the thread ends by itself after the tick. Idempotent; the
    // object stays usable (nothing runs any more) until it is destroyed.
    void end();

    // Suspends the thread, copies the interval into it and resumes it when run is true; otherwise it stays
    // parked. A sleep under way keeps its length. Safe from the GUI thread and from inside a tick.
    void update(uint32_t interval, bool run, TThreadPriority priority);
    void setSyncEvent(bool on);
    // Shows a tick's error on the GUI thread; none set: the error is written as a Qt warning.
    void setErrorReporter(ErrorReporter reporter);

    // From the worker thread: runs job on the GUI thread and waits for it. False when the thread was told
    // to end before the job ran (the job then never runs). From any other thread: runs job at once.
    bool runOnGuiThread(const std::function<void()>& job);
    bool onWorkerThread() const;

    // Called on the worker each time it has handed work to the GUI thread and starts waiting for it.
    // For tests and diagnostics.
    void setHandOffObserver(std::function<void()> observer);

    // The exception the last tick on the worker thread ended with, if any.
    std::exception_ptr lastError() const;

    struct Shared;

  private:
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
    bool started_ = false; // the thread is started at the first resume
    QObject* relay_ = nullptr;
};
