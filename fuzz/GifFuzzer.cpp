// Loads arbitrary bytes as a GIF, decodes the frames and reads every field; any crash, sanitizer report
// or broken invariant is a finding.
#include "GifErrors.h"
#include "GifLzwDecoder.h"
#include "TGIFImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

// Decoding every frame of a long animation of large frames would only measure page faults and keep the
// fuzzer slow; the cap on a single frame is still exercised by frame 0, which loading always decodes,
// and by the first large frame. The decoders are compared on frames up to kComparedPixels.
constexpr int64_t kPixelBudget = int64_t{1} << 18;
constexpr int64_t kComparedPixels = int64_t{1} << 16;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

volatile unsigned sink;

// The fast decoder (copying strings from the output) must agree with the plain table walk.
void compareDecoders(const TGIFItem& item) {
    const int64_t total = int64_t{item.width} * item.height;
    if (item.compressed.empty() || item.colorDepth < 1 || item.colorDepth > 8 || total <= 0 ||
        total > kComparedPixels)
        return;
    static GifLzwDecoder decoder;
    const size_t pixels = static_cast<size_t>(total);
    std::vector<uint8_t> fast(GifLzwDecoder::kLead + pixels + GifLzwDecoder::kPadding), walked(fast.size());
    uint8_t* const fastOut = fast.data() + GifLzwDecoder::kLead;
    uint8_t* const walkedOut = walked.data() + GifLzwDecoder::kLead;
    const GifLzwDecoder::Result fastResult = decoder.decode(item.compressed.data(), item.compressed.size(),
                                                            item.colorDepth, fastOut, pixels, true);
    const GifLzwDecoder::Result walkedResult = decoder.decode(item.compressed.data(), item.compressed.size(),
                                                              item.colorDepth, walkedOut, pixels, false);
    check(fastResult.status == walkedResult.status);
    check(fastResult.written == walkedResult.written);
    check(std::equal(fastOut, fastOut + pixels, walkedOut));
}

void readFrame(TGIFImage& image, int index, int64_t& budget) {
    const TGIFFrame& frame = image.frame(index);
    unsigned sum = static_cast<unsigned>(frame.left() + frame.top() + frame.width() + frame.height());
    sum += frame.interlaced() + frame.localColors() + frame.delay() + frame.disposal();
    if (auto colour = frame.transparentColor())
        sum += colour->r + colour->g + colour->b;
    for (const TExtension& extension : frame.extensions())
        for (const std::string& s : extension.data)
            sum += static_cast<unsigned>(s.size());
    check(frame.disposal() <= 7);
    const int64_t pixels = int64_t{frame.width()} * frame.height();
    if (pixels > budget && pixels <= (int64_t{1} << 26) && !frame.decoded())
        return;
    budget -= pixels;
    if (frame.item())
        compareDecoders(*frame.item());
    try {
        const GifBitmap& bitmap = image.frameBitmap(index);
        check(bitmap.pixels.size() == static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height));
        if (!bitmap.pixels.empty()) {
            check(bitmap.depth == 1 || bitmap.depth == 4 || bitmap.depth == 8);
            check(bitmap.palette.size() == (size_t{1} << bitmap.depth));
            if (static_cast<int64_t>(bitmap.pixels.size()) <= kPixelBudget)
                for (uint8_t p : bitmap.pixels)
                    check(p < bitmap.palette.size());
            sum += bitmap.pixels[0] + bitmap.pixels[bitmap.pixels.size() - 1];
        }
        check(frame.decoded() || !frame.hasData());
    } catch (const EInvalidGraphicOperation&) {
        check(!frame.decoded());
    }
    sink = sum + frame.corrupted();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TGIFImage image;
    bool loaded = true;
    try {
        image.loadFromBytes(data, size);
    } catch (const EInvalidGraphicOperation&) {
        loaded = false;
    } catch (const EReadError&) {
        loaded = false;
    }
    if (loaded && image.frameCount() > 0)
        check(image.currentFrameIndex() == 0 && image.frame(0).decoded());
    if (image.frameCount() == 0)
        check(image.currentFrameIndex() == -1);

    unsigned sum = static_cast<unsigned>(image.screenWidth() + image.screenHeight() + image.version());
    sum += image.looping() + image.repeatCount() + image.empty() + image.transparent();
    check(image.repeatCount() <= 30000);
    if (auto colour = image.backgroundColor())
        sum += colour->r;
    for (const std::string& s : image.comment())
        sum += static_cast<unsigned>(s.size());

    int64_t budget = kPixelBudget;
    for (int i = 0; i < image.frameCount(); ++i)
        readFrame(image, i, budget);
    try {
        sum += static_cast<unsigned>(image.width() + image.height() + image.palette().size());
    } catch (const EInvalidGraphicOperation&) {
    }

    check(image.heldPixels() <= TGIFImage::kDecodedPixelBudget);
    TGIFImage copy(image);
    check(copy.frameCount() == image.frameCount());
    for (int i = 0; i < copy.frameCount(); ++i) {
        check(copy.frame(i).item() == image.frame(i).item());
        // A copy shares what was decoded.
        check(copy.frame(i).decodedBitmap() == image.frame(i).decodedBitmap());
    }
    image.releaseBitmaps();
    check(image.heldPixels() == 0);
    sink = sum;
    return 0;
}
