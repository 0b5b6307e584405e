#include "GifBitReader.h"

#include <algorithm>

GifBitReader::Cursor GifBitReader::refilled(Cursor cursor) {
    const size_t keepFrom = cursor.bit >> 3;
    const size_t held = (cursor.end >> 3) - keepFrom;
    std::memmove(window_, window_ + keepFrom, held);
    cursor.bit &= 7;
    size_t filled = held;
    while (filled < kWindow && !ended_) {
        if (blockLeft_ == 0) {
            if (pos_ >= size_ || data_[pos_] == 0) {
                ended_ = true;
                break;
            }
            blockLeft_ = data_[pos_++];
        }
        const size_t take = std::min({blockLeft_, kWindow - filled, size_ - pos_});
        std::memcpy(window_ + filled, data_ + pos_, take);
        filled += take;
        pos_ += take;
        blockLeft_ -= take;
        if (pos_ >= size_)
            ended_ = true; // a block cut short by the end of the bytes is read as far as it goes
    }
    // The last load may reach past the bytes held; it must not read what was never written.
    std::memset(window_ + filled, 0, sizeof(uint64_t));
    cursor.end = filled * 8;
    return cursor;
}
