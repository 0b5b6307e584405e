#include "ColorQuantizer.h"
#include "FrameOptimizer.h"
#include "GifComposer.h"
#include "GifFitter.h"
#include "TGIFImage.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

RgbaImage gradient(int width, int height, int shift = 0) {
    RgbaImage image{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &image.rgba[(static_cast<size_t>(y) * width + x) * 4];
            p[0] = static_cast<uint8_t>((x + shift) * 255 / (width + shift));
            p[1] = static_cast<uint8_t>(y * 255 / height);
            p[2] = static_cast<uint8_t>(128 + 100 * std::sin((x + shift) * 0.2) * std::cos(y * 0.15));
            p[3] = 255;
        }
    return image;
}

// Loads bytes with no frame flagged, and composes every frame as RGBA.
std::vector<RgbaImage> composeAll(const std::vector<uint8_t>& bytes) {
    TGIFImage image;
    image.loadFromBytes(bytes.data(), bytes.size());
    GifComposer composer;
    std::vector<RgbaImage> frames;
    for (int i = 0; i < image.frameCount(); ++i) {
        EXPECT_TRUE(composer.compose(image, i));
        EXPECT_FALSE(image.frame(i).corrupted()) << "frame " << i << " was flagged corrupted";
        frames.push_back({composer.width(), composer.height(), composer.rgba()});
    }
    EXPECT_EQ(composer.takeStatus(), GifStatus::ok);
    return frames;
}

// A screen of 12 x 8 over four colours and a transparent entry: a square that moves, a corner that turns
// transparent, then comes back, and a frame that changes nothing.
FrameOptimizerInput movingSquare() {
    FrameOptimizerInput in;
    in.width = 12;
    in.height = 8;
    in.palette = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 255}};
    in.transparentIndex = 4;
    for (int f = 0; f < 5; ++f) {
        IndexedImage frame{12, 8, std::vector<uint8_t>(96, 2)};
        const int at = std::min(f, 3) * 2;
        for (int y = 2; y < 5; ++y)
            for (int x = at; x < at + 3; ++x)
                frame.indexes[static_cast<size_t>(y * 12 + x)] = 1;
        if (f == 2)
            for (int x = 9; x < 12; ++x)
                frame.indexes[static_cast<size_t>(7 * 12 + x)] = 4; // transparent where it was opaque
        in.frames.push_back(frame);
        in.delays.push_back(static_cast<uint16_t>(10 + f));
    }
    in.loopCount = 2;
    return in;
}

} // namespace

TEST(ColorQuantizer, KeepsFewExactColoursAndMapsLowAlphaToTheTransparentEntry) {
    RgbaImage image{3, 1, {10, 10, 10, 255, 12, 12, 12, 255, 200, 0, 0, 40}};
    const ColorQuantizer quantizer({&image});
    EXPECT_TRUE(quantizer.hasTransparency());
    std::vector<GifColor> palette = quantizer.palette(256);
    ASSERT_EQ(palette.size(), 2u) << "colours one step apart are both kept";
    palette.push_back({1, 2, 3});
    const IndexedImage mapped = ColorQuantizer::map(image, palette, true, 2);
    EXPECT_EQ(palette[mapped.indexes[0]], (GifColor{10, 10, 10}));
    EXPECT_EQ(palette[mapped.indexes[1]], (GifColor{12, 12, 12}));
    EXPECT_EQ(mapped.indexes[2], 2);
}

TEST(ColorQuantizer, PaletteOfAGradientStaysWithinTheLimitAndCloseToIt) {
    const RgbaImage image = gradient(64, 48);
    const ColorQuantizer quantizer({&image});
    for (int colors : {2, 16, 200}) {
        const auto palette = quantizer.palette(colors);
        EXPECT_LE(palette.size(), static_cast<size_t>(colors));
        EXPECT_GE(palette.size(), static_cast<size_t>(colors) * 3 / 4);
    }
    // More colours must mean a closer picture.
    const auto few = ColorQuantizer::map(image, quantizer.palette(8), false, -1);
    const auto many = ColorQuantizer::map(image, quantizer.palette(128), false, -1);
    const auto error = [&image](const IndexedImage& mapped, const std::vector<GifColor>& palette) {
        double sum = 0;
        for (size_t i = 0; i < mapped.indexes.size(); ++i) {
            const GifColor c = palette[mapped.indexes[i]];
            sum += std::abs(image.rgba[i * 4] - c.r) + std::abs(image.rgba[i * 4 + 1] - c.g) +
                   std::abs(image.rgba[i * 4 + 2] - c.b);
        }
        return sum;
    };
    EXPECT_LT(error(many, quantizer.palette(128)), error(few, quantizer.palette(8)) / 2);
}

TEST(FrameOptimizer, ComposesToExactlyTheInputFramesWithSmallRectangles) {
    const FrameOptimizerInput in = movingSquare();
    const GifEncodeImage optimized = FrameOptimizer::optimize(in);
    ASSERT_EQ(optimized.frames.size(), 5u);
    EXPECT_EQ(optimized.frames[0].width, 12);
    EXPECT_EQ(optimized.frames[1].disposal, 2) << "the next frame clears pixels this one shows";
    EXPECT_EQ(optimized.frames[1].left + optimized.frames[1].width, 12) << "grown to the pixels to clear";
    EXPECT_EQ(optimized.frames[1].top + optimized.frames[1].height, 8) << "grown to the pixels to clear";
    const GifEncodeFrame& third = optimized.frames[3];
    EXPECT_EQ((std::array{third.left, third.top, third.width, third.height}), (std::array{4, 2, 8, 6}))
        << "only the square's move and the corner's return are stored";
    EXPECT_EQ(third.disposal, 1);
    EXPECT_EQ(optimized.frames[4].width * optimized.frames[4].height, 1) << "an unchanged frame";

    const auto composed = composeAll(encodeGif(optimized));
    ASSERT_EQ(composed.size(), 5u);
    for (size_t f = 0; f < 5; ++f)
        for (size_t i = 0; i < 96; ++i) {
            const uint8_t index = in.frames[f].indexes[i];
            const GifColor want = in.palette[index];
            const uint8_t* got = &composed[f].rgba[i * 4];
            if (index == in.transparentIndex) {
                EXPECT_EQ(got[3], 0) << "frame " << f << " pixel " << i << " should be transparent";
            } else {
                ASSERT_EQ((GifColor{got[0], got[1], got[2]}), want) << "frame " << f << " pixel " << i;
                ASSERT_EQ(got[3], 255) << "frame " << f << " pixel " << i;
            }
        }
}

TEST(FrameOptimizer, RefusesATransparentColourThatAnotherEntryShares) {
    FrameOptimizerInput in = movingSquare();
    in.palette[4] = in.palette[1];
    EXPECT_THROW(FrameOptimizer::optimize(in), std::invalid_argument);
}

TEST(GifFitter, NeverExceedsTheBudgetAndSaysWhenNothingFits) {
    const FitSource source{{gradient(160, 120)}, {0}, 0};
    size_t previous = 0;
    for (size_t budget : {size_t{400}, size_t{2048}, size_t{8000}, size_t{21504}}) {
        SCOPED_TRACE("budget " + std::to_string(budget));
        FitOptions options;
        options.byteBudget = budget;
        const FitResult r = fitGif(source, options);
        EXPECT_TRUE(r.fits);
        EXPECT_LE(r.bytes.size(), budget);
        EXPECT_GT(r.bytes.size(), previous) << "a larger budget should be used";
        previous = r.bytes.size();
        const auto composed = composeAll(r.bytes);
        ASSERT_EQ(composed.size(), 1u);
        EXPECT_EQ(composed[0].width, r.width);
        EXPECT_GT(r.psnr, 15.0);
    }
    FitSource animation{{gradient(40, 30, 0), gradient(40, 30, 7), gradient(40, 30, 14)}, {100, 100, 100}, 0};
    FitOptions tiny;
    tiny.byteBudget = 60;
    const FitResult r = fitGif(animation, tiny);
    EXPECT_FALSE(r.fits);
    EXPECT_GT(r.bytes.size(), 60u);
}

TEST(GifFitter, FittedAnimationComposesCloseToTheSourceAndKeepsItsTiming) {
    FitSource source;
    for (int f = 0; f < 4; ++f) {
        RgbaImage frame = gradient(48, 32, f * 3);
        for (int x = 0; x < 48; ++x)
            frame.rgba[(static_cast<size_t>(31) * 48 + x) * 4 + 3] = f % 2 ? 0 : 255; // a flickering edge
        source.frames.push_back(frame);
        source.delaysMs.push_back(70);
    }
    source.loopCount = 5;
    FitOptions options;
    options.byteBudget = 21504;
    const FitResult r = fitGif(source, options);
    ASSERT_TRUE(r.fits);
    ASSERT_EQ(r.width, 48) << "this much room needs no scaling";
    EXPECT_EQ(r.frames, 4);

    TGIFImage image;
    image.loadFromBytes(r.bytes.data(), r.bytes.size());
    EXPECT_EQ(image.repeatCount(), 5);
    EXPECT_EQ(image.frame(1).delay(), 70);
    const auto composed = composeAll(r.bytes);
    ASSERT_EQ(composed.size(), 4u);
    // What the phone shows is what the fit measured: the quantisation error alone.
    double error = 0;
    for (size_t f = 0; f < 4; ++f) {
        const double psnr = rgbaPsnr(source.frames[f], composed[f]);
        EXPECT_GT(psnr, 25.0) << "frame " << f;
        error += std::pow(10.0, -psnr / 10) / 4;
    }
    EXPECT_NEAR(-10 * std::log10(error), r.psnr, 0.01);

    // Dropping frames merges their delays into the frames kept.
    options.byteBudget = 900;
    options.allowFrameDrop = true;
    const FitResult dropped = fitGif(source, options);
    ASSERT_TRUE(dropped.fits);
    EXPECT_LE(dropped.bytes.size(), 900u);
    TGIFImage small;
    small.loadFromBytes(dropped.bytes.data(), dropped.bytes.size());
    int total = 0;
    for (int i = 0; i < small.frameCount(); ++i)
        total += small.frame(i).delay();
    EXPECT_EQ(total, 280);
}
