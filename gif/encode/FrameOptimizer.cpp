#include "FrameOptimizer.h"

#include "GifLzwEncoder.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr uint8_t kKeep = 1;
constexpr uint8_t kToBackground = 2;
constexpr int32_t kClear = -1; // a screen pixel that shows the background

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0; // x1, y1 past the end
    bool empty() const { return x0 >= x1 || y0 >= y1; }
    void add(int x, int y) {
        if (empty()) {
            *this = {x, y, x + 1, y + 1};
            return;
        }
        x0 = std::min(x0, x);
        y0 = std::min(y0, y);
        x1 = std::max(x1, x + 1);
        y1 = std::max(y1, y + 1);
    }
    void add(const Rect& r) {
        if (r.empty())
            return;
        add(r.x0, r.y0);
        add(r.x1 - 1, r.y1 - 1);
    }
};

// What the screen shows: 0xRRGGBB, or kClear. Colours, not indexes, since frames may use different tables.
using Screen = std::vector<int32_t>;

class Builder {
  public:
    explicit Builder(const FrameOptimizerInput& in) : in_(in) {}

    const std::vector<GifColor>& colors(size_t i) const {
        return ownTable(i) ? in_.localTables[i].colors : in_.palette;
    }
    int transparentIndex(size_t i) const {
        return ownTable(i) ? in_.localTables[i].transparentIndex : in_.transparentIndex;
    }
    bool ownTable(size_t i) const { return !in_.localTables.empty() && !in_.localTables[i].colors.empty(); }

    // What frame i shows.
    Screen target(size_t i) const {
        const std::vector<GifColor>& table = colors(i);
        const int transparent = transparentIndex(i);
        Screen s;
        s.reserve(in_.frames[i].indexes.size());
        for (uint8_t v : in_.frames[i].indexes) {
            const GifColor c = table[v];
            s.push_back(v == transparent ? kClear : int32_t{c.r} << 16 | int32_t{c.g} << 8 | c.b);
        }
        return s;
    }

    // Frame i as it turns before into want (what frame i shows) over rect: changed pixels as they are,
    // pixels to show the background as the transparent entry (before shows it already there), and, with
    // skipSame, pixels that stay as they were as the transparent entry too.
    GifEncodeFrame frame(size_t i, const Rect& r, const Screen& before, const Screen& want,
                         bool skipSame) const {
        const int transparent = transparentIndex(i);
        const std::vector<uint8_t>& indexes = in_.frames[i].indexes;
        GifEncodeFrame f;
        f.left = r.x0;
        f.top = r.y0;
        f.width = r.x1 - r.x0;
        f.height = r.y1 - r.y0;
        if (ownTable(i))
            f.localColors = colors(i);
        f.indexes.reserve(static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
        bool usesTransparent = false;
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) {
                const size_t at =
                    static_cast<size_t>(y) * static_cast<size_t>(in_.width) + static_cast<size_t>(x);
                if (want[at] == kClear || (skipSame && want[at] == before[at])) {
                    f.indexes.push_back(static_cast<uint8_t>(transparent));
                    usesTransparent = true;
                } else {
                    f.indexes.push_back(indexes[at]);
                }
            }
        f.transparentIndex = usesTransparent ? transparent : -1;
        return f;
    }

    // The smaller of the frame with and without the unchanged pixels left out.
    GifEncodeFrame smallest(size_t i, const Rect& r, const Screen& before, const Screen& want) const {
        GifEncodeFrame plain = frame(i, r, before, want, false);
        if (transparentIndex(i) < 0)
            return plain;
        GifEncodeFrame skipping = frame(i, r, before, want, true);
        const int bits = std::max(2, gifTableBits(colors(i).size()));
        return lzwSize(skipping, bits) < lzwSize(plain, bits) ? std::move(skipping) : std::move(plain);
    }

  private:
    size_t lzwSize(const GifEncodeFrame& f, int bits) const {
        scratch_.clear();
        lzw_.encode(f.indexes.data(), f.indexes.size(), bits, scratch_);
        return scratch_.size();
    }

    const FrameOptimizerInput& in_;
    mutable GifLzwEncoder lzw_;
    mutable std::vector<uint8_t> scratch_;
};

// Decoders that compare colours rather than indexes would hide every pixel of the transparent colour.
void checkTable(const std::vector<GifColor>& colors, int transparentIndex) {
    if (colors.empty() || colors.size() > 256 || transparentIndex >= static_cast<int>(colors.size()))
        throw std::invalid_argument("frame optimiser: a table or its transparent entry is out of range");
    if (transparentIndex >= 0)
        for (size_t i = 0; i < colors.size(); ++i)
            if (static_cast<int>(i) != transparentIndex &&
                colors[i] == colors[static_cast<size_t>(transparentIndex)])
                throw std::invalid_argument("frame optimiser: the transparent colour is not unique");
}

void check(const FrameOptimizerInput& in) {
    if (in.width < 1 || in.height < 1 || in.frames.empty())
        throw std::invalid_argument("frame optimiser: no frames or an empty screen");
    if (in.delays.size() != in.frames.size())
        throw std::invalid_argument("frame optimiser: one delay per frame is needed");
    if (!in.localTables.empty() && in.localTables.size() != in.frames.size())
        throw std::invalid_argument("frame optimiser: one local table per frame, or none, is needed");
    checkTable(in.palette, in.transparentIndex);
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const IndexedImage& f = in.frames[i];
        if (f.width != in.width || f.height != in.height ||
            f.indexes.size() != static_cast<size_t>(in.width) * static_cast<size_t>(in.height))
            throw std::invalid_argument("frame optimiser: every frame must cover the screen");
        const bool own = !in.localTables.empty() && !in.localTables[i].colors.empty();
        const auto& table = own ? in.localTables[i].colors : in.palette;
        if (own)
            checkTable(table, in.localTables[i].transparentIndex);
        if (std::any_of(f.indexes.begin(), f.indexes.end(), [&](uint8_t v) { return v >= table.size(); }))
            throw std::invalid_argument("frame optimiser: an index is beyond its table");
    }
}

} // namespace

GifEncodeImage FrameOptimizer::optimize(const FrameOptimizerInput& in) {
    check(in);
    const Builder builder(in);
    GifEncodeImage out;
    out.width = in.width;
    out.height = in.height;
    out.globalColors = in.palette;
    out.loopCount = in.loopCount;

    const size_t screenSize = static_cast<size_t>(in.width) * static_cast<size_t>(in.height);
    bool anyTransparent = false;
    for (size_t i = 0; i < in.frames.size() && !anyTransparent; ++i) {
        const int transparent = builder.transparentIndex(i);
        const auto& indexes = in.frames[i].indexes;
        anyTransparent = transparent >= 0 && std::find(indexes.begin(), indexes.end(),
                                                       static_cast<uint8_t>(transparent)) != indexes.end();
    }

    // The frame before the current one waits: the current one may need it erased, over a larger rectangle.
    Screen before(screenSize, kClear); // what the screen shows before the waiting frame
    Screen shown = builder.target(0);  // what the waiting frame shows
    Rect rect{0, 0, in.width, in.height};
    uint8_t disposal = kKeep;
    const auto finish = [&](size_t index, bool whole) {
        GifEncodeFrame f = whole ? builder.frame(index, rect, before, shown, false)
                                 : builder.smallest(index, rect, before, shown);
        f.delay = in.delays[index];
        f.disposal = disposal;
        // The first frame names the transparent colour whenever any frame shows it, so that the
        // background that erased frames show is transparent as well.
        if (index == 0 && anyTransparent && builder.transparentIndex(0) >= 0)
            f.transparentIndex = builder.transparentIndex(0);
        out.frames.push_back(std::move(f));
    };

    for (size_t i = 1; i < in.frames.size(); ++i) {
        const Screen want = builder.target(i);
        Rect clearing;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                const size_t at =
                    static_cast<size_t>(y) * static_cast<size_t>(in.width) + static_cast<size_t>(x);
                if (want[at] == kClear && shown[at] != kClear)
                    clearing.add(x, y);
            }
        disposal = kKeep;
        Screen next = shown;
        if (!clearing.empty()) {
            // Only erasing brings the background back: the waiting frame grows to cover those pixels.
            disposal = kToBackground;
            rect.add(clearing);
            for (int y = rect.y0; y < rect.y1; ++y)
                std::fill_n(next.begin() + static_cast<std::ptrdiff_t>(y * in.width + rect.x0),
                            rect.x1 - rect.x0, kClear);
        }
        finish(i - 1, i == 1);

        Rect changed;
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                const size_t at =
                    static_cast<size_t>(y) * static_cast<size_t>(in.width) + static_cast<size_t>(x);
                if (want[at] != next[at])
                    changed.add(x, y);
            }
        if (changed.empty())
            changed.add(0, 0); // a frame holds at least one pixel
        before = std::move(next);
        shown = want;
        rect = changed;
    }
    disposal = kKeep;
    finish(in.frames.size() - 1, in.frames.size() == 1);
    return out;
}
