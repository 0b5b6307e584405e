#include "Dump.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<uint8_t> counting(std::size_t n) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(0x41 + i);
    return bytes;
}

} // namespace

TEST(HexDump, BreaksAfterEveryTwelfthByteAndAlwaysEndsWithAnUnbrokenLine) {
    const auto twelve = counting(12);
    const std::string line = "41 42 43 44 45 46 47 48 49 4A 4B 4C | ABCDEFGHIJKL";
    EXPECT_EQ(line.size(), 50u);
    EXPECT_EQ(Dump::hex(twelve.data(), 12), line + "\r\n| ");
    const auto thirteen = counting(13);
    EXPECT_EQ(Dump::hex(thirteen.data(), 13), line + "\r\n4D | M");
    EXPECT_EQ(Dump::hex(nullptr, 0), "| ");
    const auto many = counting(25);
    const std::string dump = Dump::hex(many.data(), 25);
    EXPECT_EQ(dump.substr(dump.size() - 6), "59 | Y");
    EXPECT_EQ(dump.substr(dump.size() - 8, 2), "\r\n")
        << "no trailing line break, but a break before the last line";
}

TEST(Dumps, ShowControlBytesAsDotsAndEveryOtherByteAsItself) {
    const uint8_t bytes[] = {0x00, 0x0D, 0x0A, 0x1F, 0x20, 0x7F, 0xFF, 'a'};
    EXPECT_EQ(Dump::text(bytes, sizeof bytes), std::string(".... \x7F\xFF"
                                                           "a"));
    EXPECT_EQ(Dump::hex(bytes, sizeof bytes), std::string("00 0D 0A 1F 20 7F FF 61 | .... \x7F\xFF"
                                                          "a"));
    EXPECT_EQ(Dump::text(bytes, 0), "");
}
