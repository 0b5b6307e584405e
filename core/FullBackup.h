#pragma once
// Full backups: a folder with one GG-NN.bin for each section that holds data and tarvel-backup.json,
// which records the format version, the time and, for every section, either that it was empty or its
// size and SHA-256. A backup is loaded only when every recorded file is there with its size and hash, so
// a restore checks everything before it writes anything.
#include "BackupStore.h"
#include "Outcome.h"
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

// What is wrong with a backup folder, beside the outcome's status: the facts its texts need.
enum class Defect {
    None,
    FolderNotEmpty,     // write: the folder holds something
    FolderNotMade,      // write: the folder could not be made
    NoManifest,         // Foreign: there is no manifest
    OtherFormat,        // Foreign: the manifest is not one this program writes
    UnknownVersion,     // Foreign: of a format version not known (detail: the version it gives)
    ManifestUnreadable, // Damaged: the manifest cannot be read
    NoTime,             // Damaged: the manifest gives no time
    SectionUndescribed, // Damaged: a section (slot) is not described
    SectionTooLarge,    // Damaged: a section is recorded larger than it holds (detail: the size)
    FileUnreadable,     // Damaged: a section's file cannot be read (fileError)
    WrongSize,          // Damaged: a section's file does not hold the recorded size (detail: the size)
    WrongHash,          // Damaged: a section's file does not match its SHA-256
};

// A backup written: Ok; LinkFailed or ReadMismatch at a section (slot); FileError (fileError, or the
// folder's defect). The outcome's path is the folder.
struct WriteOutcome {
    Outcome outcome;
    Defect defect = Defect::None;
    int sectionsWithData = 0;
    bool ok() const { return outcome.ok(); }
};
// Reads every section and writes the backup into folder, which is made when missing and must be empty.
// Nothing is written unless all sections were read; a failed write removes what it wrote.
WriteOutcome write(GBPCtrl& link, const QString& folder, const QDateTime& time,
                   const SectionOps::Progress& progress = {});

// A backup loaded: Ok, NotFound, Foreign or Damaged with the defect; the outcome's path is the folder.
struct Loaded {
    // One that load did not fill is no backup to restore.
    Loaded() { outcome.status = SectionStatus::NotFound; }
    Outcome outcome;
    Defect defect = Defect::None;
    Manifest manifest;
    std::array<std::vector<uint8_t>, kSectionCount> data;
    bool ok() const { return outcome.ok(); }
};
// Loads and checks a backup folder (no phone involved). Only plain files are read, never through a link.
Loaded load(const QString& folder);
// Checks a manifest's text (folder only names the backup): Ok with the manifest filled in, else Foreign
// or Damaged with the defect. Reads no file.
Loaded parseManifest(const QByteArray& json, const QString& folder);
// A larger manifest is no backup of this program's.
inline constexpr int64_t kMaxManifestSize = 1 << 20;

// Restores the chosen slots (all when empty; each once, in the order named) of a loaded backup through
// the safe path: sections recorded with data are written, the others cleared. One outcome for each
// section changed (SectionOps::replaceSection's), in order. Stops at the first failure; a section larger
// than its capacity stops it before anything is written (TooLarge).
std::vector<Outcome> restore(GBPCtrl& link, BackupStore& backups, const Loaded& backup,
                             const std::vector<int>& only = {}, const SectionOps::Progress& progress = {});

// The phone against a backup, section by section: Ok when they match, VerifyFailed when they differ,
// ReadMismatch when the phone did not give the section's bytes, LinkFailed when it did not answer (the
// comparison stops there).
struct Comparison {
    Outcome outcome;
    SectionState expected;
    SectionState actual; // when readable
    bool matches() const { return outcome.ok(); }
    bool readable() const { return outcome.ok() || outcome.status == SectionStatus::VerifyFailed; }
};
std::vector<Comparison> verify(GBPCtrl& link, const Manifest& manifest,
                               const SectionOps::Progress& progress = {});

// What the phone holds in a section, as a backup records it.
SectionState stateOf(const SectionOps::SectionContent& content);

} // namespace FullBackup
