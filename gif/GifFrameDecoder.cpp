#include "GifFrameDecoder.h"

#include "GifErrors.h"
#include "GifLzwDecoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr GifColor kMidGrey{128, 128, 128};

// Interlaced rows arrive in four passes: every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1. The frame is decoded in arrival order; the rows that were written are then copied to
// their places in a fresh zeroed buffer, so the work follows the rows the data really holds.
GifPixels placeInterlacedRows(const GifPixels& arrived, int width, int height, size_t written) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const size_t rowBytes = static_cast<size_t>(width);
    const size_t rows = (written + rowBytes - 1) / rowBytes;
    GifPixels placed(arrived.size());
    size_t arrival = 0;
    for (int pass = 0; pass < 4 && arrival < rows; ++pass)
        for (int row = kStart[pass]; row < height && arrival < rows; row += kStep[pass], ++arrival)
            std::memcpy(placed.data() + static_cast<size_t>(row) * rowBytes,
                        arrived.data() + arrival * rowBytes, rowBytes);
    return placed;
}

} // namespace

int GifFrameDecoder::bitmapDepth(int colorDepth) {
    if (colorDepth == 1)
        return 1;
    if (colorDepth >= 2 && colorDepth <= 4)
        return 4;
    if (colorDepth >= 5 && colorDepth <= 8)
        return 8;
    return 0;
}

GifBitmap GifFrameDecoder::decode(const TGIFItem& item, bool interlaced, bool& corrupted) {
    const int depth = bitmapDepth(item.colorDepth);
    if (depth == 0)
        throw EInvalidGraphicOperation("Wrong number of colors; must be a power of 2");
    const int64_t width = std::max(item.width, 0);
    const int64_t height = std::max(item.height, 0);
    if (width * height > kMaxPixels)
        throw EInvalidGraphicOperation("Image is too large");

    GifBitmap bitmap;
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    bitmap.depth = depth;
    const size_t paletteSize = size_t{1} << depth;
    bitmap.palette.assign(paletteSize, kMidGrey);
    const size_t tableCount =
        std::min<size_t>(static_cast<size_t>(std::clamp(item.colorTable.count, 0, 256)), paletteSize);
    std::copy_n(item.colorTable.entries.begin(), tableCount, bitmap.palette.begin());

    const size_t total = static_cast<size_t>(width * height);
    bitmap.pixels = GifPixels(total);
    if (total == 0 || item.compressed.empty())
        return bitmap;

    auto decoder = std::make_unique<GifLzwDecoder>();
    const GifLzwDecoder::Result result = decoder->decode(item.compressed.data(), item.compressed.size(),
                                                         item.colorDepth, bitmap.pixels.data(), total);
    if (interlaced)
        bitmap.pixels = placeInterlacedRows(bitmap.pixels, bitmap.width, bitmap.height, result.written);
    if (result.corrupted)
        corrupted = true;
    return bitmap;
}
