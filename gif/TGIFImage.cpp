#include "TGIFImage.h"

#include "GifStreamParser.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

TGIFImage::TGIFImage() : data_(std::make_shared<TGIFData>()) {}

TGIFImage::TGIFImage(const TGIFImage& other)
    : data_(other.data_), version_(other.version_), currentFrameIndex_(other.currentFrameIndex_),
      screenWidth_(other.screenWidth_), screenHeight_(other.screenHeight_),
      backgroundColor_(other.backgroundColor_), looping_(other.looping_), repeatCount_(other.repeatCount_),
      transparentSwitch_(other.transparentSwitch_) {
    frames_.reserve(other.frames_.size());
    for (const auto& frame : other.frames_)
        frames_.push_back(std::make_unique<TGIFFrame>(*frame, this));
}

TGIFImage& TGIFImage::operator=(const TGIFImage& other) {
    if (this != &other) {
        TGIFImage copy(other);
        data_ = std::move(copy.data_);
        version_ = copy.version_;
        frames_ = std::move(copy.frames_);
        for (auto& frame : frames_)
            frame->owner_ = this;
        currentFrameIndex_ = copy.currentFrameIndex_;
        screenWidth_ = copy.screenWidth_;
        screenHeight_ = copy.screenHeight_;
        backgroundColor_ = copy.backgroundColor_;
        looping_ = copy.looping_;
        repeatCount_ = copy.repeatCount_;
        transparentSwitch_ = copy.transparentSwitch_;
    }
    if (onChange_)
        onChange_();
    return *this;
}

TGIFImage::~TGIFImage() = default;

void TGIFImage::reset() {
    data_ = std::make_shared<TGIFData>();
    frames_.clear();
    currentFrameIndex_ = -1;
    screenWidth_ = screenHeight_ = 0;
    backgroundColor_.reset();
    repeatCount_ = 1;
    looping_ = false;
    version_ = 0;
}

void TGIFImage::loadFromBytes(const uint8_t* data, size_t size) {
    reset();
    if (size > 0) {
        GifStreamParser(data, size, *this).parse();
        if (!frames_.empty()) {
            currentFrameIndex_ = 0;
            try {
                frames_.front()->bitmap();
            } catch (...) {
                frames_.erase(frames_.begin());
                throw;
            }
        }
    }
    if (onChange_)
        onChange_();
}

void TGIFImage::loadFromStream(std::istream& in) {
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    loadFromBytes(bytes.data(), bytes.size());
}

void TGIFImage::loadFromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        int error = errno != 0 ? errno : ENOENT;
        throw std::system_error(error, std::generic_category(), path);
    }
    loadFromStream(in);
}

const TGIFFrame* TGIFImage::currentFrame() const {
    int index = currentFrameIndex_ < 0 ? 0 : currentFrameIndex_;
    if (index >= frameCount())
        return nullptr;
    return frames_[static_cast<size_t>(index)].get();
}

bool TGIFImage::empty() const {
    const TGIFFrame* frame = currentFrame();
    return frame == nullptr || (!frame->decoded() && !frame->hasData());
}

int TGIFImage::width() const {
    if (empty() || currentFrameIndex_ < 0 || currentFrameIndex_ >= frameCount())
        return 0;
    return frames_[static_cast<size_t>(currentFrameIndex_)]->bitmap().width;
}

int TGIFImage::height() const {
    if (empty() || currentFrameIndex_ < 0 || currentFrameIndex_ >= frameCount())
        return 0;
    return frames_[static_cast<size_t>(currentFrameIndex_)]->bitmap().height;
}

std::vector<TGIFColor> TGIFImage::palette() const {
    if (frames_.empty())
        return {};
    const TGIFFrame* frame = currentFrame();
    if (frame == nullptr)
        return {};
    return const_cast<TGIFFrame*>(frame)->bitmap().palette;
}

bool TGIFImage::transparent() const {
    if (!transparentSwitch_)
        return false;
    for (const auto& frame : frames_)
        if (frame->transparentColor())
            return true;
    return false;
}

void TGIFImage::reportProgress(ProgressStage stage, int percent) const {
    if (onProgress_)
        onProgress_(stage, percent);
}

void TGIFImage::makeRoomFor(const TGIFFrame* keep, int64_t pixels) {
    auto held = [](const TGIFFrame& f) {
        return f.bitmap_ ? int64_t{f.bitmap_->width} * f.bitmap_->height : int64_t{0};
    };
    int64_t total = pixels;
    for (const auto& f : frames_)
        total += held(*f);
    for (auto& f : frames_) {
        if (total <= kDecodedPixelBudget)
            break;
        if (f.get() != keep && f->bitmap_) {
            total -= held(*f);
            f->bitmap_.reset();
        }
    }
}
