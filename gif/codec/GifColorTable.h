#pragma once

#include "GifColor.h"

#include <array>
#include <cstdint>

// A global or local colour table: only the first count entries are meaningful.
struct GifColorTable {
    int32_t count = 0; // 0 to 256; 0 when there is no table
    std::array<GifColor, 256> entries{};

    void clear() { *this = GifColorTable(); }
};
