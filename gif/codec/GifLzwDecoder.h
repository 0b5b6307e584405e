#pragma once

#include "GifBitReader.h"
#include "GifStatus.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Decodes one frame's LZW codes into palette indexes in stream order.
//
// Well-formed data is decoded by copying each code's string whole from where it was first written: the
// output itself, or for a one-pixel code the lead bytes before the output, where every pixel value is
// laid out. A table entry is then no more than a place and a length. When the codes go astray (a code
// beyond the next free one, or a table code right after a clear) the frame is decoded again from the
// start by walking the prefix chains of a classic table, whose stale entries give damaged data its
// exact meaning; so damaged data gives the same pixels and flags either way.
//
// Large (about 50 kB) but needs no setting up: only the table entries in use are written, so one may
// live on the stack for each frame.
class GifLzwDecoder {
  public:
    static constexpr int kMaxCodes = 4096;
    // Bytes before the first pixel and past the last one that decoding may overwrite: out must have room
    // for lead(data) bytes before it (at most kLead) and total + kPadding from it.
    static constexpr size_t kLead = 512;
    static constexpr size_t kPadding = 16;

    // The lead bytes that data needs before the output: one for each one-pixel code.
    static size_t lead(const uint8_t* data, size_t size);

    struct Result {
        // ok, or bad_lzw_code when the data was found damaged (code size outside 2..9, a loop in the table)
        GifStatus status = GifStatus::ok;
        size_t written = 0; // pixels written, from the start of out
    };

    // data: the minimum code size byte, then the sub-blocks. colorBits: 1 to 8; pixel values are masked
    // to them. Writes at most total pixels into out and leaves the rest as they were; may write anything
    // into the lead bytes before out and the kPadding bytes after the last pixel.
    // copyStrings false walks the table for every code; the result is the same, only slower.
    Result decode(const uint8_t* data, size_t size, int colorBits, uint8_t* out, size_t total,
                  bool copyStrings = true);

  private:
    // Pixels written, or kDamaged when the codes went astray.
    static constexpr size_t kDamaged = ~size_t{0};
    template <int kCodeSize> size_t writeStrings(uint8_t* out, size_t total, int colorBits);
    // Returns the pixels written; sets loop when a code's string never ends. sizeDamaged: the code size
    // was out of range, so decoding stops at the first code that neither is nor follows a clear code.
    size_t walkTable(int codeSize, uint8_t pixelMask, uint8_t* out, size_t total, bool sizeDamaged,
                     bool& loop);

    GifBitReader reader_;
    // Where each code's string was first written, counted from the lead bytes before the output (bits
    // 0-31), and its length (bits 32-47). One spare entry past the table takes the definitions made
    // while the table is full.
    std::array<uint64_t, kMaxCodes + 1> entry_;
    // The walk's table and string stack.
    std::array<uint16_t, kMaxCodes> prefix_;
    std::array<uint8_t, kMaxCodes> suffix_;
    std::array<uint8_t, kMaxCodes> stack_;
};
