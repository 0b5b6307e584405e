#pragma once
// What an operation of core did: one closed set of statuses for the section operations, the automatic
// backups and the full backups, with the facts the texts need. Core returns these and never a sentence;
// the window and tarvel-cli turn them into their messages (SectionTexts) at their edge.
#include <QString>

enum class SectionStatus {
    Ok,
    LinkFailed,   // a call got no answer; in a change, before anything was changed
    ReadMismatch, // the phone did not give the section's bytes (a count that does not fit, or not the size)
    BackupFailed, // a change's old content could not be saved (fileError): nothing was changed
    FileError,    // a file could not be read or written (fileError)
    ClearFailed,
    WriteFailed,
    VerifyFailed, // the phone does not give back what was written, or what a backup records
    TooLarge,     // more bytes than the section holds: nothing was changed
    NotFound,     // the backup folder does not exist
    Damaged,      // a backup that is ours but cannot be used
    Foreign,      // a folder that is no backup of this program's
};

// Where a section's old content is after a change that failed.
enum class Recovery {
    None,      // nothing to recover (success, nothing changed, or the section held nothing)
    Restored,  // the old content was written back and verified
    SavedOnly, // writing it back failed too: it is in the backup (path)
};

struct Outcome {
    SectionStatus status = SectionStatus::Ok;
    Recovery recovery = Recovery::None;
    int slot = -1;     // the section concerned, when there is one
    QString path;      // the backup or file concerned
    int fileError = 0; // the file-error code (EInOutError's), for BackupFailed, FileError, Damaged
    QString detail;    // a fact for the texts (e.g. the version a manifest gives), never a sentence
    bool ok() const { return status == SectionStatus::Ok; }
};
