#include "GifEncoder.h"

#include "GifLzwEncoder.h"

#include <stdexcept>
#include <string>

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kApplicationLabel = 0xFF;
constexpr uint8_t kTableFlag = 0x80;
constexpr int kMaxSide = 65535;

void put16(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void putTable(std::vector<uint8_t>& out, const std::vector<GifColor>& colors) {
    const size_t padded = size_t{1} << gifTableBits(colors.size());
    for (size_t i = 0; i < padded; ++i) {
        const GifColor c = i < colors.size() ? colors[i] : GifColor{};
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

void fail(const std::string& what) {
    throw std::invalid_argument("GIF encoder: " + what);
}

void checkTable(const std::vector<GifColor>& colors, const char* which) {
    if (colors.size() > 256)
        fail(std::string(which) + " colour table has more than 256 entries");
}

void checkFrame(const GifEncodeImage& image, const GifEncodeFrame& frame, size_t number) {
    const std::string name = "frame " + std::to_string(number);
    if (frame.width < 1 || frame.height < 1 || frame.left < 0 || frame.top < 0 ||
        frame.left + frame.width > image.width || frame.top + frame.height > image.height)
        fail(name + " does not lie within the screen");
    if (frame.indexes.size() != static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height))
        fail(name + " has " + std::to_string(frame.indexes.size()) + " indexes for its rectangle");
    checkTable(frame.localColors, "a local");
    const auto& table = frame.localColors.empty() ? image.globalColors : frame.localColors;
    if (table.empty())
        fail(name + " has no colour table");
    for (uint8_t index : frame.indexes)
        if (index >= table.size())
            fail(name + " uses index " + std::to_string(index) + " beyond its table");
    if (frame.transparentIndex >= static_cast<int>(table.size()))
        fail(name + " has a transparent index beyond its table");
    if (frame.disposal > 7)
        fail(name + " has a disposal above 7");
}

} // namespace

int gifTableBits(size_t count) {
    int bits = 1;
    while (bits < 8 && (size_t{1} << bits) < count)
        ++bits;
    return bits;
}

std::vector<uint8_t> encodeGif(const GifEncodeImage& image) {
    if (image.width < 1 || image.height < 1 || image.width > kMaxSide || image.height > kMaxSide)
        fail("the screen size is out of range");
    if (image.frames.empty())
        fail("there are no frames");
    checkTable(image.globalColors, "the global");
    for (size_t i = 0; i < image.frames.size(); ++i)
        checkFrame(image, image.frames[i], i);

    std::vector<uint8_t> out{'G', 'I', 'F', '8', '9', 'a'};
    put16(out, image.width);
    put16(out, image.height);
    const bool global = !image.globalColors.empty();
    const int globalBits = global ? gifTableBits(image.globalColors.size()) : 1;
    // Colour resolution follows the table; no sort flag.
    out.push_back(static_cast<uint8_t>((global ? kTableFlag : 0) | (globalBits - 1) << 4 | (globalBits - 1)));
    out.push_back(global && image.backgroundIndex < image.globalColors.size() ? image.backgroundIndex : 0);
    out.push_back(0); // no aspect ratio
    if (global)
        putTable(out, image.globalColors);

    if (image.frames.size() > 1 && image.loopCount) {
        const char application[] = "NETSCAPE2.0";
        out.insert(out.end(), {kExtensionIntroducer, kApplicationLabel, 11});
        out.insert(out.end(), application, application + 11);
        out.insert(out.end(), {3, 1});
        put16(out, *image.loopCount);
        out.push_back(0);
    }

    GifLzwEncoder lzw;
    for (const GifEncodeFrame& frame : image.frames) {
        if (frame.delay != 0 || frame.disposal != 0 || frame.transparentIndex >= 0) {
            out.insert(out.end(), {kExtensionIntroducer, kGraphicControlLabel, 4});
            out.push_back(static_cast<uint8_t>(frame.disposal << 2 | (frame.transparentIndex >= 0 ? 1 : 0)));
            put16(out, frame.delay);
            out.push_back(static_cast<uint8_t>(frame.transparentIndex >= 0 ? frame.transparentIndex : 0));
            out.push_back(0);
        }
        out.push_back(kImageSeparator);
        put16(out, frame.left);
        put16(out, frame.top);
        put16(out, frame.width);
        put16(out, frame.height);
        const bool local = !frame.localColors.empty();
        const int bits = gifTableBits(local ? frame.localColors.size() : image.globalColors.size());
        out.push_back(static_cast<uint8_t>(local ? kTableFlag | (bits - 1) : 0));
        if (local)
            putTable(out, frame.localColors);
        lzw.encode(frame.indexes.data(), frame.indexes.size(), std::max(2, bits), out);
    }
    out.push_back(kTrailer);
    return out;
}
