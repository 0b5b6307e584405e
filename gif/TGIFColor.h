#pragma once

#include <cstdint>

// One RGB entry of a colour table, in file order.
struct TGIFColor {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(TGIFColor, TGIFColor) = default;
};
