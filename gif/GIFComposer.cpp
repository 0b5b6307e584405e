#include "GIFComposer.h"

#include "TGIFBitmap.h"
#include "TGIFFrame.h"
#include "TGIFImage.h"

#include <algorithm>
#include <array>
#include <exception>

namespace {

constexpr uint8_t kDisposeToBackground = 2;
constexpr uint8_t kDisposeToPrevious = 3;
constexpr TGIFColor kMidGrey{128, 128, 128};

} // namespace

GIFComposer::GIFComposer(TGIFColor windowColor) : windowColor_(windowColor) {}

void GIFComposer::setWindowColor(TGIFColor color) {
    if (color == windowColor_)
        return;
    windowColor_ = color;
    invalidate();
}

void GIFComposer::invalidate() {
    cacheIndex_ = -1;
    transparent_.reset();
}

std::optional<std::string> GIFComposer::takeError() {
    auto error = std::move(error_);
    error_.reset();
    return error;
}

void GIFComposer::keepError(const std::string& text) {
    if (!error_)
        error_ = text;
}

bool GIFComposer::compose(TGIFImage& image, int index) {
    const int count = image.frameCount();
    const int64_t screenWidth = image.screenWidth();
    const int64_t screenHeight = image.screenHeight();
    if (count == 0 || screenWidth < 1 || screenHeight < 1)
        return false;
    if (screenWidth * screenHeight > kMaxScreenPixels) {
        keepError("Image is too large");
        invalidate();
        pixels_ = {};
        width_ = height_ = 0;
        return false;
    }
    const int t = std::clamp(index, 0, count - 1);
    const bool kept = cacheIndex_ >= 0 && width_ == screenWidth && height_ == screenHeight;
    if (kept && cacheIndex_ == t)
        return true;
    if (kept && t > 0 && cacheIndex_ == t - 1) {
        TGIFFrame& previous = image.frame(t - 1);
        // Disposal 3 and above leave no trace: the previous frame must come off, so start over.
        if (previous.disposal() < kDisposeToPrevious) {
            if (previous.disposal() == kDisposeToBackground)
                fillRect(previous.left(), previous.top(), previous.width(), previous.height(),
                         argb(background_));
            drawFrame(image, t);
            cacheIndex_ = t;
            return true;
        }
    }
    composeFromStart(image, t);
    return true;
}

void GIFComposer::composeFromStart(TGIFImage& image, int t) {
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
    width_ = image.screenWidth();
    height_ = image.screenHeight();
    pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_), argb(background_));

    const int s = startFrame(image, t);
    for (int j = s; j < t; ++j) {
        TGIFFrame& frame = image.frame(j);
        const uint8_t disposal = frame.disposal();
        if (disposal < kDisposeToBackground)
            drawFrame(image, j);
        else if (disposal == kDisposeToBackground && j > s)
            fillRect(frame.left(), frame.top(), frame.width(), frame.height(), argb(background_));
        // Disposal 3 and above: the frame is taken off again, nothing of it stays.
    }
    drawFrame(image, t);
    cacheIndex_ = t;
}

int GIFComposer::startFrame(TGIFImage& image, int t) {
    for (int i = t; i > 0; --i) {
        const TGIFBitmap* bitmap = bitmapOf(image, i);
        if (!bitmap || bitmap->width != width_ || bitmap->height != height_)
            continue;
        TGIFFrame& frame = image.frame(i);
        // Only a frame that covers the screen hides what came before it.
        if (frame.left() != 0 || frame.top() != 0)
            continue;
        if (!frame.transparentColor()) {
            // A frame restored to the previous state afterwards hides nothing from the frames after it.
            if (i == t || frame.disposal() < kDisposeToPrevious)
                return i;
        } else if (frame.disposal() == kDisposeToBackground && i < t) {
            return i;
        }
    }
    return 0;
}

const TGIFBitmap* GIFComposer::bitmapOf(TGIFImage& image, int index) {
    try {
        return &image.frame(index).bitmap();
    } catch (const std::exception& e) {
        keepError(e.what());
        return nullptr;
    }
}

void GIFComposer::drawFrame(TGIFImage& image, int index) {
    const TGIFBitmap* bitmap = bitmapOf(image, index);
    if (!bitmap || bitmap->empty())
        return;
    ++framesDrawn_;
    const TGIFFrame& frame = image.frame(index);
    const auto transparent = frame.transparentColor();

    // Colour and visibility of each palette index, so the pixel loop is a lookup.
    std::array<uint32_t, 256> colors{};
    std::array<bool, 256> drawn{};
    for (size_t k = 0; k < colors.size(); ++k) {
        const TGIFColor color = k < bitmap->palette.size() ? bitmap->palette[k] : kMidGrey;
        colors[k] = argb(color);
        drawn[k] = !(transparent && color == *transparent);
    }

    // Clip to the screen and to the pixels the bitmap really holds.
    const int64_t left = frame.left(), top = frame.top();
    const int64_t rows = std::min<int64_t>(bitmap->height, static_cast<int64_t>(bitmap->pixels.size()) /
                                                               std::max(bitmap->width, 1));
    const int64_t x0 = std::max<int64_t>(0, -left), x1 = std::min<int64_t>(bitmap->width, width_ - left);
    const int64_t y0 = std::max<int64_t>(0, -top), y1 = std::min<int64_t>(rows, height_ - top);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int64_t y = y0; y < y1; ++y) {
        const uint8_t* source = bitmap->pixels.data() + y * bitmap->width;
        uint32_t* target = pixels_.data() + (top + y) * width_ + left;
        for (int64_t x = x0; x < x1; ++x) {
            const uint8_t value = source[x];
            if (drawn[value])
                target[x] = colors[value];
        }
    }
}

void GIFComposer::fillRect(int64_t left, int64_t top, int64_t width, int64_t height, uint32_t color) {
    const int64_t x0 = std::max<int64_t>(0, left), x1 = std::min<int64_t>(width_, left + width);
    const int64_t y0 = std::max<int64_t>(0, top), y1 = std::min<int64_t>(height_, top + height);
    if (x0 >= x1)
        return;
    for (int64_t y = y0; y < y1; ++y)
        std::fill(pixels_.begin() + y * width_ + x0, pixels_.begin() + y * width_ + x1, color);
}

std::vector<uint8_t> GIFComposer::rgba() const {
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
