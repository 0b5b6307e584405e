#include "gif/AnimTestImages.h"

#include "GifComposer.h"
#include "GifErrors.h"
#include "TGIFImage.h"
#include "support/HostileGifs.h"

#include <gtest/gtest.h>

#include <array>

using namespace animtest;

namespace {

const GifColor kWindow{1, 2, 3};

GifColor at(const GifComposer& composer, int x, int y) {
    const uint32_t pixel = composer.pixels().at(static_cast<size_t>(y * composer.width() + x));
    return {static_cast<uint8_t>(pixel >> 16), static_cast<uint8_t>(pixel >> 8), static_cast<uint8_t>(pixel)};
}

std::string name(GifColor c) {
    return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

#define EXPECT_PIXEL(composer, x, y, want)                                                                   \
    EXPECT_EQ(at(composer, x, y), want) << "pixel (" << (x) << "," << (y) << ") is "                         \
                                        << name(at(composer, x, y)) << ", wanted " << name(want)

// Composes index from scratch in a fresh composer.
GifComposer fresh(TGIFImage& image, int index) {
    GifComposer composer(kWindow);
    EXPECT_TRUE(composer.compose(image, index));
    return composer;
}

} // namespace

TEST(GifComposer, DrawsEachFrameAtItsPlaceOverTheFramesKeptByDisposalZeroAndOne) {
    TGIFImage image;
    load(image, gif(4, 4,
                    {{0, 0, 4, 4, 1, 0},    // red screen
                     {0, 0, 2, 2, 2, 1},    // green corner, kept
                     {3, 3, 1, 1, 3, 0}})); // blue pixel
    GifComposer composer = fresh(image, 2);
    EXPECT_EQ(composer.width(), 4);
    EXPECT_EQ(composer.height(), 4);
    EXPECT_PIXEL(composer, 0, 0, kGreen);
    EXPECT_PIXEL(composer, 1, 1, kGreen);
    EXPECT_PIXEL(composer, 2, 2, kRed);
    EXPECT_PIXEL(composer, 3, 3, kBlue);
    EXPECT_FALSE(composer.transparentColor());
}

TEST(GifComposer, DisposalTwoErasesAndThreeAndAboveLeaveNoTraceOnEveryPath) {
    for (uint8_t disposal : {2, 3, 4, 7}) {
        SCOPED_TRACE("disposal " + std::to_string(disposal));
        // Disposal 2 erases to the background (the window here); 3 and above put back what lay under.
        const auto under = disposal == 2 ? kWindow : kRed;
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 0}, {1, 1, 2, 2, 2, disposal}, {0, 0, 1, 1, 3, 0}}));
        GifComposer stepped(kWindow);
        stepped.compose(image, 1);
        EXPECT_PIXEL(stepped, 1, 1, kGreen);
        stepped.compose(image, 2);
        const GifComposer scratch = fresh(image, 2);
        for (const GifComposer* composer : std::array<const GifComposer*, 2>{&stepped, &scratch}) {
            SCOPED_TRACE(composer == &stepped ? "stepped from frame 1" : "composed from the start");
            EXPECT_PIXEL(*composer, 1, 1, under);
            EXPECT_PIXEL(*composer, 2, 2, under);
            EXPECT_PIXEL(*composer, 0, 0, kBlue);
            EXPECT_PIXEL(*composer, 3, 3, kRed);
        }
    }
}

TEST(GifComposer, StepReusesTheKeptCompositionAndDrawsOnlyTheNewFrame) {
    // Small frames kept, erased or taken off again (disposal 1, 2 and 3), and a full-screen frame that is
    // taken off again.
    std::vector<Frame> frames{{0, 0, 8, 8, 1, 1}};
    for (int i = 1; i < 12; ++i)
        frames.push_back(
            {i % 7, i % 5, 2, 1, static_cast<uint8_t>(i % 3 + 1), static_cast<uint8_t>(i % 3 + 1)});
    frames.push_back({0, 0, 8, 8, 2, 3});
    frames.push_back({3, 3, 1, 1, 3, 1});
    TGIFImage image;
    load(image, gif(8, 8, frames));
    GifComposer composer(kWindow);
    for (int i = 0; i < image.frameCount(); ++i) {
        const int64_t written = composer.pixelsWritten();
        ASSERT_TRUE(composer.compose(image, i));
        SCOPED_TRACE("stepping to frame " + std::to_string(i));
        EXPECT_EQ(composer.cacheIndex(), i);
        EXPECT_EQ(composer.pixels(), fresh(image, i).pixels())
            << "stepping and composing from the start differ";
        if (i == 0)
            continue;
        EXPECT_EQ(composer.framesDrawn(), i + 1) << "frames drawn";
        // At most: put back or erase the previous frame, keep what lies under this one, draw it.
        EXPECT_LE(composer.pixelsWritten() - written, 3 * 8 * 8) << "pixels written by the step";
    }
    const int64_t drawn = composer.framesDrawn();
    composer.compose(image, 13);
    EXPECT_EQ(composer.framesDrawn(), drawn) << "composing the kept frame again drew frames";
    EXPECT_EQ(fresh(image, 11).framesDrawn(), 5) << "frames 0, 3, 6, 9 and 11 leave a trace in frame 11";

    // Back to frame 0 (the loop) and a jump: both start over.
    composer.compose(image, 0);
    EXPECT_EQ(composer.framesDrawn(), drawn + 1);
    composer.compose(image, 5);
    EXPECT_EQ(composer.framesDrawn(), drawn + 1 + 3) << "frames 0, 3 and 5 leave a trace in frame 5";

    // A full-screen frame composed without the frames under it: the next step starts over.
    GifComposer jumped(kWindow);
    jumped.compose(image, 12);
    EXPECT_EQ(jumped.framesDrawn(), 1);
    jumped.compose(image, 13);
    EXPECT_EQ(jumped.pixels(), fresh(image, 13).pixels());
}

TEST(GifComposer, ComposesAnAreaAsTheSameCutOfTheWholeScreen) {
    std::vector<Frame> frames{{0, 0, 6, 5, 1, 1}};
    for (int i = 1; i < 9; ++i)
        frames.push_back({i % 5, i % 4, 2, 2, static_cast<uint8_t>(i % 3 + 1), static_cast<uint8_t>(i % 4)});
    TGIFImage image;
    load(image, gif(6, 5, frames));
    const GifComposer::Area area{2, 1, 3, 3};
    GifComposer part(kWindow), whole(kWindow);
    for (int i = 0; i < image.frameCount(); ++i) {
        ASSERT_TRUE(part.compose(image, i, area));
        ASSERT_TRUE(whole.compose(image, i));
        EXPECT_EQ(part.area(), area);
        for (int y = 0; y < area.height; ++y)
            for (int x = 0; x < area.width; ++x)
                EXPECT_EQ(at(part, x, y), at(whole, x + area.left, y + area.top))
                    << "frame " << i << " at (" << x + area.left << "," << y + area.top << ")";
    }
    // An area reaching past the screen is cut to it; one wholly outside shows nothing.
    ASSERT_TRUE(part.compose(image, 0, {4, -2, 10, 4}));
    EXPECT_EQ(part.area(), (GifComposer::Area{4, 0, 2, 2}));
    EXPECT_FALSE(part.compose(image, 0, {6, 0, 3, 3}));
}

TEST(GifComposer, RestoredFramesAtTheCapCostTheShownAreaPerStep) {
    TGIFImage image;
    EXPECT_THROW(load(image, hostile::gif(hostile::Kind::PreviousAtTheCap, 200)), EInvalidGraphicOperation);
    ASSERT_EQ(image.frameCount(), 4);
    const GifComposer::Area view{3871, 3971, 449, 250}; // the middle, as the View dialog shows it
    const int64_t area = int64_t{view.width} * view.height;
    GifComposer composer(kWindow);
    for (int step = 0; step < 12; ++step) {
        const int64_t written = composer.pixelsWritten();
        const int64_t drawn = composer.framesDrawn();
        ASSERT_TRUE(composer.compose(image, step % 4, view));
        EXPECT_EQ(composer.framesDrawn() - drawn, 1) << "step " << step;
        EXPECT_LE(composer.pixelsWritten() - written, 3 * area) << "step " << step;
    }
    EXPECT_EQ(composer.pixels().size(), static_cast<size_t>(area));
    EXPECT_EQ(image.evictions(), 0) << "a frame was decoded again";
    composer.release();
    EXPECT_EQ(composer.pixels().capacity(), 0u);
    EXPECT_EQ(composer.cacheIndex(), -1);
}

TEST(GifComposer, StartsFromTheLatestFrameThatHidesEverythingBeforeIt) {
    const Frame dot{1, 1, 1, 1, 2, 1};
    // An opaque full-screen frame.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, dot, dot, {0, 0, 4, 4, 3, 1}, dot, dot}));
        const GifComposer composer = fresh(image, 5);
        EXPECT_EQ(composer.framesDrawn(), 3) << "frames 3, 4 and 5 should be drawn";
        EXPECT_PIXEL(composer, 0, 0, kBlue);
        EXPECT_PIXEL(composer, 1, 1, kGreen);
    }
    // A transparent full-screen frame erased to the background before the requested one.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, dot, {0, 0, 4, 4, 3, 2, 0}, dot}));
        const GifComposer composer = fresh(image, 3);
        EXPECT_EQ(composer.framesDrawn(), 1) << "only frame 3 should be drawn over the background";
        EXPECT_PIXEL(composer, 0, 0, kBlack); // the image's background colour
    }
    // A transparent full-screen frame as the requested one does not hide what lies under it.
    {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, {0, 0, 4, 4, 0, 2, 0}}));
        const GifComposer composer = fresh(image, 1);
        EXPECT_EQ(composer.framesDrawn(), 2);
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
    // An opaque full-screen frame that is restored afterwards, or placed off the origin, hides nothing.
    for (const Frame& cover : {Frame{0, 0, 4, 4, 3, 3}, Frame{1, 0, 4, 4, 3, 1}}) {
        TGIFImage image;
        load(image, gif(4, 4, {{0, 0, 4, 4, 1, 1}, cover, dot}));
        const GifComposer composer = fresh(image, 2);
        EXPECT_EQ(composer.framesDrawn(), cover.disposal == 3 ? 2 : 3) << "disposal " << int(cover.disposal);
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
}

TEST(GifComposer, ChoosesTheBackgroundByTheImagesTransparency) {
    const Frame small{1, 1, 1, 1, 2, 1};
    // The current frame's transparent colour is the background and the result's transparent colour.
    {
        TGIFImage image;
        load(image, gif(3, 3, {{1, 1, 1, 1, 2, 1, 3}}, 1));
        const GifComposer composer = fresh(image, 0);
        ASSERT_TRUE(composer.transparentColor());
        EXPECT_EQ(*composer.transparentColor(), kBlue);
        EXPECT_PIXEL(composer, 0, 0, kBlue);
        EXPECT_PIXEL(composer, 1, 1, kGreen);
    }
    // Another frame transparent: the image's background colour, opaque.
    {
        TGIFImage image;
        load(image, gif(3, 3, {small, {0, 0, 1, 1, 2, 1, 0}}, 1));
        const GifComposer composer = fresh(image, 0);
        EXPECT_FALSE(composer.transparentColor());
        EXPECT_PIXEL(composer, 0, 0, kRed);
    }
    // No transparency at all: the window colour, even with a background colour.
    {
        TGIFImage image;
        load(image, gif(3, 3, {small}, 1));
        const GifComposer composer = fresh(image, 0);
        EXPECT_FALSE(composer.transparentColor());
        EXPECT_PIXEL(composer, 0, 0, kWindow);
    }
}

TEST(GifComposer, LeavesOutTheTransparentPixelsOfEachFrame) {
    TGIFImage image;
    load(image, gif(2, 1, {{0, 0, 2, 1, 1, 1}, {0, 0, 2, 1, 0, 1, 0, 10, {0, 3}}}));
    const GifComposer composer = fresh(image, 1);
    EXPECT_PIXEL(composer, 0, 0, kRed);
    EXPECT_PIXEL(composer, 1, 0, kBlue);
}

TEST(GifComposer, ClipsFramesPartlyOrWhollyOutsideTheScreen) {
    TGIFImage image;
    load(image, gif(4, 4,
                    {{0, 0, 4, 4, 1, 1},
                     {2, 2, 5, 5, 2, 1}, // hangs over the right and bottom edges
                     {9, 0, 2, 2, 3, 1}, // wholly outside
                     {0, 3, 1, 1, 3, 2}, // erased after showing
                     {0, 0, 1, 1, 0, 1}}));
    GifComposer stepped(kWindow);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(stepped.compose(image, i));
    const GifComposer scratch = fresh(image, 4);
    EXPECT_EQ(stepped.pixels(), scratch.pixels());
    EXPECT_PIXEL(scratch, 3, 3, kGreen);
    EXPECT_PIXEL(scratch, 1, 1, kRed);
    EXPECT_PIXEL(scratch, 3, 0, kRed);
    EXPECT_PIXEL(scratch, 0, 3, kWindow);
    EXPECT_PIXEL(scratch, 0, 0, kBlack);
}

TEST(GifComposer, RefusesAScreenAboveTheCapWithoutAllocatingIt) {
    TGIFImage image;
    load(image, gif(65535, 1025, {{0, 0, 1, 1, 1, 0}}));
    GifComposer composer(kWindow);
    EXPECT_FALSE(composer.compose(image, 0));
    EXPECT_EQ(composer.pixels().capacity(), 0u) << "the oversized screen was allocated";
    EXPECT_EQ(composer.takeStatus(), GifStatus::too_much_pixel_data);
}

TEST(GifComposer, AFrameThatCannotBeDecodedLeavesNoTraceAndKeepsItsError) {
    Frame first{0, 0, 2, 2, 1, 1};
    first.localTable = true;
    Frame tableless{0, 0, 1, 1, 2, 1}; // no table anywhere: cannot be decoded
    Frame last{1, 1, 1, 1, 3, 1};
    last.localTable = true;
    TGIFImage image;
    load(image, gif(2, 2, {first, tableless, last}, 0, false));
    GifComposer composer(kWindow);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(composer.compose(image, i)) << "frame " << i;
    EXPECT_PIXEL(composer, 0, 0, kRed);
    EXPECT_PIXEL(composer, 1, 1, kBlue);
    EXPECT_EQ(composer.takeStatus(), GifStatus::missing_color_table);
    EXPECT_EQ(composer.takeStatus(), GifStatus::ok) << "the failure was kept after it was taken";
}

TEST(GifComposer, LowersAnIndexBeyondTheLastFrameAndWritesRgbaWithAlphaForTheTransparentColour) {
    TGIFImage image;
    load(image, gif(2, 1, {{1, 0, 1, 1, 1, 1, 0}, {0, 0, 1, 1, 2, 1, 0}}));
    const GifComposer composer = fresh(image, 99);
    EXPECT_EQ(composer.cacheIndex(), 1);
    const std::vector<uint8_t> want{0, 255, 0, 255, 255, 0, 0, 255};
    EXPECT_EQ(composer.rgba(), want);

    TGIFImage hidden; // the frame's transparent colour shows at (0,0)
    load(hidden, gif(2, 1, {{1, 0, 1, 1, 1, 1, 3}}));
    const std::vector<uint8_t> withAlpha{0, 0, 255, 0, 255, 0, 0, 255};
    EXPECT_EQ(fresh(hidden, 0).rgba(), withAlpha);
}
