#pragma once
// File errors: one exception type carrying the operating-system or file error code, with the texts the
// standard error report shows.
#include <QString>
#include <stdexcept>

class EInOutError : public std::runtime_error {
  public:
    explicit EInOutError(int code);
    int errorCode() const { return code_; }

    // Codes of the file errors the program tells apart.
    static constexpr int kFileNotFound = 2;
    static constexpr int kInvalidFilename = 3;
    static constexpr int kTooManyOpenFiles = 4;
    static constexpr int kAccessDenied = 5;
    static constexpr int kReadBeyondEnd = 100; // fewer bytes read than asked for
    static constexpr int kDiskFull = 101;      // fewer bytes written than asked for
    static constexpr int kInvalidNumericInput = 106;

    // "File not found", ..., or "I/O error %d" for a code of no name.
    static QString textFor(int code);
    // The file error code for an errno value.
    static int codeFromErrno(int err);
    // Throws the file error for errno value err.
    [[noreturn]] static void throwErrno(int err);
#ifdef _WIN32
    // The file error code for a Windows error (GetLastError()).
    static int codeFromWindowsError(unsigned long err);
    // Throws the file error for Windows error err.
    [[noreturn]] static void throwWindowsError(unsigned long err);
#endif

  private:
    int code_;
};
