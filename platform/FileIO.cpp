#include "FileIO.h"

#include "EInOutError.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor on every path out of a scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    int release() {
        int f = fd;
        fd = -1;
        return f;
    }
};

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

int openForReading(const QString& path) {
    if (path.isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    int fd;
    do
        fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        EInOutError::throwErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        EInOutError::throwErrno(err);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        EInOutError::throwErrno(EISDIR);
    }
    return fd;
}

bool nobodyMayWrite(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

namespace FileIO {

int64_t fileSize(const QString& path) {
    Descriptor file{openForReading(path)};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        EInOutError::throwErrno(errno);
    return st.st_size;
}

std::vector<uint8_t> readExactly(const QString& path, int64_t expectedSize) {
    Descriptor file{openForReading(path)};
    std::vector<uint8_t> bytes(static_cast<std::size_t>(expectedSize) + 1);
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(file.fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            EInOutError::throwErrno(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    if (got < static_cast<std::size_t>(expectedSize))
        throw EInOutError(EInOutError::kReadBeyondEnd);
    if (got > static_cast<std::size_t>(expectedSize))
        EInOutError::throwErrno(EIO); // the file grew while it was read
    bytes.resize(got);
    if (::close(file.release()) != 0)
        EInOutError::throwErrno(errno);
    return bytes;
}

void replaceFile(const QString& path, const void* data, std::size_t size) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    const QByteArray target = nativePath(path);
    const QString folder = info.absolutePath();

    struct stat st {};
    mode_t mode = 0666;
    if (::stat(target.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode) || nobodyMayWrite(st))
            throw EInOutError(EInOutError::kAccessDenied);
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        EInOutError::throwErrno(errno);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    struct stat folderStat {};
    if (::stat(nativePath(folder).constData(), &folderStat) != 0)
        EInOutError::throwErrno(errno == ENOENT ? ENOTDIR : errno);
    if (nobodyMayWrite(folderStat))
        throw EInOutError(EInOutError::kAccessDenied);

    QByteArray temp = nativePath(folder + "/." + info.fileName() + ".XXXXXX");
    Descriptor file{::mkstemp(temp.data())};
    if (file.fd < 0)
        EInOutError::throwErrno(errno);
    auto fail = [&](int code) {
        ::close(file.release());
        ::unlink(temp.constData());
        throw EInOutError(code);
    };

    const auto* bytes = static_cast<const uint8_t*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(file.fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Fewer bytes than asked for could be written.
            const int code = n == 0 ? EInOutError::kDiskFull : EInOutError::codeFromErrno(errno);
            fail(code == EInOutError::kAccessDenied ? code : EInOutError::kDiskFull);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(file.fd, mode) != 0 || ::fsync(file.fd) != 0)
        fail(EInOutError::codeFromErrno(errno));
    if (::close(file.release()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        EInOutError::throwErrno(err);
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        EInOutError::throwErrno(err);
    }
}

} // namespace FileIO
