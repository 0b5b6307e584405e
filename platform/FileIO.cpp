#include "FileIO.h"

#include "EInOutError.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
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
        // Non-blocking, so that a pipe named as the file cannot hang the window; files ignore it.
        fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
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

// Reads up to count bytes, stopping early only at the end of the file; returns the bytes read.
std::size_t readUpTo(int fd, uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, into + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            EInOutError::throwErrno(errno);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// Reads exactly count bytes and makes sure the file ends there: a file that shrank since its size was
// taken is "Read beyond end of file", one that grew an I/O error. Never stores more than count bytes.
void readWhole(int fd, uint8_t* into, std::size_t count) {
    if (readUpTo(fd, into, count) < count)
        throw EInOutError(EInOutError::kReadBeyondEnd);
    uint8_t extra = 0;
    if (readUpTo(fd, &extra, 1) != 0)
        EInOutError::throwErrno(EIO);
}

// Flushes a folder's entries, so that a rename in it lasts; a failure here changes nothing for the file.
void flushFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
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
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max<int64_t>(expectedSize, 0)));
    readWhole(file.fd, bytes.data(), bytes.size());
    if (::close(file.release()) != 0)
        EInOutError::throwErrno(errno);
    return bytes;
}

int64_t readFileUpTo(const QString& path, void* buffer, int64_t limit) {
    Descriptor file{openForReading(path)};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        EInOutError::throwErrno(errno);
    const int64_t size = st.st_size;
    if (size > limit)
        return size;
    readWhole(file.fd, static_cast<uint8_t*>(buffer), static_cast<std::size_t>(size));
    if (::close(file.release()) != 0)
        EInOutError::throwErrno(errno);
    return size;
}

void replaceFile(const QString& path, const void* data, std::size_t size) {
    if (path.isEmpty() || QFileInfo(path).fileName().isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    // A link to a file is written through, as a plain open would write through it.
    QString resolved = path;
    struct stat linkStat {};
    if (::lstat(nativePath(path).constData(), &linkStat) == 0 && S_ISLNK(linkStat.st_mode)) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (!canonical.isEmpty())
            resolved = canonical;
    }
    const QFileInfo info(resolved);
    const QByteArray target = nativePath(resolved);
    const QString folder = info.absolutePath();

    struct stat st {};
    mode_t mode = 0666;
    bool existed = false;
    if (::stat(target.constData(), &st) == 0) {
        // Only a plain file is replaced: never a folder, a device or a pipe.
        if (!S_ISREG(st.st_mode) || nobodyMayWrite(st))
            throw EInOutError(EInOutError::kAccessDenied);
        // The rename would succeed wherever the folder is writable: ask for the file's own permission.
        if (::access(target.constData(), W_OK) != 0)
            EInOutError::throwErrno(errno);
        mode = st.st_mode & 07777;
        existed = true;
    } else if (errno != ENOENT) {
        EInOutError::throwErrno(errno);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    const QByteArray folderPath = nativePath(folder);
    struct stat folderStat {};
    if (::stat(folderPath.constData(), &folderStat) != 0)
        EInOutError::throwErrno(errno == ENOENT ? ENOTDIR : errno);
    if (!S_ISDIR(folderStat.st_mode))
        EInOutError::throwErrno(ENOTDIR);
    if (nobodyMayWrite(folderStat))
        throw EInOutError(EInOutError::kAccessDenied);

    // The temporary name stays short, so that any name the folder accepts works as a target.
    QByteArray temp = nativePath(folder + "/." + info.fileName().left(40) + ".XXXXXX");
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
    // The new file keeps the old one's owner where the system allows it, and its mode.
    if (existed && (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) &&
        ::fchown(file.fd, st.st_uid, st.st_gid) != 0) {
        // Not allowed for an ordinary user: the file is then theirs, as a new file would be.
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
    flushFolder(folderPath);
}

} // namespace FileIO
