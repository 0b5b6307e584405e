#include "EInOutError.h"

#include <cerrno>

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
    case EISDIR: // a folder opened as a file is refused as on the original platform
    case ETXTBSY:
        return kAccessDenied;
    case ENOSPC:
    case EFBIG:
    case EDQUOT:
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
