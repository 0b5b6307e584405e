#pragma once

#include "GifColor.h"

#include <cstdint>
#include <optional>

// What the stream says of a frame besides its pixels.
struct GifFrameInfo {
    int32_t left = 0, top = 0;
    bool interlaced = false;
    bool corrupted = false; // the data was found damaged, while reading or decoding
    std::optional<GifColor> transparentColor;
    uint16_t delay = 0;   // milliseconds
    uint8_t disposal = 0; // 0..7 as stored
    bool localColors = false;
};
