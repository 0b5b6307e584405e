#pragma once

#include "GifColor.h"
#include "TGIFData.h"
#include "TGIFFrame.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// What a GIF stream holds: its header, screen, loop and global data, and its frames in file order.
struct GifContents {
    std::shared_ptr<const TGIFData> data; // none until something was read
    uint8_t version = 0;                  // 0 none, 1 GIF87a, 2 GIF89a
    std::vector<TGIFFrame> frames;
    uint16_t screenWidth = 0, screenHeight = 0;
    std::optional<GifColor> backgroundColor;
    bool looping = false;
    uint16_t repeatCount = 1;
};
