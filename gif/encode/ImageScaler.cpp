#include "ImageScaler.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

struct Tap {
    int source;
    float weight;
};

// For each of count new pixels, the source pixels it covers and how much of each (summing to 1).
std::vector<std::vector<Tap>> taps(int sourceCount, int count) {
    std::vector<std::vector<Tap>> all(static_cast<size_t>(count));
    const double step = static_cast<double>(sourceCount) / count;
    for (int i = 0; i < count; ++i) {
        const double from = i * step, to = (i + 1) * step;
        auto& list = all[static_cast<size_t>(i)];
        for (int s = static_cast<int>(std::floor(from));
             s < std::min(sourceCount, static_cast<int>(std::ceil(to))); ++s) {
            const double covered = std::min<double>(s + 1, to) - std::max<double>(s, from);
            if (covered > 0)
                list.push_back({s, static_cast<float>(covered / step)});
        }
    }
    return all;
}

} // namespace

RgbaImage ImageScaler::scale(const RgbaImage& image, int width, int height) {
    if (width < 1 || height < 1 || image.width < 1 || image.height < 1)
        throw std::invalid_argument("image scaler: empty size");
    if (width == image.width && height == image.height)
        return image;
    const auto across = taps(image.width, width), down = taps(image.height, height);
    // Rows first, into premultiplied colour.
    std::vector<float> rows(static_cast<size_t>(width) * static_cast<size_t>(image.height) * 4, 0.0f);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < width; ++x) {
            float* to = &rows[(static_cast<size_t>(y) * width + x) * 4];
            for (const Tap& t : across[static_cast<size_t>(x)]) {
                const uint8_t* p = image.pixel(t.source, y);
                const float a = p[3] * t.weight;
                to[0] += p[0] * a;
                to[1] += p[1] * a;
                to[2] += p[2] * a;
                to[3] += a;
            }
        }
    RgbaImage out{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            for (const Tap& t : down[static_cast<size_t>(y)]) {
                const float* from = &rows[(static_cast<size_t>(t.source) * width + x) * 4];
                for (int c = 0; c < 4; ++c)
                    sum[c] += from[c] * t.weight;
            }
            uint8_t* p = &out.rgba[(static_cast<size_t>(y) * width + x) * 4];
            for (int c = 0; c < 3; ++c)
                p[c] =
                    sum[3] > 0 ? static_cast<uint8_t>(std::clamp(std::lround(sum[c] / sum[3]), 0L, 255L)) : 0;
            p[3] = static_cast<uint8_t>(std::clamp(std::lround(sum[3]), 0L, 255L));
        }
    return out;
}
