#pragma once

#include <cstdint>

// One RGB entry of a colour table, in file order.
struct GifColor {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(GifColor, GifColor) = default;
};
