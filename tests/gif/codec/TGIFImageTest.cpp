#include "TGIFImage.h"
#include "GifErrors.h"
#include "gif/GifTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

std::vector<uint8_t> withSignature(const std::string& signature) {
    GifBuilder gif(signature);
    gif.screen(2, 2, GifBuilder::palette(2)).image(countingFrame(2, 2, 2)).trailer();
    return gif.bytes();
}

GifColor colour(const GifRgb& c) {
    return GifColor{c.r, c.g, c.b};
}

} // namespace

TEST(GifStream, AcceptsGifInAnyLetterCaseAndRefusesOtherVersions) {
    TGIFImage image;
    loadGif(image, withSignature("gif89A"));
    EXPECT_EQ(image.version(), 2) << "gif89A should read as GIF89a";
    loadGif(image, withSignature("GiF87a"));
    EXPECT_EQ(image.version(), 1) << "GiF87a should read as GIF87a";
    EXPECT_EQ(image.frameCount(), 1);

    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, withSignature("GIF90a")); }),
              "Unknown GIF version");
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, withSignature("PNG89a")); }),
              "Unknown GIF version");
    EXPECT_EQ(image.version(), 0) << "a failed load still resets the image";
    const std::vector<uint8_t> shortHeader{'G', 'I'};
    EXPECT_EQ(errorText<EReadError>([&] { loadGif(image, shortHeader); }), "Stream read error");
    const std::vector<uint8_t> cutScreen{'G', 'I', 'F', '8', '9', 'a', 1, 0, 1};
    EXPECT_EQ(errorText<EReadError>([&] { loadGif(image, cutScreen); }), "Stream read error");
}

TEST(GifStream, ReadsScreenGlobalTableAndBackground) {
    TGIFImage image;
    GifBuilder gif;
    gif.screen(10, 7, GifBuilder::palette(4), 2, 49).image(countingFrame(3, 3)).trailer();
    loadGif(image, gif.bytes());
    EXPECT_EQ(image.screenWidth(), 10);
    EXPECT_EQ(image.screenHeight(), 7);
    ASSERT_TRUE(image.backgroundColor().has_value());
    EXPECT_EQ(*image.backgroundColor(), colour(GifBuilder::palette(4)[2]));
    EXPECT_EQ(image.data().colorDepth, 2);
    EXPECT_EQ(image.data().colorResolution, 8);
    EXPECT_EQ(image.data().aspectRatio, 49);
    EXPECT_EQ(image.data().colorTable.count, 4);
    EXPECT_EQ(image.frame(0).colorDepth(), 2) << "a frame without its own table takes the global depth";
    EXPECT_FALSE(image.frame(0).localColors());

    GifBuilder beyond;
    beyond.screen(4, 4, GifBuilder::palette(4), 4).image(countingFrame(4, 4)).trailer();
    loadGif(image, beyond.bytes());
    EXPECT_FALSE(image.backgroundColor().has_value()) << "background index 4 is beyond a 4-entry table";

    GifBuilder local;
    GifImageSpec frameSpec = countingFrame(4, 4);
    frameSpec.localTable = GifBuilder::palette(8);
    local.screen(4, 4, {}, 1).image(frameSpec).trailer();
    loadGif(image, local.bytes());
    EXPECT_FALSE(image.backgroundColor().has_value()) << "no global table, no background";
    EXPECT_TRUE(image.frame(0).localColors());
    EXPECT_EQ(image.frame(0).colorDepth(), 3);
    EXPECT_EQ(image.frame(0).item()->colorTable.count, 8);
}

TEST(GifStream, EmptyInputGivesEmptyImageAndNotifies) {
    TGIFImage image;
    loadGif(image, withSignature("GIF89a"));
    int notifications = 0;
    image.setOnChange([&] { ++notifications; });
    image.loadFromBytes(nullptr, 0);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(image.frameCount(), 0);
    EXPECT_EQ(image.currentFrameIndex(), -1);
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(image.width(), 0);
    EXPECT_EQ(image.screenWidth(), 0);
    EXPECT_EQ(image.version(), 0);
    EXPECT_EQ(image.repeatCount(), 1);
    EXPECT_TRUE(image.palette().empty());
}

TEST(GifStream, GraphicControlGivesDelayTransparencyAndDisposal) {
    const auto table = GifBuilder::palette(4);
    GifBuilder gif;
    gif.screen(2, 2, table);
    gif.graphicControl(5, 2, uint8_t{3}).image(countingFrame(2, 2));
    gif.graphicControl(0, 7, uint8_t{7}).image(countingFrame(2, 2));
    gif.graphicControl(3, 1, uint8_t{1}).graphicControl(2, 3).image(countingFrame(2, 2));
    gif.image(countingFrame(2, 2)).trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    ASSERT_EQ(image.frameCount(), 4);

    EXPECT_EQ(image.frame(0).delay(), 50) << "delay 5 hundredths is 50 ms";
    EXPECT_EQ(image.frame(0).disposal(), 2);
    EXPECT_EQ(image.frame(0).transparentColor(), colour(table[3]));
    EXPECT_EQ(image.frame(1).delay(), 0);
    EXPECT_EQ(image.frame(1).disposal(), 7);
    EXPECT_FALSE(image.frame(1).transparentColor()) << "index 7 is beyond a 4-entry table";
    // The larger delay wins; a clear flag removes the transparency.
    EXPECT_EQ(image.frame(2).delay(), 30);
    EXPECT_FALSE(image.frame(2).transparentColor());
    EXPECT_EQ(image.frame(2).disposal(), 3);
    EXPECT_EQ(image.frame(2).extensions().size(), 2u);
    EXPECT_EQ(image.frame(3).delay(), 0);
    EXPECT_TRUE(image.frame(3).extensions().empty());
    EXPECT_TRUE(image.transparent());
    image.setTransparentSwitch(false);
    EXPECT_FALSE(image.transparent()) << "the image's own switch is off";

    GifBuilder wrap;
    wrap.screen(2, 2, table).graphicControl(6554).image(countingFrame(2, 2)).trailer();
    loadGif(image, wrap.bytes());
    EXPECT_EQ(image.frame(0).delay(), 4) << "6554 x 10 = 65540 kept to 16 bits";
}

TEST(GifStream, PlainTextDiscardsExtensionsCollectedBeforeIt) {
    GifBuilder gif;
    gif.screen(2, 2, GifBuilder::palette(4)).comment({"early"}).graphicControl(9, 2, uint8_t{1});
    gif.plainText({"hello"}).image(countingFrame(2, 2)).trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    ASSERT_EQ(image.frameCount(), 1);
    EXPECT_EQ(image.frame(0).delay(), 0);
    EXPECT_EQ(image.frame(0).disposal(), 0);
    EXPECT_FALSE(image.frame(0).transparentColor());
    EXPECT_TRUE(image.frame(0).extensions().empty());
}

TEST(GifStream, LoopExtensionSetsLoopingAndCappedRepeatCount) {
    struct Case {
        std::string identifier;
        std::string block;
        bool looping;
        uint16_t repeat;
    };
    const std::vector<Case> cases{
        {"NETSCAPE2.0", std::string("\x01\x00\x00", 3), true, 0},
        {"NETSCAPE2.0", std::string("\x01\x40\x9C", 3), true, 30000}, // 40000
        {"NETSCAPE2.0", std::string("\x01\x05\x00", 3), true, 5},
        {"ANIMEXTS1.0", std::string("\x01\x02\x00", 3), true, 2},
        {"NETSCAPE2.1", std::string("\x01\x05\x00", 3), false, 1},
        {"NETSCAPE2.0", std::string("\x02\x05\x00", 3), false, 1},
        {"NETSCAPE2.0", std::string("\x01\x05", 2), false, 1},
    };
    for (const Case& c : cases) {
        GifBuilder gif;
        gif.screen(2, 2, GifBuilder::palette(4)).application(c.identifier, {c.block});
        gif.image(countingFrame(2, 2)).trailer();
        TGIFImage image;
        loadGif(image, gif.bytes());
        EXPECT_EQ(image.looping(), c.looping) << c.identifier << " block of " << c.block.size() << " bytes";
        EXPECT_EQ(image.repeatCount(), c.repeat)
            << c.identifier << " block of " << c.block.size() << " bytes";
        EXPECT_TRUE(image.frame(0).extensions().empty()) << "application extensions are not kept";
    }
    TGIFImage plain;
    loadGif(plain, withSignature("GIF89a"));
    EXPECT_FALSE(plain.looping());
    EXPECT_EQ(plain.repeatCount(), 1);
}

TEST(GifStream, ZeroSizeDescriptorTakesScreenSize) {
    GifImageSpec frameSpec = countingFrame(6, 5);
    frameSpec.data = std::vector<uint8_t>{2};
    std::vector<uint8_t> codes = lzwEncode(frameSpec.pixels, 2);
    std::vector<uint8_t> blocks = subBlocks(codes);
    frameSpec.data->insert(frameSpec.data->end(), blocks.begin(), blocks.end());
    frameSpec.width = 0;
    frameSpec.height = 0;
    GifBuilder gif;
    gif.screen(6, 5, GifBuilder::palette(4)).image(frameSpec).trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    ASSERT_EQ(image.frameCount(), 1);
    EXPECT_EQ(image.frame(0).width(), 6);
    EXPECT_EQ(image.frame(0).height(), 5);
    EXPECT_EQ(image.width(), 6);
    EXPECT_EQ(image.height(), 5);
    EXPECT_EQ(image.frameBitmap(0).pixels, frameSpec.pixels);
}

TEST(GifStream, CommentsStayWithTheirFrameOrBecomeTheImageComment) {
    GifBuilder gif;
    gif.screen(2, 2, GifBuilder::palette(4)).comment({"before"}).image(countingFrame(2, 2));
    gif.comment({"a", "b"}).comment({}).comment({"c"}).trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    ASSERT_EQ(image.frameCount(), 1);
    ASSERT_EQ(image.frame(0).extensions().size(), 1u);
    EXPECT_EQ(image.frame(0).extensions()[0].type, TExtension::Comment);
    EXPECT_EQ(image.frame(0).extensions()[0].data, std::vector<std::string>{"before"});
    const std::vector<std::string> expected{"a", "b", "\r\n\r\n", "\r\n\r\n", "c"};
    EXPECT_EQ(image.comment(), expected);

    // Only the first run of comments outside frames is kept.
    GifBuilder twoRuns;
    twoRuns.screen(2, 2, GifBuilder::palette(4)).comment({"first"}).image(countingFrame(2, 2));
    twoRuns.comment({"second"}).image(countingFrame(2, 2)).comment({"third"}).trailer();
    loadGif(image, twoRuns.bytes());
    EXPECT_EQ(image.frameCount(), 2);
    EXPECT_EQ(image.comment(), std::vector<std::string>{"third"});
}

TEST(GifStream, UnknownExtensionLabelIsAnError) {
    GifBuilder gif;
    gif.screen(2, 2, GifBuilder::palette(4)).image(countingFrame(2, 2)).raw({0x21, 0x2C, 0}).trailer();
    TGIFImage image;
    int notifications = 0;
    image.setOnChange([&] { ++notifications; });
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, gif.bytes()); }),
              "Unrecognized extension block: 2C");
    EXPECT_EQ(image.frameCount(), 1) << "frames read before the error stay";
    EXPECT_EQ(image.currentFrameIndex(), -1);
    EXPECT_EQ(notifications, 0);
}

TEST(GifStream, StrayBytesEndQuietlyAfterFramesAndFailBefore) {
    const auto table = GifBuilder::palette(4);
    GifBuilder afterFrames;
    afterFrames.screen(2, 2, table).image(countingFrame(2, 2)).image(countingFrame(2, 2)).raw({0x80, 0x2C});
    TGIFImage image;
    loadGif(image, afterFrames.bytes());
    EXPECT_EQ(image.frameCount(), 2);
    EXPECT_EQ(image.currentFrameIndex(), 0);

    GifBuilder afterTable;
    afterTable.screen(2, 2, table).raw({0x80}).image(countingFrame(2, 2)).trailer();
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, afterTable.bytes()); }),
              "Stream read error");

    GifBuilder afterExtension;
    afterExtension.screen(2, 2, table).image(countingFrame(2, 2)).raw({0}).comment({"x"}).comment({"y"});
    afterExtension.raw({0x80, 0x2C});
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, afterExtension.bytes()); }),
              "Stream read error")
        << "a stray byte after extensions is an error";
    EXPECT_EQ(image.comment(), (std::vector<std::string>{"x", "\r\n\r\n", "y"}))
        << "the comments before the stray byte were taken";

    GifBuilder lastByte;
    lastByte.screen(2, 2, table).raw({0, 0, 0x80});
    loadGif(image, lastByte.bytes());
    EXPECT_EQ(image.frameCount(), 0) << "a stray last byte after the screen is quiet";

    GifBuilder zeros;
    zeros.screen(2, 2, table)
        .raw({0, 0})
        .image(countingFrame(2, 2))
        .raw({0, 0, 0})
        .image(countingFrame(2, 2));
    loadGif(image, zeros.bytes());
    EXPECT_EQ(image.frameCount(), 2) << "zero bytes between blocks are skipped";
}

TEST(GifStream, CutShortDescriptorTableOrCodeSizeIsReadError) {
    const auto table = GifBuilder::palette(4);
    GifBuilder whole;
    whole.screen(4, 4, table).image(countingFrame(4, 4));
    const size_t firstFrameEnd = whole.bytes().size();
    GifImageSpec withLocal = countingFrame(4, 4);
    withLocal.localTable = GifBuilder::palette(16);
    whole.image(withLocal).trailer();
    const std::vector<uint8_t> bytes = whole.bytes();

    // Descriptor: 10 bytes; local table: 48 bytes; then the code-size byte.
    for (size_t cut : {firstFrameEnd + 5, firstFrameEnd + 10 + 20, firstFrameEnd + 10 + 48}) {
        TGIFImage image;
        int notifications = 0;
        image.setOnChange([&] { ++notifications; });
        std::vector<uint8_t> shortBytes(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        EXPECT_EQ(errorText<EReadError>([&] { loadGif(image, shortBytes); }), "Stream read error")
            << "cut at " << cut;
        EXPECT_EQ(image.frameCount(), 1) << "the whole first frame stays, cut at " << cut;
        EXPECT_EQ(image.currentFrameIndex(), -1);
        EXPECT_EQ(notifications, 0);
    }
}

TEST(GifStream, SubBlockCutShortFlagsTheFrameCorrupted) {
    GifImageSpec frameSpec = countingFrame(40, 40, 4);
    frameSpec.blockSize = 20;
    std::vector<uint8_t> bytes = oneFrameGif(frameSpec);
    const std::vector<uint8_t> whole = bytes;
    bytes.resize(bytes.size() - 3); // drops the trailer, the terminator and a byte of the last block

    TGIFImage image;
    loadGif(image, bytes);
    ASSERT_EQ(image.frameCount(), 1);
    EXPECT_TRUE(image.frame(0).corrupted());
    const TGIFItem& item = *image.frame(0).item();
    EXPECT_EQ(item.compressed.size() % 21, 1u) << "only whole 20-byte blocks are kept";

    // A missing terminator alone does not flag the frame.
    std::vector<uint8_t> noTerminator = whole;
    noTerminator.resize(noTerminator.size() - 2);
    loadGif(image, noTerminator);
    EXPECT_FALSE(image.frame(0).corrupted());
    EXPECT_EQ(image.frameBitmap(0).pixels, frameSpec.pixels);
}

TEST(GifStream, FrameZeroIsDecodedAtLoadAndRemovedWhenThatFails) {
    GifBuilder good;
    good.screen(4, 4, GifBuilder::palette(4)).image(countingFrame(4, 4)).image(countingFrame(4, 4)).trailer();
    TGIFImage image;
    loadGif(image, good.bytes());
    EXPECT_TRUE(image.frame(0).decoded());
    EXPECT_FALSE(image.frame(1).decoded()) << "other frames wait until they are needed";

    GifBuilder noTables;
    GifImageSpec second = countingFrame(4, 4);
    second.localTable = GifBuilder::palette(4);
    noTables.screen(4, 4).image(countingFrame(4, 4)).image(second).trailer();
    int notifications = 0;
    image.setOnChange([&] { ++notifications; });
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, noTables.bytes()); }),
              "Wrong number of colors; must be a power of 2");
    EXPECT_EQ(image.frameCount(), 1);
    EXPECT_TRUE(image.frame(0).localColors()) << "the frame that remains is the second one";
    EXPECT_EQ(image.currentFrameIndex(), 0);
    EXPECT_EQ(notifications, 0);

    GifBuilder onlyOne;
    onlyOne.screen(4, 4).image(countingFrame(4, 4)).trailer();
    EXPECT_THROW(loadGif(image, onlyOne.bytes()), EInvalidGraphicOperation);
    EXPECT_EQ(image.frameCount(), 0);
    EXPECT_EQ(image.currentFrameIndex(), -1) << "no frames remain";
}

TEST(GifStream, FramesDecodeOnceAndTryAgainAfterAnError) {
    GifBuilder gif;
    GifImageSpec first = countingFrame(4, 4);
    first.localTable = GifBuilder::palette(4);
    gif.screen(4, 4).image(first).image(countingFrame(4, 4)).image(first).trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    int decodings = 0;
    image.setOnProgress([&](TGIFImage::ProgressStage stage, int) {
        decodings += stage == TGIFImage::ProgressStage::Starting;
    });
    const GifBitmap* once = &image.frameBitmap(2);
    EXPECT_EQ(&image.frameBitmap(2), once) << "the bitmap is kept, not decoded again";
    EXPECT_TRUE(image.frame(2).decoded());
    EXPECT_EQ(decodings, 1);

    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { image.frameBitmap(1); }),
                  "Wrong number of colors; must be a power of 2")
            << "attempt " << attempt;
        EXPECT_FALSE(image.frame(1).decoded());
    }
    EXPECT_EQ(decodings, 3) << "each failed decoding is tried again";
}

TEST(GifStream, FramesAboveTwoToTheTwentySixPixelsAreRefused) {
    GifImageSpec huge;
    huge.width = 8193;
    huge.height = 8193;
    huge.data = std::vector<uint8_t>{2, 2, 0x04, 0x05, 0};
    GifBuilder firstHuge;
    firstHuge.screen(4, 4, GifBuilder::palette(4)).image(huge).image(countingFrame(4, 4)).trailer();
    TGIFImage image;
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, firstHuge.bytes()); }),
              "Image is too large");
    EXPECT_EQ(image.frameCount(), 1);

    huge.width = 65535; // refused by the image-wide limit while reading, before any decoding
    huge.height = 65535;
    GifBuilder laterHuge;
    laterHuge.screen(4, 4, GifBuilder::palette(4)).image(countingFrame(4, 4)).image(huge).trailer();
    EXPECT_EQ(errorText<EInvalidGraphicOperation>([&] { loadGif(image, laterHuge.bytes()); }),
              "Image is too large");
    EXPECT_EQ(image.frameCount(), 1);

    huge.width = 8192; // exactly 2^26 pixels
    huge.height = 8192;
    GifBuilder atCap;
    atCap.screen(4, 4, GifBuilder::palette(4)).image(countingFrame(4, 4)).image(huge).trailer();
    loadGif(image, atCap.bytes());
    const GifBitmap& bitmap = image.frameBitmap(1);
    EXPECT_EQ(bitmap.pixels.size(), size_t{1} << 26);
    EXPECT_EQ(image.heldPixels(), 16 + (int64_t{1} << 26));
}

TEST(GifStream, CopiesShareGlobalDataAndFrameData) {
    GifBuilder gif;
    gif.screen(4, 4, GifBuilder::palette(4)).loop(3).image(countingFrame(4, 4)).image(countingFrame(4, 4));
    gif.trailer();
    TGIFImage image;
    loadGif(image, gif.bytes());
    TGIFImage copy(image);
    EXPECT_EQ(&copy.data(), &image.data());
    ASSERT_EQ(copy.frameCount(), 2);
    EXPECT_NE(&copy.frame(1), &image.frame(1));
    EXPECT_EQ(copy.frame(1).item(), image.frame(1).item());
    EXPECT_EQ(copy.repeatCount(), 3);
    EXPECT_EQ(copy.frameBitmap(0).pixels, image.frameBitmap(0).pixels);

    TGIFImage assigned;
    int notifications = 0;
    assigned.setOnChange([&] { ++notifications; });
    assigned = image;
    EXPECT_EQ(notifications, 1) << "assignment tells the listener of the target";
    EXPECT_EQ(assigned.frame(0).item(), image.frame(0).item());
    image.loadFromBytes(nullptr, 0);
    EXPECT_EQ(assigned.frameCount(), 2) << "the copy keeps the records alive";
    EXPECT_EQ(assigned.frameBitmap(1).width, 4);
}

TEST(GifStream, LoadsFromStreamPositionAndFromFile) {
    const std::vector<uint8_t> bytes = withSignature("GIF89a");
    std::string text = "junk";
    text.append(bytes.begin(), bytes.end());
    std::istringstream in(text);
    in.seekg(4);
    TGIFImage image;
    image.loadFromStream(in);
    EXPECT_EQ(image.frameCount(), 1);

    const auto path = std::filesystem::temp_directory_path() / "tarvel-gif-test.gif";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    TGIFImage fromFile;
    fromFile.loadFromFile(path.string());
    EXPECT_EQ(fromFile.frameCount(), 1);
    std::filesystem::remove(path);
    try {
        fromFile.loadFromFile(path.string());
        ADD_FAILURE() << "loading a missing file should throw";
    } catch (const std::system_error& e) {
        EXPECT_EQ(e.code().value(), ENOENT) << e.what();
    }
}
