#pragma once

#include "RgbaImage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

// A picture or an animation to fit: frames all of one size.
struct FitSource {
    std::vector<RgbaImage> frames;
    std::vector<int> delaysMs;             // one per frame
    std::optional<uint16_t> loopCount = 0; // 0 plays forever; nullopt plays once
};

struct FitOptions {
    size_t byteBudget = 21504;
    int targetWidth = 0, targetHeight = 0; // a box the result fits in, aspect kept; 0: the source's size
    int maxColors = 256;                   // palette entries, 2..256
    bool allowDither = true;
    bool allowFrameDrop = false;
    // Asked before each trial encoding; true abandons the search (the result is then cancelled).
    std::function<bool()> cancelled;
};

struct FitResult {
    std::vector<uint8_t> bytes; // the GIF; when nothing fits, the smallest one made
    int width = 0, height = 0;
    int colors = 0;           // palette entries in use, the transparent one included
    bool localTables = false; // each frame has a table of its own, of at most colors entries
    int frames = 0;
    bool dithered = false;
    double psnr = 0; // dB, against the source scaled to the result's size, over every source frame
    bool fits = false;
    bool cancelled = false; // the search was abandoned: no bytes
};

// Searches for the best result within the budget: the most colours first, then without dithering, then
// smaller sizes, and for animations, when allowed, fewer frames (their delays merged into the frames
// kept). fits is true only for bytes within the budget. Throws std::invalid_argument for a source without
// frames, with frames of different sizes, or without one delay per frame.
FitResult fitGif(const FitSource& source, const FitOptions& options);

// The peak signal-to-noise ratio of b against a (same size), in dB: transparent pixels match only
// transparent ones; identical pictures give 100.
double rgbaPsnr(const RgbaImage& a, const RgbaImage& b);
