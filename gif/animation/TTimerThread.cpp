#include "TTimerThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QtDebug>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <vector>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace {

const QEvent::Type kHandOffEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// Work handed to the GUI thread; shared so that neither side's stack holds it.
struct Job {
    std::function<void()> run;
    bool started = false;
    bool done = false;
};

void applyPriority(TThreadPriority priority) {
#ifdef __linux__
    // Threads of the normal scheduling class differ only by their nice value.
    static const int kNice[] = {19, 10, 5, 0, -5, -10, -15};
    // Best effort: raising the priority needs privileges the user may lack.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), kNice[static_cast<int>(priority)]);
#elif defined(_WIN32)
    static const int kLevel[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                 THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                 THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                 THREAD_PRIORITY_TIME_CRITICAL};
    SetThreadPriority(GetCurrentThread(), kLevel[static_cast<int>(priority)]);
#else
    (void)priority;
#endif
}

void report(const TTimerThread::ErrorReporter& reporter, const QString& text) {
    if (reporter)
        reporter(text);
    else
        qWarning("%s", qPrintable(text));
}

} // namespace

struct TTimerThread::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool terminated = false;
    bool parked = true;
    uint32_t interval = 1000;
    TThreadPriority priority = TThreadPriority::tpNormal;
    bool syncEvent = true;
    Tick tick;
    ErrorReporter reporter;
    std::function<void()> handOffObserver;
    QObject* relay = nullptr;
    std::shared_ptr<Job> job;    // handed to the GUI thread, not yet taken
    std::vector<QString> errors; // from ticks on the worker, to be shown on the GUI thread
    int delivering = 0;          // depth of the GUI thread in the relay's event handler (a modal
                                 // report inside a tick nests event loops)
    std::exception_ptr lastError;
    std::thread::id worker;
    std::shared_ptr<TimerClock> clock;

    // Worker side: hands job to the GUI thread and waits until it has run or the thread is ending.
    bool handOff(std::function<void()> run) {
        auto handed = std::make_shared<Job>();
        handed->run = std::move(run);
        std::unique_lock lock(mutex);
        if (terminated)
            return false;
        job = handed;
        auto observer = handOffObserver;
        // The relay outlives the worker: it is deleted only after the thread has ended.
        post();
        lock.unlock();
        if (observer)
            observer();
        lock.lock();
        wake.wait(lock, [&] { return handed->done || terminated; });
        if (job == handed)
            job.reset();
        return handed->done;
    }

    // GUI side: runs the handed job and shows queued errors.
    void deliver() {
        std::unique_lock lock(mutex);
        std::shared_ptr<Job> taken;
        if (!terminated && job && !job->started) {
            taken = job;
            taken->started = true;
        }
        auto pending = std::move(errors);
        errors.clear();
        auto shownBy = reporter;
        ++delivering;
        lock.unlock();
        if (taken) {
            try {
                taken->run();
            } catch (const std::exception& e) {
                report(shownBy, QString::fromUtf8(e.what()));
            } catch (...) {
                // A silent abort: nothing to show.
            }
        }
        lock.lock();
        --delivering;
        if (taken) {
            taken->done = true;
            wake.notify_all();
        }
        lock.unlock();
        for (const QString& text : pending)
            report(shownBy, text);
    }

    void postError(const QString& text) {
        std::unique_lock lock(mutex);
        if (terminated)
            return;
        errors.push_back(text);
        post();
    }

    // Under the mutex, which the relay takes before it reads the event: Qt hands posted events over with
    // a lock of its own that the thread sanitizer cannot see.
    void post() { QCoreApplication::postEvent(relay, new QEvent(kHandOffEvent)); }
};

namespace {

// Lives on the GUI thread and receives the worker's hand-offs as posted events. Posting a bare QEvent
// keeps all data passing through Shared's mutex, which the thread sanitizer can see.
class Relay : public QObject {
  public:
    explicit Relay(std::shared_ptr<TTimerThread::Shared> shared) : shared_(std::move(shared)) {}

    bool event(QEvent* e) override {
        // The job may destroy the timer and with it this relay (deleted later); keep the state alive.
        auto shared = shared_;
        {
            // Pairs with Shared::post(): the worker made this event under the mutex.
            std::lock_guard lock(shared->mutex);
        }
        if (e->type() != kHandOffEvent)
            return QObject::event(e);
        shared->deliver();
        return true;
    }

  private:
    std::shared_ptr<TTimerThread::Shared> shared_;
};

void runWorker(std::shared_ptr<TTimerThread::Shared> s) {
    std::unique_lock lock(s->mutex);
    s->worker = std::this_thread::get_id();
    TThreadPriority applied = TThreadPriority::tpNormal;
    const auto resumed = [&] { return s->terminated || !s->parked; };
    while (!s->terminated) {
        s->wake.wait(lock, resumed);
        if (s->terminated)
            break;
        if (s->priority != applied) {
            applied = s->priority;
            applyPriority(applied);
        }
        // Updates do not cut the sleep short: only the end of the thread does.
        const TimerClock::Time deadline = s->clock->now() + std::chrono::milliseconds(s->interval);
        s->clock->sleepUntil(lock, s->wake, deadline, [&] { return s->terminated; });
        // A thread suspended during its sleep goes on only once it is resumed.
        s->wake.wait(lock, resumed);
        if (s->terminated)
            break;
        TTimerThread::Tick tick = s->tick;
        if (s->syncEvent) {
            lock.unlock();
            s->handOff(tick);
            lock.lock();
            continue;
        }
        lock.unlock();
        std::exception_ptr error;
        QString text;
        try {
            tick();
        } catch (const std::exception& e) {
            error = std::current_exception();
            text = QString::fromUtf8(e.what());
        } catch (...) {
            // A silent abort: nothing to show.
        }
        // The tick may have destroyed the timer; from here on only the shared state is used.
        if (error)
            s->postError(text);
        lock.lock();
        if (error)
            s->lastError = error;
    }
}

} // namespace

TTimerThread::TTimerThread(Tick tick, std::shared_ptr<TimerClock> clock)
    : shared_(std::make_shared<Shared>()) {
    shared_->tick = std::move(tick);
    shared_->clock = std::move(clock);
    relay_ = new Relay(shared_);
    shared_->relay = relay_;
}

TTimerThread::~TTimerThread() {
    end();
}

void TTimerThread::end() {
    if (!relay_)
        return;
    QObject* relay = relay_;
    relay_ = nullptr;
    const bool ownTick = thread_.joinable() && std::this_thread::get_id() == thread_.get_id();
    bool delivering;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->terminated = true;
        shared_->tick = nullptr;
        shared_->job.reset();
        delivering = shared_->delivering > 0;
        if (ownTick)
            relay->deleteLater(); // posts to the GUI thread: under the mutex, as Shared::post() does
    }
    shared_->wake.notify_all();
    if (ownTick) {
        // Ended by its own tick: the thread ends by itself once the tick returns.
        thread_.detach();
        return;
    }
    if (thread_.joinable())
        thread_.join();
    // Ended from inside a tick on the GUI thread: the relay is still in its event handler.
    if (delivering)
        relay->deleteLater();
    else
        delete relay;
}

void TTimerThread::update(uint32_t interval, bool run, TThreadPriority priority) {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->interval = interval;
        shared_->parked = !run;
        shared_->priority = priority;
    }
    if (run && !started_) {
        started_ = true;
        thread_ = std::thread(runWorker, shared_);
        // Publishes thread_ to the worker, which reads it if a tick destroys the timer.
        std::lock_guard lock(shared_->mutex);
    }
    shared_->wake.notify_all();
}

void TTimerThread::setSyncEvent(bool on) {
    std::lock_guard lock(shared_->mutex);
    shared_->syncEvent = on;
}

void TTimerThread::setErrorReporter(ErrorReporter reporter) {
    std::lock_guard lock(shared_->mutex);
    shared_->reporter = std::move(reporter);
}

bool TTimerThread::runOnGuiThread(const std::function<void()>& job) {
    if (!onWorkerThread()) {
        job();
        return true;
    }
    return shared_->handOff(job);
}

bool TTimerThread::onWorkerThread() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->worker == std::this_thread::get_id();
}

void TTimerThread::setHandOffObserver(std::function<void()> observer) {
    std::lock_guard lock(shared_->mutex);
    shared_->handOffObserver = std::move(observer);
}

std::exception_ptr TTimerThread::lastError() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->lastError;
}
