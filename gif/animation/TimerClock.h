#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// The time a timer's worker thread measures, and its sleep. The system's steady clock by default; tests
// put in a clock they move by hand, so that the timer's rules can be checked exactly.
class TimerClock {
  public:
    using Time = std::chrono::steady_clock::duration; // since the clock's own start

    virtual ~TimerClock() = default;

    virtual Time now() = 0;
    // Sleeps until the clock reaches deadline, or returns earlier once stop() holds (checked when wake is
    // notified). Called with lock held on the mutex that goes with wake; it is released while sleeping
    // and held again on return.
    virtual void sleepUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Time deadline,
                            const std::function<bool()>& stop) = 0;

    // The system's steady clock, shared by every timer that is given no other.
    static std::shared_ptr<TimerClock> system();
};
