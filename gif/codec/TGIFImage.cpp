#include "TGIFImage.h"

#include "GifErrors.h"
#include "GifStreamParser.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <new>
#include <system_error>

namespace {

// The one place where a failure of the codec becomes what callers catch.
[[noreturn]] void throwFailure(GifStatus status, uint8_t extensionLabel = 0) {
    switch (status) {
    case GifStatus::truncated_input:
        throw EReadError(gifStatusText(status));
    case GifStatus::out_of_memory:
        throw std::bad_alloc();
    default:
        throw EInvalidGraphicOperation(gifStatusText(status, extensionLabel));
    }
}

} // namespace

// Decoding of one frame: makes room within the image's budget and reports progress to its listener.
class TGIFImage::Decoding final : public GifDecodeContext {
  public:
    Decoding(TGIFImage& image, int index) : image_(image), index_(index) {}

    void makeRoom(int64_t pixels) override {
        std::vector<TGIFFrame>& frames = image_.state_.contents.frames;
        image_.state_.budget.makeRoom(
            pixels, [&](int index) { return frames[static_cast<size_t>(index)].release(); });
    }
    void held(int64_t pixels) override { image_.state_.budget.add(index_, pixels); }
    void progress(Stage stage, int percent) override { image_.onProgress_(stage, percent); }

  private:
    TGIFImage& image_;
    int index_;
};

TGIFImage& TGIFImage::operator=(const TGIFImage& other) {
    state_ = other.state_;
    onChange_();
    return *this;
}

void TGIFImage::loadFromBytes(const uint8_t* data, size_t size) {
    loadFromBytes(std::vector<uint8_t>(data, data + size));
}

void TGIFImage::loadFromBytes(std::vector<uint8_t> bytes) {
    state_.contents = GifContents();
    state_.currentFrameIndex = -1;
    state_.budget.clear();
    if (!bytes.empty()) {
        GifStreamParser::Result parsed =
            GifStreamParser(std::make_shared<const std::vector<uint8_t>>(std::move(bytes))).parse();
        state_.contents = std::move(parsed.contents);
        if (parsed.status != GifStatus::ok)
            throwFailure(parsed.status, parsed.extensionLabel);
        if (!state_.contents.frames.empty()) {
            state_.currentFrameIndex = 0;
            // A frame 0 that cannot be decoded is dropped, whatever stopped it (a listener may throw too).
            const auto dropFrameZero = [this] {
                state_.contents.frames.erase(state_.contents.frames.begin());
                state_.budget.clear();
            };
            const GifBitmap* bitmap = nullptr;
            GifStatus status;
            try {
                status = decodeFrame(0, bitmap);
            } catch (...) {
                dropFrameZero();
                throw;
            }
            if (status != GifStatus::ok) {
                dropFrameZero();
                throwFailure(status);
            }
        }
    }
    onChange_();
}

void TGIFImage::loadFromStream(std::istream& in) {
    std::vector<uint8_t> bytes;
    // In one read when the stream can tell how much is left.
    const std::istream::pos_type here = in.tellg();
    if (here != std::istream::pos_type(-1) && in.seekg(0, std::ios::end)) {
        const std::istream::pos_type end = in.tellg();
        in.seekg(here);
        if (end != std::istream::pos_type(-1) && end > here) {
            bytes.resize(static_cast<size_t>(end - here));
            in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            bytes.resize(static_cast<size_t>(in.gcount()));
        }
    } else {
        in.clear();
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    loadFromBytes(std::move(bytes));
}

void TGIFImage::loadFromFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        int error = errno != 0 ? errno : ENOENT;
        throw std::system_error(error, std::generic_category(), path);
    }
    loadFromStream(in);
}

const TGIFData& TGIFImage::data() const {
    static const TGIFData empty;
    return state_.contents.data ? *state_.contents.data : empty;
}

const GifBitmap& TGIFImage::frameBitmap(int index) {
    const GifBitmap* bitmap = nullptr;
    if (const GifStatus status = decodeFrame(index, bitmap); status != GifStatus::ok)
        throwFailure(status);
    return *bitmap;
}

GifStatus TGIFImage::decodeFrame(int index, const GifBitmap*& bitmap) {
    TGIFFrame& frame = state_.contents.frames.at(static_cast<size_t>(index));
    Decoding decoding(*this, index);
    return frame.decode(decoding, bitmap);
}

const TGIFFrame* TGIFImage::currentFrame() const {
    int index = state_.currentFrameIndex < 0 ? 0 : state_.currentFrameIndex;
    if (index >= frameCount())
        return nullptr;
    return &state_.contents.frames[static_cast<size_t>(index)];
}

bool TGIFImage::empty() const {
    // A frame is decoded only when it has data, so the data alone tells.
    const TGIFFrame* frame = currentFrame();
    return frame == nullptr || !frame->hasData();
}

int TGIFImage::currentBitmapIndex() const {
    if (empty() || state_.currentFrameIndex < 0 || state_.currentFrameIndex >= frameCount())
        return -1;
    return state_.currentFrameIndex;
}

int TGIFImage::width() {
    const int index = currentBitmapIndex();
    return index < 0 ? 0 : frameBitmap(index).width;
}

int TGIFImage::height() {
    const int index = currentBitmapIndex();
    return index < 0 ? 0 : frameBitmap(index).height;
}

std::vector<GifColor> TGIFImage::palette() {
    if (frameCount() == 0 || currentFrame() == nullptr)
        return {};
    const GifPalette& palette =
        frameBitmap(state_.currentFrameIndex < 0 ? 0 : state_.currentFrameIndex).palette;
    return {palette.begin(), palette.end()};
}

bool TGIFImage::transparent() const {
    if (!state_.transparentSwitch)
        return false;
    for (const TGIFFrame& frame : state_.contents.frames)
        if (frame.transparentColor())
            return true;
    return false;
}

void TGIFImage::releaseBitmaps() {
    for (TGIFFrame& frame : state_.contents.frames)
        frame.release();
    state_.budget.clear();
}
