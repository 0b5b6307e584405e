#pragma once

#include "GifColor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

// The palette of a decoded frame: 2, 16 or 256 colours, held in place so that making one allocates nothing.
static_assert(sizeof(GifColor) == 3, "colours are copied as bytes");
class GifPalette {
  public:
    using value_type = GifColor;
    using const_iterator = const GifColor*;

    GifPalette() = default;
    // size entries (at most 256): the first count of colours, then rest.
    GifPalette(size_t size, const GifColor* colours, size_t count, GifColor rest)
        : size_(std::min<size_t>(size, 256)) {
        count = std::min(count, size_);
        std::memcpy(colours_.data(), colours, count * sizeof(GifColor));
        std::fill(colours_.begin() + count, colours_.begin() + size_, rest);
    }

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    GifColor& operator[](size_t i) { return colours_[i]; }
    const GifColor& operator[](size_t i) const { return colours_[i]; }
    GifColor* begin() { return colours_.data(); }
    GifColor* end() { return colours_.data() + size_; }
    const GifColor* begin() const { return colours_.data(); }
    const GifColor* end() const { return colours_.data() + size_; }

    friend bool operator==(const GifPalette& a, const GifPalette& b) {
        return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
    }

  private:
    std::array<GifColor, 256> colours_;
    size_t size_ = 0;
};
