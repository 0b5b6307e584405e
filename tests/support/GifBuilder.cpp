#include "GifBuilder.h"

#include <map>
#include <stdexcept>

void GifCodeWriter::put(int code, int width) {
    bits_ |= static_cast<uint32_t>(code) << bitCount_;
    bitCount_ += width;
    while (bitCount_ >= 8) {
        bytes_.push_back(static_cast<uint8_t>(bits_ & 0xFF));
        bits_ >>= 8;
        bitCount_ -= 8;
    }
}

std::vector<uint8_t> GifCodeWriter::bytes() const {
    std::vector<uint8_t> result = bytes_;
    if (bitCount_ > 0)
        result.push_back(static_cast<uint8_t>(bits_ & 0xFF));
    return result;
}

std::vector<uint8_t> lzwEncode(const std::vector<uint8_t>& pixels, int minCodeSize,
                               const LzwOptions& options) {
    const int clearCode = 1 << minCodeSize;
    const int endCode = clearCode + 1;
    GifCodeWriter writer;
    std::map<std::pair<int, int>, int> table;
    int width = minCodeSize + 1;
    int next = clearCode + 2;
    int codesSinceClear = 0;

    auto resetTable = [&] {
        table.clear();
        width = minCodeSize + 1;
        next = clearCode + 2;
        codesSinceClear = 0;
    };
    // The decoder defines an entry after each code but the first; it widens its codes when its next
    // free code reaches the limit. Counting one ahead, the encoder widens when next passes 2^width.
    auto advance = [&] {
        if (next < 4096) {
            ++next;
            if (next > (1 << width) && width < 12)
                ++width;
        }
    };
    if (options.clearAtStart)
        writer.put(clearCode, width);
    if (!pixels.empty()) {
        int current = pixels[0];
        for (size_t i = 1; i < pixels.size(); ++i) {
            int pixel = pixels[i];
            auto found = table.find({current, pixel});
            if (found != table.end()) {
                current = found->second;
                continue;
            }
            writer.put(current, width);
            ++codesSinceClear;
            if (next < 4096)
                table[{current, pixel}] = next;
            advance();
            if ((options.clearWhenFull && next >= 4096) ||
                (options.clearEvery > 0 && codesSinceClear >= options.clearEvery)) {
                writer.put(clearCode, width);
                resetTable();
            }
            current = pixel;
        }
        writer.put(current, width);
        advance();
    }
    if (options.endCode)
        writer.put(endCode, width);
    return writer.bytes();
}

std::vector<uint8_t> subBlocks(const std::vector<uint8_t>& bytes, int blockSize, bool terminator) {
    std::vector<uint8_t> result;
    for (size_t i = 0; i < bytes.size(); i += static_cast<size_t>(blockSize)) {
        size_t length = std::min(bytes.size() - i, static_cast<size_t>(blockSize));
        result.push_back(static_cast<uint8_t>(length));
        result.insert(result.end(), bytes.begin() + static_cast<long>(i),
                      bytes.begin() + static_cast<long>(i + length));
    }
    if (terminator)
        result.push_back(0);
    return result;
}

GifBuilder::GifBuilder(std::string signature) {
    bytes_.assign(signature.begin(), signature.end());
}

void GifBuilder::word(uint16_t value) {
    byte(static_cast<uint8_t>(value & 0xFF));
    byte(static_cast<uint8_t>(value >> 8));
}

static int tableSizeBits(size_t count) {
    int bits = 1;
    while ((size_t{1} << bits) < count)
        ++bits;
    if ((size_t{1} << bits) != count || bits > 8)
        throw std::invalid_argument("colour tables hold a power of two of 2 to 256 entries");
    return bits;
}

void GifBuilder::table(const std::vector<GifRgb>& entries) {
    for (const GifRgb& c : entries) {
        byte(c.r);
        byte(c.g);
        byte(c.b);
    }
}

void GifBuilder::blocks(const std::vector<std::string>& strings) {
    for (const std::string& s : strings) {
        byte(static_cast<uint8_t>(s.size()));
        bytes_.insert(bytes_.end(), s.begin(), s.end());
    }
    byte(0);
}

GifBuilder& GifBuilder::screen(int width, int height, const std::vector<GifRgb>& globalTable,
                               uint8_t backgroundIndex, uint8_t aspectRatio) {
    word(static_cast<uint16_t>(width));
    word(static_cast<uint16_t>(height));
    uint8_t packed = 0x70; // colour resolution 8
    if (!globalTable.empty())
        packed |= static_cast<uint8_t>(0x80 | (tableSizeBits(globalTable.size()) - 1));
    byte(packed);
    byte(backgroundIndex);
    byte(aspectRatio);
    table(globalTable);
    return *this;
}

GifBuilder& GifBuilder::graphicControl(uint16_t delay, uint8_t disposal,
                                       std::optional<uint8_t> transparentIndex) {
    byte(0x21);
    byte(0xF9);
    byte(4);
    byte(static_cast<uint8_t>(((disposal & 7) << 2) | (transparentIndex ? 1 : 0)));
    word(delay);
    byte(transparentIndex.value_or(0));
    byte(0);
    return *this;
}

GifBuilder& GifBuilder::comment(const std::vector<std::string>& strings) {
    byte(0x21);
    byte(0xFE);
    blocks(strings);
    return *this;
}

GifBuilder& GifBuilder::application(const std::string& identifier, const std::vector<std::string>& strings,
                                    std::optional<uint8_t> blockSize) {
    byte(0x21);
    byte(0xFF);
    byte(blockSize.value_or(11));
    std::string id = identifier;
    id.resize(11, ' ');
    bytes_.insert(bytes_.end(), id.begin(), id.end());
    blocks(strings);
    return *this;
}

GifBuilder& GifBuilder::loop(uint16_t count, const std::string& identifier) {
    std::string block{'\x01', static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)};
    return application(identifier, {block});
}

GifBuilder& GifBuilder::plainText(const std::vector<std::string>& strings) {
    byte(0x21);
    byte(0x01);
    byte(12);
    for (int i = 0; i < 12; ++i)
        byte(0);
    blocks(strings);
    return *this;
}

std::vector<GifRgb> GifBuilder::palette(int count) {
    std::vector<GifRgb> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
    return entries;
}

std::vector<int> GifBuilder::interlacedRows(int height) {
    std::vector<int> rows;
    const int start[4] = {0, 4, 2, 1};
    const int step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int row = start[pass]; row < height; row += step[pass])
            rows.push_back(row);
    return rows;
}

GifBuilder& GifBuilder::image(const GifImageSpec& frameSpec) {
    byte(0x2C);
    word(static_cast<uint16_t>(frameSpec.left));
    word(static_cast<uint16_t>(frameSpec.top));
    word(static_cast<uint16_t>(frameSpec.width));
    word(static_cast<uint16_t>(frameSpec.height));
    uint8_t packed = frameSpec.interlaced ? 0x40 : 0;
    if (!frameSpec.localTable.empty())
        packed |= static_cast<uint8_t>(0x80 | (tableSizeBits(frameSpec.localTable.size()) - 1));
    byte(frameSpec.packedOverride.value_or(packed));
    table(frameSpec.localTable);
    if (frameSpec.data) {
        bytes_.insert(bytes_.end(), frameSpec.data->begin(), frameSpec.data->end());
        return *this;
    }
    int codeSize = frameSpec.minCodeSize;
    if (codeSize == 0) {
        int maxPixel = 0;
        for (uint8_t p : frameSpec.pixels)
            maxPixel = std::max<int>(maxPixel, p);
        codeSize = 2;
        while ((1 << codeSize) <= maxPixel)
            ++codeSize;
    }
    std::vector<uint8_t> ordered = frameSpec.pixels;
    if (frameSpec.interlaced) {
        ordered.clear();
        for (int row : interlacedRows(frameSpec.height))
            ordered.insert(ordered.end(), frameSpec.pixels.begin() + static_cast<long>(row) * frameSpec.width,
                           frameSpec.pixels.begin() + static_cast<long>(row + 1) * frameSpec.width);
    }
    byte(static_cast<uint8_t>(codeSize));
    std::vector<uint8_t> packedCodes = lzwEncode(ordered, codeSize, frameSpec.lzw);
    std::vector<uint8_t> data = subBlocks(packedCodes, frameSpec.blockSize, frameSpec.terminator);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

GifBuilder& GifBuilder::trailer() {
    byte(0x3B);
    return *this;
}

GifBuilder& GifBuilder::raw(const std::vector<uint8_t>& extra) {
    bytes_.insert(bytes_.end(), extra.begin(), extra.end());
    return *this;
}
