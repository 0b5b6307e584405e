#include "BridgeProtocol.h"

#include <algorithm>
#include <cstring>

namespace BridgeProtocol {

namespace {

constexpr char kMagic[4] = {'G', 'B', 'P', 'B'};
constexpr std::size_t kHelloSize = 8;
constexpr std::size_t kHelloAnswerHead = 16;

void put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

Decoded malformed(std::string error) {
    return {DecodeStatus::Malformed, 0, std::move(error)};
}

Decoded complete(std::size_t used) {
    return {DecodeStatus::Complete, used, {}};
}

bool knownOp(uint8_t op) {
    return op >= uint8_t(Op::Init) && op <= uint8_t(Op::Clear);
}

// Which fields an operation uses; the others must be 0.
struct Fields {
    bool a, b, value;
};
Fields fieldsOf(Op op) {
    switch (op) {
    case Op::Init:
        return {true, false, false};
    case Op::End:
        return {false, false, false};
    case Op::Read:
    case Op::Write:
        return {true, true, true};
    default:
        return {true, true, false};
    }
}

// Reads the u32 length that starts a frame and checks it against the header and kMaxData.
Decoded frameLength(std::span<const uint8_t> input, std::size_t header, uint32_t& length) {
    if (input.size() < 4)
        return {};
    length = get32(input.data());
    std::string error = "frame of ";
    if (length < header)
        return malformed(error.append(std::to_string(length)).append(" bytes is shorter than its header"));
    if (length - header > std::size_t(kMaxData))
        return malformed(error.append(std::to_string(length - header)).append(" data bytes is over 22000"));
    if (input.size() < 4 + std::size_t(length))
        return {};
    return complete(4 + length);
}

} // namespace

const char* callConvName(CallConv conv) {
    switch (conv) {
    case CallConv::Cdecl:
        return "cdecl";
    case CallConv::Register:
        return "register";
    default:
        return "stdcall";
    }
}

bool parseCallConv(std::string_view name, CallConv& conv) {
    for (CallConv c : {CallConv::Stdcall, CallConv::Cdecl, CallConv::Register}) {
        if (name == callConvName(c)) {
            conv = c;
            return true;
        }
    }
    return false;
}

const char* exportName(Op op) {
    switch (op) {
    case Op::Init:
        return "InitGBPMode";
    case Op::End:
        return "EndGBPMode";
    case Op::Size:
        return "GetNVMFileSize";
    case Op::Read:
        return "ReadNVMFile";
    case Op::Write:
        return "WriteNVMFile";
    case Op::Clear:
        return "ClearNVMFile";
    }
    return "?";
}

std::vector<uint8_t> encode(const Hello& hello) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    put32(out, hello.version);
    return out;
}

std::vector<uint8_t> encode(const HelloAnswer& answer) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    const std::size_t textLength = std::min<std::size_t>(answer.text.size(), kMaxHelloText);
    put32(out, answer.version);
    put32(out, static_cast<uint32_t>(answer.status));
    put32(out, static_cast<uint32_t>(textLength));
    out.insert(out.end(), answer.text.begin(), answer.text.begin() + std::ptrdiff_t(textLength));
    return out;
}

std::vector<uint8_t> encode(const Request& request) {
    std::vector<uint8_t> out;
    out.reserve(4 + kRequestHeader + request.data.size());
    put32(out, static_cast<uint32_t>(kRequestHeader + request.data.size()));
    out.insert(out.end(), {static_cast<uint8_t>(request.op), request.a, request.b, 0});
    put32(out, static_cast<uint32_t>(request.value));
    out.insert(out.end(), request.data.begin(), request.data.end());
    return out;
}

std::vector<uint8_t> encode(const Answer& answer) {
    // A refusal carries its text alone, cut to kMaxHelloText bytes.
    const std::size_t refusalLength = std::min<std::size_t>(answer.refusal.size(), kMaxHelloText);
    const std::size_t dataLength = refusalLength ? 0 : answer.data.size();
    std::vector<uint8_t> out;
    out.reserve(4 + kAnswerHeader + refusalLength + dataLength);
    put32(out, static_cast<uint32_t>(kAnswerHeader + refusalLength + dataLength));
    put32(out, static_cast<uint32_t>(answer.result));
    put32(out, static_cast<uint32_t>(refusalLength));
    out.insert(out.end(), answer.refusal.begin(), answer.refusal.begin() + std::ptrdiff_t(refusalLength));
    out.insert(out.end(), answer.data.begin(), answer.data.begin() + std::ptrdiff_t(dataLength));
    return out;
}

Decoded decode(std::span<const uint8_t> input, Hello& hello) {
    if (input.size() >= 4 && std::memcmp(input.data(), kMagic, 4) != 0)
        return malformed("not a bridge hello");
    if (input.size() < kHelloSize)
        return {};
    hello.version = get32(input.data() + 4);
    return complete(kHelloSize);
}

Decoded decode(std::span<const uint8_t> input, HelloAnswer& answer) {
    if (input.size() >= 4 && std::memcmp(input.data(), kMagic, 4) != 0)
        return malformed("not a bridge hello");
    if (input.size() < kHelloAnswerHead)
        return {};
    const uint32_t textLength = get32(input.data() + 12);
    if (textLength > kMaxHelloText)
        return malformed("hello text of " + std::to_string(textLength) + " bytes");
    if (input.size() < kHelloAnswerHead + textLength)
        return {};
    answer.version = get32(input.data() + 4);
    answer.status = static_cast<HelloStatus>(get32(input.data() + 8));
    answer.text.assign(reinterpret_cast<const char*>(input.data()) + kHelloAnswerHead, textLength);
    return complete(kHelloAnswerHead + textLength);
}

Decoded decode(std::span<const uint8_t> input, Request& request) {
    uint32_t length = 0;
    Decoded frame = frameLength(input, kRequestHeader, length);
    if (frame.status != DecodeStatus::Complete)
        return frame;
    const uint8_t* p = input.data() + 4;
    if (!knownOp(p[0]))
        return malformed("unknown operation " + std::to_string(p[0]));
    const Op op = static_cast<Op>(p[0]);
    const int32_t value = static_cast<int32_t>(get32(p + 4));
    const std::size_t dataLength = length - kRequestHeader;
    const Fields used = fieldsOf(op);
    if (p[3] != 0 || (!used.a && p[1] != 0) || (!used.b && p[2] != 0) || (!used.value && value != 0))
        return malformed(std::string(exportName(op)) + " with a field it does not use");
    if (op == Op::Read && (value < 0 || value > kMaxData))
        return malformed("read count " + std::to_string(value));
    if (op == Op::Write ? std::size_t(value) != dataLength || value < 0 : dataLength != 0)
        return malformed(std::string(exportName(op)) + " with " + std::to_string(dataLength) +
                         " data bytes for a value of " + std::to_string(value));
    request.op = op;
    request.a = p[1];
    request.b = p[2];
    request.value = value;
    request.data.assign(p + kRequestHeader, p + length);
    return frame;
}

Decoded decode(std::span<const uint8_t> input, Answer& answer) {
    uint32_t length = 0;
    Decoded frame = frameLength(input, kAnswerHeader, length);
    if (frame.status != DecodeStatus::Complete)
        return frame;
    const uint8_t* p = input.data() + 4;
    const uint32_t refusalLength = get32(p + 4);
    if (refusalLength > kMaxHelloText)
        return malformed("refusal of " + std::to_string(refusalLength) + " bytes");
    if (refusalLength != 0 && refusalLength != length - kAnswerHeader)
        return malformed("refusal of " + std::to_string(refusalLength) + " bytes in a frame of " +
                         std::to_string(length - kAnswerHeader));
    answer.result = static_cast<int32_t>(get32(p));
    answer.refusal.assign(reinterpret_cast<const char*>(p) + kAnswerHeader, refusalLength);
    answer.data.assign(p + kAnswerHeader + refusalLength, p + length);
    return frame;
}

std::size_t readAnswerBytes(int32_t count, int32_t result) {
    const int32_t bytes = count > 0 ? count : result;
    return static_cast<std::size_t>(std::clamp(bytes, 0, kMaxData));
}

std::string checkAnswer(const Request& request, const Answer& answer) {
    const std::size_t wanted = request.op == Op::Read ? readAnswerBytes(request.value, answer.result) : 0;
    if (answer.data.size() == wanted)
        return {};
    return std::string(exportName(request.op)) + " answered with " + std::to_string(answer.data.size()) +
           " data bytes instead of " + std::to_string(wanted);
}

} // namespace BridgeProtocol
