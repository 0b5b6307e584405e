#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

// Compresses one frame's palette indexes into GIF's LZW data: the minimum code size byte, the sub-blocks
// of at most 255 bytes and the zero-length terminator. A clear code starts the data and follows every
// time the code table fills up (4096 codes); codes are packed least significant bit first.
class GifLzwEncoder {
  public:
    static constexpr int kMaxCodes = 4096;

    // Appends the data for count indexes to out. minCodeSize: 2 to 8; every index must be below
    // 2^minCodeSize (not checked here: larger ones are masked).
    void encode(const uint8_t* indexes, size_t count, int minCodeSize, std::vector<uint8_t>& out);

  private:
    void resetTable();
    void emit(uint32_t code);
    void flushBits(bool all);

    // The string table as an open hash of (prefix code, next index) keys.
    static constexpr size_t kHashSize = 1 << 14;
    std::array<uint32_t, kHashSize> keys_{};
    std::array<uint16_t, kHashSize> codes_{};

    int minCodeSize_ = 2;
    uint32_t clearCode_ = 4;
    uint32_t nextCode_ = 6; // the next code this side defines
    // What the decoder's side knows: its width and its next free code (-1 right after a clear), so that
    // every code is written at exactly the width it will be read with.
    int width_ = 3;
    int32_t readerNext_ = -1;
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    std::vector<uint8_t> packed_;
};
