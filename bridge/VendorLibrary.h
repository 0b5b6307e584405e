#pragma once
// The phone's service library inside the bridge: loaded from a path, its six exports resolved by their
// plain names and called with the calling convention the user chose. Win32 only.
#include "BridgeProtocol.h"

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
    // Makes the request's call. buffer: kBufferSize bytes, zeroed, for the call's data (the bytes to
    // write are copied into it first; a read leaves its bytes there).
    int32_t call(const BridgeProtocol::Request& request, uint8_t* buffer);

    // Far larger than any section, so a library that writes past the count harms nothing.
    static constexpr std::size_t kBufferSize = 1 << 20;

  private:
    HMODULE module_ = nullptr;
    CallConv conv_ = CallConv::Stdcall;
    void* exports_[6] = {};
};
