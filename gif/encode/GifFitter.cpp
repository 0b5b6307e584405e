#include "GifFitter.h"

#include "ColorQuantizer.h"
#include "FrameOptimizer.h"
#include "GifEncoder.h"
#include "ImageScaler.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <unordered_set>

namespace {

constexpr double kScaleStep = 0.85;
// The fewest colours tried before the picture is made smaller; below it, only at the smallest size.
constexpr int kColorFloor = 16;
constexpr double kIdentical = 100.0;

// Ends the search from inside it when the caller abandons it.
struct Abandoned {};

// Local tables are tried for animations of at most this many frames: each costs a palette search per
// frame and trial, and their tables rarely pay for themselves in a longer one.
constexpr size_t kMostFramesForLocalTables = 16;

struct Attempt {
    std::vector<uint8_t> bytes;
    std::vector<FrameTable> tables; // one shared by every frame, or one per frame
    std::vector<IndexedImage> frames;
    bool dithered = false;
    double keptPsnr = 0; // over the frames kept, against them scaled
    const FrameTable& table(size_t frame) const { return tables.size() == 1 ? tables[0] : tables[frame]; }
    bool local() const { return tables.size() > 1; }
    int entries() const { return static_cast<int>(tables.empty() ? 0 : tables[0].colors.size()); }
};

// A colour not in palette, for the transparent entry.
GifColor unusedColor(const std::vector<GifColor>& palette) {
    std::unordered_set<uint32_t> used;
    for (GifColor c : palette)
        used.insert(uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b);
    for (uint32_t v = 0xFF00FF;; v = (v * 2654435761u + 12345u) & 0xFFFFFF)
        if (!used.count(v))
            return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

// Delays in hundredths that add up as the milliseconds do, so merged and rounded delays keep the pace.
std::vector<uint16_t> hundredths(const std::vector<int>& ms) {
    std::vector<uint16_t> out;
    int64_t total = 0, written = 0;
    for (int d : ms) {
        total += std::max(d, 0);
        const int64_t upTo = (total + 5) / 10;
        out.push_back(static_cast<uint16_t>(std::min<int64_t>(upTo - written, 65535)));
        written += out.back();
    }
    return out;
}

// The PSNR of the mean error over pairs of pictures (not the mean of their PSNRs).
double meanPsnr(const std::vector<RgbaImage>& wanted, const std::vector<RgbaImage>& shown) {
    double sum = 0;
    for (size_t i = 0; i < wanted.size(); ++i)
        sum += std::pow(10.0, -rgbaPsnr(wanted[i], shown[i]) / 10.0);
    return std::min(kIdentical,
                    -10.0 * std::log10(std::max(sum / std::max<size_t>(wanted.size(), 1), 1e-10)));
}

class Search {
  public:
    Search(const FitSource& source, const FitOptions& options) : source_(source), options_(options) {
        const int sw = source.frames[0].width, sh = source.frames[0].height;
        double box = 1.0;
        if (options.targetWidth > 0 && options.targetHeight > 0)
            box = std::min(static_cast<double>(options.targetWidth) / sw,
                           static_cast<double>(options.targetHeight) / sh);
        baseWidth_ = std::max(1, static_cast<int>(std::lround(sw * box)));
        baseHeight_ = std::max(1, static_cast<int>(std::lround(sh * box)));
        limit_ = std::clamp(options.maxColors, 2, 256);
    }

    FitResult run() {
        const size_t count = source_.frames.size();
        for (size_t every = 1; every <= count; ++every) {
            if (every > 1 && !(options_.allowFrameDrop && count > 1))
                break;
            std::vector<size_t> kept;
            for (size_t i = 0; i < count; i += every)
                kept.push_back(i);
            if (every > 1 && kept.size() == keptCount_)
                continue; // the same frames as before
            keptCount_ = kept.size();
            if (fitFrames(kept))
                return result(true);
        }
        return result(false);
    }

  private:
    // Tries ever smaller sizes with these frames; true once one fits.
    bool fitFrames(const std::vector<size_t>& kept) {
        kept_ = kept;
        std::vector<int> ms;
        for (size_t k = 0; k < kept.size(); ++k) {
            const size_t end = k + 1 < kept.size() ? kept[k + 1] : source_.frames.size();
            int sum = 0;
            for (size_t j = kept[k]; j < end; ++j)
                sum += j < source_.delaysMs.size() ? std::max(source_.delaysMs[j], 0) : 0;
            ms.push_back(sum);
        }
        delays_ = hundredths(ms);

        for (int step = 0;;) {
            const double scale = std::pow(kScaleStep, step);
            const int w = std::max(1, static_cast<int>(std::lround(baseWidth_ * scale)));
            const int h = std::max(1, static_cast<int>(std::lround(baseHeight_ * scale)));
            const bool smallest = w == 1 || h == 1;
            scaled_.clear();
            for (size_t i : kept)
                scaled_.push_back(ImageScaler::scale(source_.frames[i], w, h));
            std::vector<const RgbaImage*> pictures;
            for (const RgbaImage& p : scaled_)
                pictures.push_back(&p);
            quantizer_.emplace(pictures);
            frameQuantizers_.clear();
            width_ = w;
            height_ = h;
            size_t smallestBytes = 0;
            if (fitColors(smallest ? 2 : kColorFloor, smallestBytes))
                return true;
            if (smallest)
                return false;
            // Skip the sizes that clearly cannot fit: bytes go roughly with the area.
            int next = step + 1;
            if (smallestBytes > options_.byteBudget) {
                const double guess =
                    scale * std::sqrt(static_cast<double>(options_.byteBudget) / smallestBytes);
                next = std::max(next, static_cast<int>(std::floor(std::log(guess) / std::log(kScaleStep))));
            }
            step = next;
        }
    }

    // The most colours that fit at the present size, with dithering and then without; smallestBytes gets
    // the smallest size made when none fits.
    bool fitColors(int floor, size_t& smallestBytes) {
        const bool reserve = kept_.size() > 1 || quantizer_->hasTransparency();
        const int distinct = static_cast<int>(quantizer_->exactColors()) + (reserve ? 1 : 0);
        const int top = std::max(2, std::min(limit_, distinct));
        const int low = std::min(top, std::max(floor, 2));
        smallestBytes = SIZE_MAX;
        std::vector<bool> dithers;
        // Exact colours need no dithering.
        if (options_.allowDither && quantizer_->exactColors() + (reserve ? 1 : 0) > static_cast<size_t>(top))
            dithers.push_back(true);
        dithers.push_back(false);
        for (bool dither : dithers) {
            if (!tryColors(top, dither, reserve, false, smallestBytes)) {
                if (!tryColors(low, dither, reserve, false, smallestBytes))
                    continue;
                const int good = mostColors(low, top, dither, reserve, false, smallestBytes);
                if (best_.dithered != dither || best_.entries() != good)
                    tryColors(good, dither, reserve, false, smallestBytes);
            }
            tryLocalTables(low, top, dither, reserve, smallestBytes);
            return true;
        }
        return false;
    }

    // The most entries in (good, bad) that fit, good fitting and bad not.
    int mostColors(int good, int bad, bool dither, bool reserve, bool local, size_t& smallestBytes) {
        while (bad - good > 1) {
            const int mid = (good + bad) / 2;
            if (tryColors(mid, dither, reserve, local, smallestBytes))
                good = mid;
            else
                bad = mid;
        }
        return good;
    }

    // An animation whose frames differ in colour may look better with a table of its own for each frame
    // (the first frame's written as the global one): the most entries that fit that way replace the
    // shared table's result when they measure better.
    void tryLocalTables(int low, int top, bool dither, bool reserve, size_t& smallestBytes) {
        if (kept_.size() < 2 || kept_.size() > kMostFramesForLocalTables)
            return;
        local_ = {};
        if (!tryColors(top, dither, reserve, true, smallestBytes)) {
            if (!tryColors(low, dither, reserve, true, smallestBytes))
                return;
            const int good = mostColors(low, top, dither, reserve, true, smallestBytes);
            if (local_.entries() != good)
                tryColors(good, dither, reserve, true, smallestBytes);
        }
        if (local_.keptPsnr > best_.keptPsnr)
            best_ = std::move(local_);
    }

    FrameTable table(const ColorQuantizer& quantizer, int entries, bool reserve) const {
        FrameTable t;
        t.colors = quantizer.palette(entries - (reserve ? 1 : 0));
        if (t.colors.empty())
            t.colors.push_back({0, 0, 0}); // every pixel transparent
        if (reserve) {
            t.transparentIndex = static_cast<int>(t.colors.size());
            t.colors.push_back(unusedColor(t.colors));
        }
        if (t.colors.size() < 2)
            t.colors.push_back(unusedColor(t.colors));
        return t;
    }

    // Makes the GIF with tables of entries entries, shared or one per frame; true when it fits (it then
    // becomes the best so far of its kind).
    bool tryColors(int entries, bool dither, bool reserve, bool local, size_t& smallestBytes) {
        if (options_.cancelled && options_.cancelled())
            throw Abandoned{};
        Attempt a;
        a.dithered = dither;
        if (local) {
            if (frameQuantizers_.empty())
                for (const RgbaImage& p : scaled_)
                    frameQuantizers_.emplace_back(std::vector<const RgbaImage*>{&p});
            for (const ColorQuantizer& q : frameQuantizers_)
                a.tables.push_back(table(q, entries, reserve));
        } else {
            a.tables.push_back(table(*quantizer_, entries, reserve));
        }
        FrameOptimizerInput in;
        in.width = width_;
        in.height = height_;
        in.palette = a.tables[0].colors;
        in.transparentIndex = a.tables[0].transparentIndex;
        for (size_t k = 0; k < scaled_.size(); ++k) {
            const FrameTable& t = a.table(k);
            in.frames.push_back(ColorQuantizer::map(scaled_[k], t.colors, dither, t.transparentIndex));
        }
        if (local) {
            in.localTables = a.tables;
            in.localTables[0] = {}; // the first frame's table is the global one
        }
        in.delays = delays_;
        in.loopCount = source_.loopCount;
        a.bytes = encodeGif(FrameOptimizer::optimize(in));
        a.frames = std::move(in.frames);
        smallestBytes = std::min(smallestBytes, a.bytes.size());
        const bool fits = a.bytes.size() <= options_.byteBudget;
        if (fits) {
            std::vector<RgbaImage> shown;
            for (size_t k = 0; k < a.frames.size(); ++k)
                shown.push_back(picture(a, k));
            a.keptPsnr = meanPsnr(scaled_, shown);
            (local ? local_ : best_) = std::move(a);
            bestWidth_ = width_;
            bestHeight_ = height_;
            bestKept_ = kept_;
            found_ = true;
        } else if (!found_ && (smallest_.bytes.empty() || a.bytes.size() < smallest_.bytes.size())) {
            smallest_ = std::move(a);
            smallestWidth_ = width_;
            smallestHeight_ = height_;
            smallestKept_ = kept_;
        }
        return fits;
    }

    // Kept frame k of a as it shows.
    static RgbaImage picture(const Attempt& a, size_t k) {
        const FrameTable& t = a.table(k);
        const auto& indexes = a.frames[k].indexes;
        RgbaImage got{a.frames[k].width, a.frames[k].height, std::vector<uint8_t>(indexes.size() * 4)};
        for (size_t i = 0; i < indexes.size(); ++i) {
            const GifColor c = t.colors[indexes[i]];
            got.rgba[i * 4] = c.r;
            got.rgba[i * 4 + 1] = c.g;
            got.rgba[i * 4 + 2] = c.b;
            got.rgba[i * 4 + 3] = static_cast<int>(indexes[i]) == t.transparentIndex ? 0 : 255;
        }
        return got;
    }

    FitResult result(bool fits) {
        const Attempt& a = fits ? best_ : smallest_;
        const int w = fits ? bestWidth_ : smallestWidth_, h = fits ? bestHeight_ : smallestHeight_;
        const std::vector<size_t>& kept = fits ? bestKept_ : smallestKept_;
        FitResult r;
        r.bytes = a.bytes;
        r.width = w;
        r.height = h;
        for (const FrameTable& t : a.tables)
            r.colors = std::max(r.colors, static_cast<int>(t.colors.size()));
        r.localTables = a.local();
        r.frames = static_cast<int>(a.frames.size());
        r.dithered = a.dithered;
        r.fits = fits && r.bytes.size() <= options_.byteBudget;
        if (a.frames.empty())
            return r;
        // Every source frame against the kept frame shown in its time.
        std::vector<RgbaImage> wanted, shown;
        size_t k = 0;
        for (size_t j = 0; j < source_.frames.size(); ++j) {
            while (k + 1 < kept.size() && kept[k + 1] <= j)
                ++k;
            wanted.push_back(ImageScaler::scale(source_.frames[j], w, h));
            shown.push_back(picture(a, k));
        }
        r.psnr = meanPsnr(wanted, shown);
        return r;
    }

    const FitSource& source_;
    const FitOptions& options_;
    int baseWidth_ = 0, baseHeight_ = 0, limit_ = 256;
    size_t keptCount_ = 0;
    std::vector<size_t> kept_;
    std::vector<uint16_t> delays_;
    std::vector<RgbaImage> scaled_;
    std::optional<ColorQuantizer> quantizer_;
    std::vector<ColorQuantizer> frameQuantizers_; // one per kept frame, made when local tables are tried
    int width_ = 0, height_ = 0;
    bool found_ = false;
    Attempt best_, local_, smallest_;
    int bestWidth_ = 0, bestHeight_ = 0, smallestWidth_ = 0, smallestHeight_ = 0;
    std::vector<size_t> bestKept_, smallestKept_;
};

} // namespace

double rgbaPsnr(const RgbaImage& a, const RgbaImage& b) {
    if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size())
        throw std::invalid_argument("PSNR of pictures of different sizes");
    if (a.rgba.empty())
        return kIdentical;
    double error = 0;
    for (size_t i = 0; i < a.rgba.size(); i += 4) {
        const bool ha = a.rgba[i + 3] < ColorQuantizer::kOpaqueAlpha,
                   hb = b.rgba[i + 3] < ColorQuantizer::kOpaqueAlpha;
        if (ha && hb)
            continue;
        if (ha != hb) {
            error += 3.0 * 255 * 255;
            continue;
        }
        for (size_t c = 0; c < 3; ++c) {
            const double d = static_cast<double>(a.rgba[i + c]) - b.rgba[i + c];
            error += d * d;
        }
    }
    const double mse = error / (a.rgba.size() / 4 * 3);
    return mse <= 0 ? kIdentical : std::min(kIdentical, 10.0 * std::log10(255.0 * 255.0 / mse));
}

FitResult fitGif(const FitSource& source, const FitOptions& options) {
    if (source.frames.empty())
        throw std::invalid_argument("nothing to fit: no frames");
    if (source.delaysMs.size() != source.frames.size())
        throw std::invalid_argument("one delay per frame is needed");
    for (const RgbaImage& f : source.frames)
        if (f.width != source.frames[0].width || f.height != source.frames[0].height || f.width < 1 ||
            f.height < 1 || f.rgba.size() != static_cast<size_t>(f.width) * f.height * 4)
            throw std::invalid_argument("the frames to fit must all be of one, non-empty size");
    try {
        return Search(source, options).run();
    } catch (const Abandoned&) {
        FitResult abandoned;
        abandoned.cancelled = true;
        return abandoned;
    }
}
