#pragma once

#include "GifColorTable.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// A frame's compressed data and colour table, shared between copies of the frame.
class TGIFItem {
  public:
    // The code-size byte, then the sub-blocks with their length bytes: a part of the bytes held by source.
    std::span<const uint8_t> compressed;
    std::shared_ptr<const std::vector<uint8_t>> source;
    int32_t width = 0, height = 0;
    uint8_t packed = 0;       // the image descriptor's packed byte
    uint8_t colorDepth = 0;   // bits of the colour table, 0 to 8; 0: no colour table at all
    GifColorTable colorTable; // the local table, or a copy of the global one

    // Makes bytes the item's own compressed data.
    void setCompressed(std::vector<uint8_t> bytes) {
        source = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
        compressed = *source;
    }
};
