#include "gif/AnimTestImages.h"

#include "GIFComposer.h"
#include "TGIFImage.h"

#include <gtest/gtest.h>

#include <array>

using namespace animtest;

namespace {

const TGIFColor kWindow{1, 2, 3};

TGIFColor at(const GIFComposer& composer, int x, int y) {
    const uint32_t pixel = composer.pixels().at(static_cast<size_t>(y * composer.width() + x));
    return {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel)};
}

std::string name(TGIFColor c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

#define EXPECT_PIXEL(composer, x, y, want)                                                                   \
    EXPECT_EQ(at(composer, x, y), want) << "pixel (" << (x) << "," << (y) << ") is "                         \
                                        << name(at(composer, x, y)) << ", wanted " << name(want)

// Composes index from scratch in a fresh composer.
GIFComposer fresh(TGIFImage& image, int index) {
    GIFComposer composer(kWindow);
    EXPECT_TRUE(composer.compose(image, index));
    return composer;
}

} // namespace

TEST(GIFComposer, DrawsEachFrameAtItsPlaceOverTheFramesKeptByDisposalZeroAndOne) {
    TGIFImage image;
    load(image, gif(4, 4,
                    {{0, 0, 4, 4, 1, 0},    // red screen
                     {0, 0, 2, 2, 2, 1},    // green corner, kept
                     {3, 3, 1, 1, 3, 0}})); // blue pixel
    GIFComposer composer = fresh(image, 2);
    EXPECT_EQ(composer.width(), 4);
    EXPECT_EQ(composer.height(), 4);
    EXPECT_PIXEL(composer, 0, 0, kGreen);
    EXPECT_PIXEL(composer, 1, 1, kGreen);
    EXPECT_PIXEL(composer, 2, 2, kRed);
    EXPECT_PIXEL(composer, 3, 3, kBlue);
    EXPECT_FALSE(composer.transparentColor());
}

TEST(GIFComposer, DisposalTwoErasesTheFrameToTheBackgroundOnEveryPath) {
    TGIFImage image;
    load(image, gif(4, 4, {{0, 0, 4, 4, 1, 0}, {1, 1, 2, 2, 2, 2}, {0, 0, 1, 1, 3, 0}}));
    GIFComposer stepped(kWindow);
    stepped.compose(image, 1);
    EXPECT_PIXEL(stepped, 1, 1, kGreen);
    stepped.compose(image, 2);
    const GIFComposer scratch = fresh(image, 2);
    for (const GIFComposer* composer : std::array<const GIFComposer*, 2>{&stepped, &scratch}) {
        SCOPED_TRACE(composer == &stepped ? "stepped from frame 1" : "composed from the start");
        EXPECT_PIXEL(*composer, 1, 1, kWindow);
        EXPECT_PIXEL(*composer, 2, 2, kWindow);
        EXPECT_PIXEL(*composer, 0, 0, kBlue);
        EXPECT_PIXEL(*composer, 3, 3, kRed);
    }
}

TEST(GIFComposer, DisposalThreeAndAboveLeaveNoTraceOnEveryPath) {
    for (uint8_t disposal : {3, 4, 7}) {
        SCOPED_TRACE("disposal " + std::to_string(disposal));
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 0}, {1, 1, 2, 2, 2, disposal}, {0, 0, 1, 1, 3, 0}}));
        GIFComposer stepped(kWindow);
        stepped.compose(image, 1);
        EXPECT_PIXEL(stepped, 1, 1, kGreen);
        stepped.compose(image, 2);
        const GIFComposer scratch = fresh(image, 2);
        for (const GIFComposer* composer : std::array<const GIFComposer*, 2>{&stepped, &scratch}) {
            SCOPED_TRACE(composer == &stepped ? "stepped from frame 1" : "composed from the start");
            EXPECT_PIXEL(*composer, 1, 1, kRed);
            EXPECT_PIXEL(*composer, 2, 2, kRed);
            EXPECT_PIXEL(*composer, 0, 0, kBlue);
        }
    }
}

TEST(GIFComposer, StepReusesTheKeptCompositionAndDrawsOnlyTheNewFrame) {
    std::vector<Frame> frames{{0, 0, 8, 8, 1, 1}};
    for (int i = 1; i < 10; ++i)
        frames.push_back({i % 8, i % 8, 1, 1, static_cast<uint8_t>(i % 3 + 1), 1});
    TGIFImage image;
    load(image, gif(8, 8, frames));
    GIFComposer composer(kWindow);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(composer.compose(image, i));
        EXPECT_EQ(composer.framesDrawn(), i + 1) << "frames drawn after stepping to frame " << i;
        EXPECT_EQ(composer.cacheIndex(), i);
    }
    composer.compose(image, 9);
    EXPECT_EQ(composer.framesDrawn(), 10) << "composing the kept frame again drew frames";
    const GIFComposer scratch = fresh(image, 9);
    EXPECT_EQ(scratch.framesDrawn(), 10) << "a composition from the start draws the whole history";
    EXPECT_EQ(scratch.pixels(), composer.pixels()) << "stepping and composing from the start differ";

    // Back to frame 0 (the loop) and a jump: both start over.
    composer.compose(image, 0);
    EXPECT_EQ(composer.framesDrawn(), 11);
    composer.compose(image, 5);
    EXPECT_EQ(composer.framesDrawn(), 17);
}

TEST(GIFComposer, StartsFromTheLatestFrameThatHidesEverythingBeforeIt) {
    const Frame dot{1, 1, 1, 1, 2, 1};
    // An opaque full-screen frame.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, dot, dot, {0, 0, 4, 4, 3, 1}, dot, dot}));
        const GIFComposer composer = fresh(image, 5);
        EXPECT_EQ(composer.framesDrawn(), 3) << "frames 3, 4 and 5 should be drawn";
        EXPECT_PIXEL(composer, 0, 0, kBlue);
        EXPECT_PIXEL(composer, 1, 1, kGreen);
    }
    // A transparent full-screen frame erased to the background before the requested one.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, dot, {0, 0, 4, 4, 3, 2, 0}, dot}));
        const GIFComposer composer = fresh(image, 3);
        EXPECT_EQ(composer.framesDrawn(), 1) << "only frame 3 should be drawn over the background";
        EXPECT_PIXEL(composer, 0, 0, kBlack); // the image's background colour
    }
    // A transparent full-screen frame as the requested one does not hide what lies under it.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, {0, 0, 4, 4, 0, 2, 0}}));
        const GIFComposer composer = fresh(image, 1);
        EXPECT_EQ(composer.framesDrawn(), 2);
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
    // An opaque full-screen frame that is restored afterwards, or placed off the origin, hides nothing.
    for (const Frame& cover : {Frame{0, 0, 4, 4, 3, 3}, Frame{1, 0, 4, 4, 3, 1}}) {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, cover, dot}));
        const GIFComposer composer = fresh(image, 2);
        EXPECT_EQ(composer.framesDrawn(), cover.disposal == 3 ? 2 : 3) << "disposal " << int(cover.disposal);
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
}

TEST(GIFComposer, ChoosesTheBackgroundByTheImagesTransparency) {
    const Frame small{1, 1, 1, 1, 2, 1};
    // The current frame's transparent colour is the background and the result's transparent colour.
    {
        TGIFImage image;
        load(image, gif(3, 3, {{1, 1, 1, 1, 2, 1, 3}}, 1));
        const GIFComposer composer = fresh(image, 0);
        ASSERT_TRUE(composer.transparentColor());
        EXPECT_EQ(*composer.transparentColor(), kBlue);
        EXPECT_PIXEL(composer, 0, 0, kBlue);
        EXPECT_PIXEL(composer, 1, 1, kGreen);
    }
    // Another frame transparent: the image's background colour, opaque.
    {
        TGIFImage image;
        load(image, gif(3, 3, {small, {0, 0, 1, 1, 2, 1, 0}}, 1));
        const GIFComposer composer = fresh(image, 0);
        EXPECT_FALSE(composer.transparentColor());
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
    // No transparency at all: the window colour, even with a background colour.
    {
        TGIFImage image;
        load(image, gif(3, 3, {small}, 1));
        const GIFComposer composer = fresh(image, 0);
        EXPECT_FALSE(composer.transparentColor());
        EXPECT_PIXEL(composer, 0, 0, kWindow);
    }
}

TEST(GIFComposer, LeavesOutTheTransparentPixelsOfEachFrame) {
    TGIFImage image;
    load(image, gif(2, 1, {{0, 0, 2, 1, 1, 1}, {0, 0, 2, 1, 0, 1, 0, 10, {0, 3}}}));
    const GIFComposer composer = fresh(image, 1);
    EXPECT_PIXEL(composer, 0, 0, kRed);
    EXPECT_PIXEL(composer, 1, 0, kBlue);
}

TEST(GIFComposer, ClipsFramesPartlyOrWhollyOutsideTheScreen) {
    TGIFImage image;
    load(image, gif(4, 4,
                    {{0, 0, 4, 4, 1, 1},
                     {2, 2, 5, 5, 2, 1}, // hangs over the right and bottom edges
                     {9, 0, 2, 2, 3, 1}, // wholly outside
                     {0, 3, 1, 1, 3, 2}, // erased after showing
                     {0, 0, 1, 1, 0, 1}}));
    GIFComposer stepped(kWindow);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(stepped.compose(image, i));
    const GIFComposer scratch = fresh(image, 4);
    EXPECT_EQ(stepped.pixels(), scratch.pixels());
    EXPECT_PIXEL(scratch, 3, 3, kGreen);
    EXPECT_PIXEL(scratch, 1, 1, kRed);
    EXPECT_PIXEL(scratch, 3, 0, kRed);
    EXPECT_PIXEL(scratch, 0, 3, kWindow);
    EXPECT_PIXEL(scratch, 0, 0, kBlack);
}

TEST(GIFComposer, RefusesAScreenAboveTheCapWithoutAllocatingIt) {
    TGIFImage image;
    load(image, gif(65535, 1025, {{0, 0, 1, 1, 1, 0}}));
    GIFComposer composer(kWindow);
    EXPECT_FALSE(composer.compose(image, 0));
    EXPECT_EQ(composer.pixels().capacity(), 0u) << "the oversized screen was allocated";
    EXPECT_EQ(composer.takeError().value_or("none"), "Image is too large");
}

TEST(GIFComposer, AFrameThatCannotBeDecodedLeavesNoTraceAndKeepsItsError) {
    Frame first{0, 0, 2, 2, 1, 1};
    first.localTable = true;
    Frame tableless{0, 0, 1, 1, 2, 1}; // no table anywhere: cannot be decoded
    Frame last{1, 1, 1, 1, 3, 1};
    last.localTable = true;
    TGIFImage image;
    load(image, gif(2, 2, {first, tableless, last}, 0, false));
    GIFComposer composer(kWindow);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(composer.compose(image, i)) << "frame " << i;
    EXPECT_PIXEL(composer, 0, 0, kRed);
    EXPECT_PIXEL(composer, 1, 1, kBlue);
    EXPECT_EQ(composer.takeError().value_or("none"), "Wrong number of colors; must be a power of 2");
    EXPECT_FALSE(composer.takeError()) << "the error was kept after it was taken";
}

TEST(GIFComposer, LowersAnIndexBeyondTheLastFrameAndWritesRgbaWithAlphaForTheTransparentColour) {
    TGIFImage image;
    load(image, gif(2, 1, {{1, 0, 1, 1, 1, 1, 0}, {0, 0, 1, 1, 2, 1, 0}}));
    const GIFComposer composer = fresh(image, 99);
    EXPECT_EQ(composer.cacheIndex(), 1);
    const std::vector<uint8_t> want{0, 255, 0, 255, 255, 0, 0, 255};
    EXPECT_EQ(composer.rgba(), want);

    TGIFImage hidden; // the frame's transparent colour shows at (0,0)
    load(hidden, gif(2, 1, {{1, 0, 1, 1, 1, 1, 3}}));
    const std::vector<uint8_t> withAlpha{0, 0, 255, 0, 255, 0, 0, 255};
    EXPECT_EQ(fresh(hidden, 0).rgba(), withAlpha);
}
