#pragma once
// Palette indexes from a seeded generator: noise that LZW cannot shorten, or runs of runLength.
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

inline std::vector<uint8_t> randomPixels(size_t count, int colours, unsigned seed, int runLength = 1) {
    std::mt19937 random(seed);
    std::vector<uint8_t> pixels;
    pixels.reserve(count);
    while (pixels.size() < count) {
        const auto value = static_cast<uint8_t>(random() % static_cast<unsigned>(colours));
        for (int i = 0; i < runLength && pixels.size() < count; ++i)
            pixels.push_back(value);
    }
    return pixels;
}
