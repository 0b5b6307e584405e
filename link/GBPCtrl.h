#pragma once
// The device link: the six operations of the phone's service library, under their names and with their
// argument order. Results are passed on unchanged. The windows receive the link they use; main binds
// the backend once at start.
#include <cstdint>

// How the last call went, beside its result. A negative size is an empty section only when the phone
// said so: a call that got no answer says nothing of what the phone holds.
enum class CallStatus {
    Answered, // the result is the library's own
    NoAnswer, // the link broke, timed out or the library crashed
    Busy,     // another program holds the phone
};

class GBPCtrl {
  public:
    virtual ~GBPCtrl() = default;

    // How the last call of the six went; a link that always answers keeps the default.
    virtual CallStatus lastCall() const { return CallStatus::Answered; }

    // 0: the phone is in GBP mode on that COM port; anything else: failure.
    virtual int32_t InitGBPMode(uint8_t port) = 0;
    virtual int32_t EndGBPMode() = 0;
    // 0 or more: size of the file in bytes; negative: no file (an empty section).
    virtual int32_t GetNVMFileSize(uint8_t group, uint8_t number) = 0;
    // count > 0: the first min(count, size) bytes go to buffer; count 0: the whole file, and the
    // result is its length. The buffer must hold 22000 bytes for a count of 0.
    virtual int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) = 0;
    // The file becomes these bytes.
    virtual int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) = 0;
    // The file is removed: the section becomes empty.
    virtual int32_t ClearNVMFile(uint8_t group, uint8_t number) = 0;
};

// Size of the buffers for whole-section transfers (the largest section holds 21504 bytes).
inline constexpr int32_t kTransferBufferSize = 22000;
// The largest file the phone keeps in a section.
inline constexpr int32_t kLargestSection = 21504;
