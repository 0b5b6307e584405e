#pragma once

#include "GifBitmap.h"
#include "GifColor.h"
#include "GifDecodeContext.h"
#include "GifFrameInfo.h"
#include "GifStatus.h"
#include "TExtension.h"
#include "TGIFItem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// One frame of a GIF: placement, timing, transparency and its compressed pixels, decoded on demand.
// Copies share the compressed data and the decoded bitmap.
class TGIFFrame {
  public:
    TGIFFrame() = default;
    TGIFFrame(const GifFrameInfo& info, std::shared_ptr<const TGIFItem> item,
              std::vector<TExtension> extensions);

    int left() const { return info_.left; }
    int top() const { return info_.top; }
    int width() const { return item_ ? item_->width : 0; }
    int height() const { return item_ ? item_->height : 0; }
    bool interlaced() const { return info_.interlaced; }
    bool corrupted() const { return info_.corrupted; }
    bool localColors() const { return info_.localColors; }
    std::optional<GifColor> transparentColor() const { return info_.transparentColor; }
    uint16_t delay() const { return info_.delay; }
    uint8_t disposal() const { return info_.disposal; }
    int colorDepth() const { return item_ ? item_->colorDepth : 0; }
    const std::vector<TExtension>& extensions() const { return extensions_; }
    const TGIFItem* item() const { return item_.get(); }
    // True when the frame holds at least one byte of compressed data.
    bool hasData() const { return item_ && !item_->compressed.empty(); }

    // The decoded bitmap, or nullptr while the frame is not decoded.
    const GifBitmap* decodedBitmap() const { return bitmap_.get(); }
    bool decoded() const { return bitmap_ != nullptr; }
    // Decodes the frame on the first call and keeps the result while decoding succeeds; bitmap is then
    // the frame's bitmap (an empty one when there is no compressed data) and the status ok. Damaged data
    // flags the frame corrupted. Any other status is a failure: bitmap is nullptr, nothing is kept, and
    // the next call decodes again.
    [[nodiscard]] GifStatus decode(GifDecodeContext& context, const GifBitmap*& bitmap);
    // Frees the decoded bitmap (it is decoded again when next asked for); returns its pixel count.
    int64_t release();

  private:
    GifFrameInfo info_;
    std::shared_ptr<const TGIFItem> item_;
    std::vector<TExtension> extensions_; // graphic control and comment extensions before the frame
    std::shared_ptr<const GifBitmap> bitmap_;
};
