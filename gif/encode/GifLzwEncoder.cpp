#include "GifLzwEncoder.h"

#include <algorithm>

namespace {

constexpr int kMaxCodeWidth = 12;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;
constexpr size_t kMaxSubBlock = 255;

inline size_t slotOf(uint32_t key, size_t size) {
    return (key * 2654435761u >> 8) & (size - 1);
}

} // namespace

void GifLzwEncoder::resetTable() {
    keys_.fill(kEmpty);
    nextCode_ = clearCode_ + 2;
}

void GifLzwEncoder::emit(uint32_t code) {
    bits_ |= uint64_t{code} << bitCount_;
    bitCount_ += width_;
    if (bitCount_ >= 32)
        flushBits(false);
    // Follow the reader: a clear resets it, the code after a clear defines nothing, every later one
    // defines the next entry, and the width grows once the next free code passes the widest one.
    if (code == clearCode_) {
        width_ = minCodeSize_ + 1;
        readerNext_ = -1;
    } else if (readerNext_ < 0) {
        readerNext_ = static_cast<int32_t>(clearCode_ + 2);
    } else if (readerNext_ < kMaxCodes) {
        ++readerNext_;
        if (readerNext_ > (1 << width_) - 1 && width_ < kMaxCodeWidth)
            ++width_;
    }
}

void GifLzwEncoder::flushBits(bool all) {
    while (bitCount_ >= 8 || (all && bitCount_ > 0)) {
        packed_.push_back(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        bitCount_ = std::max(bitCount_ - 8, 0);
    }
}

void GifLzwEncoder::encode(const uint8_t* indexes, size_t count, int minCodeSize, std::vector<uint8_t>& out) {
    minCodeSize_ = std::clamp(minCodeSize, 2, 8);
    clearCode_ = 1u << minCodeSize_;
    const uint8_t mask = static_cast<uint8_t>(clearCode_ - 1);
    width_ = minCodeSize_ + 1;
    readerNext_ = -1;
    bits_ = 0;
    bitCount_ = 0;
    packed_.clear();
    packed_.reserve(count / 2 + 16);
    resetTable();

    emit(clearCode_);
    if (count > 0) {
        uint32_t prefix = indexes[0] & mask;
        for (size_t i = 1; i < count; ++i) {
            const uint32_t pixel = indexes[i] & mask;
            const uint32_t key = prefix << 8 | pixel;
            size_t slot = slotOf(key, kHashSize);
            while (keys_[slot] != kEmpty && keys_[slot] != key)
                slot = (slot + 1) & (kHashSize - 1);
            if (keys_[slot] == key) {
                prefix = codes_[slot];
                continue;
            }
            emit(prefix);
            if (nextCode_ < kMaxCodes) {
                keys_[slot] = key;
                codes_[slot] = static_cast<uint16_t>(nextCode_++);
            } else {
                // The table is full: start over rather than go on with a frozen table.
                emit(clearCode_);
                resetTable();
            }
            prefix = pixel;
        }
        emit(prefix);
    }
    emit(clearCode_ + 1);
    flushBits(true);

    out.push_back(static_cast<uint8_t>(minCodeSize_));
    for (size_t at = 0; at < packed_.size(); at += kMaxSubBlock) {
        const size_t length = std::min(kMaxSubBlock, packed_.size() - at);
        out.push_back(static_cast<uint8_t>(length));
        out.insert(out.end(), packed_.begin() + static_cast<std::ptrdiff_t>(at),
                   packed_.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    out.push_back(0);
}
