#pragma once
// The phone's service library inside the bridge: loaded from a path, its six exports resolved by their
// plain names and called with the calling convention the user chose. On i686 the first calls are
// checked (CallConvGuard), so that no call with misplaced arguments reaches the library. Win32 only.
#include "BridgeProtocol.h"
#include "CallConvGuard.h"

#include <windows.h>

#include <string>

using BridgeProtocol::CallConv;

class VendorLibrary {
  public:
    VendorLibrary() = default;
    ~VendorLibrary();
    VendorLibrary(const VendorLibrary&) = delete;
    VendorLibrary& operator=(const VendorLibrary&) = delete;

    // Loads the library and finds every export. Returns Ready, or the failure with a text in error.
    BridgeProtocol::HelloStatus load(const std::wstring& path, CallConv conv, std::string& error);
    struct Result {
        int32_t value = 0;
        std::string refusal; // not empty: the call was refused, and so is every later one
    };
    // Makes the request's call. buffer: kBufferSize bytes, zeroed, for the call's data (the bytes to
    // write are copied into it first; a read leaves its bytes there). When the library shows another
    // calling convention than the chosen one, GBP mode is left and the call refused.
    Result call(const BridgeProtocol::Request& request, uint8_t* buffer);

    // Far larger than any section, so a library that writes past the count harms nothing.
    static constexpr std::size_t kBufferSize = 1 << 20;

  private:
    int32_t callDirect(const BridgeProtocol::Request& request, uint8_t* buffer);

    HMODULE module_ = nullptr;
    CallConv conv_ = CallConv::Stdcall;
    CallConvGuard guard_{CallConv::Stdcall};
    void* exports_[6] = {};
};
