// Loads arbitrary bytes as a GIF and composes every frame in turn, as the animator steps through them:
// twice round the part of the screen that the View dialog's 449 x 225 panel shows, centred, then once round
// the whole screen when it is small. Run with
// -timeout=2 -rss_limit_mb=512: a file whose composition costs far more time or memory than its size is a
// finding, as are a crash, a sanitizer report, or stepping that gives another picture than composing
// the same frame from the start.
#include "GifComposer.h"
#include "GifErrors.h"
#include "TGIFImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

constexpr int kPanelWidth = 449, kPanelHeight = 225;
constexpr int64_t kWholeScreenPixels = int64_t{1} << 16;
constexpr int kComparedFrames = 4;

void check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// The part of the screen a centred control of the panel's size shows.
GifComposer::Area panelArea(int screenWidth, int screenHeight) {
    const int originX = (kPanelWidth - screenWidth) / 2, originY = (kPanelHeight - screenHeight) / 2;
    const int left = std::max(0, -originX), top = std::max(0, -originY);
    return {left, top, std::min(screenWidth, kPanelWidth - originX) - left,
            std::min(screenHeight, kPanelHeight - originY) - top};
}

void composeRound(TGIFImage& image, GifComposer& stepped, const GifComposer::Area& area, bool compare) {
    for (int i = 0; i < image.frameCount(); ++i) {
        if (!stepped.compose(image, i, area))
            return;
        check(stepped.cacheIndex() == i);
        check(stepped.pixels().size() ==
              static_cast<size_t>(stepped.width()) * static_cast<size_t>(stepped.height()));
        if (compare && i < kComparedFrames) {
            GifComposer fresh;
            check(fresh.compose(image, i, area));
            check(fresh.pixels() == stepped.pixels());
            check(fresh.transparentColor() == stepped.transparentColor());
        }
        stepped.takeStatus();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TGIFImage image;
    try {
        image.loadFromBytes(data, size);
    } catch (const EInvalidGraphicOperation&) {
    } catch (const EReadError&) {
    }
    if (image.frameCount() == 0)
        return 0;
    const int screenWidth = image.screenWidth(), screenHeight = image.screenHeight();
    GifComposer composer;
    const GifComposer::Area panel = panelArea(screenWidth, screenHeight);
    composeRound(image, composer, panel, true);
    composeRound(image, composer, panel, false);
    if (int64_t{screenWidth} * screenHeight <= kWholeScreenPixels) {
        GifComposer whole;
        composeRound(image, whole, {0, 0, screenWidth, screenHeight}, true);
    }
    check(image.heldPixels() <= TGIFImage::kDecodedPixelBudget);
    return 0;
}
