#include "FullBackup.h"

#include "EInOutError.h"
#include "FileIO.h"
#include "SectionTitle.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <algorithm>

namespace FullBackup {

namespace {

const QString kFormatName = QStringLiteral("tarvel-backup");

bool isSha256Hex(const QString& text) {
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(text).hasMatch();
}

} // namespace

QByteArray manifestJson(const Manifest& manifest) {
    QJsonObject sections;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const SectionState& s = manifest.sections[slot];
        QJsonObject entry;
        if (s.empty) {
            entry["empty"] = true;
        } else {
            entry["size"] = static_cast<qint64>(s.size);
            entry["sha256"] = QString::fromLatin1(s.sha256);
        }
        sections[sectionId(slot)] = entry;
    }
    QJsonObject root;
    root["format"] = kFormatName;
    root["version"] = kFormatVersion;
    root["time"] = manifest.time.toUTC().toString(Qt::ISODateWithMs);
    root["sections"] = sections;
    return QJsonDocument(root).toJson();
}

QString sectionFileName(int slot) {
    return sectionId(slot) + ".bin";
}

SectionState stateOf(const SectionOps::SectionContent& content) {
    SectionState s;
    s.empty = content.empty;
    if (!content.empty) {
        s.size = static_cast<int64_t>(content.bytes.size());
        s.sha256 = sha256Hex(content.bytes);
    }
    return s;
}

QString freeFolderName(const QString& parent, const QString& name) {
    const QDir dir(parent);
    QString path = dir.filePath(name);
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = dir.filePath(QString("%1-%2").arg(name).arg(n));
    return path;
}

WriteOutcome write(GBPCtrl& link, const QString& folder, const QDateTime& time,
                   const SectionOps::Progress& progress) {
    WriteOutcome out;
    out.outcome.path = folder;
    auto fileError = [&](Defect defect, int code) {
        out.outcome.status = SectionStatus::FileError;
        out.outcome.fileError = code;
        out.defect = defect;
        return out;
    };
    const QDir dir(folder);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        return fileError(Defect::FolderNotEmpty, 0);
    // Everything is read before anything is written.
    Manifest manifest;
    manifest.time = time.toUTC();
    std::array<std::vector<uint8_t>, kSectionCount> data;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        if (progress)
            progress({SectionOps::Step::Reading, slot, slot + 1, kSectionCount});
        SectionOps::SectionContent content = SectionOps::readContent(link, slot);
        if (!content.ok()) {
            out.outcome.status = content.outcome.status;
            out.outcome.slot = slot;
            return out;
        }
        manifest.sections[slot] = stateOf(content);
        data[slot] = std::move(content.bytes);
        out.sectionsWithData += content.empty ? 0 : 1;
    }
    if (!QDir().mkpath(folder))
        return fileError(Defect::FolderNotMade, 0);
    QStringList written;
    try {
        for (int slot = 0; slot < kSectionCount; ++slot) {
            if (manifest.sections[slot].empty)
                continue;
            const QString path = dir.filePath(sectionFileName(slot));
            FileIO::replaceFile(path, data[slot].data(), data[slot].size());
            written.append(path);
        }
        // Written last: a folder without it is no backup.
        const QByteArray json = manifestJson(manifest);
        FileIO::replaceFile(dir.filePath(kManifestName), json.constData(),
                            static_cast<std::size_t>(json.size()));
    } catch (const EInOutError& e) {
        for (const QString& path : written)
            QFile::remove(path);
        return fileError(Defect::None, e.errorCode());
    }
    return out;
}

namespace {

Loaded refused(Loaded& loaded, SectionStatus status, Defect defect, int slot = -1, QString detail = {}) {
    loaded.outcome.status = status;
    loaded.outcome.slot = slot;
    loaded.outcome.detail = std::move(detail);
    loaded.defect = defect;
    return loaded;
}

} // namespace

Loaded parseManifest(const QByteArray& json, const QString& folder) {
    Loaded loaded;
    loaded.outcome.path = folder;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject root = doc.object();
    if (parseError.error != QJsonParseError::NoError || !doc.isObject() || root["format"] != kFormatName)
        return refused(loaded, SectionStatus::Foreign, Defect::OtherFormat);
    if (root["version"].toInt(-1) != kFormatVersion)
        return refused(loaded, SectionStatus::Foreign, Defect::UnknownVersion, -1,
                       root["version"].toVariant().toString());
    loaded.manifest.time = QDateTime::fromString(root["time"].toString(), Qt::ISODateWithMs).toUTC();
    // The restore's question names the backup by its time.
    if (!loaded.manifest.time.isValid())
        return refused(loaded, SectionStatus::Damaged, Defect::NoTime);
    const QJsonObject sections = root["sections"].toObject();
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const QJsonValue value = sections[sectionId(slot)];
        const QJsonObject entry = value.toObject();
        SectionState& s = loaded.manifest.sections[slot];
        if (!value.isObject())
            return refused(loaded, SectionStatus::Damaged, Defect::SectionUndescribed, slot);
        if (entry["empty"].toBool(false))
            continue;
        const qint64 size = entry["size"].toInteger(-1);
        const QString hash = entry["sha256"].toString();
        if (size < 0 || !isSha256Hex(hash))
            return refused(loaded, SectionStatus::Damaged, Defect::SectionUndescribed, slot);
        // Checked for every section before anything is read or written, so a restore never stops halfway.
        if (size > SectionCapacity(slot))
            return refused(loaded, SectionStatus::Damaged, Defect::SectionTooLarge, slot,
                           QString::number(size));
        s.empty = false;
        s.size = size;
        s.sha256 = hash.toLatin1();
    }
    loaded.outcome.status = SectionStatus::Ok;
    return loaded;
}

Loaded load(const QString& folder) {
    Loaded loaded;
    loaded.outcome.path = folder;
    if (!QFileInfo(folder).isDir())
        return refused(loaded, SectionStatus::NotFound, Defect::None);
    const QDir dir(folder);
    const QString manifestPath = dir.filePath(kManifestName);
    if (!QFileInfo::exists(manifestPath) && !QFileInfo(manifestPath).isSymLink())
        return refused(loaded, SectionStatus::Foreign, Defect::NoManifest);
    // Only plain files count: a link or a pipe in the folder is never followed or waited on.
    std::vector<uint8_t> json;
    try {
        json = FileIO::readPlainFile(manifestPath, kMaxManifestSize);
    } catch (const EInOutError& e) {
        loaded.outcome.fileError = e.errorCode();
        return refused(loaded, SectionStatus::Damaged, Defect::ManifestUnreadable);
    }
    loaded = parseManifest(
        QByteArray(reinterpret_cast<const char*>(json.data()), static_cast<qsizetype>(json.size())), folder);
    if (!loaded.ok())
        return loaded;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const SectionState& s = loaded.manifest.sections[slot];
        if (s.empty)
            continue;
        const QString path = dir.filePath(sectionFileName(slot));
        try {
            loaded.data[slot] = FileIO::readPlainFile(path, kTransferBufferSize);
        } catch (const EInOutError& e) {
            loaded.outcome.fileError = e.errorCode();
            return refused(loaded, SectionStatus::Damaged, Defect::FileUnreadable, slot);
        }
        if (static_cast<int64_t>(loaded.data[slot].size()) != s.size)
            return refused(loaded, SectionStatus::Damaged, Defect::WrongSize, slot, QString::number(s.size));
        if (sha256Hex(loaded.data[slot]) != s.sha256)
            return refused(loaded, SectionStatus::Damaged, Defect::WrongHash, slot);
    }
    return loaded;
}

std::vector<Outcome> restore(GBPCtrl& link, BackupStore& backups, const Loaded& backup,
                             const std::vector<int>& only, const SectionOps::Progress& progress) {
    // Each section once, in the order named.
    std::vector<int> chosen;
    for (int slot : only)
        if (slot >= 0 && slot < kSectionCount &&
            std::find(chosen.begin(), chosen.end(), slot) == chosen.end())
            chosen.push_back(slot);
    if (only.empty())
        for (int slot = 0; slot < kSectionCount; ++slot)
            chosen.push_back(slot);
    std::vector<Outcome> results;
    if (!backup.ok())
        return results;
    // Every section is checked before the first is written, so a restore never stops halfway on size.
    for (int slot : chosen) {
        if (static_cast<int64_t>(backup.data[slot].size()) > SectionCapacity(slot)) {
            Outcome tooLarge;
            tooLarge.status = SectionStatus::TooLarge;
            tooLarge.slot = slot;
            results.push_back(tooLarge);
            return results;
        }
    }
    int index = 0;
    for (int slot : chosen) {
        ++index;
        // Each step of a section reports where the whole restore stands.
        const SectionOps::Progress step = [&, index](const SectionOps::ProgressEvent& e) {
            if (progress)
                progress({e.step, e.slot, index, static_cast<int>(chosen.size())});
        };
        const std::vector<uint8_t>& bytes = backup.data[slot];
        results.push_back(backup.manifest.sections[slot].empty
                              ? SectionOps::clearSection(link, backups, slot, step)
                              : SectionOps::replaceSection(link, backups, slot, bytes.data(),
                                                           static_cast<int32_t>(bytes.size()), step));
        if (!results.back().ok())
            break;
    }
    return results;
}

std::vector<Comparison> verify(GBPCtrl& link, const Manifest& manifest,
                               const SectionOps::Progress& progress) {
    std::vector<Comparison> results;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        if (progress)
            progress({SectionOps::Step::Reading, slot, slot + 1, kSectionCount});
        const SectionOps::SectionContent content = SectionOps::readContent(link, slot);
        Comparison c;
        c.outcome = content.outcome;
        c.outcome.slot = slot;
        c.expected = manifest.sections[slot];
        if (content.ok()) {
            c.actual = stateOf(content);
            if (c.actual != c.expected)
                c.outcome.status = SectionStatus::VerifyFailed;
        }
        results.push_back(c);
        if (content.outcome.status == SectionStatus::LinkFailed)
            break; // the sections after it are not compared: one deadline, not one per section
    }
    return results;
}

} // namespace FullBackup
