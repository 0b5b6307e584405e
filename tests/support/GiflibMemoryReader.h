#pragma once
// Lets giflib read a GIF from memory (its DGifOpen input function), for the comparisons with our decoder.
#include <gif_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

struct MemoryReader {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

inline int readFromMemory(GifFileType* gif, GifByteType* buffer, int count) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    size_t n = std::min(static_cast<size_t>(count), reader->bytes->size() - reader->pos);
    std::memcpy(buffer, reader->bytes->data() + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}
