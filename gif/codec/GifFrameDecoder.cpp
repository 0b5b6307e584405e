#include "GifFrameDecoder.h"

#include "GifLzwDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr GifColor kMidGrey{128, 128, 128};

// Frames up to this many pixels are decoded on the stack when they must be reordered afterwards.
constexpr size_t kStackFrame = size_t{1} << 16;

// Interlaced rows arrive in four passes: every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1. The pixels that arrived are copied row by row to their places through that order;
// rows that never arrived stay zero.
void placeInterlacedRows(const uint8_t* arrived, size_t written, GifBitmap& bitmap) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const size_t rowBytes = static_cast<size_t>(bitmap.width);
    size_t from = 0;
    for (int pass = 0; pass < 4; ++pass)
        for (int row = kStart[pass]; row < bitmap.height && from < written; row += kStep[pass]) {
            const size_t count = std::min(rowBytes, written - from);
            std::memcpy(bitmap.pixels.data() + static_cast<size_t>(row) * rowBytes, arrived + from, count);
            from += count;
        }
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

GifStatus GifFrameDecoder::decode(const TGIFItem& item, bool interlaced, GifBitmap& bitmap) {
    const int depth = bitmapDepth(item.colorDepth);
    if (depth == 0)
        return GifStatus::missing_color_table;
    const int64_t width = std::max(item.width, 0);
    const int64_t height = std::max(item.height, 0);
    if (width * height > kMaxPixels)
        return GifStatus::too_much_pixel_data;

    bitmap = GifBitmap();
    bitmap.width = static_cast<int>(width);
    bitmap.height = static_cast<int>(height);
    bitmap.depth = depth;
    bitmap.palette = GifPalette(size_t{1} << depth, item.colorTable.entries.data(),
                                static_cast<size_t>(std::clamp(item.colorTable.count, 0, 256)), kMidGrey);

    const size_t total = static_cast<size_t>(width * height);
    if (total == 0 || item.compressed.empty()) {
        bitmap.pixels = GifPixels(total);
        return GifStatus::ok;
    }

    GifLzwDecoder decoder;
    const size_t lead = GifLzwDecoder::lead(item.compressed.data(), item.compressed.size());
    if (!interlaced) {
        // Only the pixels the data leaves unwritten need zeroing, unless the buffer is zero already.
        bitmap.pixels = GifPixels(total, lead, GifLzwDecoder::kPadding, GifPixels::Start::Unset);
        const GifLzwDecoder::Result result = decoder.decode(item.compressed.data(), item.compressed.size(),
                                                            item.colorDepth, bitmap.pixels.data(), total);
        if (!bitmap.pixels.zeroed())
            std::memset(bitmap.pixels.data() + result.written, 0, total - result.written);
        return result.status;
    }
    // Interlaced: decoded in arrival order, on the stack when small, then placed.
    bitmap.pixels = GifPixels(total);
    GifPixels large;
    std::array<uint8_t, GifLzwDecoder::kLead + kStackFrame + GifLzwDecoder::kPadding>
        small; // only what is
               // written is read
    uint8_t* arrived = small.data() + GifLzwDecoder::kLead;
    if (total > kStackFrame) {
        large = GifPixels(total, lead, GifLzwDecoder::kPadding, GifPixels::Start::Unset);
        arrived = large.data();
    }
    const GifLzwDecoder::Result result =
        decoder.decode(item.compressed.data(), item.compressed.size(), item.colorDepth, arrived, total);
    placeInterlacedRows(arrived, result.written, bitmap);
    return result.status;
}
