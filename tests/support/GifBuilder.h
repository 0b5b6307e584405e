#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Writes GIF files byte by byte for tests and benchmarks, with control over every part that a decoder
// may find damaged: LZW code size, clear and end codes, sub-block sizes, interlace and extensions.

struct GifRgb {
    uint8_t r = 0, g = 0, b = 0;
};

// Packs codes least significant bit first, as GIF prescribes.
class GifCodeWriter {
  public:
    void put(int code, int width);
    std::vector<uint8_t> bytes() const;

  private:
    std::vector<uint8_t> bytes_;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
};

struct LzwOptions {
    bool clearAtStart = true;
    bool endCode = true;
    bool clearWhenFull = true; // false: keep coding with a full table at 12 bits (a deferred clear)
    int clearEvery = 0;        // > 0: an extra clear code after this many data codes
};

// LZW-codes pixel values (each below 2^minCodeSize) into packed code bytes, without sub-blocks.
std::vector<uint8_t> lzwEncode(const std::vector<uint8_t>& pixels, int minCodeSize,
                               const LzwOptions& options = {});

// Splits bytes into sub-blocks of at most blockSize bytes, optionally followed by the terminator.
std::vector<uint8_t> subBlocks(const std::vector<uint8_t>& bytes, int blockSize = 255,
                               bool terminator = true);

struct GifImageSpec {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> pixels;    // width*height, top row first (reordered here when interlaced)
    std::vector<GifRgb> localTable; // empty: no local table; else a power of two of 2..256 entries
    bool interlaced = false;
    int minCodeSize = 0; // 0: chosen from the colour count (at least 2)
    LzwOptions lzw;
    int blockSize = 255;
    bool terminator = true;
    std::optional<uint8_t> packedOverride;    // replaces the descriptor's packed byte
    std::optional<std::vector<uint8_t>> data; // replaces everything after the descriptor and local table
};

class GifBuilder {
  public:
    explicit GifBuilder(std::string signature = "GIF89a");

    // The logical screen; an empty table means no global table.
    GifBuilder& screen(int width, int height, const std::vector<GifRgb>& globalTable = {},
                       uint8_t backgroundIndex = 0, uint8_t aspectRatio = 0);
    GifBuilder& graphicControl(uint16_t delay, uint8_t disposal = 0,
                               std::optional<uint8_t> transparentIndex = std::nullopt);
    GifBuilder& comment(const std::vector<std::string>& blocks);
    GifBuilder& application(const std::string& identifier, const std::vector<std::string>& blocks,
                            std::optional<uint8_t> blockSize = std::nullopt);
    GifBuilder& loop(uint16_t count, const std::string& identifier = "NETSCAPE2.0");
    GifBuilder& plainText(const std::vector<std::string>& blocks);
    GifBuilder& image(const GifImageSpec& frameSpec);
    GifBuilder& trailer();
    GifBuilder& raw(const std::vector<uint8_t>& bytes);

    const std::vector<uint8_t>& bytes() const { return bytes_; }

    // A table of count entries with distinct colours.
    static std::vector<GifRgb> palette(int count);
    // Interlace order of rows for a height: the row each stored row lands on.
    static std::vector<int> interlacedRows(int height);

  private:
    void byte(uint8_t value) { bytes_.push_back(value); }
    void word(uint16_t value);
    void table(const std::vector<GifRgb>& entries);
    void blocks(const std::vector<std::string>& strings);

    std::vector<uint8_t> bytes_;
};
