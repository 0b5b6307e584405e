// A stand-in for the phone's service library, for the bridge tests: the six exports, built with the
// calling convention that STANDIN_STDCALL, STANDIN_CDECL or STANDIN_REGISTER names (x86_64: none).
// It keeps each NVM file as GG-NN.bin in the folder named by TARVEL_STANDIN_DIR, answers on COM 1
// only and refuses file operations outside GBP mode.
// Faults, read at every call from the environment, or else from a file of the variable's name in the
// folder (so that a test can stage one while the bridge runs):
//   TARVEL_STANDIN_FAIL_INIT=N      InitGBPMode returns N
//   TARVEL_STANDIN_HANG=EXPORT      that export never returns
//   TARVEL_STANDIN_CRASH=EXPORT     that export writes through a null pointer
//   TARVEL_STANDIN_WRONG_COUNT=N    a whole-file ReadNVMFile returns N instead of the length
//   TARVEL_STANDIN_SHORT_WRITE=N    WriteNVMFile keeps only the first N bytes and reports success
// With TARVEL_STANDIN_LOG=NAME in the environment, every export appends its name and a line break to
// the file NAME in the folder, so a test sees which calls reached the library.
// Built with STANDIN_WITHOUT_CLEAR it lacks the ClearNVMFile export.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(STANDIN_STDCALL)
#define STANDIN_CC __attribute__((stdcall))
#elif defined(STANDIN_CDECL)
#define STANDIN_CC __attribute__((cdecl))
#elif defined(STANDIN_REGISTER)
#define STANDIN_CC __attribute__((regparm(3), stdcall))
#else
#define STANDIN_CC
#endif
#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace {

bool inGbpMode = false;

std::string env(const char* name) {
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string fault(const char* name) {
    const std::string value = env(name);
    if (!value.empty())
        return value;
    FILE* f = std::fopen((env("TARVEL_STANDIN_DIR") + "\\" + name).c_str(), "rb");
    if (!f)
        return {};
    char text[64];
    const std::size_t n = std::fread(text, 1, sizeof text, f);
    std::fclose(f);
    return std::string(text, n);
}

// Logs the call, and hangs or crashes when the environment asks for it in this export.
void faultPoint(const char* exportName) {
    const std::string log = env("TARVEL_STANDIN_LOG");
    if (!log.empty()) {
        if (FILE* f = std::fopen((env("TARVEL_STANDIN_DIR") + "\\" + log).c_str(), "ab")) {
            std::fprintf(f, "%s\n", exportName);
            std::fclose(f);
        }
    }
    if (fault("TARVEL_STANDIN_HANG") == exportName)
        for (;;)
            Sleep(INFINITE);
    if (fault("TARVEL_STANDIN_CRASH") == exportName)
        *static_cast<volatile int*>(nullptr) = 1;
}

std::string sectionPath(uint8_t group, uint8_t number) {
    char name[16];
    std::snprintf(name, sizeof name, "\\%02u-%02u.bin", unsigned(group), unsigned(number));
    return env("TARVEL_STANDIN_DIR") + name;
}

bool readSection(uint8_t group, uint8_t number, std::vector<char>& bytes) {
    FILE* f = std::fopen(sectionPath(group, number).c_str(), "rb");
    if (!f)
        return false;
    char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
    return true;
}

} // namespace

STANDIN_EXPORT int32_t STANDIN_CC InitGBPMode(uint8_t port) {
    faultPoint("InitGBPMode");
    const std::string fail = fault("TARVEL_STANDIN_FAIL_INIT");
    if (!fail.empty())
        return std::atoi(fail.c_str());
    if (port != 1)
        return 1;
    inGbpMode = true;
    return 0;
}

STANDIN_EXPORT int32_t STANDIN_CC EndGBPMode() {
    faultPoint("EndGBPMode");
    inGbpMode = false;
    return 0;
}

STANDIN_EXPORT int32_t STANDIN_CC GetNVMFileSize(uint8_t group, uint8_t number) {
    faultPoint("GetNVMFileSize");
    std::vector<char> bytes;
    if (!inGbpMode || !readSection(group, number, bytes))
        return -1;
    return static_cast<int32_t>(bytes.size());
}

STANDIN_EXPORT int32_t STANDIN_CC ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    faultPoint("ReadNVMFile");
    std::vector<char> bytes;
    if (!inGbpMode || !readSection(group, number, bytes) || count < 0)
        return -1;
    const std::size_t n = count > 0 ? std::min<std::size_t>(std::size_t(count), bytes.size()) : bytes.size();
    std::memcpy(buffer, bytes.data(), n);
    const std::string wrong = fault("TARVEL_STANDIN_WRONG_COUNT");
    if (count == 0 && !wrong.empty())
        return std::atoi(wrong.c_str());
    return static_cast<int32_t>(n);
}

STANDIN_EXPORT int32_t STANDIN_CC WriteNVMFile(uint8_t group, uint8_t number, const void* buffer,
                                               int32_t length) {
    faultPoint("WriteNVMFile");
    if (!inGbpMode || length < 0)
        return -1;
    const std::string shortWrite = fault("TARVEL_STANDIN_SHORT_WRITE");
    if (!shortWrite.empty())
        length = std::min(length, std::atoi(shortWrite.c_str()));
    const std::string path = sectionPath(group, number);
    const std::string temporary = path + ".new";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f)
        return -2;
    // On disk before the file replaces the old one, as the virtual phone does it.
    const bool written = std::fwrite(buffer, 1, std::size_t(length), f) == std::size_t(length) &&
                         std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
    if (std::fclose(f) != 0 || !written ||
        !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return -2;
    return 0;
}

#ifndef STANDIN_WITHOUT_CLEAR
STANDIN_EXPORT int32_t STANDIN_CC ClearNVMFile(uint8_t group, uint8_t number) {
    faultPoint("ClearNVMFile");
    if (!inGbpMode)
        return -1;
    const std::string path = sectionPath(group, number);
    return DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : -2;
}
#endif
