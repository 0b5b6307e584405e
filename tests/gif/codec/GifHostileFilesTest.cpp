#include "GifErrors.h"
#include "GifStreamParser.h"
#include "TGIFImage.h"
#include "gif/GifTestSupport.h"
#include "support/HostileGifs.h"

#include <gtest/gtest.h>

// Small files that declare much work: the counters show that the work and memory follow what the file
// really holds.

TEST(GifHostileFiles, ManyTinyFramesKeepARunningCountAndFreeNothing) {
    const int frames = 40000;
    TGIFImage image;
    loadGif(image, hostile::gif(hostile::Kind::TinyFrames, frames));
    ASSERT_EQ(image.frameCount(), frames);
    for (int i = 0; i < frames; ++i)
        ASSERT_EQ(image.frameBitmap(i).pixels.size(), 1u) << "frame " << i;
    EXPECT_EQ(image.heldPixels(), frames);
    EXPECT_EQ(image.evictions(), 0);
    image.releaseBitmaps();
    EXPECT_EQ(image.heldPixels(), 0);
    EXPECT_FALSE(image.frame(0).decoded());
}

TEST(GifHostileFiles, ManyFramesOfTheLargestSizeAreRefusedBeyondTheImageLimit) {
    TGIFImage image;
    EXPECT_EQ(errorText<EInvalidGraphicOperation>(
                  [&] { loadGif(image, hostile::gif(hostile::Kind::CapFrames, 200)); }),
              "Image is too large");
    const int64_t framePixels = int64_t{8192} * 8192;
    ASSERT_EQ(image.frameCount(), GifStreamParser::kMaxImagePixels / framePixels)
        << "the frames within the limit stay";
    for (int i = 0; i < image.frameCount(); ++i)
        EXPECT_EQ(image.frameBitmap(i).pixels.size(), static_cast<size_t>(framePixels)) << "frame " << i;
    EXPECT_EQ(image.heldPixels(), GifStreamParser::kMaxImagePixels);
    EXPECT_LE(image.heldPixels(), TGIFImage::kDecodedPixelBudget);
    EXPECT_EQ(image.evictions(), 0);
}
