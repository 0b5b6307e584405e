#pragma once

#include "TGIFBitmap.h"
#include "TGIFColor.h"
#include "TGIFData.h"
#include "TGIFFrame.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A GIF87a/GIF89a image: its frames, screen, loop and global data.
// Not thread-safe: callers serialise access.
class TGIFImage {
  public:
    // How the graphic registry knows the class.
    static constexpr const char* kFileExtension = "gif";
    static constexpr const char* kDescription = "CompuServe GIF Image";
    static constexpr const char* kClipboardFormat = "GIF Image";

    enum class ProgressStage { Starting, Running, Ending };
    using ProgressListener = std::function<void(ProgressStage stage, int percent)>;

    TGIFImage();
    // Copies share the global data and each frame's compressed data; listeners are not copied.
    TGIFImage(const TGIFImage& other);
    // Replaces this image with a copy of other, then notifies this image's change listener.
    TGIFImage& operator=(const TGIFImage& other);
    ~TGIFImage();

    // Each load replaces everything held before, whether or not it succeeds. Throws
    // EInvalidGraphicOperation or EReadError; the change listener is called once after a successful load.
    void loadFromBytes(const uint8_t* data, size_t size);
    void loadFromStream(std::istream& in);      // from the current position to the end
    void loadFromFile(const std::string& path); // std::system_error (with errno) when it cannot be read

    int frameCount() const { return static_cast<int>(frames_.size()); }
    TGIFFrame& frame(int index) { return *frames_.at(static_cast<size_t>(index)); }
    const TGIFFrame& frame(int index) const { return *frames_.at(static_cast<size_t>(index)); }
    int currentFrameIndex() const { return frames_.empty() ? -1 : currentFrameIndex_; }

    int screenWidth() const { return empty() ? 0 : screenWidth_; }
    int screenHeight() const { return empty() ? 0 : screenHeight_; }
    std::optional<TGIFColor> backgroundColor() const { return backgroundColor_; }
    bool looping() const { return looping_; }
    uint16_t repeatCount() const { return repeatCount_; }
    int version() const { return version_; } // 0 none, 1 87a, 2 89a
    const TGIFData& data() const { return *data_; }
    const std::vector<std::string>& comment() const { return data_->comment; }

    // No frames, or the current frame has neither a bitmap nor compressed data.
    bool empty() const;
    // Of the current frame's bitmap, decoding it if needed (may throw); 0 while empty.
    int width() const;
    int height() const;
    // The current frame's palette (decoding it if needed); empty without frames.
    std::vector<TGIFColor> palette() const;

    bool transparentSwitch() const { return transparentSwitch_; }
    void setTransparentSwitch(bool on) { transparentSwitch_ = on; }
    // The switch is on and some frame has a transparent colour.
    bool transparent() const;

    void setOnChange(std::function<void()> listener) { onChange_ = std::move(listener); }
    void setOnProgress(ProgressListener listener) { onProgress_ = std::move(listener); }

    // Pixels of decoded bitmaps an image keeps at once (256 MB of indexes): a small file may declare
    // many frames of the largest size, and keeping them all would exhaust memory while they play.
    // Beyond it, bitmaps of other frames are freed and decoded again when next needed.
    static constexpr int64_t kDecodedPixelBudget = int64_t{1} << 28;

  private:
    friend class GifStreamParser;
    friend class TGIFFrame;

    void reset();
    const TGIFFrame* currentFrame() const;
    void reportProgress(ProgressStage stage, int percent) const;
    // Frees decoded bitmaps of frames other than keep until pixels more fit the image's budget.
    void makeRoomFor(const TGIFFrame* keep, int64_t pixels);

    std::shared_ptr<TGIFData> data_;
    uint8_t version_ = 0;
    std::vector<std::unique_ptr<TGIFFrame>> frames_;
    int32_t currentFrameIndex_ = -1;
    uint16_t screenWidth_ = 0, screenHeight_ = 0;
    std::optional<TGIFColor> backgroundColor_;
    bool looping_ = false;
    uint16_t repeatCount_ = 1;
    bool transparentSwitch_ = true;
    std::function<void()> onChange_;
    ProgressListener onProgress_;
};
