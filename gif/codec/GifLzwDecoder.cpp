#include "GifLzwDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kMaxCodeWidth = 12;

// start below 2^32, length below 2^16.
constexpr uint64_t packEntry(size_t start, size_t length) {
    return uint64_t{start} | uint64_t{length} << 32;
}
size_t entryStart(uint64_t entry) {
    return static_cast<uint32_t>(entry);
}
size_t entryLength(uint64_t entry) {
    return static_cast<size_t>(entry >> 32);
}

// Copies count bytes from src, which ends at or before dst, 16 at a time: the bytes a copy needs are
// never ones it has written. May write up to 15 bytes past dst + count, and read as far past src + count.
inline void copyString(uint8_t* dst, const uint8_t* src, size_t count) {
    size_t k = 0;
    do {
        uint8_t chunk[16];
        std::memcpy(chunk, src + k, 16);
        std::memcpy(dst + k, chunk, 16);
        k += 16;
    } while (k < count);
}

// Writes the first room pixels of a string that reaches the end of the frame, from base + start; when
// the string extends the string written just before it (its own last pixel not yet written), its last
// pixel is its first.
[[gnu::noinline]] void writeLast(const uint8_t* base, uint8_t* dst, size_t room, size_t start,
                                 size_t length) {
    const size_t available = std::min(length, static_cast<size_t>(dst - (base + start)));
    const size_t copied = std::min(room, available);
    std::memmove(dst, base + start, copied);
    if (copied < room)
        dst[copied] = base[start];
}

// The state of string writing between runs of codes.
struct Run {
    size_t width;
    uint32_t mask;      // of a code of width bits
    int64_t next;       // kAfterClear while the code after a clear is awaited
    uint64_t nextEntry; // entry next, but for the first pixel of the string after it: the previous
                        // string's place and its length plus one
    size_t at;          // where the next pixel goes, counted like the entries' places
    size_t bit;         // read position in the window
    enum Stop { More, End, Damage, Last } stop; // why the run ended (More: the window ran short)
    uint64_t lastEntry;                         // with Last: the string that reaches the last pixel
};

constexpr int64_t kAfterClear = -1; // below any code, so that the code after a clear takes the rare path

// The one-pixel codes' entries, and their pixel values for each colour depth, copied in at the start of
// a frame rather than worked out again.
constexpr int kLiterals = 512;
constexpr std::array<uint64_t, kLiterals> kLiteralEntries = [] {
    std::array<uint64_t, kLiterals> entries{};
    for (int c = 0; c < kLiterals; ++c)
        entries[static_cast<size_t>(c)] = packEntry(static_cast<size_t>(c), 1);
    return entries;
}();
constexpr std::array<std::array<uint8_t, kLiterals>, 9> kLiteralPixels = [] {
    std::array<std::array<uint8_t, kLiterals>, 9> pixels{};
    for (int bits = 0; bits <= 8; ++bits)
        for (int c = 0; c < kLiterals; ++c)
            pixels[static_cast<size_t>(bits)][static_cast<size_t>(c)] =
                static_cast<uint8_t>(c & ((1 << bits) - 1));
    return pixels;
}();

// Writes the strings of the codes in window up to bitEnd, until the window runs short or something other
// than table codes comes. base lies one byte for each one-pixel code before the output: the entries'
// places count from it, and end is the place past the last pixel. No calls and locals throughout, so
// that the compiler keeps the state in registers (it must assume that a pixel written through base may
// change anything in memory).
template <int kCodeSize>
[[gnu::noinline]] void runCodes(Run& run, const uint8_t* window, size_t bitEnd, uint64_t* entry,
                                uint8_t* base, size_t end) {
    constexpr int64_t clearCode = int64_t{1} << kCodeSize, endCode = clearCode + 1, firstFree = clearCode + 2;
    constexpr size_t firstWidth = kCodeSize + 1;
    size_t width = run.width;
    uint32_t mask = run.mask;
    int64_t next = run.next;
    uint64_t nextEntry = run.nextEntry;
    size_t at = run.at;
    size_t bit = run.bit;
    // The last bit a code of the present width may start at (negative: none).
    int64_t lastStart = static_cast<int64_t>(bitEnd) - static_cast<int64_t>(width);
    Run::Stop stop = Run::More;

    while (static_cast<int64_t>(bit) <= lastStart) {
        uint64_t word;
        std::memcpy(&word, window + (bit >> 3), sizeof word);
        const int64_t code = static_cast<int64_t>(static_cast<uint32_t>(word >> (bit & 7)) & mask);
        bit += width;

        // Clear and end codes, the code after a clear and codes beyond the next free one.
        if (static_cast<uint64_t>(code - clearCode) < 2u || code > next) [[unlikely]] {
            if (code == clearCode) {
                width = firstWidth;
                mask = (1u << width) - 1;
                lastStart = static_cast<int64_t>(bitEnd) - static_cast<int64_t>(width);
                next = kAfterClear;
                continue;
            }
            if (code == endCode) {
                stop = Run::End;
                break;
            }
            if (next != kAfterClear || code > endCode) {
                // A code beyond the next free one, or a table code right after a clear (its entry is stale).
                stop = Run::Damage;
                break;
            }
            // The code after a clear: one pixel, and no entry.
            nextEntry = packEntry(at, 2);
            base[at] = base[code];
            ++at;
            next = firstFree;
            if (at == end) {
                stop = Run::End;
                break;
            }
            continue;
        }
        // Entry next: the previous string and the first pixel of this one (kept in a spare slot once the
        // table is full). It is written first, so that a code equal to next finds it: the previous string
        // and its own first pixel, which the copy writes last.
        entry[next] = nextEntry;
        const uint64_t stringEntry = entry[code];
        const size_t length = entryLength(stringEntry);
        const size_t start = entryStart(stringEntry);
        if (length >= end - at) [[unlikely]] {
            stop = Run::Last;
            run.lastEntry = stringEntry;
            break;
        }
        uint8_t* const dst = base + at;
        if (length <= 16) [[likely]] {
            uint8_t chunk[16];
            std::memcpy(chunk, base + start, 16);
            std::memcpy(dst, chunk, 16);
        } else {
            copyString(dst, base + start, length);
        }
        if (code == next)
            dst[length - 1] = base[start]; // its last pixel is its first, which was not written yet
        nextEntry = packEntry(at, length + 1);
        at += length;
        // The code width grows as the next free code passes the widest code; a full table stays full.
        if (next < GifLzwDecoder::kMaxCodes) {
            ++next;
            if (next > static_cast<int64_t>(mask) && width < kMaxCodeWidth) [[unlikely]] {
                ++width;
                mask = mask * 2 + 1;
                lastStart = static_cast<int64_t>(bitEnd) - static_cast<int64_t>(width);
            }
        }
    }

    run.width = width;
    run.mask = mask;
    run.next = next;
    run.nextEntry = nextEntry;
    run.at = at;
    run.bit = bit;
    run.stop = stop;
}

} // namespace

size_t GifLzwDecoder::lead(const uint8_t* data, size_t size) {
    return size == 0 ? 0 : size_t{1} << std::clamp(int{data[0]}, 2, 9);
}

GifLzwDecoder::Result GifLzwDecoder::decode(const uint8_t* data, size_t size, int colorBits, uint8_t* out,
                                            size_t total, bool copyStrings) {
    if (size == 0 || total == 0)
        return {};
    int codeSize = data[0];
    const bool sizeDamaged = codeSize < 2 || codeSize > 9;
    codeSize = std::clamp(codeSize, 2, 9);
    colorBits = std::clamp(colorBits, 1, 8);
    const uint8_t pixelMask = static_cast<uint8_t>((1 << colorBits) - 1);

    size_t written = kDamaged;
    if (copyStrings && !sizeDamaged) {
        reader_.start(data + 1, size - 1);
        switch (codeSize) {
        case 2:
            written = writeStrings<2>(out, total, colorBits);
            break;
        case 3:
            written = writeStrings<3>(out, total, colorBits);
            break;
        case 4:
            written = writeStrings<4>(out, total, colorBits);
            break;
        case 5:
            written = writeStrings<5>(out, total, colorBits);
            break;
        case 6:
            written = writeStrings<6>(out, total, colorBits);
            break;
        case 7:
            written = writeStrings<7>(out, total, colorBits);
            break;
        case 8:
            written = writeStrings<8>(out, total, colorBits);
            break;
        default:
            written = writeStrings<9>(out, total, colorBits);
            break;
        }
    }
    bool loop = false;
    if (written == kDamaged) {
        // Damaged data (or walking asked for): again from the start, walking the table.
        reader_.start(data + 1, size - 1);
        written = walkTable(codeSize, pixelMask, out, total, sizeDamaged, loop);
    }
    // Clear what the whole-chunk copies may have left past the last pixel.
    if (written < total)
        std::memset(out + written, 0, std::min(kPadding, total - written));
    return {sizeDamaged || loop ? GifStatus::bad_lzw_code : GifStatus::ok, written};
}

template <int kCodeSize> size_t GifLzwDecoder::writeStrings(uint8_t* out, size_t total, int colorBits) {
    constexpr size_t clearCode = size_t{1} << kCodeSize;
    // Each one-pixel code's string, laid out before the output.
    uint8_t* const base = out - clearCode;
    std::memcpy(base, kLiteralPixels[static_cast<size_t>(colorBits)].data(), clearCode);
    std::memcpy(entry_.data(), kLiteralEntries.data(), clearCode * sizeof(uint64_t));
    Run run{};
    run.width = kCodeSize + 1;
    run.mask = (1u << run.width) - 1;
    run.next = kAfterClear; // a stream that does not open with a clear code is read as if it did
    run.at = clearCode;
    const size_t end = clearCode + total;
    GifBitReader::Cursor cursor = reader_.cursor();
    for (;;) {
        run.bit = cursor.bit;
        runCodes<kCodeSize>(run, reader_.window(), cursor.end, entry_.data(), base, end);
        cursor.bit = run.bit;
        if (run.stop != Run::More)
            break;
        cursor = reader_.refilled(cursor);
        if (cursor.bit + run.width > cursor.end)
            break; // the data is exhausted
    }
    if (run.stop == Run::Damage)
        return kDamaged;
    if (run.stop == Run::Last) {
        // The string reaches the last pixel: write what fits, and the frame is done.
        writeLast(base, base + run.at, end - run.at, entryStart(run.lastEntry), entryLength(run.lastEntry));
        return total;
    }
    return run.at - clearCode;
}

size_t GifLzwDecoder::walkTable(int codeSize, uint8_t pixelMask, uint8_t* out, size_t total, bool sizeDamaged,
                                bool& loop) {
    const int clearCode = 1 << codeSize, endCode = clearCode + 1, firstFree = clearCode + 2;
    const int firstWidth = codeSize + 1;
    prefix_.fill(0);
    suffix_.fill(0);
    int width = firstWidth, limit = 1 << width, next = firstFree;
    bool frozen = false;
    // A stream that does not open with a clear code is read as if it did, unless its code size is damaged.
    bool afterClear = !sizeDamaged;
    int previous = 0;
    uint8_t lastPixel = 0;
    size_t pos = 0;
    int code = reader_.read(width);
    while (code != GifBitReader::kExhausted && code != endCode && pos < total) {
        if (code == clearCode) {
            width = firstWidth;
            limit = 1 << width;
            next = firstFree;
            frozen = false;
            afterClear = true;
            code = reader_.read(width);
            continue;
        }
        if (afterClear) {
            afterClear = false;
            previous = code;
            lastPixel = static_cast<uint8_t>(code & pixelMask);
            out[pos++] = lastPixel;
            code = reader_.read(width);
            continue;
        }
        if (sizeDamaged)
            break;
        // Push the string back to front, then write it front to back.
        const int current = code;
        int walk = current;
        size_t depth = 0;
        if (current >= next) {
            walk = previous;
            stack_[depth++] = lastPixel;
        }
        while (walk >= clearCode) {
            if (depth >= kMaxCodes) {
                loop = true;
                return pos;
            }
            stack_[depth++] = suffix_[static_cast<size_t>(walk)];
            walk = prefix_[static_cast<size_t>(walk)];
        }
        if (depth >= kMaxCodes) {
            loop = true;
            return pos;
        }
        lastPixel = static_cast<uint8_t>(walk & pixelMask);
        stack_[depth++] = lastPixel;
        while (depth > 0 && pos < total)
            out[pos++] = stack_[--depth];
        if (!frozen) {
            prefix_[static_cast<size_t>(next)] = static_cast<uint16_t>(previous);
            suffix_[static_cast<size_t>(next)] = lastPixel;
            if (++next == limit) {
                if (width < kMaxCodeWidth) {
                    ++width;
                    limit <<= 1;
                } else {
                    frozen = true;
                }
            }
        }
        previous = current;
        code = reader_.read(width);
    }
    return pos;
}
