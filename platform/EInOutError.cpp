#include "EInOutError.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

EInOutError::EInOutError(int code) : std::runtime_error(textFor(code).toStdString()), code_(code) {}

QString EInOutError::textFor(int code) {
    switch (code) {
    case kFileNotFound:
        return "File not found";
    case kInvalidFilename:
        return "Invalid filename";
    case kTooManyOpenFiles:
        return "Too many open files";
    case kAccessDenied:
        return "File access denied";
    case kReadBeyondEnd:
        return "Read beyond end of file";
    case kDiskFull:
        return "Disk full";
    case kInvalidNumericInput:
        return "Invalid numeric input";
    default:
        return QString("I/O error %1").arg(code);
    }
}

int EInOutError::codeFromErrno(int err) {
    switch (err) {
    case ENOENT:
        return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case EINVAL:
    case ELOOP:
        return kInvalidFilename;
    case EMFILE:
    case ENFILE:
        return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: // a folder opened as a file is refused, as access denied
    case ETXTBSY:
        return kAccessDenied;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT // Windows' C runtime knows no quotas
    case EDQUOT:
#endif
        return kDiskFull;
    case EIO:
        return 1117; // the platform's "I/O device error"; errno's own 5 would read as access denied
    default:
        return err;
    }
}

void EInOutError::throwErrno(int err) {
    throw EInOutError(codeFromErrno(err));
}

#ifdef _WIN32
int EInOutError::codeFromWindowsError(unsigned long err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
        return kFileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: // a name longer than the system takes
    case ERROR_DIRECTORY:
        return kInvalidFilename;
    case ERROR_TOO_MANY_OPEN_FILES:
        return kTooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return kAccessDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return kDiskFull;
    default:
        return static_cast<int>(err);
    }
}

void EInOutError::throwWindowsError(unsigned long err) {
    throw EInOutError(codeFromWindowsError(err));
}
#endif
