#pragma once
// The section operations over a device link, as functions that return what happened: no widgets, no
// texts for dialogs. The window and tarvel-cli both use them. Unless a function says otherwise the link
// must be in GBP mode (the caller holds a GBPSession), so that a caller can ask the user between steps.
//
// Every change of a section that holds data goes the safe way: the old content is read whole and saved
// as an automatic backup (flushed) before the section is touched; if the backup cannot be made nothing
// changes; if the clear, the write or its verification fails, the old content is written back and
// verified. A note of the change is kept meanwhile, so a change cut short by a crash is finished or
// undone by finishInterrupted at the next session.
#include "BackupStore.h"
#include "GBPCtrl.h"
#include "SectionTable.h"

#include <QString>
#include <functional>
#include <vector>

namespace SectionOps {

enum class Step { Scanning, Reading, BackingUp, Clearing, Writing, Verifying, Restoring };

// Where an operation stands: the step and the section; index (1-based) and total count the sections
// of an operation on several, and are 0 for an operation on one.
struct ProgressEvent {
    Step step;
    int slot;
    int index = 0;
    int total = 0;
};
using Progress = std::function<void(const ProgressEvent&)>;

// The activity panel's text when the phone cannot be put into GBP mode on port.
QString gbpErrorText(uint8_t port);

// Whether a count from a whole-section read fits the transfer buffer it was read into.
inline bool countFitsBuffer(int32_t count) {
    return count >= 0 && count <= kTransferBufferSize;
}

// Scans all 31 sections in slot order into table; progress comes before each section (Scanning).
// Stops at the first call that gets no answer and returns false; the sections not reached keep their
// records.
bool scanAll(GBPCtrl& link, SectionTable& table, const Progress& progress = {});

// A whole-section read (count 0). ok when the count fits the buffer; bytes then holds count bytes.
struct SectionRead {
    bool ok = false;
    int32_t count = 0; // as the link returned it
    std::vector<uint8_t> bytes;
};
SectionRead readSection(GBPCtrl& link, int slot);
// The read for viewing: the whole section into buffer (kTransferBufferSize bytes); the count comes back
// as the link gave it, for the viewer shows it as it came and uses only what fits.
int32_t readForViewing(GBPCtrl& link, int slot, uint8_t* buffer);

// What the phone holds in a section: empty (a negative size the phone gave), or its bytes, read whole
// with the count equal to the size. readable is false when the read does not give the size's bytes, and
// linkFailed too when a call got no answer (a no-answer size is never an empty section).
struct SectionContent {
    bool readable = false;
    bool empty = false;
    bool linkFailed = false;
    std::vector<uint8_t> bytes;
};
SectionContent readContent(GBPCtrl& link, int slot);

enum class Result {
    Ok,
    BackupFailed, // the old content could not be read or saved: nothing was changed
    ClearFailed,
    WriteFailed,
    VerifyFailed, // the phone does not give back what was written
    TooLarge,     // more bytes than the section holds: nothing was changed
};
enum class Recovery {
    None,      // nothing to recover (success, nothing changed, or the section held nothing)
    Restored,  // the old content was written back and verified
    SavedOnly, // writing it back failed too: it is in the backup
};

struct ChangeOutcome {
    Result result = Result::Ok;
    Recovery recovery = Recovery::None;
    QString backupPath;      // the automatic backup of the old content; empty when the section held nothing
    QString error;           // for BackupFailed: why ("the section could not be read" or a file error's text)
    bool fileError = false;  // for BackupFailed: the backup could not be saved (else the read failed)
    bool linkFailed = false; // for BackupFailed: the phone did not answer
    bool ok() const { return result == Result::Ok; }
};

// Makes the section hold exactly length bytes of data (at most the section's capacity, else TooLarge):
// backup, clear, write, verify. A section the phone reports empty is written without a backup or a clear.
// The sentence a failure report ends with, saying where the old content is now: "Its previous content
// was restored." or "Its previous content is saved in PATH."; empty when nothing was at stake.
QString recoverySentence(const ChangeOutcome& outcome);

ChangeOutcome replaceSection(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* data,
                             int32_t length, const Progress& progress = {});
// Empties the section, after saving what it holds.
ChangeOutcome clearSection(GBPCtrl& link, BackupStore& backups, int slot, const Progress& progress = {});

// A change cut short found at the start of a session, and what was done about it.
struct Interrupted {
    int slot = 0;
    bool restored = false; // the old content was written back (else the section already held the old
                           // or the new content, or writing back failed: see failed)
    bool failed = false;
    bool backupUnusable = false; // the note's backup is missing, not a plain file or too large
    bool linkFailed = false;     // the phone did not answer: nothing was done and the note stays
    QString backupPath;
};
// Looks for changes cut short on the backups' phone and undoes those that left the section neither old
// nor new, through the safe path (what the section holds then is backed up first). Stops at the first
// call that gets no answer.
std::vector<Interrupted> finishInterrupted(GBPCtrl& link, BackupStore& backups);
// What became of the section's old content, as a sentence; empty when nothing needs saying.
QString interruptedSentence(const Interrupted& item);

} // namespace SectionOps
