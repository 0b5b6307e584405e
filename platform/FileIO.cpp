#include "FileIO.h"

#include "EInOutError.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <csignal>
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

int openForReading(const QString& path, bool followLinks = true) {
    if (path.isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    // A pipe or a device would give whatever arrives, not a file's bytes: refuse it before opening.
    struct stat before {};
    const int found = followLinks ? ::stat(nativePath(path).constData(), &before)
                                  : ::lstat(nativePath(path).constData(), &before);
    if (found == 0 && !S_ISREG(before.st_mode))
        throw EInOutError(EInOutError::kAccessDenied);
    int fd;
    do
        // Non-blocking, so that a pipe named as the file cannot hang the window; files ignore it.
        fd = ::open(nativePath(path).constData(),
                    O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW));
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        EInOutError::throwErrno(errno == ELOOP ? EACCES : errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        EInOutError::throwErrno(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw EInOutError(EInOutError::kAccessDenied);
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

mode_t newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The folder a new file goes to, which must exist and must not be closed to writing by its mode.
QByteArray checkedFolder(const QString& folder) {
    const QByteArray folderPath = nativePath(folder);
    struct stat folderStat {};
    if (::stat(folderPath.constData(), &folderStat) != 0)
        EInOutError::throwErrno(errno == ENOENT ? ENOTDIR : errno);
    if (!S_ISDIR(folderStat.st_mode))
        EInOutError::throwErrno(ENOTDIR);
    if (nobodyMayWrite(folderStat))
        throw EInOutError(EInOutError::kAccessDenied);
    return folderPath;
}

// Temporary names: hidden, the start of the target's name (kept short, so that any name the folder
// accepts works as a target), the creating process and six random characters.
QByteArray temporaryPrefix(const QByteArray& folder, const QString& targetName) {
    return folder + "/." + nativePath(targetName.left(40)) + ".tarvel-" + QByteArray::number(::getpid()) +
           "-";
}

bool processRuns(qint64 pid) {
    if (pid <= 0 || pid == ::getpid())
        return false; // this process has no write in progress while it looks
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void writeAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, bytes + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Fewer bytes than asked for could be written.
            const int code = n == 0 ? EInOutError::kDiskFull : EInOutError::codeFromErrno(errno);
            throw EInOutError(code == EInOutError::kAccessDenied ? code : EInOutError::kDiskFull);
        }
        written += static_cast<std::size_t>(n);
    }
}

// Writes size bytes to a new file in folder, flushed, with mode (and the owner of existing, where the
// system allows it), and returns the file's temporary name. Nothing is left behind on a failure.
QByteArray writeTemporary(const QByteArray& folder, const QString& targetName, const void* data,
                          std::size_t size, mode_t mode, const struct stat* existing,
                          bool mayBeUnnamed = true) {
    const QByteArray prefix = temporaryPrefix(folder, targetName);
    Descriptor file;
    QByteArray name;
#ifdef O_TMPFILE
    // A file without a name until it is complete cannot outlive a crash.
    bool unnamed = false;
    if (mayBeUnnamed && !FileIO::testHooks().namedTemporariesOnly) {
        file.fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (file.fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            EInOutError::throwErrno(errno);
        unnamed = file.fd >= 0;
    }
#else
    const bool unnamed = false;
    (void)mayBeUnnamed;
#endif
    if (!unnamed) {
        name = prefix + "XXXXXX";
        file.fd = ::mkstemp(name.data());
        if (file.fd < 0)
            EInOutError::throwErrno(errno);
    }
    auto fail = [&](int code) {
        ::close(file.release());
        if (!name.isEmpty())
            ::unlink(name.constData());
        throw EInOutError(code);
    };
    try {
        writeAll(file.fd, data, size);
    } catch (const EInOutError& e) {
        fail(e.errorCode());
    }
    // The new file keeps the old one's owner where the system allows it, and its mode.
    if (existing != nullptr && (existing->st_uid != ::geteuid() || existing->st_gid != ::getegid()) &&
        ::fchown(file.fd, existing->st_uid, existing->st_gid) != 0) {
        // Not allowed for an ordinary user: the file is then theirs, as a new file would be.
    }
    if (::fchmod(file.fd, mode) != 0 || ::fsync(file.fd) != 0)
        fail(EInOutError::codeFromErrno(errno));
    if (FileIO::testHooks().afterFlush)
        FileIO::testHooks().afterFlush();
#ifdef O_TMPFILE
    if (unnamed) {
        // It gets a name only now, for the rename; without /proc it is written again under a name.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd);
        for (int attempt = 0; attempt < 100 && name.isEmpty(); ++attempt) {
            QByteArray candidate = prefix;
            static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
            for (int i = 0; i < 6; ++i)
                candidate += kLetters[QRandomGenerator::global()->bounded(62)];
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, candidate.constData(), AT_SYMLINK_FOLLOW) == 0)
                name = candidate;
            else if (errno != EEXIST)
                break;
        }
        if (name.isEmpty()) {
            ::close(file.release());
            return writeTemporary(folder, targetName, data, size, mode, existing, false);
        }
    }
#endif
    if (::close(file.release()) != 0) {
        const int err = errno;
        ::unlink(name.constData());
        EInOutError::throwErrno(err);
    }
    return name;
}

// Renames the flushed temporary over target and flushes the folder, so that the rename lasts.
void commit(const QByteArray& temp, const QByteArray& target, const QByteArray& folder) {
    if (::rename(temp.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temp.constData());
        EInOutError::throwErrno(err);
    }
    flushFolder(folder);
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

std::vector<uint8_t> readPlainFile(const QString& path, int64_t limit) {
    Descriptor file{openForReading(path, false)};
    struct stat st {};
    if (::fstat(file.fd, &st) != 0)
        EInOutError::throwErrno(errno);
    if (st.st_size > limit)
        throw EInOutError(EInOutError::kAccessDenied);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(st.st_size));
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
    const QByteArray target = nativePath(resolved);

    struct stat st {};
    const struct stat* existing = nullptr;
    mode_t mode = newFileMode();
    if (::stat(target.constData(), &st) == 0) {
        // Only a plain file is replaced: never a folder, a device or a pipe.
        if (!S_ISREG(st.st_mode) || nobodyMayWrite(st))
            throw EInOutError(EInOutError::kAccessDenied);
        // The rename would succeed wherever the folder is writable: ask for the file's own permission.
        if (::access(target.constData(), W_OK) != 0)
            EInOutError::throwErrno(errno);
        mode = st.st_mode & 07777;
        existing = &st;
    } else if (errno != ENOENT) {
        EInOutError::throwErrno(errno);
    }
    const QFileInfo info(resolved);
    const QByteArray folder = checkedFolder(info.absolutePath());
    removeStaleTemporaries(info.absolutePath());
    commit(writeTemporary(folder, info.fileName(), data, size, mode, existing), target, folder);
}

void replaceEntry(const QString& path, const void* data, std::size_t size) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    const QByteArray target = nativePath(info.absoluteFilePath());
    struct stat st {};
    mode_t mode = newFileMode();
    if (::lstat(target.constData(), &st) == 0) {
        if (S_ISREG(st.st_mode)) {
            if (nobodyMayWrite(st))
                throw EInOutError(EInOutError::kAccessDenied);
            mode = st.st_mode & 07777;
        }
    } else if (errno != ENOENT) {
        EInOutError::throwErrno(errno);
    }
    const QByteArray folder = checkedFolder(info.absolutePath());
    const QByteArray temp = writeTemporary(folder, info.fileName(), data, size, mode, nullptr);
    // A rename cannot replace a folder; an empty one is in the way of nothing.
    if (S_ISDIR(st.st_mode) && ::rmdir(target.constData()) != 0) {
        ::unlink(temp.constData());
        throw EInOutError(EInOutError::kAccessDenied);
    }
    commit(temp, target, folder);
}

void removeStaleTemporaries(const QString& folder) {
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const std::optional<qint64> owner = temporaryOwner(name);
        if (!owner || processRuns(*owner))
            continue;
        const QByteArray path = nativePath(folder + "/" + name);
        struct stat st {};
        if (::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink(path.constData());
    }
}

TestHooks& testHooks() {
    static TestHooks hooks;
    return hooks;
}

} // namespace FileIO
