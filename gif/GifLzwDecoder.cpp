#include "GifLzwDecoder.h"

#include "GifBitReader.h"

#include <algorithm>
#include <cstring>

namespace {

// Copies count bytes that lie wholly before dst. Short copies move 16 bytes at once; the bytes past
// count are overwritten by the next string or cleared at the end.
inline void copyString(uint8_t* dst, const uint8_t* src, size_t count, bool roomFor16) {
    if (count <= 16 && roomFor16) {
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + 8, &b, 8);
    } else {
        std::memcpy(dst, src, count);
    }
}

} // namespace

GifLzwDecoder::Result GifLzwDecoder::decode(const uint8_t* data, size_t size, int colorBits, uint8_t* out,
                                            size_t total, bool copyStrings) {
    if (size == 0 || total == 0)
        return {};
    bool corrupted = false;
    int codeSize = data[0];
    if (codeSize < 2 || codeSize > 9) {
        corrupted = true;
        codeSize = std::clamp(codeSize, 2, 9);
    }
    const int clearCode = 1 << codeSize;
    const int endCode = clearCode + 1;
    const int firstFree = clearCode + 2;
    const uint8_t mask = static_cast<uint8_t>((1 << colorBits) - 1);

    prefix_.fill(0);
    suffix_.fill(0);

    int width = codeSize + 1;
    int limit = 1 << width;
    int next = firstFree;
    bool frozen = false;
    int previous = 0;
    uint8_t lastPixel = 0;
    size_t previousStart = 0;
    size_t previousLength = 0;
    bool fast = copyStrings;
    // A stream that does not open with a clear code is read as if it did.
    bool afterClear = !corrupted;
    size_t pos = 0;

    GifBitReader reader(data + 1, size - 1);
    int code = reader.read(width);
    while (code >= 0 && code != endCode && pos < total) {
        if (code == clearCode) {
            width = codeSize + 1;
            limit = 1 << width;
            next = firstFree;
            frozen = false;
            afterClear = true;
            code = reader.read(width);
            continue;
        }
        if (afterClear) {
            afterClear = false;
            previous = code;
            lastPixel = static_cast<uint8_t>(code & mask);
            previousStart = pos;
            previousLength = 1;
            out[pos++] = lastPixel;
            if (code >= clearCode)
                fast = false; // its table entry is stale, so later strings are not copies of the output
            code = reader.read(width);
            continue;
        }
        if (corrupted)
            break;

        const int current = code;
        const size_t currentStart = pos;
        size_t currentLength;
        if (fast && current > next && !frozen)
            fast = false;
        if (fast) {
            if (current < clearCode) {
                lastPixel = static_cast<uint8_t>(current & mask);
                out[pos++] = lastPixel;
                currentLength = 1;
            } else if (current < next) {
                currentLength = length_[current];
                const uint8_t* src = out + start_[current];
                lastPixel = *src;
                size_t count = std::min(currentLength, total - pos);
                copyString(out + pos, src, count, pos + 16 <= total);
                pos += count;
            } else {
                // The code being defined: the previous string plus its own first pixel.
                currentLength = previousLength + 1;
                size_t count = std::min(previousLength, total - pos);
                copyString(out + pos, out + previousStart, count, pos + 16 <= total);
                pos += count;
                if (pos < total)
                    out[pos++] = lastPixel;
            }
        } else {
            int walk = current;
            size_t depth = 0;
            if (current >= next) {
                walk = previous;
                stack_[depth++] = lastPixel;
            }
            while (walk >= clearCode) {
                if (depth >= kMaxCodes) {
                    corrupted = true;
                    break;
                }
                stack_[depth++] = suffix_[walk];
                walk = prefix_[walk];
            }
            if (corrupted || depth >= kMaxCodes) {
                corrupted = true;
                break;
            }
            lastPixel = static_cast<uint8_t>(walk & mask);
            stack_[depth++] = lastPixel;
            currentLength = depth;
            while (depth > 0 && pos < total)
                out[pos++] = stack_[--depth];
        }

        if (!frozen) {
            prefix_[next] = static_cast<uint16_t>(previous);
            suffix_[next] = lastPixel;
            length_[next] = static_cast<uint16_t>(previousLength + 1);
            start_[next] = static_cast<uint32_t>(previousStart);
            if (++next == limit) {
                if (width < 12) {
                    ++width;
                    limit <<= 1;
                } else {
                    frozen = true;
                }
            }
        }
        previous = current;
        previousStart = currentStart;
        previousLength = currentLength;
        code = reader.read(width);
    }
    // Clear what the 16-byte copies may have written past the last string.
    if (pos < total)
        std::memset(out + pos, 0, std::min<size_t>(16, total - pos));
    return {corrupted, pos};
}
