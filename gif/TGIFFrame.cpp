#include "TGIFFrame.h"

#include "GifFrameDecoder.h"

#include <algorithm>

TGIFFrame::TGIFFrame(const GifFrameInfo& info, std::shared_ptr<const TGIFItem> item,
                     std::vector<TExtension> extensions)
    : info_(info), item_(std::move(item)), extensions_(std::move(extensions)) {}

const GifBitmap& TGIFFrame::bitmap(GifDecodeContext& context) {
    if (bitmap_)
        return *bitmap_;
    if (!hasData()) {
        static const GifBitmap emptyBitmap;
        return emptyBitmap;
    }
    context.progress(GifDecodeContext::Stage::Starting, 0);
    const int64_t pixels = int64_t{std::max(width(), 0)} * std::max(height(), 0);
    // A frame above the cap is refused without allocating: nothing else need make room for it.
    if (pixels <= GifFrameDecoder::kMaxPixels)
        context.makeRoom(pixels);
    bool damaged = false;
    // A failed decoding throws before anything is kept, so the next request decodes again.
    bitmap_ = std::make_shared<const GifBitmap>(GifFrameDecoder::decode(*item_, info_.interlaced, damaged));
    if (damaged)
        info_.corrupted = true;
    context.held(pixels);
    context.progress(GifDecodeContext::Stage::Ending, 100);
    return *bitmap_;
}

int64_t TGIFFrame::release() {
    if (!bitmap_)
        return 0;
    const int64_t pixels = int64_t{bitmap_->width} * bitmap_->height;
    bitmap_.reset();
    return pixels;
}
