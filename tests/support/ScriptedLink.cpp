#include "ScriptedLink.h"

#include <algorithm>
#include <cstring>

bool ScriptedLink::record(LinkCall call) {
    calls.push_back(call);
    if (onCall)
        onCall(call);
    const bool answered = !noAnswerFrom || calls.size() <= *noAnswerFrom;
    lastStatus_ = answered ? CallStatus::Answered : CallStatus::NoAnswer;
    return answered;
}

namespace {
constexpr int32_t kNoAnswer = -100;
}

int ScriptedLink::count(const std::string& op) const {
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const LinkCall& c) { return c.op == op; }));
}

int32_t ScriptedLink::InitGBPMode(uint8_t port) {
    if (!record({"Init", port}))
        return kNoAnswer;
    auto it = initResults.find(port);
    const int32_t result = it != initResults.end() ? it->second : (port == 1 ? 0 : -1);
    if (result == 0)
        inGbp_ = true;
    return result;
}

int32_t ScriptedLink::EndGBPMode() {
    if (!record({"End"}))
        return kNoAnswer;
    inGbp_ = false;
    return 0;
}

int32_t ScriptedLink::GetNVMFileSize(uint8_t group, uint8_t number) {
    if (!record({"Size", 0, group, number}))
        return kNoAnswer;
    if (auto it = sizeResults.find({group, number}); it != sizeResults.end())
        return it->second;
    auto f = files.find({group, number});
    return f == files.end() ? -1 : static_cast<int32_t>(f->second.size());
}

int32_t ScriptedLink::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    if (!record({"Read", 0, group, number, count}))
        return kNoAnswer;
    auto f = files.find({group, number});
    int32_t n = 0;
    if (f != files.end()) {
        const auto size = static_cast<int32_t>(f->second.size());
        n = count == 0 ? std::min(size, kTransferBufferSize) : std::min(count, size);
        std::memcpy(buffer, f->second.data(), static_cast<std::size_t>(n));
    } else {
        n = -1;
    }
    if (count == 0)
        if (auto it = readResults.find({group, number}); it != readResults.end())
            return it->second;
    return n;
}

int32_t ScriptedLink::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    if (!record({"Write", 0, group, number, length}))
        return kNoAnswer;
    if (writeResult && *writeResult != 0)
        return *writeResult;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    std::vector<uint8_t> data(bytes, bytes + std::max(length, 0));
    if (alterWrite)
        alterWrite(data);
    files[{group, number}] = std::move(data);
    return writeResult.value_or(0);
}

int32_t ScriptedLink::ClearNVMFile(uint8_t group, uint8_t number) {
    if (!record({"Clear", 0, group, number}))
        return kNoAnswer;
    if (clearResult && *clearResult != 0)
        return *clearResult;
    files.erase({group, number});
    return 0;
}

std::vector<uint8_t> applicationImage(uint8_t revision, uint8_t version, uint16_t appType,
                                      const std::string& name, int size) {
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max(size, 20)), 0x5A);
    bytes[0] = revision;
    bytes[1] = version;
    bytes[2] = static_cast<uint8_t>(appType & 0xFF);
    bytes[3] = static_cast<uint8_t>(appType >> 8);
    for (int i = 0; i < 16; ++i)
        bytes[4 + i] = i < static_cast<int>(name.size()) ? static_cast<uint8_t>(name[i]) : 0;
    bytes.resize(static_cast<std::size_t>(size));
    return bytes;
}
