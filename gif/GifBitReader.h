#pragma once

#include <cstddef>
#include <cstdint>

// Reads LZW codes, least significant bit first, from GIF data sub-blocks (each led by its length byte).
// The data ends at a zero-length block or at the end of the bytes; a block longer than the bytes left
// is read as far as it goes.
class GifBitReader {
  public:
    GifBitReader(const uint8_t* blocks, size_t size) : data_(blocks), size_(size) {}

    // The next code of width bits (1 to 12), or -1 when the data is exhausted.
    int read(int width) {
        if (bitCount_ < width) {
            refill();
            if (bitCount_ < width)
                return -1;
        }
        int code = static_cast<int>(bits_ & ((uint64_t{1} << width) - 1));
        bits_ >>= width;
        bitCount_ -= width;
        return code;
    }

  private:
    // Kept out of line so that read() stays small enough to inline into the decoding loop.
    void refill();
    bool nextBlock();

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t blockLeft_ = 0;
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    bool ended_ = false;
};
