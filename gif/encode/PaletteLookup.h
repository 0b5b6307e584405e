#pragma once

#include "GifEncoder.h"

#include <array>
#include <cstdint>
#include <vector>

// The nearest palette entry to a colour (squared RGB distance). Answers are cached per cell of 4 x 4 x 4
// colours where one entry is nearest for the whole cell, so a photograph costs a search per cell, not per
// pixel, and a colour close to two entries still gets the exact answer.
class PaletteLookup {
  public:
    // skip: an entry never given (the transparent one), or -1. The palette needs one other entry.
    PaletteLookup(const std::vector<GifColor>& palette, int skip = -1);

    uint8_t nearest(int r, int g, int b);
    // Without the cache.
    uint8_t search(int r, int g, int b) const;

  private:
    struct Entry {
        int r, g, b;
        uint8_t index;
    };
    // best and second best squared distances, for the cache's safety test.
    uint8_t search(int r, int g, int b, int& best, int& second) const;

    static constexpr uint16_t kUnknown = 0xFFFF, kAmbiguous = 0xFFFE;
    std::vector<Entry> sorted_;         // by red
    std::array<uint16_t, 257> start_{}; // first sorted entry with red >= value
    std::vector<uint16_t> cells_;       // 2^18 cells once nearest() runs: index, kUnknown or kAmbiguous
};
