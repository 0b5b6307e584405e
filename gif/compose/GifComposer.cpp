#include "GifComposer.h"

#include "GifBitmap.h"
#include "TGIFFrame.h"
#include "TGIFImage.h"

#include <algorithm>
#include <array>

namespace {

constexpr uint8_t kDisposeToBackground = 2;
constexpr uint8_t kDisposeToPrevious = 3;
constexpr GifColor kMidGrey{128, 128, 128};

} // namespace

GifComposer::GifComposer(GifColor windowColor) : windowColor_(windowColor) {}

void GifComposer::setWindowColor(GifColor color) {
    if (color == windowColor_)
        return;
    windowColor_ = color;
    invalidate();
}

void GifComposer::invalidate() {
    cacheIndex_ = -1;
    transparent_.reset();
    underKept_ = false;
}

void GifComposer::release() {
    invalidate();
    std::vector<uint32_t>().swap(pixels_);
    std::vector<uint32_t>().swap(under_);
    area_ = {};
}

GifStatus GifComposer::takeStatus() {
    const GifStatus status = status_;
    status_ = GifStatus::ok;
    return status;
}

void GifComposer::keepStatus(GifStatus status) {
    if (status_ == GifStatus::ok)
        status_ = status;
}

bool GifComposer::compose(TGIFImage& image, int index) {
    return compose(image, index, Area{0, 0, image.screenWidth(), image.screenHeight()});
}

bool GifComposer::compose(TGIFImage& image, int index, Area requested) {
    const int count = image.frameCount();
    const int screenWidth = image.screenWidth();
    const int screenHeight = image.screenHeight();
    if (count == 0 || screenWidth < 1 || screenHeight < 1)
        return false;
    if (int64_t{screenWidth} * screenHeight > kMaxScreenPixels) {
        keepStatus(GifStatus::too_much_pixel_data);
        release();
        return false;
    }
    // The part of the screen within the requested area.
    const int left = std::clamp(requested.left, 0, screenWidth);
    const int top = std::clamp(requested.top, 0, screenHeight);
    const int right = std::clamp(int64_t{requested.left} + std::max(requested.width, 0), int64_t{left},
                                 int64_t{screenWidth});
    const int bottom = std::clamp(int64_t{requested.top} + std::max(requested.height, 0), int64_t{top},
                                  int64_t{screenHeight});
    const Area area{left, top, right - left, bottom - top};
    if (area.width == 0 || area.height == 0)
        return false;

    const int t = std::clamp(index, 0, count - 1);
    const bool kept =
        cacheIndex_ >= 0 && area == area_ && screenWidth == screenWidth_ && screenHeight == screenHeight_;
    if (kept && cacheIndex_ == t)
        return true;
    if (kept && t > 0 && cacheIndex_ == t - 1) {
        const TGIFFrame& previous = image.frame(t - 1);
        bool stepped = true;
        if (previous.disposal() == kDisposeToBackground)
            fillRect(previous.left(), previous.top(), previous.width(), previous.height(), argb(background_));
        else if (previous.disposal() >= kDisposeToPrevious)
            stepped = underKept_;
        if (stepped) {
            if (previous.disposal() >= kDisposeToPrevious)
                putBack();
            drawShown(image, t);
            cacheIndex_ = t;
            return true;
        }
    }
    screenWidth_ = screenWidth;
    screenHeight_ = screenHeight;
    area_ = area;
    composeFromStart(image, t);
    return true;
}

void GifComposer::composeFromStart(TGIFImage& image, int t) {
    invalidate();
    const int current = std::max(image.currentFrameIndex(), 0);
    const auto frameTransparent = image.frame(current).transparentColor();
    if (frameTransparent) {
        background_ = *frameTransparent;
        transparent_ = frameTransparent;
    } else if (image.backgroundColor() && image.transparent()) {
        background_ = *image.backgroundColor();
    } else {
        background_ = windowColor_;
    }
    pixels_.assign(static_cast<size_t>(area_.width) * static_cast<size_t>(area_.height), argb(background_));
    pixelsWritten_ += static_cast<int64_t>(pixels_.size());

    const int s = startFrame(image, t);
    for (int j = s; j < t; ++j) {
        const TGIFFrame& frame = image.frame(j);
        const uint8_t disposal = frame.disposal();
        if (disposal < kDisposeToBackground)
            drawFrame(image, j);
        else if (disposal == kDisposeToBackground && j > s)
            fillRect(frame.left(), frame.top(), frame.width(), frame.height(), argb(background_));
        // Disposal 3 and above: the frame is taken off again, nothing of it stays.
    }
    drawShown(image, t);
    // A frame that starts the composition without the frames before it: what lay under it is not known.
    if (s == t && t > 0)
        underKept_ = false;
    cacheIndex_ = t;
}

int GifComposer::startFrame(TGIFImage& image, int t) {
    for (int i = t; i > 0; --i) {
        const TGIFFrame& frame = image.frame(i);
        // Only a frame that covers the screen hides what came before it; its size is known without
        // decoding it, and only a frame that qualifies is decoded to make sure it can be drawn.
        if (frame.left() != 0 || frame.top() != 0 || frame.width() != screenWidth_ ||
            frame.height() != screenHeight_)
            continue;
        bool hides;
        if (!frame.transparentColor()) {
            // A frame restored to the previous state afterwards hides nothing from the frames after it.
            hides = i == t || frame.disposal() < kDisposeToPrevious;
        } else {
            hides = frame.disposal() == kDisposeToBackground && i < t;
        }
        if (!hides)
            continue;
        const GifBitmap* bitmap = bitmapOf(image, i);
        if (bitmap && bitmap->width == screenWidth_ && bitmap->height == screenHeight_)
            return i;
    }
    return 0;
}

const GifBitmap* GifComposer::bitmapOf(TGIFImage& image, int index) {
    const GifBitmap* bitmap = nullptr;
    const GifStatus status = image.decodeFrame(index, bitmap);
    if (status != GifStatus::ok)
        keepStatus(status);
    return bitmap;
}

GifComposer::Span GifComposer::clip(int64_t left, int64_t top, int64_t width, int64_t height) const {
    return {std::max<int64_t>(left, area_.left), std::max<int64_t>(top, area_.top),
            std::min<int64_t>(left + width, int64_t{area_.left} + area_.width),
            std::min<int64_t>(top + height, int64_t{area_.top} + area_.height)};
}

void GifComposer::drawShown(TGIFImage& image, int index) {
    const TGIFFrame& frame = image.frame(index);
    if (frame.disposal() >= kDisposeToPrevious) {
        keepUnder(clip(frame.left(), frame.top(), frame.width(), frame.height()));
        underKept_ = true;
    }
    drawFrame(image, index);
}

void GifComposer::keepUnder(const Span& span) {
    underSpan_ = span;
    if (span.empty()) {
        under_.clear();
        return;
    }
    const int64_t w = span.x1 - span.x0;
    under_.resize(static_cast<size_t>(w * (span.y1 - span.y0)));
    uint32_t* target = under_.data();
    for (int64_t y = span.y0; y < span.y1; ++y, target += w)
        std::copy_n(pixels_.data() + (y - area_.top) * area_.width + (span.x0 - area_.left), w, target);
    pixelsWritten_ += static_cast<int64_t>(under_.size());
}

void GifComposer::putBack() {
    const Span& span = underSpan_;
    if (span.empty())
        return;
    const int64_t w = span.x1 - span.x0;
    const uint32_t* source = under_.data();
    for (int64_t y = span.y0; y < span.y1; ++y, source += w)
        std::copy_n(source, w, pixels_.data() + (y - area_.top) * area_.width + (span.x0 - area_.left));
    pixelsWritten_ += static_cast<int64_t>(under_.size());
}

void GifComposer::drawFrame(TGIFImage& image, int index) {
    const TGIFFrame& frame = image.frame(index);
    // A frame wholly outside the area is not even decoded.
    const Span span = clip(frame.left(), frame.top(), frame.width(), frame.height());
    if (span.empty())
        return;
    const GifBitmap* bitmap = bitmapOf(image, index);
    if (!bitmap || bitmap->empty())
        return;
    ++framesDrawn_;
    const auto transparent = frame.transparentColor();

    // Colour and visibility of each palette index, so the pixel loop is a lookup.
    std::array<uint32_t, 256> colors{};
    std::array<bool, 256> drawn{};
    for (size_t k = 0; k < colors.size(); ++k) {
        const GifColor color = k < bitmap->palette.size() ? bitmap->palette[k] : kMidGrey;
        colors[k] = argb(color);
        drawn[k] = !(transparent && color == *transparent);
    }

    // Clip to the pixels the bitmap really holds as well.
    const int64_t left = frame.left(), top = frame.top();
    const int64_t x1 = std::min<int64_t>(span.x1, left + bitmap->width);
    const int64_t y1 = std::min<int64_t>(span.y1, top + bitmap->height);
    const int64_t count = x1 - span.x0;
    if (count <= 0)
        return;
    for (int64_t y = span.y0; y < y1; ++y) {
        const uint8_t* source = bitmap->pixels.data() + (y - top) * bitmap->width + (span.x0 - left);
        uint32_t* target = pixels_.data() + (y - area_.top) * area_.width + (span.x0 - area_.left);
        for (int64_t x = 0; x < count; ++x) {
            const uint8_t value = source[x];
            if (drawn[value])
                target[x] = colors[value];
        }
        pixelsWritten_ += count;
    }
}

void GifComposer::fillRect(int64_t left, int64_t top, int64_t width, int64_t height, uint32_t color) {
    const Span span = clip(left, top, width, height);
    if (span.empty())
        return;
    for (int64_t y = span.y0; y < span.y1; ++y)
        std::fill_n(pixels_.data() + (y - area_.top) * area_.width + (span.x0 - area_.left),
                    span.x1 - span.x0, color);
    pixelsWritten_ += (span.x1 - span.x0) * (span.y1 - span.y0);
}

std::vector<uint8_t> GifComposer::rgba() const {
    std::vector<uint8_t> bytes;
    bytes.reserve(pixels_.size() * 4);
    const bool hides = transparent_.has_value();
    const uint32_t hidden = hides ? argb(*transparent_) : 0;
    for (uint32_t pixel : pixels_) {
        bytes.push_back(static_cast<uint8_t>(pixel >> 16));
        bytes.push_back(static_cast<uint8_t>(pixel >> 8));
        bytes.push_back(static_cast<uint8_t>(pixel));
        bytes.push_back(hides && pixel == hidden ? 0 : 255);
    }
    return bytes;
}
