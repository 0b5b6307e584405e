#include "GifStreamParser.h"

#include <algorithm>
#include <cstring>

namespace {

bool equalsIgnoringCase(const uint8_t* bytes, const char* text, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        auto lower = [](unsigned char ch) { return (ch >= 'A' && ch <= 'Z') ? ch + ('a' - 'A') : ch; };
        if (lower(bytes[i]) != lower(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

void readColorTable(const uint8_t* bytes, int count, GifColorTable& table) {
    table.clear();
    table.count = count;
    for (int i = 0; i < count; ++i)
        table.entries[i] = GifColor{bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
}

} // namespace

GifStreamParser::GifStreamParser(std::shared_ptr<const std::vector<uint8_t>> source)
    : source_(std::move(source)), data_(source_->data()), size_(source_->size()) {}

bool GifStreamParser::readByte(uint8_t& byte) {
    if (atEnd())
        return false;
    byte = data_[pos_++];
    return true;
}

const uint8_t* GifStreamParser::readBytes(size_t count) {
    if (count > size_ - pos_)
        return nullptr;
    const uint8_t* bytes = data_ + pos_;
    pos_ += count;
    return bytes;
}

// Zero bytes between blocks are skipped; 0 at the end of the data.
uint8_t GifStreamParser::nextSeparator() {
    while (!atEnd()) {
        uint8_t c = data_[pos_++];
        if (c != 0)
            return c;
    }
    return 0;
}

uint8_t GifStreamParser::separatorAfterBlock() {
    return atEnd() ? kTrailer : nextSeparator();
}

GifStatus GifStreamParser::readHeader() {
    const uint8_t* signature = readBytes(3);
    if (!signature)
        return GifStatus::truncated_input;
    if (!equalsIgnoringCase(signature, "GIF", 3))
        return GifStatus::bad_header;
    const uint8_t* version = readBytes(3);
    if (!version)
        return GifStatus::truncated_input;
    if (equalsIgnoringCase(version, "87a", 3))
        contents_.version = 1;
    else if (equalsIgnoringCase(version, "89a", 3))
        contents_.version = 2;
    else
        return GifStatus::bad_header;

    const uint8_t* screen = readBytes(7);
    if (!screen)
        return GifStatus::truncated_input;
    contents_.screenWidth = static_cast<uint16_t>(screen[0] | (screen[1] << 8));
    contents_.screenHeight = static_cast<uint16_t>(screen[2] | (screen[3] << 8));
    uint8_t packed = screen[4];
    uint8_t backgroundIndex = screen[5];
    TGIFData& data = global_;
    data.aspectRatio = screen[6];
    data.colorDepth = static_cast<uint8_t>((packed & 7) + 1);
    data.colorResolution = static_cast<uint8_t>(((packed >> 4) & 7) + 1);
    if (packed & 0x80) {
        int count = 1 << data.colorDepth;
        const uint8_t* table = readBytes(static_cast<size_t>(count) * 3);
        if (!table)
            return GifStatus::truncated_input;
        readColorTable(table, count, data.colorTable);
        if (backgroundIndex < count)
            contents_.backgroundColor = data.colorTable.entries[backgroundIndex];
    }
    return GifStatus::ok;
}

GifStatus GifStreamParser::readSubBlocks(std::vector<std::string>& strings) {
    while (!atEnd()) {
        uint8_t length = 0;
        if (!readByte(length))
            return GifStatus::truncated_input;
        if (length == 0)
            break;
        const uint8_t* bytes = readBytes(length);
        if (!bytes)
            return GifStatus::truncated_input;
        strings.emplace_back(reinterpret_cast<const char*>(bytes), length);
    }
    return GifStatus::ok;
}

void GifStreamParser::checkLoopExtension(const TExtension& extension) {
    if (extension.type != TExtension::Application || extension.data.empty())
        return;
    // The identifier is compared over as many bytes as the block size says.
    size_t blockSize = extension.fixed[0];
    if (blockSize > 11)
        return;
    const uint8_t* identifier = extension.fixed.data() + 1;
    if (std::memcmp(identifier, "NETSCAPE2.0", blockSize) != 0 &&
        std::memcmp(identifier, "ANIMEXTS1.0", blockSize) != 0)
        return;
    const std::string& first = extension.data.front();
    if (first.size() < 3 || static_cast<uint8_t>(first[0]) != 1)
        return;
    contents_.looping = true;
    uint16_t count =
        static_cast<uint16_t>(static_cast<uint8_t>(first[1]) | (static_cast<uint8_t>(first[2]) << 8));
    contents_.repeatCount = std::min(count, kMaxRepeatCount);
}

GifStatus GifStreamParser::collectExtensions(uint8_t& c, std::vector<TExtension>& kept) {
    while (c == kExtensionIntroducer) {
        TExtension extension;
        uint8_t label = 0;
        if (!readByte(label))
            return GifStatus::truncated_input;
        size_t fixedCount = 0;
        bool hasSubBlocks = true;
        switch (label) {
        case kGraphicControlLabel:
            extension.type = TExtension::GraphicControl;
            fixedCount = 6;
            hasSubBlocks = false;
            break;
        case kCommentLabel:
            extension.type = TExtension::Comment;
            break;
        case kPlainTextLabel:
            extension.type = TExtension::PlainText;
            fixedCount = 13;
            break;
        case kApplicationLabel:
            extension.type = TExtension::Application;
            fixedCount = 12;
            break;
        default:
            extensionLabel_ = label;
            return GifStatus::bad_extension_label;
        }
        if (fixedCount > 0) {
            const uint8_t* fixed = readBytes(fixedCount);
            if (!fixed)
                return GifStatus::truncated_input;
            std::memcpy(extension.fixed.data(), fixed, fixedCount);
            extension.fixedCount = static_cast<int>(fixedCount);
        }
        if (hasSubBlocks) {
            if (const GifStatus status = readSubBlocks(extension.data); status != GifStatus::ok)
                return status;
        }

        if (extension.type == TExtension::PlainText)
            kept.clear();
        if (extension.type == TExtension::Application)
            checkLoopExtension(extension);
        if (extension.type == TExtension::GraphicControl || extension.type == TExtension::Comment)
            kept.push_back(std::move(extension));
        c = separatorAfterBlock();
    }
    return GifStatus::ok;
}

GifStatus GifStreamParser::readFrame(std::vector<TExtension> extensions) {
    GifFrameInfo info;
    TGIFItem item;
    if (global_.colorTable.count > 0)
        item.colorDepth = global_.colorDepth;
    const uint8_t* descriptor = readBytes(9);
    if (!descriptor)
        return GifStatus::truncated_input;
    int32_t left = descriptor[0] | (descriptor[1] << 8);
    int32_t top = descriptor[2] | (descriptor[3] << 8);
    int32_t width = descriptor[4] | (descriptor[5] << 8);
    int32_t height = descriptor[6] | (descriptor[7] << 8);
    uint8_t packed = descriptor[8];
    info.interlaced = (packed & 0x40) != 0;

    if (packed & 0x80) {
        item.colorDepth = static_cast<uint8_t>((packed & 7) + 1);
        info.localColors = true;
        int count = 1 << item.colorDepth;
        const uint8_t* table = readBytes(static_cast<size_t>(count) * 3);
        if (!table)
            return GifStatus::truncated_input;
        readColorTable(table, count, item.colorTable);
    }

    // Copy the code-size byte and the whole sub-blocks; a block cut short by the end is dropped.
    size_t start = pos_;
    uint8_t codeSize = 0;
    if (!readByte(codeSize))
        return GifStatus::truncated_input;
    size_t end = pos_;
    while (!atEnd()) {
        uint8_t length = data_[pos_];
        if (length > size_ - pos_ - 1) {
            info.corrupted = true;
            pos_ = size_;
            break;
        }
        pos_ += 1 + length;
        end = pos_;
        if (length == 0)
            break;
    }

    item.width = width == 0 ? contents_.screenWidth : width;
    item.height = height == 0 ? contents_.screenHeight : height;
    imagePixels_ += int64_t{item.width} * item.height;
    if (imagePixels_ > kMaxImagePixels)
        return GifStatus::too_much_pixel_data;
    item.compressed = std::span<const uint8_t>(data_ + start, end - start);
    item.source = source_;
    info.left = left;
    info.top = top;
    item.packed = packed;
    if (!info.localColors)
        item.colorTable = global_.colorTable;

    uint32_t delay = 0;
    for (const TExtension& extension : extensions) {
        if (extension.type != TExtension::GraphicControl)
            continue;
        if (extension.packed() & 1) {
            if (extension.transparentIndex() < item.colorTable.count)
                info.transparentColor = item.colorTable.entries[extension.transparentIndex()];
        } else {
            info.transparentColor.reset();
        }
        delay = static_cast<uint16_t>(std::max<uint32_t>(delay, uint32_t{extension.delay()} * 10));
        info.disposal = static_cast<uint8_t>((extension.packed() >> 2) & 7);
    }
    info.delay = static_cast<uint16_t>(delay);
    contents_.frames.emplace_back(info, std::make_shared<const TGIFItem>(std::move(item)),
                                  std::move(extensions));
    return GifStatus::ok;
}

GifStatus GifStreamParser::readBlocks() {
    if (const GifStatus status = readHeader(); status != GifStatus::ok)
        return status;
    uint8_t c = nextSeparator();
    while (c != 0 && c != kTrailer && !atEnd()) {
        std::vector<TExtension> extensions;
        if (const GifStatus status = collectExtensions(c, extensions); status != GifStatus::ok)
            return status;
        if (c == kImageSeparator) {
            if (const GifStatus status = readFrame(std::move(extensions)); status != GifStatus::ok)
                return status;
            c = separatorAfterBlock();
            if (c != kExtensionIntroducer && c != kImageSeparator && c != kTrailer)
                c = 0; // stray data after a frame ends the image quietly
        } else if (global_.comment.empty() && !extensions.empty()) {
            for (const TExtension& extension : extensions) {
                if (extension.type != TExtension::Comment)
                    continue;
                if (!global_.comment.empty())
                    global_.comment.push_back("\r\n\r\n");
                global_.comment.insert(global_.comment.end(), extension.data.begin(), extension.data.end());
            }
        } else if (c != 0 && c != kTrailer) {
            return GifStatus::bad_block;
        }
    }
    return GifStatus::ok;
}

GifStreamParser::Result GifStreamParser::parse() {
    Result result;
    result.status = readBlocks();
    result.extensionLabel = extensionLabel_;
    contents_.data = std::make_shared<const TGIFData>(std::move(global_));
    result.contents = std::move(contents_);
    return result;
}
