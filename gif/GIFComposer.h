#pragma once

#include "TGIFColor.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TGIFImage;
struct TGIFBitmap;

// Composes the logical screen of a GIF animation for one frame index: the frames before it laid down by
// their disposal methods, then the frame itself. The result is a 32-bit picture (0xFFRRGGBB, top row
// first) with an optional transparent colour: pixels of that colour are to be left out when painting.
//
// The last composition is kept. Stepping to the next frame draws only that frame over it (after erasing
// the previous frame's rectangle when its disposal asks for the background); any other request starts
// over from the latest full-screen opaque frame, so a step costs in proportion to the frame's area.
//
// A frame that cannot be decoded leaves no trace; the first such error is kept for takeError(). Not
// thread-safe: the caller serialises access together with its use of the image.
class GIFComposer {
  public:
    // The decoder's cap on a frame, applied to the logical screen too.
    static constexpr int64_t kMaxScreenPixels = int64_t{1} << 26;

    explicit GIFComposer(TGIFColor windowColor = {255, 255, 255});

    // The background where neither the image's transparency nor its background colour applies.
    void setWindowColor(TGIFColor color);
    TGIFColor windowColor() const { return windowColor_; }

    // Composes frame index (lowered to the last frame, raised to 0) of image. False when there is nothing
    // to show: no frames, an empty logical screen, or one above kMaxScreenPixels (then "Image is too
    // large" is kept as the error and nothing is allocated). Errors other than decoding errors propagate.
    bool compose(TGIFImage& image, int index);
    // Forgets the kept composition (the image has changed).
    void invalidate();

    // The composition, valid after compose() returned true.
    int width() const { return width_; }
    int height() const { return height_; }
    const std::vector<uint32_t>& pixels() const { return pixels_; }
    std::optional<TGIFColor> transparentColor() const { return transparent_; }
    TGIFColor background() const { return background_; }
    // Frame index of the kept composition; -1 when there is none.
    int cacheIndex() const { return cacheIndex_; }

    // Frames drawn since creation, to show how much work a composition took.
    int64_t framesDrawn() const { return framesDrawn_; }

    // The first error met since the last call, then forgotten.
    std::optional<std::string> takeError();

    // The composition as RGBA bytes, top row first: alpha 0 where the transparent colour shows, else 255.
    std::vector<uint8_t> rgba() const;

    static uint32_t argb(TGIFColor color) {
        return 0xFF000000u | uint32_t{color.r} << 16 | uint32_t{color.g} << 8 | color.b;
    }

  private:
    void composeFromStart(TGIFImage& image, int index);
    int startFrame(TGIFImage& image, int index);
    void drawFrame(TGIFImage& image, int index);
    void fillRect(int64_t left, int64_t top, int64_t width, int64_t height, uint32_t color);
    // The frame's bitmap, or nullptr when it cannot be decoded (the error is kept).
    const TGIFBitmap* bitmapOf(TGIFImage& image, int index);
    void keepError(const std::string& text);

    TGIFColor windowColor_;
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
    std::optional<TGIFColor> transparent_;
    TGIFColor background_;
    int cacheIndex_ = -1;
    int64_t framesDrawn_ = 0;
    std::optional<std::string> error_;
};
