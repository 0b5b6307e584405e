#pragma once

#include "GifColor.h"
#include "GifStatus.h"

#include <cstdint>
#include <optional>
#include <vector>

class TGIFImage;
struct GifBitmap;

// Composes the logical screen of a GIF animation for one frame index: the frames before it laid down by
// their disposal methods, then the frame itself. The result is a 32-bit picture (0xFFRRGGBB, top row
// first) of a chosen area of the screen (the whole screen, or the part a view shows), with an optional
// transparent colour: pixels of that colour are to be left out when painting.
//
// The last composition is kept. Stepping to the next frame draws only that frame over it, after erasing
// the previous frame to the background (disposal 2) or putting back what lay under it (disposal 3 and
// above, from a copy taken before it was drawn). Any other request starts over from the latest frame that
// hides everything before it. Frames are decoded only when drawn, so a step costs in proportion to the
// area it draws within the composed area, whatever the number or size of the frames.
//
// A frame that cannot be decoded leaves no trace; the first such failure is kept for takeStatus(). Not
// thread-safe: the caller serialises access together with its use of the image.
class GifComposer {
  public:
    // The decoder's cap on a frame, applied to the logical screen too.
    static constexpr int64_t kMaxScreenPixels = int64_t{1} << 26;

    // A rectangle of the logical screen.
    struct Area {
        int left = 0, top = 0, width = 0, height = 0;
        friend bool operator==(const Area&, const Area&) = default;
    };

    explicit GifComposer(GifColor windowColor = {255, 255, 255});

    // The background where neither the image's transparency nor its background colour applies.
    void setWindowColor(GifColor color);
    GifColor windowColor() const { return windowColor_; }

    // Composes frame index (lowered to the last frame, raised to 0) of image over the whole logical screen,
    // or over the part of it within area. False when there is nothing to show: no frames, an empty screen
    // or area, or a screen above kMaxScreenPixels (then too_much_pixel_data is kept and nothing is
    // allocated). Errors other than those of decoding propagate.
    bool compose(TGIFImage& image, int index);
    bool compose(TGIFImage& image, int index, Area area);
    // Forgets the kept composition (the image has changed).
    void invalidate();
    // Forgets the kept composition and frees its memory.
    void release();

    // The composition, valid after compose() returned true: area().width x area().height pixels.
    Area area() const { return area_; }
    int width() const { return area_.width; }
    int height() const { return area_.height; }
    const std::vector<uint32_t>& pixels() const { return pixels_; }
    std::optional<GifColor> transparentColor() const { return transparent_; }
    GifColor background() const { return background_; }
    // Frame index of the kept composition; -1 when there is none.
    int cacheIndex() const { return cacheIndex_; }

    // Work done since creation: frames drawn, and pixels written (drawn, filled, kept and put back).
    int64_t framesDrawn() const { return framesDrawn_; }
    int64_t pixelsWritten() const { return pixelsWritten_; }

    // The first failure met since the last call (ok when none), then forgotten; gifStatusText() gives
    // its text.
    GifStatus takeStatus();

    // The composition as RGBA bytes, top row first: alpha 0 where the transparent colour shows, else 255.
    std::vector<uint8_t> rgba() const;

    static uint32_t argb(GifColor color) {
        return 0xFF000000u | uint32_t{color.r} << 16 | uint32_t{color.g} << 8 | color.b;
    }

  private:
    // A rectangle in screen coordinates, clipped to the composed area.
    struct Span {
        int64_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        bool empty() const { return x0 >= x1 || y0 >= y1; }
    };

    void composeFromStart(TGIFImage& image, int index);
    int startFrame(TGIFImage& image, int index);
    // Draws the frame at index; first keeps what lies under it when it asks to be taken off afterwards.
    void drawShown(TGIFImage& image, int index);
    void drawFrame(TGIFImage& image, int index);
    Span clip(int64_t left, int64_t top, int64_t width, int64_t height) const;
    void fillRect(int64_t left, int64_t top, int64_t width, int64_t height, uint32_t color);
    void keepUnder(const Span& span);
    void putBack();
    // The frame's bitmap, or nullptr when it cannot be decoded (the failure is kept).
    const GifBitmap* bitmapOf(TGIFImage& image, int index);
    void keepStatus(GifStatus status);

    GifColor windowColor_;
    int screenWidth_ = 0, screenHeight_ = 0; // of the kept composition
    Area area_;
    std::vector<uint32_t> pixels_;
    std::optional<GifColor> transparent_;
    GifColor background_;
    int cacheIndex_ = -1;
    // What lay under the frame shown last, when its disposal takes it off again.
    std::vector<uint32_t> under_;
    Span underSpan_;
    bool underKept_ = false;
    int64_t framesDrawn_ = 0;
    int64_t pixelsWritten_ = 0;
    GifStatus status_ = GifStatus::ok;
};
