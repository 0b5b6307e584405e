#pragma once

#include "GifBitmap.h"
#include "GifColor.h"
#include "GifContents.h"
#include "GifDecodeContext.h"
#include "GifListener.h"
#include "GifPixelBudget.h"
#include "GifStatus.h"
#include "TGIFData.h"
#include "TGIFFrame.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// A GIF87a/GIF89a image: its frames, screen, loop and global data.
// The codec's layers below report a GifStatus; this class turns a failure into the exception its callers
// see. Not thread-safe: callers serialise access.
class TGIFImage {
  public:
    // How the graphic registry knows the class.
    static constexpr const char* kFileExtension = "gif";
    static constexpr const char* kDescription = "CompuServe GIF Image";
    static constexpr const char* kClipboardFormat = "GIF Image";

    using ProgressStage = GifDecodeContext::Stage;
    using ProgressListener = std::function<void(ProgressStage stage, int percent)>;

    // Pixels of decoded bitmaps an image keeps at once (256 MB of indexes): a small file may declare
    // many frames of the largest size, and keeping them all would exhaust memory while they play.
    // Beyond it, the bitmaps decoded longest ago are freed and decoded again when next needed.
    static constexpr int64_t kDecodedPixelBudget = int64_t{1} << 28;

    TGIFImage() = default;
    // Copies share the global data, each frame's compressed data and the decoded bitmaps; listeners
    // are not copied.
    TGIFImage(const TGIFImage& other) = default;
    // Replaces this image with a copy of other, then notifies this image's change listener.
    TGIFImage& operator=(const TGIFImage& other);

    // Each load replaces everything held before, whether or not it succeeds. Throws
    // EInvalidGraphicOperation or EReadError; the change listener is called once after a successful load.
    // An image whose frames declare more than GifStreamParser::kMaxImagePixels in all is refused with
    // "Image is too large" at the first frame beyond it; the frames before it stay.
    void loadFromBytes(const uint8_t* data, size_t size);
    void loadFromBytes(std::vector<uint8_t> bytes); // without copying them again
    void loadFromStream(std::istream& in);          // from the current position to the end
    void loadFromFile(const std::string& path);     // std::system_error (with errno) when it cannot be read

    int frameCount() const { return static_cast<int>(state_.contents.frames.size()); }
    const TGIFFrame& frame(int index) const { return state_.contents.frames.at(static_cast<size_t>(index)); }
    // The frame's bitmap, decoded on first use within the image's budget. Throws EInvalidGraphicOperation
    // (the frame then holds nothing and is decoded again at the next request); std::out_of_range.
    const GifBitmap& frameBitmap(int index);
    // The same without the exceptions of decoding: ok with the bitmap, or the failure with nullptr.
    // Throws std::out_of_range.
    [[nodiscard]] GifStatus decodeFrame(int index, const GifBitmap*& bitmap);
    int currentFrameIndex() const { return frameCount() == 0 ? -1 : state_.currentFrameIndex; }

    int screenWidth() const { return empty() ? 0 : state_.contents.screenWidth; }
    int screenHeight() const { return empty() ? 0 : state_.contents.screenHeight; }
    std::optional<GifColor> backgroundColor() const { return state_.contents.backgroundColor; }
    bool looping() const { return state_.contents.looping; }
    uint16_t repeatCount() const { return state_.contents.repeatCount; }
    int version() const { return state_.contents.version; } // 0 none, 1 87a, 2 89a
    const TGIFData& data() const;
    const std::vector<std::string>& comment() const { return data().comment; }

    // No frames, or the current frame has neither a bitmap nor compressed data.
    bool empty() const;
    // Of the current frame's bitmap, decoding it if needed (may throw); 0 while empty.
    int width();
    int height();
    // The current frame's palette (decoding it if needed); empty without frames.
    std::vector<GifColor> palette();

    bool transparentSwitch() const { return state_.transparentSwitch; }
    void setTransparentSwitch(bool on) { state_.transparentSwitch = on; }
    // The switch is on and some frame has a transparent colour.
    bool transparent() const;

    // Pixels of the decoded bitmaps held now, and frames freed so far to stay within the budget.
    int64_t heldPixels() const { return state_.budget.held(); }
    int64_t evictions() const { return state_.budget.evictions(); }
    // Frees every decoded bitmap; each is decoded again when next needed.
    void releaseBitmaps();

    void setOnChange(std::function<void()> listener) { onChange_.set(std::move(listener)); }
    void setOnProgress(ProgressListener listener) { onProgress_.set(std::move(listener)); }

  private:
    class Decoding;

    // Everything an image copies.
    struct State {
        GifContents contents;
        int32_t currentFrameIndex = -1;
        bool transparentSwitch = true;
        GifPixelBudget budget{kDecodedPixelBudget};
    };

    const TGIFFrame* currentFrame() const;
    int currentBitmapIndex() const; // the current frame's index, or -1 when it has no bitmap to give

    State state_;
    GifListener<std::function<void()>> onChange_;
    GifListener<ProgressListener> onProgress_;
};
