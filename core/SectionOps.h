#pragma once
// The section operations over a device link, as functions that return what happened (Outcome): no widgets,
// no texts. The window and tarvel-cli both use them. Unless a function says otherwise the link
// must be in GBP mode (the caller holds a GBPSession), so that a caller can ask the user between steps.
//
// Every change of a section that holds data goes the safe way: the old content is read whole and saved
// as an automatic backup (flushed) before the section is touched; if the backup cannot be made nothing
// changes; if the clear, the write or its verification fails, the old content is written back and
// verified. A note of the change is kept meanwhile, so a change cut short by a crash is finished or
// undone by finishInterrupted at the next session.
#include "BackupStore.h"
#include "GBPCtrl.h"
#include "Outcome.h"
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

// Whether a count from a whole-section read fits the transfer buffer it was read into.
inline bool countFitsBuffer(int32_t count) {
    return count >= 0 && count <= kTransferBufferSize;
}

// Scans all 31 sections in slot order into table; progress comes before each section (Scanning).
// Stops at the first call that gets no answer (LinkFailed, slot the section); the sections not reached
// keep their records.
Outcome scanAll(GBPCtrl& link, SectionTable& table, const Progress& progress = {});

// A whole-section read (count 0): Ok when the count fits the buffer, and bytes then holds count bytes;
// else LinkFailed when the call got no answer, or ReadMismatch.
struct SectionRead {
    Outcome outcome;
    int32_t count = 0; // as the link returned it
    std::vector<uint8_t> bytes;
    bool ok() const { return outcome.ok(); }
};
SectionRead readSection(GBPCtrl& link, int slot);
// The read for viewing: the whole section into buffer (kTransferBufferSize bytes); the count comes back
// as the link gave it, for the viewer shows it as it came and uses only what fits.
int32_t readForViewing(GBPCtrl& link, int slot, uint8_t* buffer);

// What the phone holds in a section: empty (a negative size the phone gave), or its bytes, read whole
// with the count equal to the size. ReadMismatch when the read does not give the size's bytes,
// LinkFailed when a call got no answer (a no-answer size is never an empty section).
struct SectionContent {
    Outcome outcome;
    bool empty = false;
    std::vector<uint8_t> bytes;
    bool ok() const { return outcome.ok(); }
};
SectionContent readContent(GBPCtrl& link, int slot);

// Makes the section hold exactly length bytes of data (at most the section's capacity, else TooLarge):
// backup, clear, write, verify. A section the phone reports empty is written without a backup or a clear.
// The outcome's path is the automatic backup of the old content (empty when the section held nothing).
// Before the section is touched: LinkFailed or ReadMismatch (its old content could not be read) or
// BackupFailed (not saved, with the file error); then ClearFailed, WriteFailed or VerifyFailed, with
// the recovery of the old content.
Outcome replaceSection(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* data, int32_t length,
                       const Progress& progress = {});
// Empties the section, after saving what it holds.
Outcome clearSection(GBPCtrl& link, BackupStore& backups, int slot, const Progress& progress = {});
// Whether a change stopped because the old content could not be backed up (read or saved): then nothing
// was changed.
bool backupStepFailed(const Outcome& outcome);

// Looks for changes cut short on the backups' phone and undoes those that left the section neither old
// nor new, through the safe path (what the section holds then is backed up first). Stops at the first
// call that gets no answer. One outcome for each change found, with its slot and the note's backup
// (path): LinkFailed (nothing was done and the note stays), Damaged (the backup is missing, not a plain
// file or too large: the section was left as it is, fileError the code), Ok with Restored (written
// back) or None (the section held the old or the new content), or the status of the failed write back
// with SavedOnly.
std::vector<Outcome> finishInterrupted(GBPCtrl& link, BackupStore& backups);

} // namespace SectionOps
