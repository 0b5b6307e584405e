#include "TAnimTimer.h"

#include <QTimer>
#include <QtDebug>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

TAnimTimer::TAnimTimer(std::shared_ptr<TimerClock> clock)
    : thread_(std::make_unique<TTimerThread>([this] { tick(); }, std::move(clock))) {}

TAnimTimer::~TAnimTimer() {
    *alive_ = false;
    {
        std::lock_guard lock(mutex_);
        destroying_ = true;
        enabled_ = false;
        onTimer_ = nullptr;
    }
    if (windowTimer_) {
        // Destroyed from the window timer's own timeout: let Qt finish the emission first.
        if (inWindowTick_)
            windowTimer_->deleteLater();
        else
            delete windowTimer_;
        windowTimer_ = nullptr;
    }
    // End the thread before freeing it: a tick still running on it may use thread_ until then.
    thread_->end();
    thread_.reset();
}

bool TAnimTimer::enabled() const {
    std::lock_guard lock(mutex_);
    return enabled_;
}

void TAnimTimer::setEnabled(bool on) {
    {
        std::lock_guard lock(mutex_);
        if (enabled_ == on)
            return;
        enabled_ = on;
    }
    update();
}

uint32_t TAnimTimer::interval() const {
    std::lock_guard lock(mutex_);
    return interval_;
}

void TAnimTimer::setInterval(uint32_t milliseconds) {
    {
        std::lock_guard lock(mutex_);
        if (interval_ == milliseconds)
            return;
        interval_ = milliseconds;
    }
    update();
}

bool TAnimTimer::syncEvent() const {
    std::lock_guard lock(mutex_);
    return syncEvent_;
}

void TAnimTimer::setSyncEvent(bool on) {
    std::lock_guard lock(mutex_);
    syncEvent_ = on;
    thread_->setSyncEvent(on);
}

bool TAnimTimer::threaded() const {
    std::lock_guard lock(mutex_);
    return threaded_;
}

void TAnimTimer::setThreaded(bool on) {
    {
        std::lock_guard lock(mutex_);
        if (threaded_ == on)
            return;
        threaded_ = on;
    }
    update();
}

TThreadPriority TAnimTimer::threadPriority() const {
    std::lock_guard lock(mutex_);
    return threadPriority_;
}

void TAnimTimer::setThreadPriority(TThreadPriority priority) {
    std::lock_guard lock(mutex_);
    threadPriority_ = priority;
}

void TAnimTimer::setOnTimer(TNotifyEvent handler) {
    bool changed;
    {
        std::lock_guard lock(mutex_);
        changed = static_cast<bool>(onTimer_) != static_cast<bool>(handler);
        onTimer_ = std::move(handler);
    }
    if (changed)
        update();
}

bool TAnimTimer::hasOnTimer() const {
    std::lock_guard lock(mutex_);
    return static_cast<bool>(onTimer_);
}

void TAnimTimer::setErrorReporter(ErrorReporter reporter) {
    {
        std::lock_guard lock(mutex_);
        reporter_ = reporter;
    }
    thread_->setErrorReporter(std::move(reporter));
}

bool TAnimTimer::runOnGuiThread(const std::function<void()>& job) {
    return thread_->runOnGuiThread(job);
}

bool TAnimTimer::onTimerThread() const {
    return thread_->onWorkerThread();
}

void TAnimTimer::setHandOffObserver(std::function<void()> observer) {
    thread_->setHandOffObserver(std::move(observer));
}

void TAnimTimer::update() {
    std::lock_guard lock(mutex_);
    if (destroying_)
        return;
    const bool run = interval_ > 0 && enabled_ && onTimer_;
    if (threaded_) {
        if (windowTimer_)
            windowTimer_->stop();
        thread_->update(interval_, run, threadPriority_);
        return;
    }
    thread_->update(interval_, false, threadPriority_);
    if (!run) {
        if (windowTimer_)
            windowTimer_->stop();
        return;
    }
    if (!windowTimer_) {
        windowTimer_ = new QTimer;
        QObject::connect(windowTimer_, &QTimer::timeout, [this] { windowTick(); });
    }
    windowTimer_->start(static_cast<int>(std::min<uint32_t>(interval_, INT32_MAX)));
    if (!windowTimer_->isActive())
        throw std::runtime_error("Not enough timers available");
}

void TAnimTimer::tick() {
    TNotifyEvent handler;
    {
        std::lock_guard lock(mutex_);
        if (!enabled_ || destroying_ || !onTimer_)
            return;
        // A copy: the handler may replace itself or destroy the timer.
        handler = onTimer_;
    }
    handler(this);
}

void TAnimTimer::windowTick() {
    ErrorReporter reporter;
    {
        std::lock_guard lock(mutex_);
        reporter = reporter_;
    }
    // The handler may destroy the timer; afterwards only the local copies are used.
    const std::shared_ptr<bool> alive = alive_;
    inWindowTick_ = true;
    try {
        tick();
    } catch (const std::exception& e) {
        if (reporter)
            reporter(QString::fromUtf8(e.what()));
        else
            qWarning("%s", e.what());
    }
    if (*alive)
        inWindowTick_ = false;
}
