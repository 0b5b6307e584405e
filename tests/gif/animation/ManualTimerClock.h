#pragma once

#include "TimerClock.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// A timer clock that stands still until the test moves it. Sleepers are woken when it passes their
// deadline; the test can see who sleeps until when, so it moves time only once a worker is asleep.
class ManualTimerClock final : public TimerClock {
  public:
    Time now() override { return now_.load(); }

    void sleepUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Time deadline,
                    const std::function<bool()>& stop) override {
        Sleeper me{lock.mutex(), &wake, deadline};
        // The clock's own mutex is never taken while holding a sleeper's, nor the other way round while
        // sleeping: advance() takes them in the order clock, sleeper.
        lock.unlock();
        {
            std::lock_guard guard(mutex_);
            sleepers_.push_back(&me);
        }
        lock.lock();
        while (!stop() && now_.load() < deadline) {
            wake.wait(lock);
            ++wakeups_;
        }
        const bool cutShort = now_.load() < deadline;
        lock.unlock();
        {
            std::lock_guard guard(mutex_);
            sleepers_.erase(std::find(sleepers_.begin(), sleepers_.end(), &me));
            if (cutShort)
                ++sleepsCutShort_;
        }
        lock.lock();
    }

    // Moves time on by step and wakes every sleeper, so those whose deadline has come go on.
    void advance(Time step) {
        std::lock_guard guard(mutex_);
        now_ = now_.load() + step;
        for (Sleeper* sleeper : sleepers_) {
            std::lock_guard wakeGuard(*sleeper->mutex);
            sleeper->wake->notify_all();
        }
    }
    void advance(int milliseconds) { advance(std::chrono::milliseconds(milliseconds)); }

    int64_t nowMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(now_.load()).count();
    }
    // Threads asleep now, and the earliest deadline among them in milliseconds.
    int sleepers() const {
        std::lock_guard guard(mutex_);
        return static_cast<int>(sleepers_.size());
    }
    std::optional<int64_t> earliestDeadlineMs() const {
        std::lock_guard guard(mutex_);
        std::optional<int64_t> earliest;
        for (const Sleeper* sleeper : sleepers_) {
            const int64_t ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(sleeper->deadline).count();
            earliest = earliest ? std::min(*earliest, ms) : ms;
        }
        return earliest;
    }
    // Times a sleeper was woken (and looked at the clock again); sleeps ended before their deadline.
    int wakeups() const { return wakeups_.load(); }
    int sleepsCutShort() const {
        std::lock_guard guard(mutex_);
        return sleepsCutShort_;
    }

  private:
    struct Sleeper {
        std::mutex* mutex;
        std::condition_variable* wake;
        Time deadline;
    };

    mutable std::mutex mutex_;
    std::vector<Sleeper*> sleepers_;
    std::atomic<Time> now_{Time::zero()};
    std::atomic<int> wakeups_{0};
    int sleepsCutShort_ = 0;
};
