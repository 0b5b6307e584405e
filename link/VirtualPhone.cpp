#include "VirtualPhone.h"

#include "DemoContent.h"
#include "FileIO.h"

#include "DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUuid>
#include <climits>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint8_t kOnlyPort = 1;

// What stands at a section's name. Only a plain file is a section; a link, a pipe, a device or a
// folder is damage, never followed or opened.
enum class Entry { Missing, File, Other };

Entry entryAt(const QString& path, int64_t* size = nullptr) {
#ifndef _WIN32
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT ? Entry::Missing : Entry::Other;
    if (!S_ISREG(st.st_mode))
        return Entry::Other;
    if (size != nullptr)
        *size = st.st_size;
#else
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return Entry::Missing;
    if (!info.isFile() || info.isSymLink())
        return Entry::Other;
    if (size != nullptr)
        *size = info.size();
#endif
    return Entry::File;
}

// Reads a section file whole, at most kLargestSection bytes; nothing when it is not a plain file or is
// larger than any section.
std::optional<QByteArray> readSectionFile(const QString& path) {
#ifndef _WIN32
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    QFile file;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return std::nullopt;
    }
#else
    QFile file(path);
    if (entryAt(path) != Entry::File || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
#endif
    QByteArray bytes = file.read(kLargestSection + 1);
    if (bytes.size() > kLargestSection || file.error() != QFile::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace

VirtualPhone::VirtualPhone(QString folder)
    : folder_(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

VirtualPhone::~VirtualPhone() = default;

QString VirtualPhone::defaultFolder() {
    return DataFolder::path() + "/virtual-phone";
}

QString VirtualPhone::sectionPath(uint8_t group, uint8_t number) const {
    return QString("%1/%2-%3.bin").arg(folder_).arg(group, 2, 10, QChar('0')).arg(number, 2, 10, QChar('0'));
}

bool VirtualPhone::ensureFolder() {
    if (QFileInfo(folder_).isDir())
        return true;
    // First use: fill a new folder beside the final one and rename it into place, so that two programs
    // starting at once never see a half-filled phone.
    const QString parent = QFileInfo(folder_).absolutePath();
    if (!QDir().mkpath(parent))
        return false;
    const QString fresh = folder_ + ".new-" + QUuid::createUuid().toString(QUuid::Id128);
    if (!QDir().mkpath(fresh))
        return false;
    try {
        VirtualPhone filler(fresh);
        for (const DemoSection& s : demoSections())
            FileIO::replaceEntry(filler.sectionPath(s.group, s.number), s.content.constData(),
                                 static_cast<std::size_t>(s.content.size()));
    } catch (const std::exception&) {
        QDir(fresh).removeRecursively();
        return false;
    }
    if (!QDir().rename(fresh, folder_))
        QDir(fresh).removeRecursively(); // another program made it first
    return QFileInfo(folder_).isDir();
}

int32_t VirtualPhone::InitGBPMode(uint8_t port) {
    last_ = CallStatus::Answered;
    if (port != kOnlyPort || lock_)
        return kNoAnswer;
    if (!ensureFolder())
        return kNoAnswer;
    auto lock = std::make_unique<QLockFile>(folder_ + "/.gbp-mode.lock");
    lock->setStaleLockTime(0); // a lock left by a program that died is taken over
    if (!lock->tryLock(0)) {
        last_ = CallStatus::Busy;
        return kBusy;
    }
    lock_ = std::move(lock);
    removeStaleTemporaries();
    return 0;
}

void VirtualPhone::removeStaleTemporaries() {
    FileIO::removeStaleTemporaries(folder_);
    // Names of the earlier scheme, ".GG-NN.bin.XXXXXX": nobody else writes here while the lock is held.
    static const QRegularExpression older(QStringLiteral("^\\.\\d\\d-\\d\\d\\.bin\\.[A-Za-z0-9]{6}$"));
    for (const QString& name : QDir(folder_).entryList(QDir::Files | QDir::Hidden | QDir::System))
        if (older.match(name).hasMatch() && entryAt(folder_ + "/" + name) == Entry::File)
            QFile::remove(folder_ + "/" + name);
}

int32_t VirtualPhone::EndGBPMode() {
    last_ = CallStatus::Answered;
    lock_.reset();
    return 0;
}

int32_t VirtualPhone::GetNVMFileSize(uint8_t group, uint8_t number) {
    // Outside GBP mode nothing reaches the phone.
    last_ = lock_ ? CallStatus::Answered : CallStatus::NoAnswer;
    if (!lock_)
        return kNoAnswer;
    int64_t size = 0;
    switch (entryAt(sectionPath(group, number), &size)) {
    case Entry::Missing:
        return kNoFile;
    case Entry::Other:
        return kFileFailed;
    case Entry::File:
        break;
    }
    // An oversized file shows its real size, so that nothing replaces it unasked; its read is refused.
    return static_cast<int32_t>(std::min<int64_t>(size, INT32_MAX));
}

int32_t VirtualPhone::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    last_ = lock_ ? CallStatus::Answered : CallStatus::NoAnswer;
    if (!lock_ || count < 0 || buffer == nullptr)
        return kNoAnswer;
    // A file larger than any section is damage: refuse it rather than overrun the caller's buffer.
    const std::optional<QByteArray> bytes = readSectionFile(sectionPath(group, number));
    if (!bytes)
        return kFileFailed;
    const auto size = static_cast<int32_t>(bytes->size());
    const int32_t n = count == 0 ? size : std::min(count, size);
    std::memcpy(buffer, bytes->constData(), static_cast<std::size_t>(n));
    return n;
}

int32_t VirtualPhone::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    last_ = lock_ ? CallStatus::Answered : CallStatus::NoAnswer;
    if (!lock_ || length < 0 || length > kLargestSection || (length > 0 && buffer == nullptr))
        return kNoAnswer;
    try {
        // Whatever stands at the name is replaced, never written through.
        FileIO::replaceEntry(sectionPath(group, number), buffer, static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        return kFileFailed;
    }
    return 0;
}

int32_t VirtualPhone::ClearNVMFile(uint8_t group, uint8_t number) {
    last_ = lock_ ? CallStatus::Answered : CallStatus::NoAnswer;
    if (!lock_)
        return kNoAnswer;
    const QString path = sectionPath(group, number);
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        return kFileFailed;
    // A link is removed itself, never what it points to.
    if (entryAt(path) != Entry::Missing && !QFile::remove(path))
        return kFileFailed;
    return 0;
}
