#pragma once

#include "GifColor.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// A frame as it is stored: a rectangle of palette indexes on the logical screen.
struct GifEncodeFrame {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> indexes;      // width * height, top row first
    std::vector<GifColor> localColors; // 2..256 entries; empty: the global table
    uint16_t delay = 0;                // hundredths of a second
    uint8_t disposal = 0;              // 0..7
    int transparentIndex = -1;         // -1: none
};

struct GifEncodeImage {
    int width = 0, height = 0;          // logical screen
    std::vector<GifColor> globalColors; // 2..256 entries; empty: no global table
    uint8_t backgroundIndex = 0;
    std::optional<uint16_t> loopCount = 0; // 0 plays forever; nullopt writes no loop extension
    std::vector<GifEncodeFrame> frames;
};

// A GIF89a file of image. Tables are padded to a power of two; the loop extension is written only for
// more than one frame. Throws std::invalid_argument for an image that cannot be written as given (no
// frames, a frame outside the screen or without a table, an index beyond its table, sizes out of range).
std::vector<uint8_t> encodeGif(const GifEncodeImage& image);

// Bits of a table of count entries once padded to a power of two (1 for 1 or 2 entries, at most 8).
int gifTableBits(size_t count);
