#include "GifFrameDecoder.h"
#include "gif/GifTestSupport.h"

#include <gtest/gtest.h>

namespace {

TGIFItem itemFor(const GifImageSpec& frameSpec, int colorDepth, int tableCount) {
    TGIFItem item;
    item.width = frameSpec.width;
    item.height = frameSpec.height;
    item.colorDepth = static_cast<uint8_t>(colorDepth);
    item.colorTable.count = tableCount;
    for (int i = 0; i < tableCount; ++i)
        item.colorTable.entries[i] = GifColor{static_cast<uint8_t>(i), 1, 2};
    int codeSize = std::max(2, colorDepth);
    std::vector<uint8_t> compressed{static_cast<uint8_t>(codeSize)};
    std::vector<uint8_t> blocks = subBlocks(lzwEncode(frameSpec.pixels, codeSize));
    compressed.insert(compressed.end(), blocks.begin(), blocks.end());
    item.setCompressed(std::move(compressed));
    return item;
}

} // namespace

TEST(GifFrameDecoder, InterlacedRowsArriveInFourPassesForHeightsOneToNine) {
    const std::vector<std::vector<int>> expectedOrder{
        {0},
        {0, 1},
        {0, 2, 1},
        {0, 2, 1, 3},
        {0, 4, 2, 1, 3},
        {0, 4, 2, 1, 3, 5},
        {0, 4, 2, 6, 1, 3, 5},
        {0, 4, 2, 6, 1, 3, 5, 7},
        {0, 8, 4, 2, 6, 1, 3, 5, 7},
    };
    for (int height = 1; height <= 9; ++height) {
        // Stored row k is filled with the value k, so each bitmap row tells which stored row it got.
        GifImageSpec frameSpec;
        frameSpec.width = 3;
        frameSpec.height = height;
        for (int k = 0; k < height; ++k)
            frameSpec.pixels.insert(frameSpec.pixels.end(), 3, static_cast<uint8_t>(k));
        TGIFItem item = itemFor(frameSpec, 4, 16);
        GifBitmap bitmap;
        const GifStatus status = GifFrameDecoder::decode(item, true, bitmap);
        const std::vector<int>& order = expectedOrder[static_cast<size_t>(height - 1)];
        for (int k = 0; k < height; ++k)
            EXPECT_EQ(bitmap.pixel(1, order[static_cast<size_t>(k)]), k)
                << "height " << height << ": stored row " << k << " should land on row " << order[k];
        EXPECT_EQ(status, GifStatus::ok);
    }
}

TEST(GifFrameDecoder, DepthFollowsTheColourTableAndPaletteIsPaddedWithGrey) {
    const std::vector<std::pair<int, int>> depths{{1, 1}, {2, 4}, {3, 4}, {4, 4},
                                                  {5, 8}, {6, 8}, {7, 8}, {8, 8}};
    for (auto [colorDepth, bitmapDepth] : depths) {
        GifImageSpec frameSpec = countingFrame(5, 3, 2);
        TGIFItem item = itemFor(frameSpec, colorDepth, 1 << colorDepth);
        GifBitmap bitmap;
        ASSERT_EQ(GifFrameDecoder::decode(item, false, bitmap), GifStatus::ok)
            << "colour depth " << colorDepth;
        EXPECT_EQ(bitmap.depth, bitmapDepth) << "colour depth " << colorDepth;
        ASSERT_EQ(bitmap.palette.size(), size_t{1} << bitmapDepth) << "colour depth " << colorDepth;
        for (size_t i = 0; i < bitmap.palette.size(); ++i) {
            GifColor wanted = i < (size_t{1} << colorDepth) ? GifColor{static_cast<uint8_t>(i), 1, 2}
                                                            : GifColor{128, 128, 128};
            EXPECT_EQ(bitmap.palette[i], wanted) << "colour depth " << colorDepth << " entry " << i;
        }
        EXPECT_EQ(bitmap.pixels, frameSpec.pixels);
    }
}

TEST(GifFrameDecoder, FrameWithoutColourTableIsRefused) {
    TGIFItem item = itemFor(countingFrame(2, 2), 0, 0);
    GifBitmap bitmap;
    EXPECT_EQ(GifFrameDecoder::decode(item, false, bitmap), GifStatus::missing_color_table);
}

TEST(GifFrameDecoder, SizeCapIsCheckedBeforeAnyPixelIsAllocated) {
    TGIFItem item = itemFor(countingFrame(2, 2), 2, 4);
    GifBitmap bitmap;
    for (auto [width, height] : {std::pair{65535, 65535}, std::pair{8193, 8192}, std::pair{1, 67108865}}) {
        item.width = width;
        item.height = height;
        EXPECT_EQ(GifFrameDecoder::decode(item, false, bitmap), GifStatus::too_much_pixel_data)
            << width << " x " << height;
        EXPECT_TRUE(bitmap.pixels.empty()) << "pixels were allocated for " << width << " x " << height;
    }
    item.width = 0;
    item.height = 5;
    ASSERT_EQ(GifFrameDecoder::decode(item, false, bitmap), GifStatus::ok);
    EXPECT_TRUE(bitmap.empty());
    EXPECT_TRUE(bitmap.pixels.empty());
}

TEST(GifFrameDecoder, LargeInterlacedFramePlacesTheRowsThatArrivedAndLeavesTheRestZero) {
    // 300 x 256 is beyond what is decoded on the stack. Stored row k holds k + 1 everywhere.
    const int width = 300, height = 256;
    GifImageSpec frameSpec;
    frameSpec.width = width;
    frameSpec.height = height;
    for (int k = 0; k < height; ++k)
        frameSpec.pixels.insert(frameSpec.pixels.end(), width, static_cast<uint8_t>(k + 1));
    const std::vector<int> rows = GifBuilder::interlacedRows(height); // where stored row k lands
    for (const int arrived : {height, 100}) {
        SCOPED_TRACE(std::to_string(arrived) + " rows in the data");
        GifImageSpec cut = frameSpec;
        cut.pixels.resize(static_cast<size_t>(arrived * width));
        GifBitmap bitmap;
        const GifStatus status = GifFrameDecoder::decode(itemFor(cut, 8, 256), true, bitmap);
        ASSERT_EQ(bitmap.pixels.size(), static_cast<size_t>(width * height));
        for (int k = 0; k < height; ++k) {
            const uint8_t want = k < arrived ? static_cast<uint8_t>(k + 1) : 0;
            const int row = rows[static_cast<size_t>(k)];
            ASSERT_EQ(bitmap.pixel(0, row), want) << "stored row " << k << " on row " << row;
            ASSERT_EQ(bitmap.pixel(width - 1, row), want) << "stored row " << k << " on row " << row;
        }
        EXPECT_EQ(status, GifStatus::ok);
    }
}
