#pragma once

#include "TExtension.h"
#include "TGIFBitmap.h"
#include "TGIFColor.h"
#include "TGIFItem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class TGIFImage;

// One frame of a GIF: placement, timing, transparency and its compressed pixels, decoded on demand.
class TGIFFrame {
  public:
    explicit TGIFFrame(TGIFImage* owner = nullptr);
    // Copies share the compressed data; the copy belongs to owner.
    TGIFFrame(const TGIFFrame& other, TGIFImage* owner);

    int left() const { return left_; }
    int top() const { return top_; }
    int width() const { return item_ ? item_->width : 0; }
    int height() const { return item_ ? item_->height : 0; }
    bool interlaced() const { return interlaced_; }
    bool corrupted() const { return corrupted_; }
    bool localColors() const { return localColors_; }
    std::optional<TGIFColor> transparentColor() const { return transparentColor_; }
    uint16_t delay() const { return delay_; }      // milliseconds
    uint8_t disposal() const { return disposal_; } // 0..7 as stored
    int colorDepth() const { return item_ ? item_->colorDepth : 0; }
    const std::vector<TExtension>& extensions() const { return extensions_; }
    const TGIFItem* item() const { return item_.get(); }
    // True when the frame holds at least one byte of compressed data.
    bool hasData() const { return item_ && !item_->compressed.empty(); }

    // The decoded frame, decoded on the first call and kept while decoding succeeds.
    // Throws EInvalidGraphicOperation; an empty bitmap when there is no compressed data.
    const TGIFBitmap& bitmap();
    bool decoded() const { return bitmap_ != nullptr; }

  private:
    friend class GifStreamParser;
    friend class TGIFImage;

    TGIFImage* owner_ = nullptr;
    std::unique_ptr<TGIFBitmap> bitmap_;
    std::shared_ptr<TGIFItem> item_;
    std::vector<TExtension> extensions_; // graphic control and comment extensions before the frame
    int32_t left_ = 0, top_ = 0;
    bool interlaced_ = false;
    bool corrupted_ = false;
    std::optional<TGIFColor> transparentColor_;
    uint16_t delay_ = 0;
    uint8_t disposal_ = 0;
    bool localColors_ = false;
};
