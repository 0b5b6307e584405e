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
constexpr size_t kMappedFrom = size_t{4} << 20;

bool mapped(size_t size) {
#if defined(__unix__)
    return size >= kMappedFrom;
#else
    (void)size;
    return false;
#endif
}

} // namespace

void GifPixels::Free::operator()(uint8_t* bytes) const {
#if defined(__unix__)
    if (mapped(size)) {
        munmap(bytes, size);
        return;
    }
#endif
    std::free(bytes);
}

GifPixels::GifPixels(size_t count, size_t lead, size_t padding, Start start)
    : bytes_(nullptr, Free{lead + count + padding}), size_(count) {
    if (count == 0)
        return;
    lead_ = lead;
    const size_t size = lead + count + padding;
    void* bytes = nullptr;
#if defined(__unix__)
    if (mapped(size)) {
        bytes = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (bytes == MAP_FAILED)
            bytes = nullptr;
#if defined(MADV_HUGEPAGE)
        // Large pages where the system offers them: a frame written whole takes far fewer page faults.
        else
            madvise(bytes, size, MADV_HUGEPAGE);
#endif
    }
#endif
    if (!mapped(size))
        bytes = start == Start::Zeroed ? std::calloc(size, 1) : std::malloc(size);
    if (!bytes)
        throw std::bad_alloc();
    bytes_.reset(static_cast<uint8_t*>(bytes));
    zeroed_ = start == Start::Zeroed || mapped(size);
}

GifPixels::GifPixels(const GifPixels& other) : GifPixels(other.size_) {
    if (size_ > 0)
        std::memcpy(data(), other.data(), size_);
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
