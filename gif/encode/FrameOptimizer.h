#pragma once

#include "GifEncoder.h"
#include "RgbaImage.h"

#include <cstdint>
#include <optional>
#include <vector>

// A colour table and the entry in it that marks transparent pixels, which a frame may also use for
// pixels left as they were; its colour must appear nowhere else in the table. -1: none (then no pixel
// of a frame using the table is transparent).
struct FrameTable {
    std::vector<GifColor> colors;
    int transparentIndex = -1;
};

// Screen-sized frames over the global table, or each over its own, to be stored as small as they can be.
struct FrameOptimizerInput {
    int width = 0, height = 0;
    std::vector<GifColor> palette;    // the global table
    int transparentIndex = -1;        // in the global table, as in FrameTable
    std::vector<IndexedImage> frames; // each width x height
    // Empty, or one per frame: a frame's own table (written as its local table); one without colours
    // uses the global table.
    std::vector<FrameTable> localTables;
    std::vector<uint16_t> delays; // hundredths, one per frame
    std::optional<uint16_t> loopCount = 0;
};

// Turns full frames into GIF frames: the first whole, each later one as the smallest rectangle whose
// colours differ from what the screen shows before it, with the unchanged pixels in it made transparent when
// that is smaller. A frame stays on screen under the next (disposal 1), except that a frame is erased to
// the background (disposal 2, over a rectangle grown as needed) when the next one has transparent pixels
// where it was opaque. Composed in order, the frames show exactly the input frames.
class FrameOptimizer {
  public:
    // Throws std::invalid_argument when frames, tables, delays and sizes do not agree or a transparent
    // colour is not unique.
    static GifEncodeImage optimize(const FrameOptimizerInput& input);
};
