#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A picture as 8-bit red, green, blue and alpha per pixel, top row first.
struct RgbaImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba; // width * height * 4

    const uint8_t* pixel(int x, int y) const {
        return rgba.data() + (static_cast<size_t>(y) * width + x) * 4;
    }
};

// Palette indexes, one per pixel, top row first.
struct IndexedImage {
    int width = 0, height = 0;
    std::vector<uint8_t> indexes;
};
