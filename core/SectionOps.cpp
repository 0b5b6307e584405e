#include "SectionOps.h"

#include <cstring>

namespace SectionOps {

namespace {

void report(const Progress& progress, Step step, int slot) {
    if (progress)
        progress({step, slot});
}

bool sameBytes(const std::vector<uint8_t>& a, const uint8_t* b, int32_t length) {
    return static_cast<int64_t>(a.size()) == length &&
           (length == 0 || std::memcmp(a.data(), b, static_cast<std::size_t>(length)) == 0);
}

// Writes bytes and reads them back: Ok when the phone took the write and gives the same bytes, else
// WriteFailed or VerifyFailed.
SectionStatus writeAndVerify(GBPCtrl& link, int slot, const uint8_t* data, int32_t length,
                             const Progress& progress) {
    report(progress, Step::Writing, slot);
    if (link.WriteNVMFile(SectionGroup(slot), SectionNumber(slot), data, length) != 0)
        return SectionStatus::WriteFailed;
    report(progress, Step::Verifying, slot);
    const SectionRead back = readSection(link, slot);
    if (!back.ok() || !sameBytes(back.bytes, data, length))
        return SectionStatus::VerifyFailed;
    return SectionStatus::Ok;
}

// The shared safe path: newBytes is what the section is to hold, or nullptr to empty it.
Outcome change(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* newBytes, int32_t newLength,
               const Progress& progress) {
    const uint8_t group = SectionGroup(slot), number = SectionNumber(slot);
    Outcome out;
    out.slot = slot;
    report(progress, Step::BackingUp, slot);
    const SectionContent old = readContent(link, slot);
    if (!old.ok()) {
        out.status = old.outcome.status;
        return out;
    }
    if (!old.empty) {
        const Outcome saved = backups.save(slot, old.bytes);
        Outcome noted = saved;
        if (saved.ok()) {
            out.path = saved.path;
            PendingChange note;
            note.backupPath = saved.path;
            note.toEmpty = newBytes == nullptr;
            note.newSize = newLength;
            if (newBytes != nullptr)
                note.newSha256 = sha256Hex(newBytes, static_cast<std::size_t>(newLength));
            noted = backups.markPending(slot, note);
        }
        if (!noted.ok()) {
            out.status = SectionStatus::BackupFailed;
            out.fileError = noted.fileError;
            return out;
        }
    }

    if (newBytes == nullptr || !old.empty) {
        report(progress, Step::Clearing, slot);
        if (link.ClearNVMFile(group, number) != 0)
            out.status = SectionStatus::ClearFailed;
    }
    if (out.ok() && newBytes != nullptr)
        out.status = writeAndVerify(link, slot, newBytes, newLength, progress);
    if (!out.ok() && !old.empty) {
        report(progress, Step::Restoring, slot);
        const auto length = static_cast<int32_t>(old.bytes.size());
        out.recovery = writeAndVerify(link, slot, old.bytes.data(), length, {}) == SectionStatus::Ok
                           ? Recovery::Restored
                           : Recovery::SavedOnly;
    }
    if (!old.empty)
        backups.clearPending(slot);
    return out;
}

} // namespace

Outcome scanAll(GBPCtrl& link, SectionTable& table, const Progress& progress) {
    Outcome out;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        if (progress)
            progress({Step::Scanning, slot, slot + 1, kSectionCount});
        // One deadline for a link that hangs, not one per section.
        if (!ScanSection(link, table, slot)) {
            out.status = SectionStatus::LinkFailed;
            out.slot = slot;
            return out;
        }
    }
    return out;
}

SectionRead readSection(GBPCtrl& link, int slot) {
    SectionRead read;
    read.outcome.slot = slot;
    read.bytes.resize(kTransferBufferSize);
    read.count = link.ReadNVMFile(SectionGroup(slot), SectionNumber(slot), read.bytes.data(), 0);
    if (!countFitsBuffer(read.count))
        read.outcome.status =
            link.lastCall() != CallStatus::Answered ? SectionStatus::LinkFailed : SectionStatus::ReadMismatch;
    read.bytes.resize(read.ok() ? static_cast<std::size_t>(read.count) : 0);
    return read;
}

int32_t readForViewing(GBPCtrl& link, int slot, uint8_t* buffer) {
    return link.ReadNVMFile(SectionGroup(slot), SectionNumber(slot), buffer, 0);
}

SectionContent readContent(GBPCtrl& link, int slot) {
    SectionContent content;
    content.outcome.slot = slot;
    const int32_t size = link.GetNVMFileSize(SectionGroup(slot), SectionNumber(slot));
    if (link.lastCall() != CallStatus::Answered) {
        content.outcome.status = SectionStatus::LinkFailed;
        return content;
    }
    if (size < 0) {
        content.empty = true;
        return content;
    }
    SectionRead read = readSection(link, slot);
    if (link.lastCall() != CallStatus::Answered)
        content.outcome.status = SectionStatus::LinkFailed;
    else if (!read.ok() || read.count != size)
        content.outcome.status = SectionStatus::ReadMismatch;
    else
        content.bytes = std::move(read.bytes);
    return content;
}

Outcome replaceSection(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* data, int32_t length,
                       const Progress& progress) {
    static const uint8_t kNothing = 0;
    if (length < 0 || length > SectionCapacity(slot) || (data == nullptr && length > 0)) {
        Outcome refused;
        refused.slot = slot;
        refused.status =
            length > SectionCapacity(slot) ? SectionStatus::TooLarge : SectionStatus::WriteFailed;
        return refused;
    }
    return change(link, backups, slot, data != nullptr ? data : &kNothing, length, progress);
}

Outcome clearSection(GBPCtrl& link, BackupStore& backups, int slot, const Progress& progress) {
    return change(link, backups, slot, nullptr, 0, progress);
}

bool backupStepFailed(const Outcome& outcome) {
    return outcome.status == SectionStatus::LinkFailed || outcome.status == SectionStatus::ReadMismatch ||
           outcome.status == SectionStatus::BackupFailed;
}

std::vector<Outcome> finishInterrupted(GBPCtrl& link, BackupStore& backups) {
    std::vector<Outcome> found;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const std::optional<PendingChange> note = backups.pending(slot);
        if (!note)
            continue;
        Outcome item;
        item.slot = slot;
        item.path = note->backupPath;
        // Never more than the section holds: the note may name anything that lies in the folder.
        const BackupContent old = BackupStore::load(note->backupPath, SectionCapacity(slot));
        const SectionContent now = readContent(link, slot);
        const bool isNew =
            now.ok() && (note->toEmpty ? now.empty
                                       : !now.empty && int64_t(now.bytes.size()) == note->newSize &&
                                             sha256Hex(now.bytes) == note->newSha256);
        const bool isOld = now.ok() && !now.empty && now.bytes == old.bytes;
        if (now.outcome.status == SectionStatus::LinkFailed) {
            item.status = SectionStatus::LinkFailed;
        } else if (!old.ok()) {
            item.status = SectionStatus::Damaged;
            item.fileError = old.outcome.fileError;
        } else if (!isNew && !isOld) {
            // The safe way too: whatever the section holds now (it may not be what the note expects) is
            // saved before the old content goes back.
            const Outcome back =
                replaceSection(link, backups, slot, old.bytes.data(), static_cast<int32_t>(old.bytes.size()));
            item.status = back.status;
            item.recovery = back.ok()                                  ? Recovery::Restored
                            : back.status == SectionStatus::LinkFailed ? Recovery::None
                                                                       : Recovery::SavedOnly;
        }
        found.push_back(item);
        if (item.status == SectionStatus::LinkFailed)
            break; // the note stays for a session in which the phone answers
        backups.clearPending(slot);
    }
    return found;
}

} // namespace SectionOps
