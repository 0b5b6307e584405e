#pragma once

#include <cstdint>
#include <deque>

// Keeps the decoded pixels of an image's frames within a limit: a running count of the pixels held and
// the order in which frames were decoded, so that making room frees the oldest first and costs in
// proportion to what it frees, not to the number of frames.
class GifPixelBudget {
  public:
    explicit GifPixelBudget(int64_t limit) : limit_(limit) {}

    int64_t limit() const { return limit_; }
    int64_t held() const { return held_; }
    // Frames freed to make room since creation.
    int64_t evictions() const { return evictions_; }

    // Frees decoded frames, oldest first, through release(index) (which returns the pixels it freed)
    // until pixels more fit or nothing is left to free.
    template <class Release> void makeRoom(int64_t pixels, Release&& release) {
        while (held_ + pixels > limit_ && !order_.empty()) {
            const int index = order_.front();
            order_.pop_front();
            held_ -= release(index);
            ++evictions_;
        }
    }
    // Frame index now holds pixels.
    void add(int index, int64_t pixels) {
        order_.push_back(index);
        held_ += pixels;
    }
    // Nothing is held any more.
    void clear() {
        order_.clear();
        held_ = 0;
    }

  private:
    int64_t limit_;
    int64_t held_ = 0;
    int64_t evictions_ = 0;
    std::deque<int> order_; // frame indexes in the order they were decoded
};
