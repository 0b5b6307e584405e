#include "GifLzwDecoder.h"
#include "GifBuilder.h"
#include "support/RandomPixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

namespace {

struct Decoded {
    std::vector<uint8_t> pixels;
    bool corrupted = false;
};

std::vector<uint8_t> frameData(int codeSize, const std::vector<uint8_t>& packedCodes, int blockSize = 255) {
    std::vector<uint8_t> data{static_cast<uint8_t>(codeSize)};
    std::vector<uint8_t> blocks = subBlocks(packedCodes, blockSize);
    data.insert(data.end(), blocks.begin(), blocks.end());
    return data;
}

Decoded decode(const std::vector<uint8_t>& data, size_t pixelCount, int colorBits) {
    Decoded result;
    std::vector<uint8_t> buffer(GifLzwDecoder::kLead + pixelCount + GifLzwDecoder::kPadding, 0);
    auto decoder = std::make_unique<GifLzwDecoder>();
    uint8_t* const out = buffer.data() + GifLzwDecoder::kLead;
    result.corrupted = decoder->decode(data.data(), data.size(), colorBits, out, pixelCount).status ==
                       GifStatus::bad_lzw_code;
    result.pixels.assign(out, out + pixelCount);
    return result;
}

// Codes with explicit widths, as a damaged or hand-made stream would hold them.
std::vector<uint8_t> codes(std::initializer_list<std::pair<int, int>> list) {
    GifCodeWriter writer;
    for (auto [code, width] : list)
        writer.put(code, width);
    return writer.bytes();
}

} // namespace

TEST(GifLzwDecoder, DecodesWhatTheEncoderWroteWithAnyClearsAndBlockSizes) {
    struct Case {
        int codeSize;
        int colours;
        LzwOptions options;
        int blockSize;
        int runLength;
    };
    const std::vector<Case> cases{
        {2, 4, {}, 255, 1},
        {8, 256, {}, 255, 3},
        {8, 256, {.clearEvery = 3}, 7, 1},
        {3, 8, {.clearEvery = 1}, 1, 2},
        {4, 16, {.clearAtStart = false}, 255, 2},
        {9, 300, {}, 100, 1}, // code size 9 with pixel values up to 299, masked to 8 bits below
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        std::vector<uint8_t> pixels =
            randomPixels(5000, std::min(c.colours, 1 << c.codeSize), 42 + i, c.runLength);
        if (c.codeSize == 9) {
            pixels.clear();
            for (int p = 0; p < 5000; ++p)
                pixels.push_back(static_cast<uint8_t>(p % 256));
        }
        Decoded out = decode(frameData(c.codeSize, lzwEncode(pixels, c.codeSize, c.options), c.blockSize),
                             pixels.size(), std::min(c.codeSize, 8));
        EXPECT_FALSE(out.corrupted) << "case " << i;
        EXPECT_EQ(out.pixels, pixels) << "case " << i;
    }
}

TEST(GifLzwDecoder, EndCodeDirectlyAfterClearEndsTheFrame) {
    // Code size 2: clear 4, end 5, 3-bit codes.
    Decoded out = decode(frameData(2, codes({{4, 3}, {1, 3}, {2, 3}, {4, 3}, {5, 3}, {3, 3}, {3, 3}})), 6, 2);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{1, 2, 0, 0, 0, 0}));
    EXPECT_FALSE(out.corrupted);

    // Two clears in a row are one clear.
    out = decode(frameData(2, codes({{4, 3}, {4, 3}, {1, 3}, {2, 3}, {5, 3}})), 2, 2);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{1, 2}));
}

TEST(GifLzwDecoder, CodeEqualToNextFreeRepeatsThePreviousStringAndItsFirstPixel) {
    // clear, 1, 6 (being defined: "1" + "1"), 7 (being defined: "11" + "1"), end
    Decoded out = decode(frameData(2, codes({{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}})), 6, 2);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{1, 1, 1, 1, 1, 1}));
    EXPECT_FALSE(out.corrupted);
}

TEST(GifLzwDecoder, LoopInTheCodeTableFlagsTheFrameAndStops) {
    // 7 is beyond the next free code 6, so it stands for the previous string plus its first pixel and
    // becomes the prefix of entry 7 itself: decoding 7 afterwards walks in a circle.
    Decoded out =
        decode(frameData(2, codes({{4, 3}, {1, 3}, {7, 3}, {6, 3}, {7, 4}, {2, 4}, {5, 4}})), 12, 2);
    EXPECT_TRUE(out.corrupted);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}))
        << "pixels before the loop stay; the rest stay 0";
}

TEST(GifLzwDecoder, FullTableFreezesAndKeepsTwelveBitCodesUntilTheNextClear) {
    // Noise fills the 4096-entry table quickly; without a clear the encoder goes on with the frozen table.
    std::vector<uint8_t> pixels = randomPixels(60000, 256, 7);
    for (bool clearWhenFull : {false, true}) {
        LzwOptions options;
        options.clearWhenFull = clearWhenFull;
        Decoded out = decode(frameData(8, lzwEncode(pixels, 8, options)), pixels.size(), 8);
        EXPECT_FALSE(out.corrupted);
        EXPECT_EQ(out.pixels, pixels) << (clearWhenFull ? "with clears" : "with a frozen table");
    }
    // A frozen table followed by a clear starts again at 9-bit codes.
    std::vector<uint8_t> twice = pixels;
    twice.insert(twice.end(), pixels.begin(), pixels.begin() + 3000);
    LzwOptions deferred;
    deferred.clearWhenFull = false;
    deferred.clearEvery = 9000;
    Decoded out = decode(frameData(8, lzwEncode(twice, 8, deferred)), twice.size(), 8);
    EXPECT_EQ(out.pixels, twice);
}

TEST(GifLzwDecoder, CodeSizesOutsideTwoToNineAreClampedAndFlagged) {
    // Size 1 reads as 2 (clear 4, end 5): only the pixels right after clear codes are written.
    Decoded out = decode(frameData(1, codes({{4, 3}, {2, 3}, {4, 3}, {3, 3}, {1, 3}, {4, 3}, {1, 3}})), 8, 2);
    EXPECT_TRUE(out.corrupted);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{2, 3, 0, 0, 0, 0, 0, 0}));

    // Size 10 reads as 9 (clear 512, 10-bit codes).
    out = decode(frameData(10, codes({{512, 10}, {7, 10}, {512, 10}, {5, 10}, {513, 10}})), 4, 8);
    EXPECT_TRUE(out.corrupted);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{7, 5, 0, 0}));

    // A stream that starts without a clear code writes nothing at a clamped size.
    out = decode(frameData(0, codes({{1, 3}, {2, 3}, {5, 3}})), 2, 2);
    EXPECT_TRUE(out.corrupted);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{0, 0}));
}

TEST(GifLzwDecoder, PixelValuesAreMaskedToTheColourDepth) {
    Decoded out = decode(frameData(2, codes({{4, 3}, {3, 3}, {2, 3}, {6, 3}, {5, 4}})), 4, 1);
    EXPECT_EQ(out.pixels, (std::vector<uint8_t>{1, 0, 1, 0}));
}

TEST(GifLzwDecoder, DataEndingEarlyLeavesTheRestZeroWithoutFlag) {
    std::vector<uint8_t> pixels = randomPixels(400, 4, 3);
    LzwOptions noEnd;
    noEnd.endCode = false;
    std::vector<uint8_t> packed = lzwEncode(pixels, 2, noEnd);
    packed.resize(packed.size() / 2);
    Decoded out = decode(frameData(2, packed), pixels.size(), 2);
    EXPECT_FALSE(out.corrupted);
    size_t matching = 0;
    while (matching < pixels.size() && out.pixels[matching] == pixels[matching])
        ++matching;
    EXPECT_GT(matching, 100u);
    for (size_t i = matching; i < pixels.size(); ++i)
        ASSERT_EQ(out.pixels[i], 0) << "pixel " << i << " after the data ended";

    // Codes beyond the last pixel are not read.
    Decoded shortFrame = decode(frameData(2, lzwEncode(pixels, 2)), 10, 2);
    EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.begin() + 10), shortFrame.pixels);
}

TEST(GifLzwDecoder, CopyingStringsAgreesWithWalkingTheTableOnDamagedData) {
    // Valid streams with random bits flipped, and pure noise: both ways must give the same pixels and flag.
    std::mt19937 random(99);
    auto decoder = std::make_unique<GifLzwDecoder>();
    for (int round = 0; round < 3000; ++round) {
        const int codeSize = 1 + static_cast<int>(random() % 10);
        const int colorBits = 1 + static_cast<int>(random() % 8);
        std::vector<uint8_t> packed;
        if (round % 2 == 0) {
            int valid = std::clamp(codeSize, 2, 8);
            packed = lzwEncode(randomPixels(1 + random() % 3000, 1 << valid, round, 1 + round % 4), valid);
            for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips)
                packed[random() % packed.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
        } else {
            packed.resize(1 + random() % 2000);
            for (uint8_t& b : packed)
                b = static_cast<uint8_t>(random());
        }
        const std::vector<uint8_t> data = frameData(codeSize, packed, 1 + static_cast<int>(random() % 255));
        const size_t total = 1 + random() % 4000;
        const size_t room = GifLzwDecoder::kLead + total + GifLzwDecoder::kPadding;
        std::vector<uint8_t> fast(room), walked(room);
        const auto fastResult = decoder->decode(data.data(), data.size(), colorBits,
                                                fast.data() + GifLzwDecoder::kLead, total, true);
        const auto walkedResult = decoder->decode(data.data(), data.size(), colorBits,
                                                  walked.data() + GifLzwDecoder::kLead, total, false);
        ASSERT_EQ(fastResult.status, walkedResult.status) << "round " << round;
        ASSERT_EQ(fastResult.written, walkedResult.written) << "round " << round;
        ASSERT_TRUE(std::equal(fast.begin() + GifLzwDecoder::kLead,
                               fast.begin() + GifLzwDecoder::kLead + total,
                               walked.begin() + GifLzwDecoder::kLead))
            << "round " << round;
    }
}
