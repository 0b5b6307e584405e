#pragma once

#include "GifContents.h"
#include "TExtension.h"

#include <cstddef>
#include <cstdint>
#include <exception>
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
        GifContents contents;     // everything read up to the end, or up to the error
        std::exception_ptr error; // EInvalidGraphicOperation or EReadError that ended the reading early
    };

    // Frames refer to their compressed data in source, which they keep.
    explicit GifStreamParser(std::shared_ptr<const std::vector<uint8_t>> source);

    Result parse();

  private:
    uint8_t readByte();
    const uint8_t* readBytes(size_t count);
    bool atEnd() const { return pos_ >= size_; }
    uint8_t nextSeparator();
    uint8_t separatorAfterBlock();
    void readHeader();
    uint8_t collectExtensions(uint8_t c, std::vector<TExtension>& kept);
    std::vector<std::string> readSubBlocks();
    void checkLoopExtension(const TExtension& extension);
    void readFrame(std::vector<TExtension> extensions);
    void readBlocks();

    std::shared_ptr<const std::vector<uint8_t>> source_;
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    GifContents contents_;
    TGIFData global_;
    int64_t imagePixels_ = 0; // declared by the frames read so far
};
