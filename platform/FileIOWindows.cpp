#include "FileIO.h"

#include "EInOutError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <string>
#include <utility>
#include <windows.h>

namespace {

// Closes a handle on every path out of a scope.
struct Handle {
    HANDLE h = INVALID_HANDLE_VALUE;
    Handle() = default;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(Handle&& other) noexcept : h(std::exchange(other.h, INVALID_HANDLE_VALUE)) {}
    Handle& operator=(Handle&&) = delete;
    ~Handle() {
        if (h != INVALID_HANDLE_VALUE)
            ::CloseHandle(h);
    }
    explicit operator bool() const { return h != INVALID_HANDLE_VALUE; }
};

std::wstring nativePath(const QString& path) {
    return FileIO::windowsPath(QFileInfo(path).absoluteFilePath()).toStdWString();
}

// Another program (a virus scanner, a sync client) may hold a file for a moment: these errors are
// waited out a bounded number of times.
constexpr int kAttempts = 10;
constexpr DWORD kRetryStepMs = 20;

// Runs attempt until it succeeds or fails for good; returns ERROR_SUCCESS or the last error.
template <class Attempt> DWORD withRetries(Attempt attempt) {
    for (int n = 1;; ++n) {
        if (attempt())
            return ERROR_SUCCESS;
        const DWORD err = ::GetLastError();
        if ((err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) || n == kAttempts)
            return err;
        if (FileIO::testHooks().retrySleep)
            FileIO::testHooks().retrySleep(n);
        else
            ::Sleep(kRetryStepMs * static_cast<DWORD>(n));
    }
}

// Opens an existing entry, shared with every other user of it; an invalid handle and *error on a failure.
Handle openExisting(const std::wstring& path, DWORD access, DWORD flags, DWORD* error) {
    HANDLE h = INVALID_HANDLE_VALUE;
    *error = withRetries([&] {
        h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, flags, nullptr);
        return h != INVALID_HANDLE_VALUE;
    });
    return Handle(h);
}

// A folder opens too (and is then refused as what it is), so that its refusal is not an error retried.
constexpr DWORD kAnyEntry = FILE_FLAG_BACKUP_SEMANTICS;

enum class Kind { Missing, PlainFile, Link, Folder, Other };
struct Entry {
    Kind kind = Kind::Missing;
    DWORD attributes = 0;
};

Entry entryOf(HANDLE h) {
    // A device (NUL, COM1) or a pipe gives whatever arrives, not a file's bytes.
    if (::GetFileType(h) != FILE_TYPE_DISK)
        return {Kind::Other, 0};
    FILE_ATTRIBUTE_TAG_INFO info{};
    if (!::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &info, sizeof info))
        return {Kind::Other, 0};
    // Only links name another entry; other reparse points (cloud placeholders) hold the file itself.
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(info.ReparseTag))
        return {Kind::Link, info.FileAttributes};
    if (info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return {Kind::Folder, info.FileAttributes};
    return {Kind::PlainFile, info.FileAttributes};
}

// The entry at path itself, never followed.
Entry inspect(const std::wstring& path) {
    DWORD err = 0;
    const Handle h = openExisting(path, FILE_READ_ATTRIBUTES, kAnyEntry | FILE_FLAG_OPEN_REPARSE_POINT, &err);
    if (!h) {
        if (err == ERROR_FILE_NOT_FOUND)
            return {};
        EInOutError::throwWindowsError(err);
    }
    return entryOf(h.h);
}

bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

Handle openForReading(const QString& path, bool followLinks = true) {
    if (path.isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    const std::wstring native = nativePath(path);
    const DWORD flags = kAnyEntry | FILE_FLAG_SEQUENTIAL_SCAN;
    DWORD err = 0;
    Handle file =
        openExisting(native, GENERIC_READ, flags | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), &err);
    if (!file)
        EInOutError::throwWindowsError(err);
    const Entry entry = entryOf(file.h);
    if (entry.kind != Kind::PlainFile)
        throw EInOutError(EInOutError::kAccessDenied);
    if (!followLinks && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A placeholder's bytes come only through the ordinary open, which must reach the same file.
        Handle followed = openExisting(native, GENERIC_READ, flags, &err);
        if (!followed)
            EInOutError::throwWindowsError(err);
        if (!sameFile(file.h, followed.h))
            throw EInOutError(EInOutError::kAccessDenied);
        std::swap(file.h, followed.h);
    }
    return file;
}

int64_t sizeOf(HANDLE h) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size))
        EInOutError::throwWindowsError(::GetLastError());
    return size.QuadPart;
}

// Reads up to count bytes, stopping early only at the end of the file; returns the bytes read.
std::size_t readUpTo(HANDLE h, uint8_t* into, std::size_t count) {
    std::size_t got = 0;
    while (got < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
        DWORD n = 0;
        if (!::ReadFile(h, into + got, chunk, &n, nullptr))
            EInOutError::throwWindowsError(::GetLastError());
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// Reads exactly count bytes and makes sure the file ends there: a file that shrank since its size was
// taken is "Read beyond end of file", one that grew an I/O error. Never stores more than count bytes.
void readWhole(HANDLE h, uint8_t* into, std::size_t count) {
    if (readUpTo(h, into, count) < count)
        throw EInOutError(EInOutError::kReadBeyondEnd);
    uint8_t extra = 0;
    if (readUpTo(h, &extra, 1) != 0)
        EInOutError::throwWindowsError(ERROR_IO_DEVICE);
}

// Temporary names, as on Linux: a leading dot, the start of the target's name (kept short, so that any
// name the folder accepts works as a target), the creating process and six random characters.
QString temporaryName(const QString& targetName) {
    QString start = targetName.left(40);
    if (!start.isEmpty() && start.back().isHighSurrogate())
        start.chop(1);
    QString name = "." + start + ".tarvel-" + QString::number(::GetCurrentProcessId()) + "-";
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return name;
}

bool processRuns(qint64 pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFLL || pid == ::GetCurrentProcessId())
        return false; // this process has no write in progress while it looks
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr)
        return ::GetLastError() == ERROR_ACCESS_DENIED; // one we may not look at still runs
    DWORD code = 0;
    const bool runs = !::GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    ::CloseHandle(process);
    return runs;
}

// A new file that is deleted again unless it is put in place.
struct Temporary {
    std::wstring path; // empty until the file exists, and again once it is in place
    ~Temporary() {
        if (!path.empty())
            ::DeleteFileW(path.c_str());
    }
};

// Attributes the new file takes over from the one it replaces.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                  FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

void writeAll(HANDLE h, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::size_t written = 0;
    while (written < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - written, 1u << 30));
        DWORD n = 0;
        const bool ok = ::WriteFile(h, bytes + written, chunk, &n, nullptr);
        if (!ok || n == 0) {
            // Fewer bytes than asked for could be written.
            const int code =
                ok ? EInOutError::kDiskFull : EInOutError::codeFromWindowsError(::GetLastError());
            throw EInOutError(code == EInOutError::kAccessDenied ? code : EInOutError::kDiskFull);
        }
        written += n;
    }
}

// Writes size bytes to a new file in folder, flushed and closed, named in temp.
void writeTemporary(Temporary& temp, const QString& folder, const QString& targetName, const void* data,
                    std::size_t size, DWORD attributes) {
    Handle file;
    std::wstring path;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        path = nativePath(QDir(folder).filePath(temporaryName(targetName)));
        file.h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD err = ::GetLastError();
        if (!file && err != ERROR_FILE_EXISTS && err != ERROR_ALREADY_EXISTS)
            EInOutError::throwWindowsError(err);
    }
    if (!file)
        EInOutError::throwWindowsError(ERROR_FILE_EXISTS);
    temp.path = path;
    writeAll(file.h, data, size);
    if (!::FlushFileBuffers(file.h))
        EInOutError::throwWindowsError(::GetLastError());
    if (FileIO::testHooks().afterFlush)
        FileIO::testHooks().afterFlush();
    const HANDLE h = file.h;
    file.h = INVALID_HANDLE_VALUE;
    if (!::CloseHandle(h))
        EInOutError::throwWindowsError(::GetLastError());
}

// Moves the flushed temporary over target; on a failure the temporary goes and target stays as it was.
void commit(Temporary& temp, const std::wstring& target) {
    const DWORD err = withRetries([&] {
        return ::MoveFileExW(temp.path.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    });
    if (err != ERROR_SUCCESS)
        EInOutError::throwWindowsError(err);
    temp.path.clear();
}

} // namespace

namespace FileIO {

int64_t fileSize(const QString& path) {
    const Handle file = openForReading(path);
    return sizeOf(file.h);
}

std::vector<uint8_t> readExactly(const QString& path, int64_t expectedSize) {
    const Handle file = openForReading(path);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(std::max<int64_t>(expectedSize, 0)));
    readWhole(file.h, bytes.data(), bytes.size());
    return bytes;
}

std::vector<uint8_t> readPlainFile(const QString& path, int64_t limit) {
    const Handle file = openForReading(path, false);
    const int64_t size = sizeOf(file.h);
    if (size > limit)
        throw EInOutError(EInOutError::kAccessDenied);
    std::vector<uint8_t> bytes(static_cast<std::size_t>(size));
    readWhole(file.h, bytes.data(), bytes.size());
    return bytes;
}

int64_t readFileUpTo(const QString& path, void* buffer, int64_t limit) {
    const Handle file = openForReading(path);
    const int64_t size = sizeOf(file.h);
    if (size > limit)
        return size;
    readWhole(file.h, static_cast<uint8_t*>(buffer), static_cast<std::size_t>(size));
    return size;
}

void replaceFile(const QString& path, const void* data, std::size_t size) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    const std::wstring target = nativePath(path);
    const Entry entry = inspect(target);
    DWORD attributes = 0;
    if (entry.kind != Kind::Missing) {
        // Only a plain file is replaced. A link is refused rather than followed: the new file would
        // otherwise land in a folder the user never named, or the move would replace the link itself.
        if (entry.kind != Kind::PlainFile || (entry.attributes & FILE_ATTRIBUTE_READONLY))
            throw EInOutError(EInOutError::kAccessDenied);
        // The move would succeed wherever the folder is writable: ask for the file's own permission.
        DWORD err = 0;
        if (!openExisting(target, FILE_WRITE_DATA, 0, &err))
            EInOutError::throwWindowsError(err);
        attributes = entry.attributes & kKeptAttributes;
    }
    removeStaleTemporaries(info.absolutePath());
    Temporary temp;
    writeTemporary(temp, info.absolutePath(), info.fileName(), data, size, attributes);
    commit(temp, target);
}

void replaceEntry(const QString& path, const void* data, std::size_t size) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.fileName().isEmpty())
        throw EInOutError(EInOutError::kInvalidFilename);
    const std::wstring target = nativePath(info.absoluteFilePath());
    const Entry entry = inspect(target);
    // A device name (NUL, COM1) names no entry of the folder: there is nothing to replace.
    if (entry.kind == Kind::Other)
        throw EInOutError(EInOutError::kAccessDenied);
    DWORD attributes = 0;
    if (entry.kind == Kind::PlainFile) {
        if (entry.attributes & FILE_ATTRIBUTE_READONLY)
            throw EInOutError(EInOutError::kAccessDenied);
        attributes = entry.attributes & kKeptAttributes;
    }
    Temporary temp;
    writeTemporary(temp, info.absolutePath(), info.fileName(), data, size, attributes);
    // A move cannot replace a folder; an empty one, or a link to one (removed itself, never what it
    // names), is in the way of nothing.
    if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !::RemoveDirectoryW(target.c_str()))
        throw EInOutError(EInOutError::kAccessDenied);
    commit(temp, target);
}

void removeStaleTemporaries(const QString& folder) {
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const std::optional<qint64> owner = temporaryOwner(name);
        if (!owner || processRuns(*owner))
            continue;
        const std::wstring path = nativePath(QDir(folder).filePath(name));
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES &&
            !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            ::DeleteFileW(path.c_str());
    }
}

TestHooks& testHooks() {
    static TestHooks hooks;
    return hooks;
}

} // namespace FileIO
