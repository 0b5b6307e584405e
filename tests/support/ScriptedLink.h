#pragma once
// A device link for tests: an in-memory phone whose every answer can be staged, recording each call.
#include "GBPCtrl.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct LinkCall {
    std::string op; // "Init", "End", "Size", "Read", "Write", "Clear"
    int port = 0, group = 0, number = 0, count = 0;
};

class ScriptedLink : public GBPCtrl {
  public:
    using Key = std::pair<int, int>; // group, number

    int32_t InitGBPMode(uint8_t port) override;
    int32_t EndGBPMode() override;
    int32_t GetNVMFileSize(uint8_t group, uint8_t number) override;
    int32_t ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) override;
    int32_t WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) override;
    int32_t ClearNVMFile(uint8_t group, uint8_t number) override;

    // The phone's files; a missing key is an empty section.
    std::map<Key, std::vector<uint8_t>> files;
    void put(int group, int number, std::vector<uint8_t> bytes) { files[{group, number}] = std::move(bytes); }

    // Staged answers.
    std::map<int, int32_t> initResults; // by port; a port not listed answers 0 only for port 1
    std::map<Key, int32_t> sizeResults; // overrides the file's size
    std::map<Key, int32_t> readResults; // overrides a whole-file read's count (bytes still copied)
    std::optional<int32_t> writeResult, clearResult;       // a failure leaves the files as they were
    std::function<void(std::vector<uint8_t>&)> alterWrite; // what the phone does to written bytes
    std::function<void(const LinkCall&)> onCall;           // runs at each call, after it is recorded
    // Calls from this one on (0-based, counting every call) get no answer: the result is -100.
    std::optional<std::size_t> noAnswerFrom;
    CallStatus lastCall() const override { return lastStatus_; }

    std::vector<LinkCall> calls;
    int count(const std::string& op) const;
    bool inGbpMode() const { return inGbp_; }

  private:
    // Records the call; false when it gets no answer.
    bool record(LinkCall call);
    bool inGbp_ = false;
    CallStatus lastStatus_ = CallStatus::Answered;
};

// Bytes of a section image: a 20-byte application header, then filler up to size.
std::vector<uint8_t> applicationImage(uint8_t revision, uint8_t version, uint16_t appType,
                                      const std::string& name, int size);
