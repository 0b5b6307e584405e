#pragma once

#include <utility>

// A listener belongs to the object it was set on: a copy of that object starts without one, and
// assigning another object's state over it keeps it.
template <class Function> class GifListener {
  public:
    GifListener() = default;
    GifListener(const GifListener&) {}
    GifListener& operator=(const GifListener&) { return *this; }

    void set(Function function) { function_ = std::move(function); }
    // Calls the listener, if one is set.
    template <class... Args> void operator()(Args&&... args) const {
        if (function_)
            function_(std::forward<Args>(args)...);
    }

  private:
    Function function_;
};
