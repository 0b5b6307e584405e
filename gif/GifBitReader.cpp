#include "GifBitReader.h"

#include <bit>
#include <cstring>

bool GifBitReader::nextBlock() {
    while (!ended_ && pos_ < size_) {
        size_t length = data_[pos_++];
        if (length == 0)
            break;
        blockLeft_ = length < size_ - pos_ ? length : size_ - pos_;
        if (blockLeft_ > 0)
            return true;
    }
    ended_ = true;
    return false;
}

void GifBitReader::refill() {
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
