#pragma once

#include "GifPalette.h"
#include "GifPixels.h"

#include <cstddef>
#include <cstdint>

// A decoded frame: one palette index per pixel, top row first.
struct GifBitmap {
    int width = 0, height = 0;
    int depth = 0;      // 1, 4 or 8 (0 for an empty bitmap)
    GifPalette palette; // 2^depth entries; beyond the colour table: mid-grey 128,128,128
    GifPixels pixels;   // width*height palette indexes, top row first

    bool empty() const { return width <= 0 || height <= 0 || depth == 0; }
    uint8_t pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
