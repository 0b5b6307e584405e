#pragma once
// What both bridge fuzz targets check of every decode: the result is consistent with the message's own
// encoding, and with what the decoder says of a shorter stretch of the same stream (both ends decode
// again as more bytes arrive).
#include "BridgeProtocol.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace BridgeFuzz {

using namespace BridgeProtocol;

inline void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

inline bool same(const Hello& x, const Hello& y) {
    return x.version == y.version;
}
inline bool same(const HelloAnswer& x, const HelloAnswer& y) {
    return x.version == y.version && x.status == y.status && x.text == y.text;
}
inline bool same(const Request& x, const Request& y) {
    return x.op == y.op && x.a == y.a && x.b == y.b && x.value == y.value && x.data == y.data;
}
inline bool same(const Answer& x, const Answer& y) {
    return x.result == y.result && x.data == y.data;
}

inline bool known(DecodeStatus status) {
    return status == DecodeStatus::Incomplete || status == DecodeStatus::Complete ||
           status == DecodeStatus::Malformed;
}

// A shorter stretch of the stream agrees with the whole: before the message ends it is Incomplete, from
// there on the same message; a stream that is Incomplete was Incomplete all along, and one that is
// Malformed was never Complete on the way.
template <class Message>
void checkPrefix(std::span<const uint8_t> input, const Decoded& whole, const Message& message,
                 std::size_t k) {
    Message shorter;
    const Decoded part = decode(input.first(k), shorter);
    check(known(part.status));
    switch (whole.status) {
    case DecodeStatus::Complete:
        if (k < whole.used) {
            check(part.status == DecodeStatus::Incomplete);
        } else {
            check(part.status == DecodeStatus::Complete && part.used == whole.used);
            check(same(shorter, message));
        }
        break;
    case DecodeStatus::Incomplete:
        check(part.status == DecodeStatus::Incomplete);
        break;
    case DecodeStatus::Malformed:
        check(part.status != DecodeStatus::Complete);
        break;
    }
}

// Decodes into message (which may hold an earlier message, as a reused one does) and checks the result.
template <class Message> Decoded checkedDecode(std::span<const uint8_t> input, Message& message) {
    const Decoded decoded = decode(input, message);
    check(known(decoded.status));
    if (decoded.status == DecodeStatus::Complete) {
        check(decoded.used > 0 && decoded.used <= input.size());
        check(decoded.error.empty());
        // The same bytes come out again: nothing of the frame is ignored or invented.
        const std::vector<uint8_t> again = encode(message);
        check(again.size() == decoded.used && std::equal(again.begin(), again.end(), input.begin()));
        Message fresh;
        const Decoded redone = decode(std::span<const uint8_t>(again), fresh);
        check(redone.status == DecodeStatus::Complete && redone.used == again.size() && same(fresh, message));
    }
    if (decoded.status == DecodeStatus::Malformed)
        check(!decoded.error.empty());

    // Every length up to the header and a little beyond, and the lengths around the message's end.
    constexpr std::size_t kEveryUpTo = 24;
    for (std::size_t k = 0; k < std::min(input.size(), kEveryUpTo); ++k)
        checkPrefix(input, decoded, message, k);
    for (std::size_t k : {decoded.used - 1, decoded.used, input.size() - 1})
        if (decoded.status == DecodeStatus::Complete && k >= kEveryUpTo && k < input.size())
            checkPrefix(input, decoded, message, k);
    if (decoded.status != DecodeStatus::Complete && input.size() > kEveryUpTo)
        checkPrefix(input, decoded, message, input.size() - 1);
    return decoded;
}

// A message the other end can send: its encoding decodes, whole, to the same message.
template <class Message> void checkRoundTrip(const Message& message) {
    const std::vector<uint8_t> bytes = encode(message);
    Message decodedMessage;
    const Decoded decoded = decode(std::span<const uint8_t>(bytes), decodedMessage);
    check(decoded.status == DecodeStatus::Complete && decoded.used == bytes.size());
    check(same(decodedMessage, message));
}

} // namespace BridgeFuzz
