#include "TGIFImage.h"
#include "gif/GifTestSupport.h"
#include "support/GiflibMemoryReader.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

// Each frame's indexes as giflib decodes them; false when giflib refuses the file.
bool giflibFrames(const std::vector<uint8_t>& bytes, std::vector<std::vector<uint8_t>>& frames) {
    MemoryReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, readFromMemory, &error);
    if (gif == nullptr)
        return false;
    bool ok = DGifSlurp(gif) == GIF_OK;
    if (ok) {
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            size_t count =
                static_cast<size_t>(image.ImageDesc.Width) * static_cast<size_t>(image.ImageDesc.Height);
            frames.emplace_back(image.RasterBits, image.RasterBits + count);
        }
    }
    DGifCloseFile(gif, &error);
    return ok;
}

void expectSameFramesAsGiflib(const std::vector<uint8_t>& bytes, const std::string& name) {
    std::vector<std::vector<uint8_t>> expected;
    ASSERT_TRUE(giflibFrames(bytes, expected)) << name << ": giflib refused a file meant to be valid";
    TGIFImage image;
    loadGif(image, bytes);
    ASSERT_EQ(image.frameCount(), static_cast<int>(expected.size())) << name;
    for (int i = 0; i < image.frameCount(); ++i) {
        const GifBitmap& bitmap = image.frameBitmap(i);
        EXPECT_FALSE(image.frame(i).corrupted()) << name << " frame " << i;
        EXPECT_TRUE(bitmap.pixels == expected[static_cast<size_t>(i)])
            << name << " frame " << i << ": indexes differ from giflib's";
    }
}

} // namespace

TEST(GiflibDifferential, TestDataFilesDecodeToTheSameIndexes) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_TEST_DATA)) {
        if (entry.path().extension() != ".gif")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        expectSameFramesAsGiflib(bytes, entry.path().filename().string());
        ++files;
    }
    EXPECT_GE(files, 8) << "test data files found";
}

TEST(GiflibDifferential, BuiltFramesOfEveryShapeDecodeToTheSameIndexes) {
    std::mt19937 random(2024);
    for (int round = 0; round < 120; ++round) {
        const int colourBits = 1 + static_cast<int>(random() % 8);
        const int colours = 1 << colourBits;
        GifImageSpec frameSpec;
        frameSpec.width = 1 + static_cast<int>(random() % 90);
        frameSpec.height = 1 + static_cast<int>(random() % 70);
        frameSpec.interlaced = random() % 2 == 0;
        frameSpec.blockSize = 1 + static_cast<int>(random() % 255);
        frameSpec.lzw.clearEvery = random() % 3 == 0 ? 1 + static_cast<int>(random() % 500) : 0;
        frameSpec.lzw.clearWhenFull = random() % 2 == 0;
        const int run = 1 + static_cast<int>(random() % 6);
        const int used = 1 + static_cast<int>(random() % static_cast<unsigned>(colours));
        uint8_t value = 0;
        for (int i = 0; i < frameSpec.width * frameSpec.height; ++i) {
            if (i % run == 0)
                value = static_cast<uint8_t>(random() % static_cast<unsigned>(used));
            frameSpec.pixels.push_back(value);
        }
        GifBuilder gif;
        if (random() % 2 == 0) {
            frameSpec.localTable = GifBuilder::palette(colours);
            gif.screen(frameSpec.width, frameSpec.height);
        } else {
            gif.screen(frameSpec.width, frameSpec.height, GifBuilder::palette(colours));
        }
        gif.graphicControl(3).image(frameSpec).image(frameSpec).trailer();
        expectSameFramesAsGiflib(gif.bytes(), "round " + std::to_string(round));
    }
}
