#include "GifPixels.h"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__unix__)
#include <sys/mman.h>
#endif

namespace {

// Buffers from this size up are mapped straight from the system: fresh zero pages that cost nothing
// until written, given back as soon as the frame is freed.
constexpr size_t kMappedFrom = size_t{1} << 20;

uint8_t* allocateZeroed(size_t count) {
#if defined(__unix__)
    if (count >= kMappedFrom) {
        void* bytes = mmap(nullptr, count, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        return bytes == MAP_FAILED ? nullptr : static_cast<uint8_t*>(bytes);
    }
#endif
    return static_cast<uint8_t*>(std::calloc(count, 1));
}

} // namespace

void GifPixels::Free::operator()(uint8_t* bytes) const {
#if defined(__unix__)
    if (size >= kMappedFrom) {
        munmap(bytes, size);
        return;
    }
#endif
    std::free(bytes);
}

GifPixels::GifPixels(size_t count) : bytes_(nullptr, Free{count}), size_(count) {
    if (count == 0)
        return;
    bytes_.reset(allocateZeroed(count));
    if (!bytes_)
        throw std::bad_alloc();
}

GifPixels::GifPixels(const GifPixels& other) : GifPixels(other.size_) {
    if (size_ > 0)
        std::memcpy(bytes_.get(), other.bytes_.get(), size_);
}

GifPixels& GifPixels::operator=(const GifPixels& other) {
    if (this != &other)
        *this = GifPixels(other);
    return *this;
}

bool operator==(const GifPixels& a, const GifPixels& b) {
    return a.size_ == b.size_ && (a.data() == b.data() || std::memcmp(a.data(), b.data(), a.size_) == 0);
}

bool operator==(const GifPixels& a, const std::vector<uint8_t>& b) {
    return a.size_ == b.size() && (a.size_ == 0 || std::memcmp(a.data(), b.data(), a.size_) == 0);
}
