#include "BridgeProtocol.h"
#include "CallConvGuard.h"

#include <gtest/gtest.h>

using namespace BridgeProtocol;

namespace {

std::vector<uint8_t> le32(uint32_t v) {
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// A request frame built byte by byte: length, op, a, b, reserved, value, data.
std::vector<uint8_t> rawRequest(uint8_t op, uint8_t a, uint8_t b, uint8_t reserved, int32_t value,
                                std::size_t dataBytes, std::size_t claimedData) {
    std::vector<uint8_t> frame = le32(uint32_t(kRequestHeader + claimedData));
    frame.insert(frame.end(), {op, a, b, reserved});
    const auto v = le32(uint32_t(value));
    frame.insert(frame.end(), v.begin(), v.end());
    frame.resize(frame.size() + dataBytes, 0x5A);
    return frame;
}

template <class Message> Decoded decodeAll(const std::vector<uint8_t>& bytes, Message& message) {
    return decode(std::span<const uint8_t>(bytes), message);
}

} // namespace

TEST(BridgeProtocol, EveryMessageSurvivesARoundTripAndWaitsForItsLastByte) {
    Request write{Op::Write, 18, 9, 3, {1, 2, 3}};
    Request read{Op::Read, 2, 10, 0, {}};
    Answer answer{21504, std::vector<uint8_t>(21504, 0xEE), {}};
    HelloAnswer hello{kVersion, HelloStatus::ExportMissing, "the library has no export ClearNVMFile"};

    for (const Request& sent : {write, read, Request{Op::Init, 1, 0, 0, {}}, Request{Op::End, 0, 0, 0, {}}}) {
        const std::vector<uint8_t> bytes = encode(sent);
        Request got;
        for (std::size_t cut = 0; cut < bytes.size(); ++cut)
            ASSERT_EQ(decode(std::span(bytes.data(), cut), got).status, DecodeStatus::Incomplete) << cut;
        const Decoded decoded = decodeAll(bytes, got);
        ASSERT_EQ(decoded.status, DecodeStatus::Complete) << decoded.error;
        EXPECT_EQ(decoded.used, bytes.size());
        EXPECT_EQ(got.op, sent.op);
        EXPECT_EQ(got.a, sent.a);
        EXPECT_EQ(got.b, sent.b);
        EXPECT_EQ(got.value, sent.value);
        EXPECT_EQ(got.data, sent.data);
    }

    std::vector<uint8_t> bytes = encode(answer);
    bytes.push_back(0x77); // the start of whatever follows is left alone
    Answer gotAnswer;
    const Decoded decoded = decodeAll(bytes, gotAnswer);
    ASSERT_EQ(decoded.status, DecodeStatus::Complete);
    EXPECT_EQ(decoded.used, bytes.size() - 1);
    EXPECT_EQ(gotAnswer.result, 21504);
    EXPECT_EQ(gotAnswer.data, answer.data);

    HelloAnswer gotHello;
    ASSERT_EQ(decodeAll(encode(hello), gotHello).status, DecodeStatus::Complete);
    EXPECT_EQ(gotHello.status, HelloStatus::ExportMissing);
    EXPECT_EQ(gotHello.text, hello.text);
    Hello gotClientHello{0};
    ASSERT_EQ(decodeAll(encode(Hello{}), gotClientHello).status, DecodeStatus::Complete);
    EXPECT_EQ(gotClientHello.version, kVersion);
}

TEST(BridgeProtocol, RefusesEveryMalformedRequest) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"a frame shorter than its header", le32(7)},
        {"a frame over 22000 data bytes", rawRequest(5, 2, 10, 0, 22001, 0, 22001)},
        {"an unknown operation", rawRequest(7, 0, 0, 0, 0, 0, 0)},
        {"operation 0", rawRequest(0, 0, 0, 0, 0, 0, 0)},
        {"a reserved byte that is not 0", rawRequest(4, 2, 10, 1, 20, 0, 0)},
        {"Init with a number", rawRequest(1, 1, 5, 0, 0, 0, 0)},
        {"End with a port", rawRequest(2, 1, 0, 0, 0, 0, 0)},
        {"Size with a value", rawRequest(3, 2, 10, 0, 20, 0, 0)},
        {"a negative read count", rawRequest(4, 2, 10, 0, -1, 0, 0)},
        {"a read count over 22000", rawRequest(4, 2, 10, 0, 22001, 0, 0)},
        {"a read with data", rawRequest(4, 2, 10, 0, 20, 4, 4)},
        {"a write with fewer bytes than its length", rawRequest(5, 2, 10, 0, 5, 4, 4)},
        {"a write with a negative length", rawRequest(5, 2, 10, 0, -4, 4, 4)},
        {"a clear with data", rawRequest(6, 2, 10, 0, 0, 1, 1)},
    };
    for (const Case& c : cases) {
        Request request;
        const Decoded decoded = decodeAll(c.bytes, request);
        EXPECT_EQ(decoded.status, DecodeStatus::Malformed) << c.what;
        EXPECT_FALSE(decoded.error.empty()) << c.what;
    }
    // The largest write is fine; the length alone condemns a larger frame before its data arrives.
    Request request;
    EXPECT_EQ(decodeAll(rawRequest(5, 18, 9, 0, 22000, 22000, 22000), request).status,
              DecodeStatus::Complete);
    EXPECT_EQ(decodeAll(le32(8 + 22001), request).status, DecodeStatus::Malformed);
}

TEST(BridgeProtocol, RefusesAnswersThatDoNotFitTheirRequest) {
    Answer answer;
    EXPECT_EQ(decodeAll(le32(3), answer).status, DecodeStatus::Malformed);
    EXPECT_EQ(decodeAll(le32(kAnswerHeader + 22001), answer).status, DecodeStatus::Malformed);

    const Request header{Op::Read, 2, 10, 20, {}};
    const Request whole{Op::Read, 18, 9, 0, {}};
    EXPECT_EQ(checkAnswer(header, {5, std::vector<uint8_t>(20), {}}), "");
    EXPECT_NE(checkAnswer(header, {5, std::vector<uint8_t>(21), {}}), "") << "more than the count";
    EXPECT_EQ(checkAnswer(whole, {300, std::vector<uint8_t>(300), {}}), "");
    EXPECT_NE(checkAnswer(whole, {300, std::vector<uint8_t>(299), {}}), "");
    EXPECT_EQ(checkAnswer(whole, {30000, std::vector<uint8_t>(22000), {}}), "") << "a result over the buffer";
    EXPECT_EQ(checkAnswer(whole, {-1, {}, {}}), "");
    EXPECT_NE(checkAnswer({Op::Size, 2, 10, 0, {}}, {5, {1}, {}}), "") << "data for a size";

    HelloAnswer hello;
    std::vector<uint8_t> bytes = {'G', 'B', 'P', 'B'};
    for (uint32_t v : {kVersion, 0u, kMaxHelloText + 1}) {
        const auto field = le32(v);
        bytes.insert(bytes.end(), field.begin(), field.end());
    }
    EXPECT_EQ(decodeAll(bytes, hello).status, DecodeStatus::Malformed) << "a hello text over 1024 bytes";
    EXPECT_EQ(decodeAll(std::vector<uint8_t>{'M', 'Z', 0, 0}, hello).status, DecodeStatus::Malformed);
    Hello clientHello;
    EXPECT_EQ(decodeAll(std::vector<uint8_t>{'G', 'B', 'P', 'X', 1, 0, 0, 0}, clientHello).status,
              DecodeStatus::Malformed);
}

TEST(BridgeProtocol, NamesTheThreeCallingConventions) {
    CallConv conv = CallConv::Stdcall;
    EXPECT_TRUE(parseCallConv("register", conv));
    EXPECT_EQ(conv, CallConv::Register);
    EXPECT_TRUE(parseCallConv("cdecl", conv));
    EXPECT_STREQ(callConvName(conv), "cdecl");
    EXPECT_FALSE(parseCallConv("pascal", conv));
    EXPECT_FALSE(parseCallConv("", conv));
}

TEST(BridgeProtocol, ARefusalCarriesItsTextAloneAndIsClearedByTheNextAnswer) {
    const Answer refused{-1, {9, 9}, "the library removed 4 bytes of arguments"};
    Answer got{5, {1, 2}, {}};
    const std::vector<uint8_t> bytes = encode(refused);
    ASSERT_EQ(decodeAll(bytes, got).status, DecodeStatus::Complete);
    EXPECT_EQ(got.refusal, refused.refusal);
    EXPECT_TRUE(got.data.empty()) << "a refusal has no data";
    ASSERT_EQ(decodeAll(encode(Answer{7, {1, 2, 3}, {}}), got).status, DecodeStatus::Complete);
    EXPECT_EQ(got.refusal, "");
    EXPECT_EQ(got.data, (std::vector<uint8_t>{1, 2, 3}));

    const auto frame = [](uint32_t refusalLength, std::size_t rest) {
        std::vector<uint8_t> out = le32(uint32_t(kAnswerHeader + rest));
        for (uint32_t v : {0u, refusalLength}) {
            const auto field = le32(v);
            out.insert(out.end(), field.begin(), field.end());
        }
        out.resize(out.size() + rest, 'x');
        return out;
    };
    EXPECT_EQ(decodeAll(frame(3, 4), got).status, DecodeStatus::Malformed) << "data beside a refusal";
    EXPECT_EQ(decodeAll(frame(5, 4), got).status, DecodeStatus::Malformed) << "past the frame";
    EXPECT_EQ(decodeAll(frame(kMaxHelloText + 1, kMaxHelloText + 1), got).status, DecodeStatus::Malformed);
    EXPECT_EQ(decodeAll(frame(kMaxHelloText, kMaxHelloText), got).status, DecodeStatus::Complete);
}

TEST(CallConvGuard, ChecksTheFirstCallsAndRefusesEveryCallOnceTheLibraryShowsAnotherConvention) {
    using Step = CallConvGuard::Step;
    // stdcall: InitGBPMode through the thunk, whose 4 bytes confirm it; then every call is direct.
    CallConvGuard stdcall(CallConv::Stdcall);
    EXPECT_EQ(stdcall.next(Op::End), Step::Direct);
    EXPECT_EQ(stdcall.next(Op::Init), Step::Thunk);
    EXPECT_TRUE(stdcall.report(Op::Init, 4));
    EXPECT_EQ(stdcall.next(Op::Write), Step::Direct);
    EXPECT_EQ(stdcall.refusal(), "");

    // cdecl: Init's 0 bytes leave register open, so the first call with a section is probed first.
    CallConvGuard cdecl(CallConv::Cdecl);
    EXPECT_TRUE(cdecl.report(Op::Init, 0));
    EXPECT_EQ(cdecl.next(Op::Init), Step::Thunk);
    EXPECT_EQ(cdecl.next(Op::Size), Step::ProbeFirst);
    EXPECT_FALSE(cdecl.report(Op::Read, 4));
    EXPECT_EQ(cdecl.refusal(), "the library removed 4 bytes of arguments on return from a test ReadNVMFile, "
                               "so it is register, not cdecl as chosen (--gbp-callconv register)");
    for (Op op : {Op::Init, Op::End, Op::Size, Op::Read, Op::Write, Op::Clear})
        EXPECT_EQ(cdecl.next(op), Step::Refuse) << exportName(op);

    // A call before any Init is probed; the probe alone tells all three apart.
    CallConvGuard registerFirst(CallConv::Register);
    EXPECT_EQ(registerFirst.next(Op::Write), Step::ProbeFirst);
    EXPECT_TRUE(registerFirst.report(Op::Read, 4));
    EXPECT_EQ(registerFirst.next(Op::Write), Step::Direct);

    CallConvGuard notStdcall(CallConv::Stdcall);
    EXPECT_FALSE(notStdcall.report(Op::Init, 0));
    EXPECT_EQ(notStdcall.refusal(),
              "the library removed 0 bytes of arguments on return from InitGBPMode, so it "
              "is cdecl or register, not stdcall as chosen (--gbp-callconv cdecl or "
              "register)");
    CallConvGuard odd(CallConv::Register);
    EXPECT_FALSE(odd.report(Op::Init, 12));
    EXPECT_EQ(odd.refusal(), "the library removed 12 bytes of arguments on return from InitGBPMode, which "
                             "fits none of stdcall, cdecl and register");
    EXPECT_EQ(odd.next(Op::End), Step::Refuse);

    EXPECT_EQ(CallConvGuard(CallConv::Cdecl, false).next(Op::Write), Step::Direct) << "an unguarded library";
}
