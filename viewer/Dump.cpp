#include "Dump.h"

namespace {

char shown(uint8_t byte) {
    return byte < 32 ? '.' : static_cast<char>(byte);
}

} // namespace

namespace Dump {

std::string text(const uint8_t* bytes, std::size_t count) {
    std::string result(count, '.');
    for (std::size_t i = 0; i < count; ++i)
        result[i] = shown(bytes[i]);
    return result;
}

std::string hex(const uint8_t* bytes, std::size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve((count / kBytesPerLine + 1) * 52);
    std::string hexPart, charPart;
    for (std::size_t i = 0; i < count; ++i) {
        hexPart += kDigits[bytes[i] >> 4];
        hexPart += kDigits[bytes[i] & 0x0F];
        hexPart += ' ';
        charPart += shown(bytes[i]);
        if ((i + 1) % kBytesPerLine == 0) {
            result += hexPart + "| " + charPart + "\r\n";
            hexPart.clear();
            charPart.clear();
        }
    }
    result += hexPart + "| " + charPart;
    return result;
}

} // namespace Dump
