// The link's side of the bridge protocol: arbitrary bytes as the bridge's output, decoded as the link
// decodes them, and answers checked against the requests the link sent. The input is an optional hello
// answer, then pairs of a request description (8 bytes: op, a, b, the byte Write's data repeats, i32
// value) and the bytes the bridge answered it with. Any crash, sanitizer report or broken invariant is a
// finding.
#include "BridgeFuzzChecks.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace BridgeFuzz;

namespace {

constexpr std::size_t kRequestDescription = 8;

int32_t get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return static_cast<int32_t>(v);
}

// The request the link makes from a description: a known operation, the fields it does not use left 0,
// a count or length within 0 to kMaxData (the link refuses others before sending), Write's data that long.
Request linkRequest(const uint8_t* p) {
    Request r;
    r.op = static_cast<Op>(1 + p[0] % 6);
    const int32_t value = std::clamp(get32(p + 4), 0, kMaxData);
    switch (r.op) {
    case Op::Init:
        r.a = p[1];
        break;
    case Op::End:
        break;
    case Op::Read:
        r.a = p[1], r.b = p[2], r.value = value;
        break;
    case Op::Write:
        r.a = p[1], r.b = p[2], r.value = value;
        r.data.assign(static_cast<std::size_t>(value), p[3]);
        break;
    default:
        r.a = p[1], r.b = p[2];
        break;
    }
    return r;
}

// readAnswerBytes holds to its contract for any pair, including those the link never sends.
void checkReadAnswerBytes(int32_t count, int32_t result) {
    const std::size_t bytes = readAnswerBytes(count, result);
    check(bytes <= std::size_t(kMaxData));
    if (count > 0 && count <= kMaxData)
        check(bytes == std::size_t(count));
    if (count > kMaxData)
        check(bytes == std::size_t(kMaxData));
    if (count <= 0 && result >= 0 && result <= kMaxData)
        check(bytes == std::size_t(result));
    if (count <= 0 && result < 0)
        check(bytes == 0);
}

void checkAgainst(const Request& request, const Answer& answer) {
    const std::string wrong = checkAnswer(request, answer);
    const std::size_t wanted = request.op == Op::Read ? readAnswerBytes(request.value, answer.result) : 0;
    check(wrong.empty() == (answer.data.size() == wanted));
    // What the link then copies into the caller's buffer fits it: the count, or 22000 for a whole file.
    if (wrong.empty() && request.op == Op::Read)
        check(answer.data.size() <= std::size_t(request.value > 0 ? request.value : kMaxData));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> input(data, size);
    std::size_t at = 0;

    HelloAnswer hello;
    const Decoded helloDecoded = checkedDecode(input, hello);
    if (helloDecoded.status == DecodeStatus::Complete) {
        check(hello.text.size() <= kMaxHelloText);
        at = helloDecoded.used;
    }
    checkRoundTrip(Hello{});

    // The answer object is reused from one exchange to the next, as a stale one would be.
    Answer answer;
    answer.result = std::numeric_limits<int32_t>::min();
    answer.data.assign(3, 0xA5);
    while (size - at >= kRequestDescription) {
        const uint8_t* description = data + at;
        at += kRequestDescription;
        checkReadAnswerBytes(get32(description + 4), get32(description));

        const Request request = linkRequest(description);
        checkRoundTrip(request); // the bridge takes what the link sends
        const Decoded decoded = checkedDecode(input.subspan(at), answer);
        if (decoded.status != DecodeStatus::Complete)
            break;
        check(answer.data.size() <= std::size_t(kMaxData));
        checkAgainst(request, answer);
        at += decoded.used;
    }
    return 0;
}
