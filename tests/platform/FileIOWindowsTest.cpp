#include "EInOutError.h"
#include "FileIO.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>
#include <winioctl.h>

namespace {

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// The file error a call throws, or -1 when it throws none.
template <class Call> int errorOf(Call call) {
    try {
        call();
    } catch (const EInOutError& e) {
        return e.errorCode();
    }
    return -1;
}

// Opens path as another program would, with the given sharing.
HANDLE holdOpen(const QString& path, DWORD share) {
    return ::CreateFileW(native(path).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Every attempt the file layer waits before, in order; a wait past any sensible bound stops the call.
struct CountedWaits {
    std::vector<int> attempts;
    std::function<void(int)> whenWaiting;
    CountedWaits() {
        FileIO::testHooks().retrySleep = [this](int attempt) {
            attempts.push_back(attempt);
            if (attempts.size() > 1000)
                throw std::runtime_error("the waits have no bound");
            if (whenWaiting)
                whenWaiting(attempt);
        };
    }
    ~CountedWaits() { FileIO::testHooks().retrySleep = nullptr; }
};

std::vector<int> oneTo(int last) {
    std::vector<int> numbers;
    for (int n = 1; n <= last; ++n)
        numbers.push_back(n);
    return numbers;
}

// Makes folder a junction to target, as mklink /J does; returns the error, ERROR_SUCCESS once made.
DWORD makeJunction(const QString& folder, const QString& target) {
    if (!::CreateDirectoryW(native(folder).c_str(), nullptr))
        return ::GetLastError();
    const std::wstring substitute = L"\\??\\" + native(target);
    const std::wstring print = native(target);
    struct {
        DWORD tag;
        WORD dataLength;
        WORD reserved;
        WORD substituteOffset, substituteLength, printOffset, printLength;
        WCHAR names[2 * MAX_PATH];
    } buffer{};
    buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer.substituteLength = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
    buffer.printOffset = static_cast<WORD>(buffer.substituteLength + sizeof(WCHAR));
    buffer.printLength = static_cast<WORD>(print.size() * sizeof(WCHAR));
    std::memcpy(buffer.names, substitute.c_str(), buffer.substituteLength + sizeof(WCHAR));
    std::memcpy(reinterpret_cast<char*>(buffer.names) + buffer.printOffset, print.c_str(),
                buffer.printLength + sizeof(WCHAR));
    buffer.dataLength =
        static_cast<WORD>(4 * sizeof(WORD) + buffer.printOffset + buffer.printLength + sizeof(WCHAR));
    HANDLE h = ::CreateFileW(native(folder).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    DWORD returned = 0;
    const bool made =
        h != INVALID_HANDLE_VALUE && ::DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &buffer,
                                                       8 + buffer.dataLength, nullptr, 0, &returned, nullptr);
    const DWORD err = made ? ERROR_SUCCESS : ::GetLastError();
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
    if (!made)
        ::RemoveDirectoryW(native(folder).c_str());
    return err;
}

bool isReparsePoint(const QString& path) {
    const DWORD attributes = ::GetFileAttributesW(native(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

TEST(FileIOWindows, MapsWindowsErrorsToTheProgramsCodes) {
    const struct {
        DWORD error;
        int code;
    } table[] = {
        {ERROR_FILE_NOT_FOUND, EInOutError::kFileNotFound},
        {ERROR_PATH_NOT_FOUND, EInOutError::kInvalidFilename},
        {ERROR_INVALID_NAME, EInOutError::kInvalidFilename},
        {ERROR_BAD_PATHNAME, EInOutError::kInvalidFilename},
        {ERROR_FILENAME_EXCED_RANGE, EInOutError::kInvalidFilename},
        {ERROR_DIRECTORY, EInOutError::kInvalidFilename},
        {ERROR_TOO_MANY_OPEN_FILES, EInOutError::kTooManyOpenFiles},
        {ERROR_ACCESS_DENIED, EInOutError::kAccessDenied},
        {ERROR_SHARING_VIOLATION, EInOutError::kAccessDenied},
        {ERROR_LOCK_VIOLATION, EInOutError::kAccessDenied},
        {ERROR_DISK_FULL, EInOutError::kDiskFull},
        {ERROR_HANDLE_DISK_FULL, EInOutError::kDiskFull},
        {ERROR_NOT_READY, 21},
        {ERROR_IO_DEVICE, 1117},
    };
    for (const auto& row : table) {
        EXPECT_EQ(EInOutError::codeFromWindowsError(row.error), row.code) << "Windows error " << row.error;
        EXPECT_EQ(errorOf([&] { EInOutError::throwWindowsError(row.error); }), row.code);
    }
    try {
        EInOutError::throwWindowsError(ERROR_HANDLE_DISK_FULL);
    } catch (const EInOutError& e) {
        EXPECT_STREQ(e.what(), "Disk full");
    }

    // The errors the system gives for names reach the caller as these codes.
    QTemporaryDir dir;
    EXPECT_EQ(errorOf([&] { FileIO::fileSize(dir.filePath("missing.bin")); }), EInOutError::kFileNotFound);
    EXPECT_EQ(errorOf([&] { FileIO::fileSize(dir.filePath("missing/x.bin")); }),
              EInOutError::kInvalidFilename);
    EXPECT_EQ(errorOf([&] { FileIO::fileSize(dir.filePath("a<b.bin")); }), EInOutError::kInvalidFilename);
    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(dir.filePath("missing/x.bin"), "x", 1); }),
              EInOutError::kInvalidFilename);
}

TEST(FileIOWindows, RefusesFoldersDevicesAndPipesAsFiles) {
    QTemporaryDir dir;
    char buffer[16];
    EXPECT_EQ(errorOf([&] { FileIO::readPlainFile(dir.path(), 100); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::fileSize("NUL"); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(dir.filePath("NUL"), "x", 1); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::replaceEntry(dir.filePath("NUL"), "x", 1); }),
              EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(dir.path(), "x", 1); }), EInOutError::kAccessDenied);

    // A pipe is refused without waiting for anything to arrive on it; each read takes one instance.
    const QString pipe = QString("\\\\.\\pipe\\tarvel-fileio-%1").arg(::GetCurrentProcessId());
    HANDLE servers[2];
    for (HANDLE& server : servers) {
        server = ::CreateNamedPipeW(native(pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                    PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
        ASSERT_NE(server, INVALID_HANDLE_VALUE) << ::GetLastError();
    }
    EXPECT_EQ(errorOf([&] { FileIO::readPlainFile(pipe, 100); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::readFileUpTo(pipe, buffer, sizeof buffer); }),
              EInOutError::kAccessDenied);
    for (HANDLE server : servers)
        ::CloseHandle(server);

    // An empty folder in the way of replaceEntry goes; one that holds anything stays.
    ASSERT_TRUE(QDir(dir.path()).mkpath("empty"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("full/inside"));
    FileIO::replaceEntry(dir.filePath("empty"), "new", 3);
    EXPECT_EQ(contents(dir.filePath("empty")), "new");
    EXPECT_EQ(errorOf([&] { FileIO::replaceEntry(dir.filePath("full"), "new", 3); }),
              EInOutError::kAccessDenied);
    EXPECT_EQ(entries(dir.filePath("full")), QStringList{"inside"});
    EXPECT_EQ(entries(dir.path()), (QStringList{"empty", "full"}));
}

TEST(FileIOWindows, ReplaceKeepsTheOldFileWhenTheWriteFails) {
    QTemporaryDir dir;
    const QString target = dir.filePath("out.bin");
    writeFile(target, "old");

    FileIO::testHooks().afterFlush = [] { throw std::runtime_error("stopped after the flush"); };
    EXPECT_THROW(FileIO::replaceFile(target, "new", 3), std::runtime_error);
    EXPECT_THROW(FileIO::replaceEntry(target, "new", 3), std::runtime_error);
    FileIO::testHooks().afterFlush = nullptr;
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"});

    // The read-only mark is the owner's "nobody writes this", even where the system would let it through.
    ASSERT_TRUE(::SetFileAttributesW(native(target).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(target, "new", 3); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::replaceEntry(target, "new", 3); }), EInOutError::kAccessDenied);
    ASSERT_TRUE(::SetFileAttributesW(native(target).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"});

    FileIO::replaceEntry(target, "new", 3);
    EXPECT_EQ(contents(target), "new");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"});
}

TEST(FileIOWindows, ReplaceWaitsABoundedNumberOfAttemptsForAFileAnotherProgramHolds) {
    QTemporaryDir dir;
    const QString target = dir.filePath("out.bin");
    writeFile(target, "old");

    int flushes = 0;
    FileIO::testHooks().afterFlush = [&] { ++flushes; };
    // Held without delete sharing, the file cannot be moved over: every attempt fails, then the replace.
    {
        CountedWaits waits;
        HANDLE holder = holdOpen(target, FILE_SHARE_READ | FILE_SHARE_WRITE);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_EQ(errorOf([&] { FileIO::replaceFile(target, "new", 3); }), EInOutError::kAccessDenied);
        ::CloseHandle(holder);
        EXPECT_EQ(flushes, 1);
        ASSERT_GE(waits.attempts.size(), 2u);
        EXPECT_EQ(waits.attempts, oneTo(static_cast<int>(waits.attempts.size())));
        EXPECT_EQ(contents(target), "old");
        EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"});
    }
    // Held with no sharing at all, it cannot even be opened to check it, so nothing is written.
    {
        CountedWaits waits;
        HANDLE holder = holdOpen(target, 0);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        EXPECT_EQ(errorOf([&] { FileIO::replaceFile(target, "new", 3); }), EInOutError::kAccessDenied);
        ::CloseHandle(holder);
        EXPECT_EQ(flushes, 1);
        EXPECT_GE(waits.attempts.size(), 2u);
        EXPECT_EQ(contents(target), "old");
        EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"});
    }
    FileIO::testHooks().afterFlush = nullptr;
    // A holder that lets go while the replace waits: the replace goes through at the next attempt.
    for (const DWORD share : {DWORD(FILE_SHARE_READ | FILE_SHARE_WRITE), DWORD(0)}) {
        CountedWaits waits;
        HANDLE holder = holdOpen(target, share);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        waits.whenWaiting = [&](int attempt) {
            if (attempt == 2)
                ::CloseHandle(holder);
        };
        FileIO::replaceFile(target, "new", 3);
        EXPECT_EQ(waits.attempts, oneTo(2)) << "sharing " << share;
        EXPECT_EQ(contents(target), "new");
        writeFile(target, "old");
    }
    // A read waits the same way.
    {
        CountedWaits waits;
        HANDLE holder = holdOpen(target, 0);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
        waits.whenWaiting = [&](int) { ::CloseHandle(holder); };
        const std::vector<uint8_t> bytes = FileIO::readPlainFile(target, 100);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size())),
                  "old");
        EXPECT_EQ(waits.attempts, oneTo(1));
    }
}

TEST(FileIOWindows, NeverWritesOrReadsThroughASymbolicLink) {
    QTemporaryDir dir;
    const QString target = dir.filePath("target.bin");
    const QString link = dir.filePath("link.bin");
    writeFile(target, "target");
    if (!::CreateSymbolicLinkW(native(link).c_str(), native(target).c_str(),
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        !isReparsePoint(link))
        GTEST_SKIP() << "this system makes no symbolic link (Wine's CreateSymbolicLinkW reports success and "
                        "makes nothing; Windows needs developer mode or the privilege)";

    EXPECT_EQ(FileIO::fileSize(link), 6) << "an ordinary read follows the link";
    EXPECT_EQ(errorOf([&] { FileIO::readPlainFile(link, 100); }), EInOutError::kAccessDenied);
    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(link, "new", 3); }), EInOutError::kAccessDenied);
    EXPECT_TRUE(isReparsePoint(link));
    EXPECT_EQ(contents(target), "target");

    FileIO::replaceEntry(link, "new", 3);
    EXPECT_FALSE(isReparsePoint(link));
    EXPECT_EQ(contents(link), "new");
    EXPECT_EQ(contents(target), "target");
    EXPECT_EQ(entries(dir.path()), (QStringList{"link.bin", "target.bin"}));
}

TEST(FileIOWindows, ReplacesAJunctionItselfAndNeverWhatItNames) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("real"));
    writeFile(dir.filePath("real/kept.bin"), "kept");
    const QString junction = dir.filePath("junction");
    const DWORD err = makeJunction(junction, dir.filePath("real"));
    if (err != ERROR_SUCCESS)
        GTEST_SKIP() << "this system makes no junction (FSCTL_SET_REPARSE_POINT fails with error " << err
                     << "; Wine does not support it)";

    EXPECT_EQ(errorOf([&] { FileIO::replaceFile(junction, "new", 3); }), EInOutError::kAccessDenied);
    EXPECT_TRUE(isReparsePoint(junction));
    FileIO::replaceEntry(junction, "new", 3);
    EXPECT_EQ(contents(junction), "new");
    EXPECT_EQ(contents(dir.filePath("real/kept.bin")), "kept");
}

TEST(FileIOWindows, RemovesTheTemporaryOfAReplaceKilledAfterItsFlushOnTheNextReplace) {
    // A death test runs this test again in a new process up to the statement: the folder must be one
    // both find, and made again harmlessly.
    wchar_t program[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, program, MAX_PATH), 0u);
    const QString folder = QDir::temp().filePath(
        QString("tarvel-killed-replace-%1").arg(qHash(QString::fromWCharArray(program))));
    QDir(folder).removeRecursively();
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString target = QDir(folder).filePath("target.bin");
    EXPECT_EXIT(
        {
            FileIO::testHooks().afterFlush = [] { ::TerminateProcess(::GetCurrentProcess(), 3); };
            FileIO::replaceFile(target, "new", 3);
        },
        testing::ExitedWithCode(3), "");

    const QStringList leftovers = entries(folder);
    ASSERT_EQ(leftovers.size(), 1) << leftovers.join(' ').toStdString();
    const QRegularExpressionMatch m =
        QRegularExpression("^\\.target\\.bin\\.tarvel-(\\d+)-").match(leftovers[0]);
    ASSERT_TRUE(m.hasMatch()) << leftovers[0].toStdString();
    EXPECT_NE(m.captured(1).toULong(), ::GetCurrentProcessId());
    EXPECT_TRUE(FileIO::isTemporaryName(leftovers[0]));
    EXPECT_EQ(contents(QDir(folder).filePath(leftovers[0])), "new");

    // A running program's temporary is not touched: a child that waits, suspended, until it is ended.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    std::wstring commandLine = L"\"" + std::wstring(program) + L"\" --gtest_list_tests";
    ASSERT_TRUE(::CreateProcessW(program, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                                 nullptr, nullptr, &startup, &child));
    const QString busy = QString(".other.bin.tarvel-%1-AbCdE1").arg(child.dwProcessId);
    writeFile(QDir(folder).filePath(busy), "busy");
    FileIO::replaceFile(QDir(folder).filePath("next.bin"), "x", 1);
    EXPECT_EQ(entries(folder), (QStringList{busy, "next.bin"}));
    ::TerminateProcess(child.hProcess, 0);
    ::WaitForSingleObject(child.hProcess, INFINITE);
    ::CloseHandle(child.hThread);
    ::CloseHandle(child.hProcess);

    // Once it has ended, its temporary goes too.
    FileIO::replaceFile(QDir(folder).filePath("next.bin"), "y", 1);
    EXPECT_EQ(entries(folder), QStringList{"next.bin"});
    QDir(folder).removeRecursively();
}
