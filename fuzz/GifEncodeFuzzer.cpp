// Loads arbitrary bytes as a GIF and writes each frame it decodes again with the encoder: what the
// encoder writes must load without a flag and give back the same indexes and palette.
#include "GifEncoder.h"
#include "TGIFImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Frames are re-encoded up to this many pixels in all, so a long animation keeps the fuzzer fast.
constexpr int64_t kPixelBudget = int64_t{1} << 18;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

void roundTrip(const GifBitmap& bitmap) {
    const uint8_t* pixels = bitmap.pixels.begin();
    const size_t count = bitmap.pixels.size();
    // Indexes beyond the palette are the decoder's to show; the encoder rightly refuses them.
    if (std::any_of(pixels, pixels + count, [&](uint8_t i) { return i >= bitmap.palette.size(); }))
        return;
    GifEncodeImage image;
    image.width = bitmap.width;
    image.height = bitmap.height;
    image.globalColors.assign(bitmap.palette.begin(), bitmap.palette.end());
    GifEncodeFrame frame;
    frame.width = bitmap.width;
    frame.height = bitmap.height;
    frame.indexes.assign(pixels, pixels + count);
    image.frames.push_back(std::move(frame));
    const std::vector<uint8_t> bytes = encodeGif(image);

    TGIFImage back;
    try {
        back.loadFromBytes(bytes.data(), bytes.size());
    } catch (...) {
        check(false);
    }
    check(back.frameCount() == 1);
    const GifBitmap* again = nullptr;
    check(back.decodeFrame(0, again) == GifStatus::ok && again != nullptr);
    check(!back.frame(0).corrupted());
    check(again->width == bitmap.width && again->height == bitmap.height);
    check(std::equal(pixels, pixels + count, again->pixels.begin(), again->pixels.end()));
    check(again->palette.size() >= bitmap.palette.size());
    for (size_t i = 0; i < bitmap.palette.size(); ++i)
        check(again->palette[i] == bitmap.palette[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TGIFImage image;
    try {
        image.loadFromBytes(data, size);
    } catch (...) {
        return 0;
    }
    int64_t budget = kPixelBudget;
    for (int i = 0; i < image.frameCount(); ++i) {
        const int64_t pixels = int64_t{image.frame(i).width()} * image.frame(i).height();
        if (pixels <= 0 || pixels > budget)
            continue;
        budget -= pixels;
        const GifBitmap* bitmap = nullptr;
        if (image.decodeFrame(i, bitmap) == GifStatus::ok && bitmap != nullptr && !bitmap->empty())
            roundTrip(*bitmap);
    }
    return 0;
}
