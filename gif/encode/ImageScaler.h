#pragma once

#include "RgbaImage.h"

// Resamples pictures with an area (box) filter: each new pixel is the mean of the source area it covers,
// weighted by alpha so that transparent pixels lend no colour to their neighbours.
class ImageScaler {
  public:
    // image to width x height (both at least 1); a copy when the size is the same.
    static RgbaImage scale(const RgbaImage& image, int width, int height);
};
