#include "BackupStore.h"

#include "EInOutError.h"
#include "FileIO.h"
#include "SectionTitle.h"

#include "DataFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

namespace {

// Names sort as their times do, and hold no character a file system refuses.
const QString kNameFormat = QStringLiteral("yyyy-MM-dd'T'HH-mm-ss.zzz'Z'");
const QString kPendingName = QStringLiteral("pending");

QDateTime timeOfName(const QString& fileName) {
    if (!fileName.endsWith(".bin"))
        return {};
    QDateTime time = QDateTime::fromString(fileName.chopped(4), kNameFormat);
    time.setTimeSpec(Qt::UTC);
    return time;
}

// Whether a name has the form of a backup's ("2024-05-01T12-30-45.123Z.bin"); cheaper than parsing it.
bool looksLikeBackup(const QString& name) {
    static const QString shape = QStringLiteral("0000-00-00T00-00-00.000Z.bin");
    if (name.size() != shape.size())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i)
        if (shape[i] == '0' ? !name[i].isDigit() : name[i] != shape[i])
            return false;
    return true;
}

// A folder that is not a link (mkpath would go through one).
bool isOwnFolder(const QString& path) {
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

Outcome fileError(Outcome& out, int code) {
    out.status = SectionStatus::FileError;
    out.fileError = code;
    return out;
}

} // namespace

QByteArray sha256Hex(const uint8_t* data, std::size_t size) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
               QCryptographicHash::Sha256)
        .toHex();
}

BackupStore::BackupStore(QString root)
    : root_(root.isEmpty() ? defaultRoot() : std::move(root)),
      clock_([] { return QDateTime::currentDateTimeUtc(); }) {}

QString BackupStore::defaultRoot() {
    return DataFolder::path() + "/backups";
}

QString BackupStore::sectionFolder(int slot) const {
    return root_ + (phone_.isEmpty() ? QString() : "/" + phone_) + "/" + sectionId(slot);
}

QStringList BackupStore::backupNames(const QString& folder) const {
    // Plain files only (links and pipes are not listed); a name far in the future would hold the newest
    // place for ever and make every later name leave the format.
    const QDateTime latest = clock_().toUTC().addDays(1);
    QStringList names;
    for (const QString& name : QDir(folder).entryList({"*.bin"}, QDir::Files | QDir::NoSymLinks, QDir::Name))
        if (looksLikeBackup(name) && timeOfName(name).isValid() && timeOfName(name) <= latest)
            names.append(name);
    return names;
}

Outcome BackupStore::save(int slot, const std::vector<uint8_t>& bytes) {
    Outcome out;
    out.slot = slot;
    const QString folder = sectionFolder(slot);
    out.path = folder;
    if (!QDir().mkpath(folder) || !isOwnFolder(folder) || !isOwnFolder(QFileInfo(folder).path()))
        return fileError(out, EInOutError::kAccessDenied);
    // Names never go back in time, even when the clock does, so the newest backup is never the one
    // the rotation removes.
    const QStringList before = backupNames(folder);
    QDateTime time = clock_().toUTC();
    if (!before.isEmpty() && timeOfName(before.last()).isValid())
        time = std::max(time, timeOfName(before.last()).addMSecs(1));
    out.path = folder + "/" + time.toString(kNameFormat) + ".bin";
    try {
        FileIO::replaceEntry(out.path, bytes.data(), bytes.size());
    } catch (const EInOutError& e) {
        return fileError(out, e.errorCode());
    }
    // Only now that the new one is on disk may old ones go.
    const QStringList all = backupNames(folder);
    for (qsizetype i = 0; i + kKeep < all.size(); ++i)
        QFile::remove(folder + "/" + all[i]);
    return out;
}

std::vector<BackupEntry> BackupStore::list(int slot) const {
    const QString folder = sectionFolder(slot);
    std::vector<BackupEntry> entries;
    const QStringList names = backupNames(folder);
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        BackupEntry e;
        e.path = folder + "/" + *it;
        e.time = timeOfName(*it);
        e.size = QFileInfo(e.path).size();
        std::vector<uint8_t> bytes;
        try {
            bytes = FileIO::readPlainFile(e.path, kTransferBufferSize);
        } catch (const EInOutError&) {
        }
        if (!bytes.empty()) {
            SectionRecord r;
            std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), kHeaderSize), r.Header.begin());
            classifyHeader(r);
            e.kind = r.Kind;
            if (r.Kind == ckApplication)
                e.name = r.Name;
        } else if (e.size == 0) {
            e.kind = ckUnknownData;
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

BackupContent BackupStore::load(const QString& path, int64_t limit) {
    BackupContent content;
    content.outcome.path = path;
    try {
        content.bytes = FileIO::readPlainFile(path, limit);
    } catch (const EInOutError& e) {
        fileError(content.outcome, e.errorCode());
    }
    return content;
}

Outcome BackupStore::markPending(int slot, const PendingChange& change) {
    QByteArray text = "phone=" + phone_.toUtf8() + "\n";
    text += "backup=" + QFileInfo(change.backupPath).fileName().toUtf8() + "\n";
    text += change.toEmpty ? QByteArray("new=empty\n")
                           : "new=" + QByteArray::number(change.newSize) + " " + change.newSha256 + "\n";
    Outcome out;
    out.slot = slot;
    out.path = sectionFolder(slot) + "/" + kPendingName;
    // Whatever stands at the name is replaced, never written through.
    try {
        FileIO::replaceEntry(out.path, text.constData(), static_cast<std::size_t>(text.size()));
    } catch (const EInOutError& e) {
        fileError(out, e.errorCode());
    }
    return out;
}

void BackupStore::clearPending(int slot) {
    QFile::remove(sectionFolder(slot) + "/" + kPendingName);
}

std::optional<PendingChange> BackupStore::pending(int slot) const {
    std::vector<uint8_t> bytes;
    try {
        bytes = FileIO::readPlainFile(sectionFolder(slot) + "/" + kPendingName, 4096);
    } catch (const EInOutError&) {
        return std::nullopt;
    }
    PendingChange change;
    bool haveBackup = false, haveNew = false;
    const QByteArray text(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    for (const QByteArray& line : text.split('\n')) {
        if (line.startsWith("phone=")) {
            change.phone = QString::fromUtf8(line.mid(6));
        } else if (line.startsWith("backup=")) {
            const QString name = QString::fromUtf8(line.mid(7));
            haveBackup = timeOfName(name).isValid() && !name.contains('/');
            change.backupPath = sectionFolder(slot) + "/" + name;
        } else if (line == "new=empty") {
            change.toEmpty = haveNew = true;
        } else if (line.startsWith("new=")) {
            const QList<QByteArray> parts = line.mid(4).split(' ');
            haveNew = parts.size() == 2 && parts[1].size() == 64;
            change.newSize = haveNew ? parts[0].toLongLong(&haveNew) : 0;
            change.newSha256 = haveNew ? parts[1] : QByteArray();
        }
    }
    if (!haveBackup || !haveNew || change.phone != phone_)
        return std::nullopt;
    return change;
}
