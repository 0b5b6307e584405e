#include "VendorLibrary.h"

#include <cstring>

using BridgeProtocol::HelloStatus;
using BridgeProtocol::Op;
using BridgeProtocol::Request;

namespace {

#if defined(__i386__)
#define GBP_STDCALL __attribute__((stdcall))
#define GBP_CDECL __attribute__((cdecl))
#define GBP_REGISTER __attribute__((regparm(3), stdcall))
#else
#define GBP_STDCALL
#define GBP_CDECL
#define GBP_REGISTER
#endif

// The six signatures under one convention.
#define GBP_SIGNATURES(CC)                                                                                   \
    using Init = int32_t(CC*)(uint8_t);                                                                      \
    using End = int32_t(CC*)();                                                                              \
    using Size = int32_t(CC*)(uint8_t, uint8_t);                                                             \
    using Read = int32_t(CC*)(uint8_t, uint8_t, void*, int32_t);                                             \
    using Write = int32_t(CC*)(uint8_t, uint8_t, const void*, int32_t);                                      \
    using Clear = int32_t(CC*)(uint8_t, uint8_t);

struct Stdcall {
    GBP_SIGNATURES(GBP_STDCALL)
};
struct Cdecl {
    GBP_SIGNATURES(GBP_CDECL)
};
struct Register {
    GBP_SIGNATURES(GBP_REGISTER)
};

// Export i of the table is the one for operation i + 1.
template <class F> F as(void* const* exports, Op op) {
    return reinterpret_cast<F>(exports[static_cast<int>(op) - 1]);
}

template <class C> int32_t invoke(void* const* exports, const Request& r, uint8_t* buffer) {
    switch (r.op) {
    case Op::Init:
        return as<typename C::Init>(exports, r.op)(r.a);
    case Op::End:
        return as<typename C::End>(exports, r.op)();
    case Op::Size:
        return as<typename C::Size>(exports, r.op)(r.a, r.b);
    case Op::Read:
        return as<typename C::Read>(exports, r.op)(r.a, r.b, buffer, r.value);
    case Op::Write:
        return as<typename C::Write>(exports, r.op)(r.a, r.b, buffer, r.value);
    case Op::Clear:
        return as<typename C::Clear>(exports, r.op)(r.a, r.b);
    }
    return -1;
}

std::string systemMessage(DWORD code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : std::string();
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return "error " + std::to_string(code) + (message.empty() ? "" : ": " + message);
}

} // namespace

VendorLibrary::~VendorLibrary() {
    if (module_)
        FreeLibrary(module_);
}

HelloStatus VendorLibrary::load(const std::wstring& path, CallConv conv, std::string& error) {
    conv_ = conv;
    // Dependencies of the library are looked for in its own folder first.
    module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!module_) {
        error = "the library could not be loaded (" + systemMessage(GetLastError()) + ")";
        return HelloStatus::LibraryFailed;
    }
    for (int i = 0; i < 6; ++i) {
        const char* name = BridgeProtocol::exportName(static_cast<Op>(i + 1));
        exports_[i] = reinterpret_cast<void*>(GetProcAddress(module_, name));
        if (!exports_[i]) {
            error = std::string("the library has no export ") + name;
            return HelloStatus::ExportMissing;
        }
    }
    return HelloStatus::Ready;
}

int32_t VendorLibrary::call(const Request& request, uint8_t* buffer) {
    if (request.op == Op::Write)
        std::memcpy(buffer, request.data.data(), request.data.size());
    switch (conv_) {
    case CallConv::Cdecl:
        return invoke<Cdecl>(exports_, request, buffer);
    case CallConv::Register:
        return invoke<Register>(exports_, request, buffer);
    default:
        return invoke<Stdcall>(exports_, request, buffer);
    }
}
