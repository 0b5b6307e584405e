#pragma once

#include "TGIFColor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A decoded frame: one palette index per pixel, top row first.
struct TGIFBitmap {
    int width = 0, height = 0;
    int depth = 0;                  // 1, 4 or 8 (0 for an empty bitmap)
    std::vector<TGIFColor> palette; // 2^depth entries; beyond the colour table: mid-grey 128,128,128
    std::vector<uint8_t> pixels;    // width*height palette indexes, top row first

    bool empty() const { return width <= 0 || height <= 0 || depth == 0; }
    uint8_t pixel(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
