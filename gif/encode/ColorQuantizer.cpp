#include "ColorQuantizer.h"

#include "PaletteLookup.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_set>

namespace {

struct Sums {
    double count = 0, r = 0, g = 0, b = 0, rr = 0, gg = 0, bb = 0;
    void add(double n, double x, double y, double z) {
        count += n;
        r += n * x;
        g += n * y;
        b += n * z;
        rr += n * x * x;
        gg += n * y * y;
        bb += n * z * z;
    }
    std::array<double, 3> variance() const {
        if (count <= 0)
            return {0, 0, 0};
        return {rr - r * r / count, gg - g * g / count, bb - b * b / count};
    }
    double error() const {
        const auto v = variance();
        return v[0] + v[1] + v[2];
    }
};

uint8_t toByte(double v) {
    return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

std::vector<GifColor> distinct(std::vector<GifColor> colors) {
    std::vector<GifColor> out;
    std::unordered_set<uint32_t> seen;
    for (GifColor c : colors)
        if (seen.insert(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b).second)
            out.push_back(c);
    return out;
}

} // namespace

ColorQuantizer::ColorQuantizer(const std::vector<const RgbaImage*>& images, Options options)
    : options_(options) {
    const int bits = std::clamp(options.histogramBits, 5, 6);
    const int shift = 8 - bits;
    std::vector<Sums> bins(size_t{1} << (3 * bits));
    std::unordered_set<uint32_t> exact;
    for (const RgbaImage* image : images) {
        const size_t count = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        const uint8_t* p = image->rgba.data();
        for (size_t i = 0; i < count; ++i, p += 4) {
            if (p[3] < kOpaqueAlpha) {
                transparent_ = true;
                continue;
            }
            if (exact.size() <= 256)
                exact.insert(uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
            const size_t bin = static_cast<size_t>((p[0] >> shift) << (2 * bits) | (p[1] >> shift) << bits |
                                                   (p[2] >> shift));
            Sums& s = bins[bin];
            s.count += 1;
            s.r += p[0];
            s.g += p[1];
            s.b += p[2];
        }
    }
    exact_.assign(exact.begin(), exact.end());
    std::sort(exact_.begin(), exact_.end());
    for (const Sums& s : bins)
        if (s.count > 0)
            cells_.push_back({s.r / s.count, s.g / s.count, s.b / s.count, s.count});
}

std::vector<GifColor> ColorQuantizer::palette(int maxColors) const {
    const size_t limit = static_cast<size_t>(std::clamp(maxColors, 1, 256));
    if (exact_.size() <= limit) {
        std::vector<GifColor> colors;
        for (uint32_t c : exact_)
            colors.push_back(
                {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
        return colors;
    }
    return medianCut(limit);
}

std::vector<GifColor> ColorQuantizer::medianCut(size_t maxColors) const {
    std::vector<Cell> cells = cells_;
    struct Box {
        size_t begin, end;
        Sums sums;
    };
    const auto boxOf = [&cells](size_t begin, size_t end) {
        Box box{begin, end, {}};
        for (size_t i = begin; i < end; ++i)
            box.sums.add(cells[i].count, cells[i].r, cells[i].g, cells[i].b);
        return box;
    };
    std::vector<Box> boxes{boxOf(0, cells.size())};
    while (boxes.size() < maxColors) {
        // Split the box that holds the most error, along its widest channel, at the weighted median.
        size_t pick = boxes.size();
        double worst = 0;
        for (size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].end - boxes[i].begin > 1 && boxes[i].sums.error() > worst) {
                worst = boxes[i].sums.error();
                pick = i;
            }
        if (pick == boxes.size())
            break;
        const Box box = boxes[pick];
        const auto v = box.sums.variance();
        const int axis = v[0] >= v[1] && v[0] >= v[2] ? 0 : (v[1] >= v[2] ? 1 : 2);
        const auto key = [axis](const Cell& c) { return axis == 0 ? c.r : (axis == 1 ? c.g : c.b); };
        const auto first = cells.begin() + static_cast<std::ptrdiff_t>(box.begin);
        const auto last = cells.begin() + static_cast<std::ptrdiff_t>(box.end);
        std::sort(first, last, [&key](const Cell& a, const Cell& b) { return key(a) < key(b); });
        double seen = 0;
        size_t split = box.begin + 1;
        for (size_t i = box.begin; i + 1 < box.end; ++i) {
            seen += cells[i].count;
            split = i + 1;
            if (seen >= box.sums.count / 2)
                break;
        }
        boxes[pick] = boxOf(box.begin, split);
        boxes.push_back(boxOf(split, box.end));
    }

    std::vector<std::array<double, 3>> centres;
    for (const Box& box : boxes)
        centres.push_back(
            {box.sums.r / box.sums.count, box.sums.g / box.sums.count, box.sums.b / box.sums.count});

    // k-means over the cells: each centre moves to the mean of the cells nearest to it.
    for (int pass = 0; pass < options_.refinePasses; ++pass) {
        std::vector<GifColor> rounded;
        for (const auto& c : centres)
            rounded.push_back({toByte(c[0]), toByte(c[1]), toByte(c[2])});
        const PaletteLookup lookup(rounded);
        std::vector<Sums> sums(centres.size());
        for (const Cell& cell : cells_) {
            const uint8_t k =
                lookup.search(static_cast<int>(std::lround(cell.r)), static_cast<int>(std::lround(cell.g)),
                              static_cast<int>(std::lround(cell.b)));
            sums[k].add(cell.count, cell.r, cell.g, cell.b);
        }
        for (size_t k = 0; k < centres.size(); ++k)
            if (sums[k].count > 0)
                centres[k] = {sums[k].r / sums[k].count, sums[k].g / sums[k].count,
                              sums[k].b / sums[k].count};
    }

    std::vector<GifColor> colors;
    for (const auto& c : centres)
        colors.push_back({toByte(c[0]), toByte(c[1]), toByte(c[2])});
    return distinct(std::move(colors));
}

IndexedImage ColorQuantizer::map(const RgbaImage& image, const std::vector<GifColor>& palette, bool dither,
                                 int transparentIndex) {
    IndexedImage out{image.width, image.height, {}};
    const size_t w = static_cast<size_t>(image.width);
    out.indexes.resize(w * static_cast<size_t>(image.height));
    PaletteLookup lookup(palette, transparentIndex);
    // Errors in sixteenths, for this row and the next, with a spare pixel at each end.
    std::vector<int> here((w + 2) * 3, 0), next((w + 2) * 3, 0);
    for (int y = 0; y < image.height; ++y) {
        const bool forward = !dither || y % 2 == 0;
        const int step = forward ? 1 : -1;
        std::fill(next.begin(), next.end(), 0);
        for (int i = 0; i < image.width; ++i) {
            const int x = forward ? i : image.width - 1 - i;
            const uint8_t* p = image.pixel(x, y);
            uint8_t& index = out.indexes[static_cast<size_t>(y) * w + static_cast<size_t>(x)];
            if (p[3] < kOpaqueAlpha && transparentIndex >= 0) {
                index = static_cast<uint8_t>(transparentIndex);
                continue;
            }
            if (!dither) {
                index = lookup.nearest(p[0], p[1], p[2]);
                continue;
            }
            const size_t at = static_cast<size_t>(x + 1) * 3;
            int want[3];
            for (int c = 0; c < 3; ++c)
                want[c] = std::clamp(p[c] + (here[at + static_cast<size_t>(c)] + 8) / 16, 0, 255);
            index = lookup.nearest(want[0], want[1], want[2]);
            const GifColor got = palette[index];
            const int error[3] = {want[0] - got.r, want[1] - got.g, want[2] - got.b};
            const size_t ahead = static_cast<size_t>(x + 1 + step) * 3;
            const size_t behind = static_cast<size_t>(x + 1 - step) * 3;
            for (size_t c = 0; c < 3; ++c) {
                here[ahead + c] += error[c] * 7;
                next[behind + c] += error[c] * 3;
                next[at + c] += error[c] * 5;
                next[ahead + c] += error[c];
            }
        }
        std::swap(here, next);
    }
    return out;
}
