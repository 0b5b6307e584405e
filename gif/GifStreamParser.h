#pragma once

#include "TExtension.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class TGIFImage;
class TGIFFrame;

// Reads the blocks of a GIF held in memory into an image: header, screen, extensions and frames.
// Frames are appended as they are read, so those before an error stay in the image.
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

    GifStreamParser(const uint8_t* data, size_t size, TGIFImage& image);

    // Throws EInvalidGraphicOperation or EReadError; image must have been reset.
    void parse();

  private:
    uint8_t readByte();
    const uint8_t* readBytes(size_t count);
    uint16_t readWord();
    bool atEnd() const { return pos_ >= size_; }
    uint8_t nextSeparator();
    uint8_t separatorAfterBlock();
    void readHeader();
    uint8_t collectExtensions(uint8_t c, std::vector<TExtension>& kept);
    std::vector<std::string> readSubBlocks();
    void checkLoopExtension(const TExtension& extension);
    void readFrame(TGIFFrame& frame);

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    TGIFImage& image_;
};
