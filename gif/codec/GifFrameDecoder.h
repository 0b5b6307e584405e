#pragma once

#include "GifBitmap.h"
#include "GifStatus.h"
#include "TGIFItem.h"

#include <cstdint>

// Turns one frame's compressed data into an indexed bitmap.
class GifFrameDecoder {
  public:
    // Frames with more pixels than this are refused: sizes come from the file.
    static constexpr int64_t kMaxPixels = int64_t{1} << 26;

    // Decodes item's data into bitmap: ok, or bad_lzw_code when the data is damaged (bitmap holds what
    // it gave). missing_color_table for a frame without colour table, too_much_pixel_data above kMaxPixels:
    // then bitmap is left as it was. Throws std::bad_alloc.
    [[nodiscard]] static GifStatus decode(const TGIFItem& item, bool interlaced, GifBitmap& bitmap);

    // Bitmap depth (1, 4 or 8) for a colour depth, 0 when there is no colour table.
    static int bitmapDepth(int colorDepth);
};
