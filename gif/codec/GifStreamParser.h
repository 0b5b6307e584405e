#pragma once

#include "GifContents.h"
#include "GifStatus.h"
#include "TExtension.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Reads the blocks of a GIF held in memory: header, screen, extensions and frames.
class GifStreamParser {
  public:
    static constexpr uint8_t kExtensionIntroducer = 0x21; // '!'
    static constexpr uint8_t kImageSeparator = 0x2C;      // ','
    static constexpr uint8_t kTrailer = 0x3B;             // ';'
    static constexpr uint8_t kGraphicControlLabel = 0xF9;
    static constexpr uint8_t kCommentLabel = 0xFE;
    static constexpr uint8_t kPlainTextLabel = 0x01;
    static constexpr uint8_t kApplicationLabel = 0xFF;
    static constexpr uint16_t kMaxRepeatCount = 30000;
    // The frames of one image may declare this many pixels in all: a small file may declare many large
    // frames, and decoding them all must stay quick and within memory.
    static constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

    struct Result {
        GifContents contents;             // everything read up to the end, or up to the failure
        GifStatus status = GifStatus::ok; // what ended the reading early; ok when nothing did
        uint8_t extensionLabel = 0;       // with bad_extension_label: the label read
    };

    // Frames refer to their compressed data in source, which they keep.
    explicit GifStreamParser(std::shared_ptr<const std::vector<uint8_t>> source);

    Result parse();

  private:
    // Each read below fails with truncated_input when the data ends first.
    [[nodiscard]] bool readByte(uint8_t& byte);
    const uint8_t* readBytes(size_t count); // nullptr when fewer are left
    bool atEnd() const { return pos_ >= size_; }
    uint8_t nextSeparator();
    uint8_t separatorAfterBlock();
    [[nodiscard]] GifStatus readHeader();
    // c: the separator read; on return the separator after the extensions.
    [[nodiscard]] GifStatus collectExtensions(uint8_t& c, std::vector<TExtension>& kept);
    [[nodiscard]] GifStatus readSubBlocks(std::vector<std::string>& strings);
    void checkLoopExtension(const TExtension& extension);
    [[nodiscard]] GifStatus readFrame(std::vector<TExtension> extensions);
    [[nodiscard]] GifStatus readBlocks();

    std::shared_ptr<const std::vector<uint8_t>> source_;
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    GifContents contents_;
    TGIFData global_;
    int64_t imagePixels_ = 0;    // declared by the frames read so far
    uint8_t extensionLabel_ = 0; // of the extension that ended the reading with bad_extension_label
};
