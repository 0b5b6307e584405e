#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The palette indexes of a decoded frame. Large buffers are fresh pages from the system, zero until
// written, so pixels a frame never writes cost neither time nor memory until they are read; small ones
// come from the heap, zeroed or not as asked.
class GifPixels {
  public:
    using value_type = uint8_t;
    using iterator = uint8_t*;
    using const_iterator = const uint8_t*;

    enum class Start { Zeroed, Unset };

    GifPixels() = default;
    // count zeroed pixels; throws std::bad_alloc.
    explicit GifPixels(size_t count) : GifPixels(count, 0, 0, Start::Zeroed) {}
    // count pixels with lead bytes before them and padding bytes after them that a writer may use as it
    // likes. Unset pixels may hold anything, unless zeroed() says they are zero anyway.
    GifPixels(size_t count, size_t lead, size_t padding, Start start);
    GifPixels(const GifPixels& other);
    GifPixels& operator=(const GifPixels& other);
    GifPixels(GifPixels&&) noexcept = default;
    GifPixels& operator=(GifPixels&&) noexcept = default;

    // The pixels are known to be zero until written.
    bool zeroed() const { return zeroed_; }

    uint8_t* data() { return bytes_.get() + lead_; }
    const uint8_t* data() const { return bytes_.get() + lead_; }
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    uint8_t* begin() { return data(); }
    uint8_t* end() { return data() + size_; }
    const uint8_t* begin() const { return data(); }
    const uint8_t* end() const { return data() + size_; }
    uint8_t& operator[](size_t i) { return data()[i]; }
    uint8_t operator[](size_t i) const { return data()[i]; }

    friend bool operator==(const GifPixels& a, const GifPixels& b);
    friend bool operator==(const GifPixels& a, const std::vector<uint8_t>& b);

  private:
    struct Free {
        size_t size; // how the bytes were allocated depends on it
        void operator()(uint8_t* bytes) const;
    };
    std::unique_ptr<uint8_t[], Free> bytes_{nullptr, Free{0}};
    size_t lead_ = 0;
    size_t size_ = 0;
    bool zeroed_ = true;
};
