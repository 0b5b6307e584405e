#include "LoggingLink.h"

#include <chrono>

namespace {

QString statusText(CallStatus status) {
    switch (status) {
    case CallStatus::NoAnswer:
        return "no answer";
    case CallStatus::Busy:
        return "busy";
    default:
        return {};
    }
}

} // namespace

LoggingLink::LoggingLink(GBPCtrl& inner, Log log, Clock clock)
    : inner_(inner), log_(std::move(log)), clock_(std::move(clock)) {
    if (!clock_)
        clock_ = [] {
            return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                            std::chrono::steady_clock::now().time_since_epoch())
                                            .count());
        };
}

QString LoggingLink::line(const QString& call, int32_t result, CallStatus status, int64_t nanoseconds) {
    const QString how = statusText(status);
    return QString("%1 = %2%3 (%4 ms)")
        .arg(call)
        .arg(result)
        .arg(how.isEmpty() ? QString() : ", " + how)
        .arg(static_cast<double>(nanoseconds) / 1e6, 0, 'f', 1);
}

int32_t LoggingLink::logged(const QString& text, const std::function<int32_t()>& call) {
    const int64_t start = clock_();
    const int32_t result = call();
    const int64_t end = clock_();
    log_(line(text, result, inner_.lastCall(), end - start));
    return result;
}

int32_t LoggingLink::InitGBPMode(uint8_t port) {
    return logged(QString("InitGBPMode(%1)").arg(port), [&] { return inner_.InitGBPMode(port); });
}

int32_t LoggingLink::EndGBPMode() {
    return logged("EndGBPMode()", [&] { return inner_.EndGBPMode(); });
}

int32_t LoggingLink::GetNVMFileSize(uint8_t group, uint8_t number) {
    return logged(QString("GetNVMFileSize(%1, %2)").arg(group).arg(number),
                  [&] { return inner_.GetNVMFileSize(group, number); });
}

int32_t LoggingLink::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    return logged(QString("ReadNVMFile(%1, %2, buffer, %3)").arg(group).arg(number).arg(count),
                  [&] { return inner_.ReadNVMFile(group, number, buffer, count); });
}

int32_t LoggingLink::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    return logged(QString("WriteNVMFile(%1, %2, buffer, %3)").arg(group).arg(number).arg(length),
                  [&] { return inner_.WriteNVMFile(group, number, buffer, length); });
}

int32_t LoggingLink::ClearNVMFile(uint8_t group, uint8_t number) {
    return logged(QString("ClearNVMFile(%1, %2)").arg(group).arg(number),
                  [&] { return inner_.ClearNVMFile(group, number); });
}
