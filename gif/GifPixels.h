#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The palette indexes of a decoded frame, in a buffer that starts zeroed. Large buffers are fresh pages
// from the system, so pixels a frame never writes cost neither time nor memory until they are read.
class GifPixels {
  public:
    using value_type = uint8_t;
    using iterator = uint8_t*;
    using const_iterator = const uint8_t*;

    GifPixels() = default;
    // count zeroed pixels; throws std::bad_alloc.
    explicit GifPixels(size_t count);
    GifPixels(const GifPixels& other);
    GifPixels& operator=(const GifPixels& other);
    GifPixels(GifPixels&&) noexcept = default;
    GifPixels& operator=(GifPixels&&) noexcept = default;

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data(); }
    uint8_t* end() { return data() + size_; }
    const uint8_t* begin() const { return data(); }
    const uint8_t* end() const { return data() + size_; }
    uint8_t& operator[](size_t i) { return bytes_[i]; }
    uint8_t operator[](size_t i) const { return bytes_[i]; }

    friend bool operator==(const GifPixels& a, const GifPixels& b);
    friend bool operator==(const GifPixels& a, const std::vector<uint8_t>& b);

  private:
    struct Free {
        size_t size; // how the bytes were allocated depends on it
        void operator()(uint8_t* bytes) const;
    };
    std::unique_ptr<uint8_t[], Free> bytes_{nullptr, Free{0}};
    size_t size_ = 0;
};
