#include "FrameOptimizer.h"

#include "GifLzwEncoder.h"

#include <algorithm>
#include <stdexcept>

namespace {

constexpr uint8_t kKeep = 1;
constexpr uint8_t kToBackground = 2;
constexpr int16_t kClear = -1; // a screen pixel that shows the background

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

using Screen = std::vector<int16_t>;

class Builder {
  public:
    explicit Builder(const FrameOptimizerInput& in)
        : in_(in), lzwBits_(std::max(2, gifTableBits(in.palette.size()))) {}

    // What a frame shows, with transparent pixels as kClear.
    Screen target(size_t i) const {
        Screen s(in_.frames[i].indexes.begin(), in_.frames[i].indexes.end());
        if (in_.transparentIndex >= 0)
            for (auto& v : s)
                if (v == in_.transparentIndex)
                    v = kClear;
        return s;
    }

    // The frame that turns before into want over rect: changed pixels as they are, pixels to show the
    // background as the transparent entry (before shows it already there), and, with skipSame, pixels
    // that stay as they were as the transparent entry too.
    GifEncodeFrame frame(const Rect& r, const Screen& before, const Screen& want, bool skipSame) const {
        GifEncodeFrame f;
        f.left = r.x0;
        f.top = r.y0;
        f.width = r.x1 - r.x0;
        f.height = r.y1 - r.y0;
        f.indexes.reserve(static_cast<size_t>(f.width) * static_cast<size_t>(f.height));
        bool usesTransparent = false;
        for (int y = r.y0; y < r.y1; ++y)
            for (int x = r.x0; x < r.x1; ++x) {
                const size_t at =
                    static_cast<size_t>(y) * static_cast<size_t>(in_.width) + static_cast<size_t>(x);
                if (want[at] == kClear || (skipSame && want[at] == before[at])) {
                    f.indexes.push_back(static_cast<uint8_t>(in_.transparentIndex));
                    usesTransparent = true;
                } else {
                    f.indexes.push_back(static_cast<uint8_t>(want[at]));
                }
            }
        f.transparentIndex = usesTransparent ? in_.transparentIndex : -1;
        return f;
    }

    // The smaller of the frame with and without the unchanged pixels left out.
    GifEncodeFrame smallest(const Rect& r, const Screen& before, const Screen& want) const {
        GifEncodeFrame plain = frame(r, before, want, false);
        if (in_.transparentIndex < 0)
            return plain;
        GifEncodeFrame skipping = frame(r, before, want, true);
        return lzwSize(skipping) < lzwSize(plain) ? std::move(skipping) : std::move(plain);
    }

  private:
    size_t lzwSize(const GifEncodeFrame& f) const {
        scratch_.clear();
        lzw_.encode(f.indexes.data(), f.indexes.size(), lzwBits_, scratch_);
        return scratch_.size();
    }

    const FrameOptimizerInput& in_;
    int lzwBits_;
    mutable GifLzwEncoder lzw_;
    mutable std::vector<uint8_t> scratch_;
};

void check(const FrameOptimizerInput& in) {
    if (in.width < 1 || in.height < 1 || in.frames.empty())
        throw std::invalid_argument("frame optimiser: no frames or an empty screen");
    if (in.delays.size() != in.frames.size())
        throw std::invalid_argument("frame optimiser: one delay per frame is needed");
    if (in.palette.empty() || in.palette.size() > 256 ||
        in.transparentIndex >= static_cast<int>(in.palette.size()))
        throw std::invalid_argument("frame optimiser: the palette or its transparent entry is out of range");
    for (const IndexedImage& f : in.frames)
        if (f.width != in.width || f.height != in.height ||
            f.indexes.size() != static_cast<size_t>(in.width) * static_cast<size_t>(in.height))
            throw std::invalid_argument("frame optimiser: every frame must cover the screen");
    // Decoders that compare colours rather than indexes would hide every pixel of that colour.
    if (in.transparentIndex >= 0)
        for (size_t i = 0; i < in.palette.size(); ++i)
            if (static_cast<int>(i) != in.transparentIndex &&
                in.palette[i] == in.palette[static_cast<size_t>(in.transparentIndex)])
                throw std::invalid_argument("frame optimiser: the transparent colour is not unique");
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
    if (in.transparentIndex >= 0)
        for (const IndexedImage& f : in.frames)
            anyTransparent =
                anyTransparent || std::find(f.indexes.begin(), f.indexes.end(),
                                            static_cast<uint8_t>(in.transparentIndex)) != f.indexes.end();

    // The frame before the current one waits: the current one may need it erased, over a larger rectangle.
    Screen before(screenSize, kClear); // what the screen shows before the waiting frame
    Screen shown = builder.target(0);  // what the waiting frame shows
    Rect rect{0, 0, in.width, in.height};
    uint8_t disposal = kKeep;
    const auto finish = [&](size_t index, bool whole) {
        GifEncodeFrame f =
            whole ? builder.frame(rect, before, shown, false) : builder.smallest(rect, before, shown);
        f.delay = in.delays[index];
        f.disposal = disposal;
        // The first frame names the transparent colour whenever any frame shows it, so that the
        // background that erased frames show is transparent as well.
        if (index == 0 && anyTransparent)
            f.transparentIndex = in.transparentIndex;
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
