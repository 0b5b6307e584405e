#pragma once
// Whole-file reads and writes for the section operations. Every failure is an EInOutError with the
// file error code; nothing is ever left half done.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace FileIO {

// Opens path read-only and returns its length in bytes. Anything but a plain file (a folder, a pipe, a
// device) is refused as access denied. The reads below open files the same way.
int64_t fileSize(const QString& path);

// Reads the whole file, which must hold exactly expectedSize bytes: a file that has shrunk is
// "Read beyond end of file", one that has grown an I/O error. Never reads more than expectedSize + 1.
std::vector<uint8_t> readExactly(const QString& path, int64_t expectedSize);

// Reads a whole file of a folder the program keeps itself (backups, notes, a full backup): only a plain
// file, never through a link, never waiting on a pipe. Anything else, and a file larger than limit bytes,
// is refused as access denied; a missing file is "File not found".
std::vector<uint8_t> readPlainFile(const QString& path, int64_t limit);

// Opens path read-only and takes its length; when that is at most limit, reads exactly that many bytes
// into buffer (which holds limit bytes), else reads nothing. Returns the length. A file that changes
// length meanwhile is a file error (as readExactly), so buffer never receives more than the length.
int64_t readFileUpTo(const QString& path, void* buffer, int64_t limit);

// Replaces path by exactly size bytes: they go to a new file in the same folder, which is flushed and
// renamed over the target, so the old file stays whole when anything fails, and no temporary remains.
// Where the system allows it the new file has no name until it is complete, so not even a crash leaves
// it behind; elsewhere leftover temporaries of this program in the folder are removed on the next call.
// A target or folder whose mode gives nobody write permission is refused ("File access denied"), as
// the owner asked, even for a user the system would let through; so is a target the user may not
// write, and anything but a plain file. A link is written through. A short write is "Disk full".
// On Windows a link at path (a symbolic link, a junction) is refused, and a read-only mark is such a mode.
// A file another program holds for a moment (a virus scanner, a sync client) is waited for a few times.
void replaceFile(const QString& path, const void* data, std::size_t size);

// As replaceFile, but for a folder the program keeps itself: the entry at path is replaced whatever it
// is, never followed (a link, a pipe or a device node is replaced by the file; an empty folder is
// removed first; a folder that holds anything is refused).
void replaceEntry(const QString& path, const void* data, std::size_t size);

// Whether name is a temporary file name this program makes, and the process that made it.
bool isTemporaryName(const QString& name);
std::optional<qint64> temporaryOwner(const QString& name);
// absolutePath as Windows' wide file functions take it: with backslashes, and from 248 characters on in
// the \\?\ form (\\?\UNC\ for a share), which lifts the limit of 260 characters a path otherwise has.
QString windowsPath(const QString& absolutePath);
// Removes from folder the temporary files this program left there: those of processes that have ended.
void removeStaleTemporaries(const QString& folder);

// Seams for tests: a hook run once a new file is written and flushed, before it is put in place (a test
// can kill the process there), a switch that makes every temporary file named from the start, and the
// wait before another attempt at a file another program holds (Windows; attempt counts from 1).
struct TestHooks {
    std::function<void()> afterFlush;
    bool namedTemporariesOnly = false;
    std::function<void(int attempt)> retrySleep;
};
TestHooks& testHooks();

} // namespace FileIO
