#include "GifErrors.h"
#include "TGIFImage.h"
#include "gif/GifTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::vector<uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Loads bytes and decodes every frame: "ok", "refused" (one of the decoder's errors) or what else happened.
std::string loadAndDecodeAll(const uint8_t* data, size_t size) {
    try {
        TGIFImage image;
        image.loadFromBytes(data, size);
        for (int i = 0; i < image.frameCount(); ++i)
            image.frameBitmap(i);
        return "ok";
    } catch (const EInvalidGraphicOperation&) {
        return "refused";
    } catch (const EReadError&) {
        return "refused";
    } catch (const std::exception& e) {
        return std::string("unexpected exception: ") + e.what();
    }
}

} // namespace

TEST(GifTestData, RealFilesLoadWithTheirAnimationFields) {
    struct Expected {
        const char* name;
        int version;
        int frames;
        bool looping;
        int repeat;
        int depth;
        bool interlaced;
    };
    const std::vector<Expected> files{
        {"plasma-256.gif", 2, 1, false, 1, 8, false},  {"plasma-interlaced.gif", 2, 1, false, 1, 8, true},
        {"gradient-16.gif", 2, 1, false, 1, 4, false}, {"mono-2.gif", 2, 1, false, 1, 1, false},
        {"v87a-8.gif", 1, 1, false, 1, 3, false},      {"ball-optimized.gif", 2, 8, true, 0, 0, false},
        {"ball-loop3.gif", 2, 4, true, 2, 0, false},   {"transparent-anim.gif", 2, 2, true, 0, 0, false},
    };
    for (const Expected& e : files) {
        TGIFImage image;
        std::vector<uint8_t> bytes = readFile(std::filesystem::path(TARVEL_GIF_TEST_DATA) / e.name);
        ASSERT_FALSE(bytes.empty()) << e.name;
        loadGif(image, bytes);
        EXPECT_EQ(image.version(), e.version) << e.name;
        EXPECT_EQ(image.frameCount(), e.frames) << e.name;
        EXPECT_EQ(image.looping(), e.looping) << e.name;
        EXPECT_EQ(image.repeatCount(), e.repeat) << e.name;
        if (e.depth != 0) {
            EXPECT_EQ(image.frame(0).colorDepth(), e.depth) << e.name;
        }
        EXPECT_EQ(image.frame(0).interlaced(), e.interlaced) << e.name;
        for (int i = 0; i < image.frameCount(); ++i) {
            EXPECT_FALSE(image.frameBitmap(i).empty()) << e.name << " frame " << i;
            EXPECT_FALSE(image.frame(i).corrupted()) << e.name << " frame " << i;
        }
    }
}

TEST(GifTestData, EveryPrefixOfEveryFileLoadsOrFailsWithAKnownError) {
    // Truncated files must never crash; they load (perhaps corrupted) or raise one of the two errors.
    int loaded = 0, refused = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_TEST_DATA)) {
        if (entry.path().extension() != ".gif")
            continue;
        std::vector<uint8_t> bytes = readFile(entry.path());
        for (size_t length = 0; length <= bytes.size(); length += 1 + length / 64) {
            std::string outcome = loadAndDecodeAll(bytes.data(), length);
            EXPECT_TRUE(outcome == "ok" || outcome == "refused")
                << entry.path().filename() << " cut to " << length << " bytes: " << outcome;
            (outcome == "ok" ? loaded : refused)++;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

TEST(GifTestData, CrashRegressionsLoadOrFailCleanly) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(TARVEL_GIF_REGRESSIONS)) {
        if (entry.path().filename().string().front() == '.')
            continue;
        std::vector<uint8_t> bytes = readFile(entry.path());
        std::string outcome = loadAndDecodeAll(bytes.data(), bytes.size());
        EXPECT_TRUE(outcome == "ok" || outcome == "refused") << entry.path().filename() << ": " << outcome;
        ++files;
    }
    if (files == 0)
        GTEST_SKIP() << "no crash inputs recorded";
}
