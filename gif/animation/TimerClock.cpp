#include "TimerClock.h"

namespace {

class SteadyClock final : public TimerClock {
  public:
    Time now() override { return std::chrono::steady_clock::now().time_since_epoch(); }

    void sleepUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, Time deadline,
                    const std::function<bool()>& stop) override {
        wake.wait_until(lock, std::chrono::steady_clock::time_point(deadline), stop);
    }
};

} // namespace

std::shared_ptr<TimerClock> TimerClock::system() {
    static const std::shared_ptr<TimerClock> clock = std::make_shared<SteadyClock>();
    return clock;
}
