// gbp-bridge [--callconv stdcall|cdecl|register] LIBRARY
// gbp-bridge --version
// Loads the phone's service library and serves its six operations on standard input and output
// (BridgeProtocol.h). Messages go to standard error. Exit codes: 0 when the client closes the input,
// 2 for a bad command line, 3 for a protocol error, 4 when the library cannot be used, 5 when it crashed.
#include "BridgeProtocol.h"
#include "VendorLibrary.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace BridgeProtocol;

constexpr int kExitUsage = 2;
constexpr int kExitProtocol = 3;
constexpr int kExitLibrary = 4;
constexpr int kExitCrash = 5;

#if defined(__i386__)
constexpr const char* kArch = "i686";
#else
constexpr const char* kArch = "x86_64";
#endif

// The call in progress, named in the report of a crash.
const char* volatile currentCall = "no call";

void report(const std::string& text) {
    const std::string line = "gbp-bridge: " + text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &written, nullptr);
}

// A fault inside the library ends the bridge at once with a report, never with a debugger or a
// dialog; the client sees the pipe close.
LONG WINAPI onCrash(EXCEPTION_POINTERS* info) {
    char text[160];
    std::snprintf(text, sizeof text, "the library crashed in %s (exception 0x%08lx)", currentCall,
                  static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode));
    report(text);
    TerminateProcess(GetCurrentProcess(), kExitCrash);
    return EXCEPTION_EXECUTE_HANDLER;
}

class Channel {
  public:
    Channel(HANDLE in, HANDLE out) : in_(in), out_(out) {}

    // Reads until one message decodes. Returns false at the end of the input; exits on a malformed one.
    template <class Message> bool receive(Message& message) {
        for (;;) {
            const Decoded decoded = decode(std::span<const uint8_t>(inbox_), message);
            if (decoded.status == DecodeStatus::Malformed) {
                report("protocol error: " + decoded.error);
                ExitProcess(kExitProtocol);
            }
            if (decoded.status == DecodeStatus::Complete) {
                inbox_.erase(inbox_.begin(), inbox_.begin() + std::ptrdiff_t(decoded.used));
                return true;
            }
            uint8_t chunk[4096];
            DWORD got = 0;
            if (!ReadFile(in_, chunk, sizeof chunk, &got, nullptr) || got == 0) {
                if (!inbox_.empty())
                    report("the input ended inside a message");
                return false;
            }
            inbox_.insert(inbox_.end(), chunk, chunk + got);
        }
    }

    bool send(const std::vector<uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            if (!WriteFile(out_, bytes.data() + done, DWORD(bytes.size() - done), &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return true;
    }

  private:
    HANDLE in_;
    HANDLE out_;
    std::vector<uint8_t> inbox_;
};

int serve(const std::wstring& libraryPath, CallConv conv) {
    // The protocol keeps the original output; whatever the library prints goes to standard error.
    // (A copy of the handle: the C runtime closes the original when its descriptor 1 is redirected.)
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_OUTPUT_HANDLE), GetCurrentProcess(), &out, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
        report("the standard output cannot be used");
        return kExitProtocol;
    }
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
    _dup2(_fileno(stderr), _fileno(stdout));
    Channel channel(in, out);

    VendorLibrary library;
    HelloAnswer answer;
    answer.status = library.load(libraryPath, conv, answer.text);

    Hello hello;
    if (!channel.receive(hello))
        return 0;
    if (hello.version != kVersion) {
        answer.status = HelloStatus::VersionRefused;
        answer.text = "the bridge speaks version " + std::to_string(kVersion) + ", not " +
                      std::to_string(hello.version);
    }
    channel.send(encode(answer));
    if (answer.status != HelloStatus::Ready) // the client tells the user
        return answer.status == HelloStatus::VersionRefused ? kExitProtocol : kExitLibrary;

    static uint8_t buffer[VendorLibrary::kBufferSize];
    Request request;
    while (channel.receive(request)) {
        std::memset(buffer, 0, kMaxData);
        currentCall = exportName(request.op);
        Answer reply;
        VendorLibrary::Result result = library.call(request, buffer);
        currentCall = "no call";
        reply.result = result.value;
        reply.refusal = std::move(result.refusal);
        if (request.op == Op::Read && reply.refusal.empty())
            reply.data.assign(buffer, buffer + readAnswerBytes(request.value, reply.result));
        if (!channel.send(encode(reply)))
            return 0;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // No system dialogs: a missing dependency or a fault is reported, never asked about.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(onCrash);

    CallConv conv = CallConv::Stdcall;
    std::wstring library;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--version") {
            std::printf("gbp-bridge %u %s\n", kVersion, kArch);
            return 0;
        }
        if (arg == L"--callconv" && i + 1 < argc) {
            const std::wstring name = argv[++i];
            if (!parseCallConv(std::string(name.begin(), name.end()), conv)) {
                report("unknown calling convention (use stdcall, cdecl or register)");
                return kExitUsage;
            }
        } else if (arg.rfind(L"--", 0) == 0 || !library.empty()) {
            library.clear();
            break;
        } else {
            library = arg;
        }
    }
    if (library.empty()) {
        report("usage: gbp-bridge [--callconv stdcall|cdecl|register] LIBRARY");
        return kExitUsage;
    }
    return serve(library, conv);
}
