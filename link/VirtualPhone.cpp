#include "VirtualPhone.h"

#include "DemoContent.h"
#include "FileIO.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QUuid>
#include <cstring>
#include <exception>

namespace {

constexpr uint8_t kOnlyPort = 1;

} // namespace

VirtualPhone::VirtualPhone(QString folder)
    : folder_(folder.isEmpty() ? defaultFolder() : std::move(folder)) {}

VirtualPhone::~VirtualPhone() = default;

QString VirtualPhone::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/virtual-phone";
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
            FileIO::replaceFile(filler.sectionPath(s.group, s.number), s.content.constData(),
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
    if (port != kOnlyPort || lock_)
        return kNoAnswer;
    if (!ensureFolder())
        return kNoAnswer;
    auto lock = std::make_unique<QLockFile>(folder_ + "/.gbp-mode.lock");
    lock->setStaleLockTime(0); // a lock left by a program that died is taken over
    if (!lock->tryLock(0))
        return kBusy;
    lock_ = std::move(lock);
    return 0;
}

int32_t VirtualPhone::EndGBPMode() {
    lock_.reset();
    return 0;
}

int32_t VirtualPhone::GetNVMFileSize(uint8_t group, uint8_t number) {
    if (!lock_)
        return kNoAnswer;
    const QFileInfo info(sectionPath(group, number));
    if (!info.exists())
        return kNoFile;
    if (!info.isFile() || info.size() > kLargestSection)
        return kFileFailed;
    return static_cast<int32_t>(info.size());
}

int32_t VirtualPhone::ReadNVMFile(uint8_t group, uint8_t number, void* buffer, int32_t count) {
    if (!lock_ || count < 0 || buffer == nullptr)
        return kNoAnswer;
    QFile file(sectionPath(group, number));
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return kFileFailed;
    // A file larger than any section is damage: refuse it rather than overrun the caller's buffer.
    const QByteArray bytes = file.read(kLargestSection + 1);
    if (bytes.size() > kLargestSection || file.error() != QFile::NoError)
        return kFileFailed;
    const int32_t n =
        count == 0 ? static_cast<int32_t>(bytes.size()) : std::min(count, static_cast<int32_t>(bytes.size()));
    std::memcpy(buffer, bytes.constData(), static_cast<std::size_t>(n));
    return n;
}

int32_t VirtualPhone::WriteNVMFile(uint8_t group, uint8_t number, const void* buffer, int32_t length) {
    if (!lock_ || length < 0 || length > kLargestSection || (length > 0 && buffer == nullptr))
        return kNoAnswer;
    try {
        FileIO::replaceFile(sectionPath(group, number), buffer, static_cast<std::size_t>(length));
    } catch (const std::exception&) {
        return kFileFailed;
    }
    return 0;
}

int32_t VirtualPhone::ClearNVMFile(uint8_t group, uint8_t number) {
    if (!lock_)
        return kNoAnswer;
    const QString path = sectionPath(group, number);
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return 0;
    if (info.isDir() || !QFile::remove(path))
        return kFileFailed;
    return 0;
}
