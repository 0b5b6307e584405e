#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Reads LZW codes, least significant bit first, from GIF data sub-blocks (each led by its length byte).
// The data ends at a zero-length block or at the end of the bytes; a block longer than the bytes left
// is read as far as it goes.
//
// The blocks' bytes are gathered into a window without their length bytes, so that a code is one
// unaligned 64-bit load, a shift and a mask; the window is refilled when a code would run past its end.
// A decoding loop may keep the read position in its own variables (a Cursor) and hand it back after.
class GifBitReader {
  public:
    // What read() gives once the data is exhausted: above any code.
    static constexpr int kExhausted = 1 << 16;

    struct Cursor {
        size_t bit = 0; // next bit to read in the window
        size_t end = 0; // bits held in the window
    };

    GifBitReader() = default;
    GifBitReader(const uint8_t* blocks, size_t size) { start(blocks, size); }
    GifBitReader(const GifBitReader&) = delete;
    GifBitReader& operator=(const GifBitReader&) = delete;

    // Starts reading other blocks.
    void start(const uint8_t* blocks, size_t size) {
        data_ = blocks;
        size_ = size;
        pos_ = blockLeft_ = 0;
        ended_ = false;
        cursor_ = {};
    }

    // The next code of width bits (1 to 12), or kExhausted when fewer bits are left.
    int read(int width) { return read(cursor_, width); }

    // The same with a cursor held by the caller (see cursor() and setCursor()).
    int read(Cursor& cursor, int width) {
        if (cursor.bit + static_cast<size_t>(width) > cursor.end) {
            // By value, so that the caller's cursor can stay in registers.
            cursor = refilled(cursor);
            if (cursor.bit + static_cast<size_t>(width) > cursor.end)
                return kExhausted;
        }
        uint64_t word;
        std::memcpy(&word, window_ + (cursor.bit >> 3), sizeof word);
        const int code = static_cast<int>((word >> (cursor.bit & 7)) & ((uint64_t{1} << width) - 1));
        cursor.bit += static_cast<size_t>(width);
        return code;
    }
    Cursor cursor() const { return cursor_; }
    void setCursor(Cursor cursor) { cursor_ = cursor; }
    // For a loop of its own: the window the cursor reads, always readable eight bytes past its end, and
    // its refill, which moves the unread bytes to the front and appends block bytes after them.
    const uint8_t* window() const { return window_; }
    Cursor refilled(Cursor cursor);

  private:
    static constexpr size_t kWindow = 4096;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t pos_ = 0;       // next byte of data_ to take
    size_t blockLeft_ = 0; // bytes of the current block not yet taken
    bool ended_ = false;   // a zero-length block or the end of the bytes was met
    Cursor cursor_;
    uint8_t window_[kWindow + sizeof(uint64_t)];
};
