#pragma once

#include "GifEncoder.h"
#include "RgbaImage.h"

#include <cstdint>
#include <optional>
#include <vector>

// Screen-sized frames over one palette, to be stored as small as they can be.
struct FrameOptimizerInput {
    int width = 0, height = 0;
    std::vector<GifColor> palette; // the global table
    // The entry that marks transparent pixels, and that a frame may use for pixels left as they were;
    // its colour must appear nowhere else in the palette. -1: none (then no pixel is transparent).
    int transparentIndex = -1;
    std::vector<IndexedImage> frames; // each width x height
    std::vector<uint16_t> delays;     // hundredths, one per frame
    std::optional<uint16_t> loopCount = 0;
};

// Turns full frames into GIF frames: the first whole, each later one as the smallest rectangle that
// differs from what the screen shows before it, with the unchanged pixels in it made transparent when
// that is smaller. A frame stays on screen under the next (disposal 1), except that a frame is erased to
// the background (disposal 2, over a rectangle grown as needed) when the next one has transparent pixels
// where it was opaque. Composed in order, the frames show exactly the input frames.
class FrameOptimizer {
  public:
    // Throws std::invalid_argument when frames, delays and sizes do not agree or the transparent colour
    // is not unique.
    static GifEncodeImage optimize(const FrameOptimizerInput& input);
};
