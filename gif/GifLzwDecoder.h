#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Decodes one frame's LZW codes into palette indexes in stream order.
//
// Well-formed data is decoded by copying each code's string from where it was first written in the
// output. Once the codes go astray (a code beyond the next free one, or a table code right after a
// clear) the decoder follows the prefix chains instead, exactly as a table walk would, so damaged data
// gives the same pixels and flags either way.
class GifLzwDecoder {
  public:
    static constexpr int kMaxCodes = 4096;

    struct Result {
        bool corrupted = false; // the data was found damaged (code size outside 2..9, a loop in the table)
        size_t written = 0;     // pixels written, from the start of out
    };

    // data: the minimum code size byte, then the sub-blocks. colorBits: 1 to 8; pixel values are masked
    // to them. Writes at most total pixels into out and leaves the rest as they were (zero).
    // copyStrings false walks the table for every code; the result is the same, only slower.
    Result decode(const uint8_t* data, size_t size, int colorBits, uint8_t* out, size_t total,
                  bool copyStrings = true);

  private:
    std::array<uint16_t, kMaxCodes> prefix_;
    std::array<uint8_t, kMaxCodes> suffix_;
    std::array<uint16_t, kMaxCodes> length_; // string length of each code
    std::array<uint32_t, kMaxCodes> start_;  // where each code's string was first written
    std::array<uint8_t, kMaxCodes> stack_;
};
