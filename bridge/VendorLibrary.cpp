#include "VendorLibrary.h"

#include <array>
#include <cstdlib>
#include <cstring>

using BridgeProtocol::HelloStatus;
using BridgeProtocol::Op;
using BridgeProtocol::Request;
using Step = CallConvGuard::Step;

#if defined(__i386__)
// Calls function with count 32-bit arguments so that every convention finds them: on the stack as
// cdecl and stdcall expect them (the first at the lowest address, the stack 16-byte aligned), and
// the first three also in EAX, EDX and ECX as Delphi's register does. args holds at least
// max(count, 3) values. The stack pointer is kept in EBX, which every convention preserves, and
// restored after the call; *removed gets the bytes of arguments the callee took off the stack.
int32_t callAllConventions(void* function, const uint32_t* args, uint32_t count,
                           uint32_t* removed) __asm__("tarvel_call_all_conventions");
__asm__(R"(
    .text
    .p2align 4
tarvel_call_all_conventions:
    pushl %ebp
    movl  %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl  %esp, %ebx          # the stack pointer to return to
    movl  16(%ebp), %ecx      # count
    leal  0(,%ecx,4), %eax
    subl  %eax, %esp
    andl  $-16, %esp
    movl  %esp, %edi          # where the arguments start, the callee's return takes it from here
    movl  12(%ebp), %esi      # args
    xorl  %edx, %edx
1:  cmpl  %ecx, %edx
    jae   2f
    movl  (%esi,%edx,4), %eax
    movl  %eax, (%edi,%edx,4)
    incl  %edx
    jmp   1b
2:  movl  (%esi), %eax
    movl  4(%esi), %edx
    movl  8(%esi), %ecx
    call  *8(%ebp)
    movl  %esp, %ecx
    subl  %edi, %ecx          # bytes the callee removed
    movl  20(%ebp), %edx
    movl  %ecx, (%edx)
    movl  %ebx, %esp
    popl  %edi
    popl  %esi
    popl  %ebx
    popl  %ebp
    ret
)");
#endif

namespace {

#if defined(__i386__)
#define GBP_STDCALL __attribute__((stdcall))
#define GBP_CDECL __attribute__((cdecl))
#define GBP_REGISTER __attribute__((regparm(3), stdcall))
constexpr bool kGuarded = true;

int32_t throughThunk(void* function, const std::array<uint32_t, 4>& args, uint32_t count, uint32_t& removed) {
    return callAllConventions(function, args.data(), count, &removed);
}
#else
#define GBP_STDCALL
#define GBP_CDECL
#define GBP_REGISTER
constexpr bool kGuarded = false; // one convention

int32_t throughThunk(void*, const std::array<uint32_t, 4>&, uint32_t, uint32_t&) {
    std::abort(); // an unguarded library is never called through the thunk
}
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
    guard_ = CallConvGuard(conv, kGuarded);
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

VendorLibrary::Result VendorLibrary::call(const Request& request, uint8_t* buffer) {
    const auto refuse = [&] {
        callDirect({Op::End, 0, 0, 0, {}}, buffer); // no arguments: safe in every convention
        return Result{-1, guard_.refusal()};
    };
    uint32_t removed = 0;
    switch (guard_.next(request.op)) {
    case Step::Direct:
        return {callDirect(request, buffer), {}};
    case Step::Refuse:
        return {-1, guard_.refusal()};
    case Step::Thunk: { // InitGBPMode, its port in the first slot and in EAX
        const int32_t value = throughThunk(exports_[int(Op::Init) - 1], {request.a, 0, 0, 0}, 1, removed);
        if (!guard_.report(Op::Init, removed))
            return refuse();
        return {value, {}};
    }
    case Step::ProbeFirst: {
        // Laid out as cdecl, group, number and buffer in EAX, EDX and ECX: a register library reads a
        // count of the group into the buffer. The result says nothing.
        const std::array<uint32_t, 4> args = {request.a, request.b,
                                              uint32_t(reinterpret_cast<uintptr_t>(buffer)),
                                              uint32_t(CallConvGuard::kProbeCount)};
        throughThunk(exports_[int(Op::Read) - 1], args, 4, removed);
        std::memset(buffer, 0, std::size_t(BridgeProtocol::kMaxData));
        if (!guard_.report(Op::Read, removed))
            return refuse();
        return call(request, buffer);
    }
    }
    return {-1, {}};
}

int32_t VendorLibrary::callDirect(const Request& request, uint8_t* buffer) {
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
