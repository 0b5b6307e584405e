#include "TGIFFrame.h"

#include "FrameDecoder.h"
#include "TGIFImage.h"

#include <algorithm>

TGIFFrame::TGIFFrame(TGIFImage* owner) : owner_(owner) {}

TGIFFrame::TGIFFrame(const TGIFFrame& other, TGIFImage* owner)
    : owner_(owner), bitmap_(other.bitmap_ ? std::make_unique<TGIFBitmap>(*other.bitmap_) : nullptr),
      item_(other.item_), extensions_(other.extensions_), left_(other.left_), top_(other.top_),
      interlaced_(other.interlaced_), corrupted_(other.corrupted_),
      transparentColor_(other.transparentColor_), delay_(other.delay_), disposal_(other.disposal_),
      localColors_(other.localColors_) {}

const TGIFBitmap& TGIFFrame::bitmap() {
    if (bitmap_)
        return *bitmap_;
    if (!hasData()) {
        static const TGIFBitmap emptyBitmap;
        return emptyBitmap;
    }
    if (owner_) {
        owner_->reportProgress(TGIFImage::ProgressStage::Starting, 0);
        owner_->makeRoomFor(this, int64_t{std::max(width(), 0)} * std::max(height(), 0));
    }
    bool damaged = false;
    // A failed decoding throws before anything is kept, so the next request decodes again.
    auto decodedBitmap = std::make_unique<TGIFBitmap>(FrameDecoder::decode(*item_, interlaced_, damaged));
    if (damaged)
        corrupted_ = true;
    bitmap_ = std::move(decodedBitmap);
    if (owner_)
        owner_->reportProgress(TGIFImage::ProgressStage::Ending, 100);
    return *bitmap_;
}
