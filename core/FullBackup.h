#pragma once
// Full backups: a folder with one GG-NN.bin for each section that holds data and tarvel-backup.json,
// which records the format version, the time and, for every section, either that it was empty or its
// size and SHA-256. A backup is loaded only when every recorded file is there with its size and hash, so
// a restore checks everything before it writes anything.
#include "BackupStore.h"
#include "SectionOps.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

namespace FullBackup {

inline const QString kManifestName = QStringLiteral("tarvel-backup.json");
inline constexpr int kFormatVersion = 1;

struct SectionState {
    bool empty = true;
    int64_t size = 0;
    QByteArray sha256; // hex, lower case
    bool operator==(const SectionState&) const = default;
};

struct Manifest {
    QDateTime time; // UTC
    std::array<SectionState, kSectionCount> sections;
};

// GG-NN.bin.
QString sectionFileName(int slot);
// The manifest's text, as a backup records it.
QByteArray manifestJson(const Manifest& manifest);

// parent/name, or parent/name-2, -3, ... when that is taken, so that a second backup within the same
// second gets a folder of its own.
QString freeFolderName(const QString& parent, const QString& name);

struct WriteOutcome {
    bool ok = false;
    bool fileError = false; // else the phone failed (a section could not be read)
    int slot = -1;          // the section that could not be read
    QString error;
    int sectionsWithData = 0;
};
// Reads every section and writes the backup into folder, which is made when missing and must be empty.
// Nothing is written unless all sections were read; a failed write removes what it wrote.
WriteOutcome write(GBPCtrl& link, const QString& folder, const QDateTime& time,
                   const SectionOps::Progress& progress = {});

struct Loaded {
    enum Status { Ok, NotFound, Foreign, Damaged } status = NotFound;
    QString error; // a sentence for the user
    Manifest manifest;
    std::array<std::vector<uint8_t>, kSectionCount> data;
    bool ok() const { return status == Ok; }
};
// Loads and checks a backup folder (no phone involved). Only plain files are read, never through a link.
Loaded load(const QString& folder);
// Checks a manifest's text (folder only names the backup in the error): Ok with the manifest filled in,
// else Foreign or Damaged with the sentence. Reads no file.
Loaded parseManifest(const QByteArray& json, const QString& folder);
// A larger manifest is no backup of this program's.
inline constexpr int64_t kMaxManifestSize = 1 << 20;

// Restores the chosen slots (all when empty; each once, in the order named) of a loaded backup through
// the safe path: sections recorded with data are written, the others cleared. Stops at the first failure;
// a section larger than its capacity stops it before anything is written (TooLarge).
struct Restored {
    int slot = 0;
    SectionOps::ChangeOutcome outcome;
};
std::vector<Restored> restore(GBPCtrl& link, BackupStore& backups, const Loaded& backup,
                              const std::vector<int>& only = {}, const SectionOps::Progress& progress = {});

// The phone against a backup, section by section.
struct Comparison {
    int slot = 0;
    SectionState expected;
    SectionState actual;
    bool readable = true;    // the phone gave the section's bytes
    bool linkFailed = false; // it did not answer; the comparison stops there
    bool matches() const { return readable && expected == actual; }
};
std::vector<Comparison> verify(GBPCtrl& link, const Manifest& manifest,
                               const SectionOps::Progress& progress = {});

// What the phone holds in a section, as a backup records it.
SectionState stateOf(const SectionOps::SectionContent& content);

} // namespace FullBackup
