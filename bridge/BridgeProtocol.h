#pragma once
// What Tarvel and gbp-bridge.exe say to each other over the bridge's standard input and output. Plain
// C++ (no Qt, no Win32): the bridge, the link and the tests share it.
//
// Integers are little-endian. The client speaks first:
//   hello           "GBPB" u32 version
//   hello answer    "GBPB" u32 version  i32 status  u32 textLength  text (UTF-8, at most 1024 bytes)
// then, one answer per request:
//   request         u32 length | u8 op  u8 a  u8 b  u8 0  i32 value | data (length - 8 bytes)
//   answer          u32 length | i32 result  u32 refusalLength | refusal | data (the rest)
// a: the port (Init) or the group; b: the number; value: the count (Read) or the length (Write).
// Only Write carries data (exactly value bytes) and only a Read answer does (readAnswerBytes).
// A refusal (UTF-8, at most kMaxHelloText bytes) says why the bridge refused the call: the library
// showed another calling convention than the chosen one. A refused answer has no data and its result
// means nothing; the bridge refuses every later call the same way.
// A frame over kMaxData data bytes, an unknown operation or a field an operation does not use that
// is not 0 is malformed: the bridge exits on it, the link restarts the bridge.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace BridgeProtocol {

inline constexpr uint32_t kVersion = 2;
inline constexpr int32_t kMaxData = 22000;
inline constexpr uint32_t kMaxHelloText = 1024;
inline constexpr std::size_t kRequestHeader = 8; // op, a, b, reserved, value
inline constexpr std::size_t kAnswerHeader = 8;  // result, refusal length

// How the library expects its arguments, passed to the bridge as --callconv NAME. On i686: stdcall
// (on the stack, the callee removes them), cdecl (on the stack, the caller removes them) or Delphi's
// register (the first three in EAX, EDX and ECX, the rest on the stack, the callee removes them).
// x86_64 Windows has a single convention: there the three names are accepted and all mean it.
enum class CallConv { Stdcall, Cdecl, Register };
const char* callConvName(CallConv conv);
// False for a name that is none of stdcall, cdecl and register.
bool parseCallConv(std::string_view name, CallConv& conv);

enum class Op : uint8_t { Init = 1, End = 2, Size = 3, Read = 4, Write = 5, Clear = 6 };
// The library's export an operation calls.
const char* exportName(Op op);

// What the bridge tells in its hello answer.
enum class HelloStatus : int32_t {
    Ready = 0,          // the library is loaded and every export was found
    LibraryFailed = 1,  // the library could not be loaded; the text says why
    ExportMissing = 2,  // an export is missing; the text names it
    VersionRefused = 3, // the client speaks another version
};

struct Hello {
    uint32_t version = kVersion;
};
struct HelloAnswer {
    uint32_t version = kVersion;
    HelloStatus status = HelloStatus::Ready;
    std::string text;
};
struct Request {
    Op op = Op::End;
    uint8_t a = 0;
    uint8_t b = 0;
    int32_t value = 0;
    std::vector<uint8_t> data;
};
struct Answer {
    int32_t result = 0;
    std::vector<uint8_t> data;
    std::string refusal; // empty: the library's own answer
};

enum class DecodeStatus { Incomplete, Complete, Malformed };
struct Decoded {
    DecodeStatus status = DecodeStatus::Incomplete;
    std::size_t used = 0; // bytes of the input the message took (when Complete)
    std::string error;    // why it is malformed
};

std::vector<uint8_t> encode(const Hello& hello);
std::vector<uint8_t> encode(const HelloAnswer& answer);
std::vector<uint8_t> encode(const Request& request);
std::vector<uint8_t> encode(const Answer& answer);

// Each decoder reads one message from the start of input: Incomplete while more bytes are needed (a
// bad length is Malformed as soon as the length is there), Complete with the message filled in.
Decoded decode(std::span<const uint8_t> input, Hello& hello);
Decoded decode(std::span<const uint8_t> input, HelloAnswer& answer);
Decoded decode(std::span<const uint8_t> input, Request& request);
Decoded decode(std::span<const uint8_t> input, Answer& answer);

// The bytes a Read answer carries: the count when it is above 0, else the file's length from the
// result; never below 0 nor above kMaxData.
std::size_t readAnswerBytes(int32_t count, int32_t result);
// Empty when the answer fits the request, else why not.
std::string checkAnswer(const Request& request, const Answer& answer);

} // namespace BridgeProtocol
