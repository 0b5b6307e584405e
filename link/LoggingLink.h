#pragma once
// A device link that passes every call on to another and logs it with its arguments, its result, how it
// went when the link did not answer, and how long it took (tarvel-cli --verbose and --log, the window's
// diagnostic log). Section contents never reach the log: a read shows its count and result, a write its
// length.
#include "GBPCtrl.h"

#include <QString>
#include <cstdint>
#include <functional>

class LoggingLink : public GBPCtrl {
  public:
    using Log = std::function<void(const QString&)>;
    // Nanoseconds on a clock that only goes forward; the default is the system's steady clock.
    using Clock = std::function<int64_t()>;

    LoggingLink(GBPCtrl& inner, Log log, Clock clock = {});

    int32_t InitGBPMode(uint8_t port) override;
    int32_t EndGBPMode() override;
    int32_t GetNVMFileSize(uint8_t group, uint8_t number) override;
    int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) override;
    int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) override;
    int32_t ClearNVMFile(uint8_t group, uint8_t number) override;
    CallStatus lastCall() const override { return inner_.lastCall(); }

    // "GetNVMFileSize(18, 9) = -100, no answer (10000.4 ms)": one call's line.
    static QString line(const QString& call, int32_t result, CallStatus status, int64_t nanoseconds);

  private:
    // Times call() and logs it under text.
    int32_t logged(const QString& text, const std::function<int32_t()>& call);

    GBPCtrl& inner_;
    Log log_;
    Clock clock_;
};
