#pragma once
// A device link that passes every call on to another and logs it with its arguments and result
// (tarvel-cli --verbose).
#include "GBPCtrl.h"

#include <QString>
#include <functional>

class LoggingLink : public GBPCtrl {
  public:
    LoggingLink(GBPCtrl& inner, std::function<void(const QString&)> log)
        : inner_(inner), log_(std::move(log)) {}

    int32_t InitGBPMode(uint8_t port) override;
    int32_t EndGBPMode() override;
    int32_t GetNVMFileSize(uint8_t group, uint8_t number) override;
    int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) override;
    int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) override;
    int32_t ClearNVMFile(uint8_t group, uint8_t number) override;
    CallStatus lastCall() const override { return inner_.lastCall(); }

  private:
    int32_t logged(const QString& call, int32_t result);

    GBPCtrl& inner_;
    std::function<void(const QString&)> log_;
};
