#pragma once

#include "TGIFColor.h"

#include <array>
#include <cstdint>

// A global or local colour table: only the first count entries are meaningful.
struct ColorTable {
    int32_t count = 0; // 0 to 256; 0 when there is no table
    std::array<TGIFColor, 256> entries{};

    void clear() { *this = ColorTable(); }
};
