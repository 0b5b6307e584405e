#include "TGIFFrame.h"

#include "GifFrameDecoder.h"

#include <algorithm>
#include <new>

TGIFFrame::TGIFFrame(const GifFrameInfo& info, std::shared_ptr<const TGIFItem> item,
                     std::vector<TExtension> extensions)
    : info_(info), item_(std::move(item)), extensions_(std::move(extensions)) {}

GifStatus TGIFFrame::decode(GifDecodeContext& context, const GifBitmap*& bitmap) {
    bitmap = nullptr;
    if (bitmap_) {
        bitmap = bitmap_.get();
        return GifStatus::ok;
    }
    if (!hasData()) {
        static const GifBitmap emptyBitmap;
        bitmap = &emptyBitmap;
        return GifStatus::ok;
    }
    context.progress(GifDecodeContext::Stage::Starting, 0);
    const int64_t pixels = int64_t{std::max(width(), 0)} * std::max(height(), 0);
    try {
        // A frame above the cap is refused without allocating: nothing else need make room for it.
        if (pixels <= GifFrameDecoder::kMaxPixels)
            context.makeRoom(pixels);
        auto decoded = std::make_shared<GifBitmap>();
        const GifStatus status = GifFrameDecoder::decode(*item_, info_.interlaced, *decoded);
        // A failed decoding keeps nothing, so the next request decodes again.
        if (status != GifStatus::ok && status != GifStatus::bad_lzw_code)
            return status;
        if (status == GifStatus::bad_lzw_code)
            info_.corrupted = true;
        bitmap_ = std::move(decoded);
        context.held(pixels);
    } catch (const std::bad_alloc&) {
        return GifStatus::out_of_memory;
    }
    context.progress(GifDecodeContext::Stage::Ending, 100);
    bitmap = bitmap_.get();
    return GifStatus::ok;
}

int64_t TGIFFrame::release() {
    if (!bitmap_)
        return 0;
    const int64_t pixels = int64_t{bitmap_->width} * bitmap_->height;
    bitmap_.reset();
    return pixels;
}
