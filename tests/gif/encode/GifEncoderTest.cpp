#include "GifEncoder.h"
#include "TGIFImage.h"
#include "support/RandomPixels.h"

#include <gtest/gtest.h>

namespace {

std::vector<GifColor> greyRamp(int count) {
    std::vector<GifColor> colors;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint8_t>(count == 1 ? 0 : i * 255 / (count - 1));
        colors.push_back({v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(i * 7)});
    }
    return colors;
}

GifEncodeFrame fullFrame(int width, int height, std::vector<uint8_t> indexes) {
    GifEncodeFrame frame;
    frame.width = width;
    frame.height = height;
    frame.indexes = std::move(indexes);
    return frame;
}

// Loads bytes and checks that no frame was found damaged.
void load(TGIFImage& image, const std::vector<uint8_t>& bytes) {
    image.loadFromBytes(bytes.data(), bytes.size());
    for (int i = 0; i < image.frameCount(); ++i) {
        image.frameBitmap(i);
        EXPECT_FALSE(image.frame(i).corrupted()) << "frame " << i << " was flagged corrupted";
    }
}

void expectIndexes(TGIFImage& image, int index, const std::vector<uint8_t>& want) {
    const GifBitmap& bitmap = image.frameBitmap(index);
    ASSERT_EQ(static_cast<size_t>(bitmap.width) * bitmap.height, want.size());
    size_t differ = 0, first = 0;
    for (size_t i = 0; i < want.size(); ++i)
        if (bitmap.pixels[i] != want[i] && differ++ == 0)
            first = i;
    EXPECT_EQ(differ, 0u) << "frame " << index << ": " << differ << " pixels differ, the first at " << first;
}

void expectPalette(TGIFImage& image, int index, const std::vector<GifColor>& want) {
    const GifBitmap& bitmap = image.frameBitmap(index);
    ASSERT_GE(bitmap.palette.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const GifColor c = bitmap.palette[i];
        EXPECT_EQ((GifColor{c.r, c.g, c.b}), want[i]) << "palette entry " << i;
    }
}

} // namespace

TEST(GifEncoder, TwoColourImageRoundTripsAsOneBitFrame) {
    GifEncodeImage image{17, 5, greyRamp(2), 0, 0, {}};
    image.frames.push_back(fullFrame(17, 5, randomPixels(17 * 5, 2, 1)));
    TGIFImage decoded;
    load(decoded, encodeGif(image));
    ASSERT_EQ(decoded.frameCount(), 1);
    EXPECT_EQ(decoded.version(), 2);
    EXPECT_EQ(decoded.frameBitmap(0).depth, 1);
    EXPECT_FALSE(decoded.looping()) << "a single frame needs no loop extension";
    expectIndexes(decoded, 0, image.frames[0].indexes);
    expectPalette(decoded, 0, image.globalColors);
}

TEST(GifEncoder, FullTableOfRandomIndexesRoundTripsThroughSeveralClearCodes) {
    // Random indexes add a code for nearly every pixel, so the table fills every ~4000 pixels.
    GifEncodeImage image{200, 100, greyRamp(256), 0, 0, {}};
    image.frames.push_back(fullFrame(200, 100, randomPixels(200 * 100, 256, 2)));
    TGIFImage decoded;
    load(decoded, encodeGif(image));
    expectIndexes(decoded, 0, image.frames[0].indexes);
    expectPalette(decoded, 0, image.globalColors);
}

TEST(GifEncoder, RunsAndRepeatsRoundTripAtEveryTableSize) {
    // Long runs make codes equal to the next free one, and short tables start at the smallest code size.
    for (int colors : {2, 3, 4, 5, 16, 17, 100, 256}) {
        SCOPED_TRACE("colours " + std::to_string(colors));
        std::vector<uint8_t> indexes;
        for (int i = 0; i < 9000; ++i)
            indexes.push_back(static_cast<uint8_t>((i / (1 + i % 37)) % colors));
        GifEncodeImage image{90, 100, greyRamp(colors), 0, 0, {}};
        image.frames.push_back(fullFrame(90, 100, indexes));
        TGIFImage decoded;
        load(decoded, encodeGif(image));
        expectIndexes(decoded, 0, indexes);
    }
}

TEST(GifEncoder, FirstCodeAfterEachClearIsALiteralTheDecoderReads) {
    // Steps of odd strides never repeat a pair of indexes, so every pixel defines a code: the 3838 free
    // codes run out at a known pixel, and these lengths end just before, at and after the clear.
    std::vector<uint8_t> pairsOnce;
    for (int stride = 1; pairsOnce.size() < 3842; stride += 2)
        for (int k = 0; k < 256; ++k)
            pairsOnce.push_back(static_cast<uint8_t>(k * stride));
    for (size_t count : {size_t{1}, size_t{2}, size_t{3838}, size_t{3839}, size_t{3840}, size_t{3841}}) {
        SCOPED_TRACE("pixels " + std::to_string(count));
        const std::vector<uint8_t> indexes(pairsOnce.begin(), pairsOnce.begin() + static_cast<long>(count));
        GifEncodeImage image{static_cast<int>(count), 1, greyRamp(256), 0, 0, {}};
        image.frames.push_back(fullFrame(static_cast<int>(count), 1, indexes));
        TGIFImage decoded;
        load(decoded, encodeGif(image));
        expectIndexes(decoded, 0, indexes);
    }
}

TEST(GifEncoder, AnimationKeepsRectanglesDelaysDisposalTransparencyLoopAndLocalTables) {
    GifEncodeImage image{8, 6, greyRamp(4), 0, 3, {}};
    image.frames.push_back(fullFrame(8, 6, randomPixels(48, 4, 4)));
    GifEncodeFrame second = fullFrame(3, 2, {0, 1, 2, 3, 0, 1});
    second.left = 5;
    second.top = 4;
    second.delay = 7;
    second.disposal = 2;
    second.transparentIndex = 3;
    second.localColors = greyRamp(5);
    image.frames.push_back(second);
    GifEncodeFrame third = fullFrame(1, 1, {1});
    third.delay = 250;
    third.disposal = 1;
    image.frames.push_back(third);

    TGIFImage decoded;
    load(decoded, encodeGif(image));
    ASSERT_EQ(decoded.frameCount(), 3);
    EXPECT_TRUE(decoded.looping());
    EXPECT_EQ(decoded.repeatCount(), 3);
    EXPECT_EQ(decoded.screenWidth(), 8);
    EXPECT_EQ(decoded.screenHeight(), 6);
    const TGIFFrame& f = decoded.frame(1);
    EXPECT_EQ(f.left(), 5);
    EXPECT_EQ(f.top(), 4);
    EXPECT_EQ(f.width(), 3);
    EXPECT_EQ(f.height(), 2);
    EXPECT_EQ(f.delay(), 70) << "hundredths are read as milliseconds";
    EXPECT_EQ(f.disposal(), 2);
    EXPECT_TRUE(f.localColors());
    ASSERT_TRUE(f.transparentColor());
    EXPECT_EQ((GifColor{f.transparentColor()->r, f.transparentColor()->g, f.transparentColor()->b}),
              greyRamp(5)[3]);
    EXPECT_EQ(decoded.frame(2).delay(), 2500);
    EXPECT_EQ(decoded.frame(2).disposal(), 1);
    EXPECT_FALSE(decoded.frame(2).transparentColor());
    for (int i = 0; i < 3; ++i)
        expectIndexes(decoded, i, image.frames[static_cast<size_t>(i)].indexes);
    expectPalette(decoded, 1, greyRamp(5));
    expectPalette(decoded, 2, greyRamp(4));
}

TEST(GifEncoder, RefusesFramesItCannotWrite) {
    GifEncodeImage image{4, 4, greyRamp(2), 0, 0, {}};
    EXPECT_THROW(encodeGif(image), std::invalid_argument) << "no frames";
    image.frames.push_back(fullFrame(4, 4, std::vector<uint8_t>(16, 2)));
    EXPECT_THROW(encodeGif(image), std::invalid_argument) << "an index beyond the table";
    image.frames[0] = fullFrame(4, 4, std::vector<uint8_t>(16, 1));
    image.frames[0].left = 1;
    EXPECT_THROW(encodeGif(image), std::invalid_argument) << "a frame past the screen";
    image.frames[0].left = 0;
    image.globalColors.clear();
    EXPECT_THROW(encodeGif(image), std::invalid_argument) << "no colour table";
}
