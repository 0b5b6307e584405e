#pragma once

#include "GifBuilder.h"
#include "GifColor.h"
#include "TGIFImage.h"

#include <optional>
#include <utility>
#include <vector>

// Small animations for the composer and animator tests, built with the GIF builder.
namespace animtest {

// The global table: 0 black, 1 red, 2 green, 3 blue.
inline const GifColor kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};
inline std::vector<GifRgb> table() {
    return {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
}

struct Frame {
    Frame(int left, int top, int width, int height, uint8_t fill = 1, uint8_t disposal = 0,
          std::optional<uint8_t> transparentIndex = std::nullopt, uint16_t delay = 10,
          std::vector<uint8_t> pixels = {})
        : left(left), top(top), width(width), height(height), fill(fill), disposal(disposal),
          transparentIndex(transparentIndex), delay(delay), pixels(std::move(pixels)) {}

    int left = 0, top = 0, width = 0, height = 0;
    uint8_t fill = 1; // every pixel takes this index
    uint8_t disposal = 0;
    std::optional<uint8_t> transparentIndex;
    uint16_t delay = 10;         // hundredths of a second, as stored
    std::vector<uint8_t> pixels; // replaces fill when not empty
    bool localTable = false;     // gives the frame the same four colours as its own table
    bool noGraphicControl = false;
};

inline std::vector<uint8_t> gif(int screenWidth, int screenHeight, const std::vector<Frame>& frames,
                                uint8_t backgroundIndex = 0, bool globalTable = true) {
    GifBuilder builder;
    builder.screen(screenWidth, screenHeight, globalTable ? table() : std::vector<GifRgb>{}, backgroundIndex);
    for (const Frame& f : frames) {
        if (!f.noGraphicControl)
            builder.graphicControl(f.delay, f.disposal, f.transparentIndex);
        GifImageSpec frameSpec;
        frameSpec.left = f.left;
        frameSpec.top = f.top;
        frameSpec.width = f.width;
        frameSpec.height = f.height;
        frameSpec.pixels = f.pixels.empty()
                               ? std::vector<uint8_t>(static_cast<size_t>(f.width * f.height), f.fill)
                               : f.pixels;
        frameSpec.minCodeSize = 2;
        if (f.localTable)
            frameSpec.localTable = table();
        builder.image(frameSpec);
    }
    builder.trailer();
    return builder.bytes();
}

inline void load(TGIFImage& image, const std::vector<uint8_t>& bytes) {
    image.loadFromBytes(bytes.data(), bytes.size());
}

} // namespace animtest
