#pragma once
// One bracket for every action that talks to the phone: InitGBPMode on construction, and EndGBPMode
// exactly once, either where the action calls end() or, on every other way out (an early return, an
// exception from a file step), when the session goes out of scope.
#include "GBPCtrl.h"

class GBPSession {
  public:
    GBPSession(GBPCtrl& link, uint8_t port) : link_(link), entered_(link.InitGBPMode(port) == 0) {}
    ~GBPSession() { end(); }
    GBPSession(const GBPSession&) = delete;
    GBPSession& operator=(const GBPSession&) = delete;

    bool entered() const { return entered_; }
    // Leaves GBP mode now (once; later calls do nothing).
    void end() {
        if (entered_) {
            entered_ = false;
            link_.EndGBPMode();
        }
    }

  private:
    GBPCtrl& link_;
    bool entered_;
};
