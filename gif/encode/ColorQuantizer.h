#pragma once

#include "GifEncoder.h"
#include "RgbaImage.h"

#include <cstddef>
#include <vector>

// Chooses a palette for one or several pictures and maps pixels onto it. The palette comes from a
// histogram of the opaque pixels: the exact colours when there are few enough, otherwise a median cut of
// the histogram's cells refined by a few k-means passes.
class ColorQuantizer {
  public:
    // Pixels with a lower alpha are transparent.
    static constexpr uint8_t kOpaqueAlpha = 128;

    struct Options {
        int histogramBits = 5; // per channel, 5 or 6
        int refinePasses = 3;  // k-means passes over the histogram
    };

    explicit ColorQuantizer(const std::vector<const RgbaImage*>& images)
        : ColorQuantizer(images, Options{}) {}
    ColorQuantizer(const std::vector<const RgbaImage*>& images, Options options);

    // Distinct colours, at most maxColors (clamped to 1..256); empty when no pixel is opaque.
    std::vector<GifColor> palette(int maxColors) const;
    bool hasTransparency() const { return transparent_; }
    // Exact colours of the opaque pixels, counted up to 257.
    size_t exactColors() const { return exact_.size() > 256 ? 257 : exact_.size(); }

    // Maps image onto palette: opaque pixels to the nearest entry other than transparentIndex, with
    // serpentine Floyd-Steinberg error diffusion when dither is set; transparent pixels to
    // transparentIndex (or to their nearest colour when it is -1).
    static IndexedImage map(const RgbaImage& image, const std::vector<GifColor>& palette, bool dither,
                            int transparentIndex);

  private:
    struct Cell {
        double r, g, b; // mean colour
        double count;
    };
    std::vector<GifColor> medianCut(size_t maxColors) const;

    std::vector<Cell> cells_;
    std::vector<uint32_t> exact_; // sorted 0xRRGGBB, up to 257
    bool transparent_ = false;
    Options options_;
};
