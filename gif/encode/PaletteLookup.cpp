#include "PaletteLookup.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

constexpr int kCellShift = 2; // 6 bits per channel
// The farthest a colour of a cell lies from the point searched for it (offset 1 in a cell of 4:
// sqrt(3) * 3), rounded up.
constexpr double kCellReach = 5.2;

} // namespace

PaletteLookup::PaletteLookup(const std::vector<GifColor>& palette, int skip) {
    for (size_t i = 0; i < palette.size() && i < 256; ++i)
        if (static_cast<int>(i) != skip)
            sorted_.push_back({palette[i].r, palette[i].g, palette[i].b, static_cast<uint8_t>(i)});
    if (sorted_.empty())
        throw std::invalid_argument("a palette lookup needs at least one colour");
    std::sort(sorted_.begin(), sorted_.end(), [](const Entry& a, const Entry& b) { return a.r < b.r; });
    size_t k = 0;
    for (int v = 0; v <= 256; ++v) {
        while (k < sorted_.size() && sorted_[k].r < v)
            ++k;
        start_[static_cast<size_t>(v)] = static_cast<uint16_t>(k);
    }
}

uint8_t PaletteLookup::search(int r, int g, int b, int& best, int& second) const {
    best = second = std::numeric_limits<int>::max();
    uint8_t found = sorted_.front().index;
    const auto consider = [&](const Entry& e) {
        const int dr = e.r - r, dg = e.g - g, db = e.b - b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            second = best;
            best = d;
            found = e.index;
        } else if (d < second) {
            second = d;
        }
    };
    // Outwards from the entries of this red in both directions, until red alone is farther than the
    // second best (which the cache needs as well).
    const int n = static_cast<int>(sorted_.size());
    const int mid = start_[static_cast<size_t>(std::clamp(r, 0, 256))];
    for (int up = mid, down = mid - 1; up < n || down >= 0;) {
        if (up < n) {
            const int dr = sorted_[static_cast<size_t>(up)].r - r;
            if (dr * dr >= second)
                up = n;
            else
                consider(sorted_[static_cast<size_t>(up++)]);
        }
        if (down >= 0) {
            const int dr = r - sorted_[static_cast<size_t>(down)].r;
            if (dr * dr >= second)
                down = -1;
            else
                consider(sorted_[static_cast<size_t>(down--)]);
        }
    }
    return found;
}

uint8_t PaletteLookup::search(int r, int g, int b) const {
    int best, second;
    return search(r, g, b, best, second);
}

uint8_t PaletteLookup::nearest(int r, int g, int b) {
    r = std::clamp(r, 0, 255);
    g = std::clamp(g, 0, 255);
    b = std::clamp(b, 0, 255);
    if (cells_.empty()) // made on first use: search() alone needs no cache
        cells_.assign(size_t{1} << 18, kUnknown);
    const size_t cell =
        static_cast<size_t>((r >> kCellShift) << 12 | (g >> kCellShift) << 6 | (b >> kCellShift));
    uint16_t& cached = cells_[cell];
    if (cached < 256)
        return static_cast<uint8_t>(cached);
    if (cached == kAmbiguous)
        return search(r, g, b);
    // The entry nearest the cell's centre is nearest for all of it when the second best is farther by
    // more than the cell's reach on both sides.
    const int cr = (r >> kCellShift << kCellShift) + 1;
    const int cg = (g >> kCellShift << kCellShift) + 1;
    const int cb = (b >> kCellShift << kCellShift) + 1;
    int best, second;
    const uint8_t index = search(cr, cg, cb, best, second);
    const bool safe =
        second == std::numeric_limits<int>::max() ||
        std::sqrt(static_cast<double>(second)) - std::sqrt(static_cast<double>(best)) > 2 * kCellReach;
    cached = safe ? index : kAmbiguous;
    return safe ? index : search(r, g, b);
}
