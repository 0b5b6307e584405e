#pragma once

#include "GifColorTable.h"

#include <cstdint>
#include <string>
#include <vector>

// The file's global data, shared between copies of an image.
class TGIFData {
  public:
    std::vector<std::string> comment;
    uint8_t aspectRatio = 0;
    uint8_t colorDepth = 1;      // of the global table, 1 to 8
    uint8_t colorResolution = 1; // 1 to 8
    GifColorTable colorTable;    // the global table
};
