#pragma once
// Automatic backups: what a section held before a change, one folder per section under the phone's
// folder of the backup root (PHONE/GG-NN/<UTC time to milliseconds>.bin), so that the backups and notes
// of one phone are never taken for another's. Each backup is written atomically and flushed; the newest
// kKeep of a section are kept, older ones removed only after a newer one is safely on disk.
// A section being changed also has a note of the change (pending), so that a change cut short by a
// crash can be finished or undone at the next session of the same phone. The folders are read as the
// program's own: a link, a pipe or anything but a plain file in them is never followed or opened.
#include "Outcome.h"
#include "SectionTable.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

struct BackupEntry {
    QString path;
    QDateTime time; // UTC
    int64_t size = 0;
    ContentKind kind = ckNone; // of the first 20 bytes, as a scan would classify them
    std::string name;          // the application's name when kind is ckApplication
};

// The bytes of a backup read back: Ok, or FileError with the code (nothing read).
struct BackupContent {
    Outcome outcome;
    std::vector<uint8_t> bytes;
    bool ok() const { return outcome.ok(); }
};

// A change of a section in progress: the backup of its old content and what it is to hold.
struct PendingChange {
    QString phone; // the phone it belongs to
    QString backupPath;
    bool toEmpty = false; // a clear
    int64_t newSize = 0;  // otherwise the new content's length
    QByteArray newSha256; // and hash (hex)
};

class BackupStore {
  public:
    // root: the folder holding one folder per section; empty means the default.
    explicit BackupStore(QString root = {});

    // backups under the application-data location.
    static QString defaultRoot();
    const QString& root() const { return root_; }
    void setRoot(QString root) { root_ = std::move(root); }
    // The phone the backups are of (a folder name, Backend::phoneName); empty: directly in the root.
    const QString& phone() const { return phone_; }
    void setPhone(QString phone) { phone_ = std::move(phone); }
    // The clock that names backups (UTC); tests set their own.
    void setClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }

    QString sectionFolder(int slot) const;

    // Saves bytes as the section's newest backup, whose path the outcome gives; then removes all but the
    // newest kKeep. A file error is FileError with its code, and then nothing was removed.
    Outcome save(int slot, const std::vector<uint8_t>& bytes);
    // The section's backups, newest first. A name more than a day ahead of the clock is no backup of
    // this program's: it is neither listed nor used to name the next one.
    std::vector<BackupEntry> list(int slot) const;
    // The bytes of a backup, a plain file of at most limit bytes; else FileError with the code.
    static BackupContent load(const QString& path, int64_t limit = kLargestSection);

    // The note of a change in progress (written flushed before the section is touched); FileError with
    // the code when it cannot be written.
    Outcome markPending(int slot, const PendingChange& change);
    void clearPending(int slot);
    // Only a note of this store's phone counts.
    std::optional<PendingChange> pending(int slot) const;

    static constexpr int kKeep = 50;

  private:
    // The backup names of a folder that this store takes for its own, oldest first.
    QStringList backupNames(const QString& folder) const;

    QString root_;
    QString phone_;
    std::function<QDateTime()> clock_;
};

// SHA-256 of bytes in lower-case hex.
QByteArray sha256Hex(const uint8_t* data, std::size_t size);
inline QByteArray sha256Hex(const std::vector<uint8_t>& bytes) {
    return sha256Hex(bytes.data(), bytes.size());
}
