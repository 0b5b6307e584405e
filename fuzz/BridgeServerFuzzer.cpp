// The bridge's side of the bridge protocol: arbitrary bytes as the link's output, decoded as gbp-bridge
// decodes them (a hello, then requests, one after the other, as long as they are complete). Every
// request that decodes is a valid one, and every answer the bridge can give it passes the link's check.
// Any crash, sanitizer report or broken invariant is a finding.
#include "BridgeFuzzChecks.h"

#include <limits>

using namespace BridgeFuzz;

namespace {

// A decoded request is one the link could have made: a known operation, the fields it does not use 0,
// a count or length within 0 to kMaxData, data only for Write and exactly its length.
void checkValid(const Request& r) {
    check(r.op >= Op::Init && r.op <= Op::Clear);
    check(r.data.size() == (r.op == Op::Write ? std::size_t(r.value) : 0));
    check(r.value >= 0 && r.value <= kMaxData);
    if (r.op != Op::Read && r.op != Op::Write)
        check(r.value == 0);
    if (r.op == Op::End)
        check(r.a == 0);
    if (r.op == Op::Init || r.op == Op::End)
        check(r.b == 0);
}

// The bridge's answer for a library result, as gbp-bridge builds it: a Read carries readAnswerBytes.
void checkAnswers(const Request& request) {
    constexpr int32_t kMin = std::numeric_limits<int32_t>::min(), kMax = std::numeric_limits<int32_t>::max();
    for (int32_t result : {kMin, -1, 0, 1, request.value, kMaxData, kMaxData + 1, kMax}) {
        Answer reply;
        reply.result = result;
        if (request.op == Op::Read)
            reply.data.assign(readAnswerBytes(request.value, result), 0x5A);
        checkRoundTrip(reply);
        check(checkAnswer(request, reply).empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> input(data, size);
    std::size_t at = 0;

    Hello hello;
    const Decoded helloDecoded = checkedDecode(input, hello);
    if (helloDecoded.status == DecodeStatus::Complete)
        at = helloDecoded.used;
    HelloAnswer answer;
    answer.version = hello.version;
    answer.status = static_cast<HelloStatus>(size % 4);
    answer.text.assign(size, 't'); // over kMaxHelloText, encode cuts it
    const std::vector<uint8_t> answerBytes = encode(answer);
    HelloAnswer told;
    const Decoded toldDecoded = decode(std::span<const uint8_t>(answerBytes), told);
    check(toldDecoded.status == DecodeStatus::Complete && toldDecoded.used == answerBytes.size());
    check(told.version == answer.version && told.status == answer.status &&
          told.text == answer.text.substr(0, kMaxHelloText));

    // One request object for the whole stream, as gbp-bridge keeps it.
    Request request;
    request.op = Op::Write;
    request.value = 2;
    request.data.assign(2, 0xA5);
    while (at < size) {
        const Decoded decoded = checkedDecode(input.subspan(at), request);
        if (decoded.status != DecodeStatus::Complete)
            break;
        checkValid(request);
        checkAnswers(request);
        at += decoded.used;
    }
    return 0;
}
