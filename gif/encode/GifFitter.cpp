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

struct Attempt {
    std::vector<uint8_t> bytes;
    std::vector<GifColor> palette;
    int transparentIndex = -1;
    std::vector<IndexedImage> frames;
    bool dithered = false;
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
            if (tryColors(top, dither, reserve, smallestBytes))
                return true;
            if (!tryColors(low, dither, reserve, smallestBytes))
                continue;
            int good = low, bad = top;
            while (bad - good > 1) {
                const int mid = (good + bad) / 2;
                if (tryColors(mid, dither, reserve, smallestBytes))
                    good = mid;
                else
                    bad = mid;
            }
            if (best_.dithered != dither || static_cast<int>(best_.palette.size()) != good)
                tryColors(good, dither, reserve, smallestBytes);
            return true;
        }
        return false;
    }

    // Makes the GIF with entries palette entries; true when it fits (it then becomes the best so far).
    bool tryColors(int entries, bool dither, bool reserve, size_t& smallestBytes) {
        Attempt a;
        a.dithered = dither;
        a.palette = quantizer_->palette(entries - (reserve ? 1 : 0));
        if (a.palette.empty())
            a.palette.push_back({0, 0, 0}); // every pixel transparent
        if (reserve) {
            a.transparentIndex = static_cast<int>(a.palette.size());
            a.palette.push_back(unusedColor(a.palette));
        }
        if (a.palette.size() < 2)
            a.palette.push_back(unusedColor(a.palette));
        FrameOptimizerInput in;
        in.width = width_;
        in.height = height_;
        in.palette = a.palette;
        in.transparentIndex = a.transparentIndex;
        for (const RgbaImage& p : scaled_)
            in.frames.push_back(ColorQuantizer::map(p, a.palette, dither, a.transparentIndex));
        in.delays = delays_;
        in.loopCount = source_.loopCount;
        a.bytes = encodeGif(FrameOptimizer::optimize(in));
        a.frames = std::move(in.frames);
        smallestBytes = std::min(smallestBytes, a.bytes.size());
        const bool fits = a.bytes.size() <= options_.byteBudget;
        if (fits) {
            best_ = std::move(a);
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

    FitResult result(bool fits) {
        const Attempt& a = fits ? best_ : smallest_;
        const int w = fits ? bestWidth_ : smallestWidth_, h = fits ? bestHeight_ : smallestHeight_;
        const std::vector<size_t>& kept = fits ? bestKept_ : smallestKept_;
        FitResult r;
        r.bytes = a.bytes;
        r.width = w;
        r.height = h;
        r.colors = static_cast<int>(a.palette.size());
        r.frames = static_cast<int>(a.frames.size());
        r.dithered = a.dithered;
        r.fits = fits && r.bytes.size() <= options_.byteBudget;
        // Every source frame against the kept frame shown in its time.
        double sum = 0;
        size_t k = 0;
        for (size_t j = 0; j < source_.frames.size() && !a.frames.empty(); ++j) {
            while (k + 1 < kept.size() && kept[k + 1] <= j)
                ++k;
            const RgbaImage want = ImageScaler::scale(source_.frames[j], w, h);
            RgbaImage got{w, h, std::vector<uint8_t>(want.rgba.size())};
            const auto& indexes = a.frames[k].indexes;
            for (size_t i = 0; i < indexes.size(); ++i) {
                const GifColor c = a.palette[indexes[i]];
                const bool hidden = static_cast<int>(indexes[i]) == a.transparentIndex;
                got.rgba[i * 4] = c.r;
                got.rgba[i * 4 + 1] = c.g;
                got.rgba[i * 4 + 2] = c.b;
                got.rgba[i * 4 + 3] = hidden ? 0 : 255;
            }
            const double psnr = rgbaPsnr(want, got);
            sum += std::pow(10.0, -psnr / 10.0); // mean of the errors, not of the ratios
        }
        if (!a.frames.empty())
            r.psnr = std::min(kIdentical, -10.0 * std::log10(std::max(sum / source_.frames.size(), 1e-10)));
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
    int width_ = 0, height_ = 0;
    bool found_ = false;
    Attempt best_, smallest_;
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
    return Search(source, options).run();
}
