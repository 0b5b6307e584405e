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
    const QDir dir(folder);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        out.fileError = true;
        out.error = QString("Folder %1 is not empty.").arg(QDir::toNativeSeparators(folder));
        return out;
    }
    // Everything is read before anything is written.
    Manifest manifest;
    manifest.time = time.toUTC();
    std::array<std::vector<uint8_t>, kSectionCount> data;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        if (progress)
            progress({SectionOps::Step::Reading, slot, slot + 1, kSectionCount});
        SectionOps::SectionContent content = SectionOps::readContent(link, slot);
        if (!content.readable) {
            out.slot = slot;
            out.error = content.linkFailed
                            ? QString("The phone did not answer at section %1.").arg(sectionId(slot))
                            : QString("Section %1 could not be read.").arg(sectionId(slot));
            return out;
        }
        manifest.sections[slot] = stateOf(content);
        data[slot] = std::move(content.bytes);
        out.sectionsWithData += content.empty ? 0 : 1;
    }
    if (!QDir().mkpath(folder)) {
        out.fileError = true;
        out.error = QString("Folder %1 could not be made.").arg(QDir::toNativeSeparators(folder));
        return out;
    }
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
        out.fileError = true;
        out.error = QString::fromStdString(e.what());
        return out;
    }
    out.ok = true;
    return out;
}

Loaded parseManifest(const QByteArray& json, const QString& folder) {
    Loaded loaded;
    const QString shown = QDir::toNativeSeparators(folder);
    auto foreign = [&](const QString& why) {
        loaded.status = Loaded::Foreign;
        loaded.error = QString("%1 is not a Tarvel backup: %2").arg(shown, why);
        return loaded;
    };
    auto damaged = [&](const QString& why) {
        loaded.status = Loaded::Damaged;
        loaded.error = QString("The backup in %1 is damaged: %2").arg(shown, why);
        return loaded;
    };
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject root = doc.object();
    if (parseError.error != QJsonParseError::NoError || !doc.isObject() || root["format"] != kFormatName)
        return foreign(QString("its %1 is not one Tarvel writes.").arg(kManifestName));
    if (root["version"].toInt(-1) != kFormatVersion)
        return foreign(
            QString("its format version %1 is not known.").arg(root["version"].toVariant().toString()));
    loaded.manifest.time = QDateTime::fromString(root["time"].toString(), Qt::ISODateWithMs).toUTC();
    // The restore's question names the backup by its time.
    if (!loaded.manifest.time.isValid())
        return damaged(QString("%1 gives no time.").arg(kManifestName));
    const QJsonObject sections = root["sections"].toObject();
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const QJsonValue value = sections[sectionId(slot)];
        const QJsonObject entry = value.toObject();
        SectionState& s = loaded.manifest.sections[slot];
        if (!value.isObject())
            return damaged(QString("section %1 is not described.").arg(sectionId(slot)));
        if (entry["empty"].toBool(false))
            continue;
        const qint64 size = entry["size"].toInteger(-1);
        const QString hash = entry["sha256"].toString();
        if (size < 0 || !isSha256Hex(hash))
            return damaged(QString("section %1 is not described.").arg(sectionId(slot)));
        // Checked for every section before anything is read or written, so a restore never stops halfway.
        if (size > SectionCapacity(slot))
            return damaged(QString("section %1 is recorded with %2 bytes; it holds at most %3.")
                               .arg(sectionId(slot))
                               .arg(size)
                               .arg(SectionCapacity(slot)));
        s.empty = false;
        s.size = size;
        s.sha256 = hash.toLatin1();
    }
    loaded.status = Loaded::Ok;
    return loaded;
}

Loaded load(const QString& folder) {
    Loaded loaded;
    const QString shown = QDir::toNativeSeparators(folder);
    if (!QFileInfo(folder).isDir()) {
        loaded.status = Loaded::NotFound;
        loaded.error = QString("Folder %1 does not exist.").arg(shown);
        return loaded;
    }
    const QDir dir(folder);
    auto damaged = [&](const QString& why) {
        loaded.status = Loaded::Damaged;
        loaded.error = QString("The backup in %1 is damaged: %2").arg(shown, why);
        return loaded;
    };
    const QString manifestPath = dir.filePath(kManifestName);
    if (!QFileInfo::exists(manifestPath) && !QFileInfo(manifestPath).isSymLink()) {
        loaded.status = Loaded::Foreign;
        loaded.error = QString("%1 is not a Tarvel backup: it has no %2.").arg(shown, kManifestName);
        return loaded;
    }
    // Only plain files count: a link or a pipe in the folder is never followed or waited on.
    std::vector<uint8_t> json;
    try {
        json = FileIO::readPlainFile(manifestPath, kMaxManifestSize);
    } catch (const EInOutError&) {
        return damaged(QString("%1 cannot be read.").arg(kManifestName));
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
            return damaged(QString("%1: %2.").arg(sectionFileName(slot), QString::fromStdString(e.what())));
        }
        if (static_cast<int64_t>(loaded.data[slot].size()) != s.size)
            return damaged(QString("%1 does not hold %2 bytes.").arg(sectionFileName(slot)).arg(s.size));
        if (sha256Hex(loaded.data[slot]) != s.sha256)
            return damaged(QString("%1 does not match its SHA-256.").arg(sectionFileName(slot)));
    }
    return loaded;
}

std::vector<Restored> restore(GBPCtrl& link, BackupStore& backups, const Loaded& backup,
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
    std::vector<Restored> results;
    if (!backup.ok())
        return results;
    // Every section is checked before the first is written, so a restore never stops halfway on size.
    for (int slot : chosen) {
        if (static_cast<int64_t>(backup.data[slot].size()) > SectionCapacity(slot)) {
            SectionOps::ChangeOutcome tooLarge;
            tooLarge.result = SectionOps::Result::TooLarge;
            results.push_back({slot, tooLarge});
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
        Restored r{slot, backup.manifest.sections[slot].empty
                             ? SectionOps::clearSection(link, backups, slot, step)
                             : SectionOps::replaceSection(link, backups, slot, bytes.data(),
                                                          static_cast<int32_t>(bytes.size()), step)};
        results.push_back(r);
        if (!r.outcome.ok())
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
        c.slot = slot;
        c.expected = manifest.sections[slot];
        c.readable = content.readable;
        c.linkFailed = content.linkFailed;
        if (content.readable)
            c.actual = stateOf(content);
        results.push_back(c);
        if (content.linkFailed)
            break; // the sections after it are not compared: one deadline, not one per section
    }
    return results;
}

} // namespace FullBackup
