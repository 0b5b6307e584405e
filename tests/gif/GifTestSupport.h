#pragma once

#include "GifBuilder.h"
#include "TGIFImage.h"

#include <string>
#include <vector>

// The text of the exception of type E that f throws, or a note of what happened instead.
template <class E, class F> std::string errorText(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.what();
    } catch (const std::exception& e) {
        return std::string("<other exception: ") + e.what() + ">";
    }
    return "<no exception>";
}

inline void loadGif(TGIFImage& image, const std::vector<uint8_t>& bytes) {
    image.loadFromBytes(bytes.data(), bytes.size());
}

// A frame of width x height whose pixels count up modulo colours.
inline GifImageSpec countingFrame(int width, int height, int colours = 4) {
    GifImageSpec frameSpec;
    frameSpec.width = width;
    frameSpec.height = height;
    for (int i = 0; i < width * height; ++i)
        frameSpec.pixels.push_back(static_cast<uint8_t>(i % colours));
    return frameSpec;
}

inline std::vector<uint8_t> oneFrameGif(const GifImageSpec& frameSpec, int globalColours = 4) {
    GifBuilder gif;
    gif.screen(frameSpec.width, frameSpec.height, GifBuilder::palette(globalColours))
        .image(frameSpec)
        .trailer();
    return gif.bytes();
}
