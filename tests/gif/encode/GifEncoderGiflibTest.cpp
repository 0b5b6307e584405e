// What the encoder writes, read by giflib: the same indexes, tables, delays, disposal, transparency and
// loop as it was given.
#include "GifEncoder.h"
#include "support/GiflibMemoryReader.h"
#include "support/RandomPixels.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

std::vector<GifColor> ramp(int count, uint8_t tint) {
    std::vector<GifColor> table;
    for (int i = 0; i < count; ++i)
        table.push_back({static_cast<uint8_t>(i), tint, static_cast<uint8_t>(255 - i)});
    return table;
}

void expectTable(const ColorMapObject* map, const std::vector<GifColor>& want) {
    ASSERT_NE(map, nullptr);
    ASSERT_GE(map->ColorCount, static_cast<int>(want.size()));
    for (size_t i = 0; i < want.size(); ++i) {
        const GifColorType& c = map->Colors[i];
        EXPECT_TRUE(c.Red == want[i].r && c.Green == want[i].g && c.Blue == want[i].b) << "entry " << i;
    }
}

} // namespace

TEST(GifEncoderWithGiflib, GiflibReadsBackEveryFieldOfAnAnimation) {
    GifEncodeImage image;
    image.width = 120;
    image.height = 90;
    image.globalColors = ramp(256, 9);
    image.loopCount = 4;
    // A full frame of noise over 256 colours passes the 4096 codes several times.
    image.frames.push_back({0, 0, 120, 90, randomPixels(120 * 90, 256, 1), {}, 5, 1, -1});
    image.frames.push_back({30, 20, 17, 11, randomPixels(17 * 11, 3, 2), ramp(3, 200), 12, 2, 2});
    image.frames.push_back({119, 89, 1, 1, {1}, {}, 0, 0, -1});
    const std::vector<uint8_t> bytes = encodeGif(image);

    MemoryReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    ASSERT_NE(gif, nullptr) << GifErrorString(error);
    ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
    EXPECT_EQ(gif->SWidth, 120);
    EXPECT_EQ(gif->SHeight, 90);
    expectTable(gif->SColorMap, image.globalColors);
    ASSERT_EQ(gif->ImageCount, 3);
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const SavedImage& saved = gif->SavedImages[i];
        const GifEncodeFrame& want = image.frames[static_cast<size_t>(i)];
        EXPECT_EQ(saved.ImageDesc.Left, want.left);
        EXPECT_EQ(saved.ImageDesc.Top, want.top);
        ASSERT_EQ(saved.ImageDesc.Width * saved.ImageDesc.Height, static_cast<int>(want.indexes.size()));
        EXPECT_EQ(std::memcmp(saved.RasterBits, want.indexes.data(), want.indexes.size()), 0);
        if (!want.localColors.empty())
            expectTable(saved.ImageDesc.ColorMap, want.localColors);
        else
            EXPECT_EQ(saved.ImageDesc.ColorMap, nullptr);
        // A frame with nothing to say about its timing or transparency may go without the extension.
        GraphicsControlBlock control{0, false, 0, NO_TRANSPARENT_COLOR};
        if (DGifSavedExtensionToGCB(gif, i, &control) != GIF_OK)
            EXPECT_TRUE(want.delay == 0 && want.disposal == 0 && want.transparentIndex < 0);
        EXPECT_EQ(control.DelayTime, want.delay);
        EXPECT_EQ(control.DisposalMode, want.disposal);
        EXPECT_EQ(control.TransparentColor, want.transparentIndex);
    }
    // The loop count travels in the NETSCAPE2.0 application extension before the first frame.
    bool loop = false;
    for (int e = 0; e + 1 < gif->SavedImages[0].ExtensionBlockCount; ++e) {
        const ExtensionBlock& block = gif->SavedImages[0].ExtensionBlocks[e];
        const ExtensionBlock& next = gif->SavedImages[0].ExtensionBlocks[e + 1];
        if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
            std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 && next.ByteCount == 3)
            loop = next.Bytes[0] == 1 && (next.Bytes[1] | next.Bytes[2] << 8) == 4;
    }
    EXPECT_TRUE(loop) << "no NETSCAPE2.0 extension with a loop count of 4";
    DGifCloseFile(gif, &error);
}
