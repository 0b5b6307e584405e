#include "ColorQuantizer.h"
#include "FrameOptimizer.h"
#include "GifComposer.h"
#include "GifFitter.h"
#include "TGIFImage.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// Every pixel of composed shows the colour its frame's table gives it, or is transparent.
void expectComposesTo(const FrameOptimizerInput& in, const std::vector<RgbaImage>& composed) {
    ASSERT_EQ(composed.size(), in.frames.size());
    for (size_t f = 0; f < in.frames.size(); ++f) {
        const bool own = !in.localTables.empty() && !in.localTables[f].colors.empty();
        const auto& table = own ? in.localTables[f].colors : in.palette;
        const int transparent = own ? in.localTables[f].transparentIndex : in.transparentIndex;
        for (size_t i = 0; i < in.frames[f].indexes.size(); ++i) {
            const uint8_t index = in.frames[f].indexes[i];
            const uint8_t* got = &composed[f].rgba[i * 4];
            if (index == transparent) {
                EXPECT_EQ(got[3], 0) << "frame " << f << " pixel " << i << " should be transparent";
            } else {
                ASSERT_EQ((GifColor{got[0], got[1], got[2]}), table[index])
                    << "frame " << f << " pixel " << i;
                ASSERT_EQ(got[3], 255) << "frame " << f << " pixel " << i;
            }
        }
    }
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

    expectComposesTo(in, composeAll(encodeGif(optimized)));
}

TEST(FrameOptimizer, FramesWithTablesOfTheirOwnAreComparedByColour) {
    FrameOptimizerInput in = movingSquare();
    // Frame 2 holds the same colours in another order, frame 3 a colour of its own for the square.
    in.localTables.resize(in.frames.size());
    in.localTables[2] = {{{255, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 0, 0}}, 0};
    for (uint8_t& v : in.frames[2].indexes)
        v = static_cast<uint8_t>(v == 4 ? 0 : 3 - v);
    in.localTables[3] = {{{0, 255, 0}, {9, 9, 9}, {255, 0, 255}}, 2};
    for (uint8_t& v : in.frames[3].indexes)
        v = static_cast<uint8_t>(v == 2 ? 0 : v == 1 ? 1 : 2);
    const GifEncodeImage optimized = FrameOptimizer::optimize(in);
    ASSERT_EQ(optimized.frames.size(), 5u);
    EXPECT_TRUE(optimized.frames[1].localColors.empty());
    EXPECT_EQ(optimized.frames[2].localColors.size(), 4u);
    const GifEncodeFrame& third = optimized.frames[3];
    EXPECT_EQ((std::array{third.left, third.top, third.width, third.height}), (std::array{4, 2, 8, 6}))
        << "the same colours under other indexes are no change";
    expectComposesTo(in, composeAll(encodeGif(optimized)));

    in.localTables[3].colors[0] = in.localTables[3].colors[2];
    EXPECT_THROW(FrameOptimizer::optimize(in), std::invalid_argument) << "a local transparent colour twice";
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

TEST(GifFitter, ScenesOfTheirOwnColoursGetTablesOfTheirOwnAndTheSearchCanBeAbandoned) {
    FitSource source;
    for (int f = 0; f < 3; ++f) {
        RgbaImage frame = gradient(48, 32, f);
        for (size_t i = 0; i < frame.rgba.size(); i += 4)
            std::rotate(&frame.rgba[i], &frame.rgba[i + static_cast<size_t>(f)], &frame.rgba[i + 3]);
        source.frames.push_back(frame);
        source.delaysMs.push_back(100);
    }
    FitOptions options;
    options.maxColors = 16;
    const FitResult r = fitGif(source, options);
    ASSERT_TRUE(r.fits);
    EXPECT_TRUE(r.localTables) << "three scenes in 16 colours each look better than in 16 for all";
    EXPECT_LE(r.colors, 16);
    const auto composed = composeAll(r.bytes);
    ASSERT_EQ(composed.size(), 3u);
    double error = 0;
    for (size_t f = 0; f < 3; ++f)
        error += std::pow(10.0, -rgbaPsnr(source.frames[f], composed[f]) / 10) / 3;
    EXPECT_NEAR(-10 * std::log10(error), r.psnr, 0.01);

    int asked = 0;
    options.cancelled = [&] { return ++asked == 2; }; // the second of two trials
    const FitResult abandoned = fitGif(source, options);
    EXPECT_TRUE(abandoned.cancelled);
    EXPECT_TRUE(abandoned.bytes.empty());
    EXPECT_EQ(asked, 2);
}
