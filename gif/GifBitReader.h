#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

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
    bool nextBlock() {
        if (ended_ || pos_ >= size_) {
            ended_ = true;
            return false;
        }
        size_t length = data_[pos_++];
        if (length == 0) {
            ended_ = true;
            return false;
        }
        blockLeft_ = length < size_ - pos_ ? length : size_ - pos_;
        return blockLeft_ > 0 || nextBlock();
    }

    void refill() {
        while (bitCount_ <= 56) {
            if (blockLeft_ == 0 && !nextBlock())
                return;
            size_t room = static_cast<size_t>(63 - bitCount_) >> 3;
            size_t take = blockLeft_ < room ? blockLeft_ : room;
            if constexpr (std::endian::native == std::endian::little) {
                if (take >= 2 && pos_ + 8 <= size_) {
                    uint64_t word;
                    std::memcpy(&word, data_ + pos_, 8);
                    word &= (uint64_t{1} << (take * 8)) - 1;
                    bits_ |= word << bitCount_;
                    bitCount_ += static_cast<int>(take * 8);
                    pos_ += take;
                    blockLeft_ -= take;
                    continue;
                }
            }
            bits_ |= uint64_t{data_[pos_++]} << bitCount_;
            bitCount_ += 8;
            --blockLeft_;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    size_t blockLeft_ = 0;
    uint64_t bits_ = 0;
    int bitCount_ = 0;
    bool ended_ = false;
};
