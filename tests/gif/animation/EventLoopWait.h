#pragma once

#include <QEventLoop>
#include <QTimer>

#include <functional>

// Runs the Qt event loop until done() holds or timeoutMs has passed; true when done() held.
// The condition is checked after every few milliseconds of event processing.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(2);
    deadline.start(timeoutMs);
    loop.exec();
    return done();
}
