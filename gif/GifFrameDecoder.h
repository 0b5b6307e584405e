#pragma once

#include "GifBitmap.h"
#include "TGIFItem.h"

#include <cstdint>

// Turns one frame's compressed data into an indexed bitmap.
class GifFrameDecoder {
  public:
    // Frames with more pixels than this are refused: sizes come from the file.
    static constexpr int64_t kMaxPixels = int64_t{1} << 26;

    // Decodes item's data; sets corrupted when the data is damaged (never clears it).
    // Throws EInvalidGraphicOperation for a frame without colour table or above kMaxPixels.
    static GifBitmap decode(const TGIFItem& item, bool interlaced, bool& corrupted);

    // Bitmap depth (1, 4 or 8) for a colour depth, 0 when there is no colour table.
    static int bitmapDepth(int colorDepth);
};
