#include "SectionOps.h"

#include "EInOutError.h"

#include <QDir>

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

// Writes bytes and reads them back: true when the phone took the write and gives the same bytes.
bool writeAndVerify(GBPCtrl& link, int slot, const uint8_t* data, int32_t length, const Progress& progress,
                    Result* failure) {
    report(progress, Step::Writing, slot);
    if (link.WriteNVMFile(SectionGroup(slot), SectionNumber(slot), data, length) != 0) {
        *failure = Result::WriteFailed;
        return false;
    }
    report(progress, Step::Verifying, slot);
    const SectionRead back = readSection(link, slot);
    if (!back.ok || !sameBytes(back.bytes, data, length)) {
        *failure = Result::VerifyFailed;
        return false;
    }
    return true;
}

// The shared safe path: newBytes is what the section is to hold, or nullptr to empty it.
ChangeOutcome change(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* newBytes,
                     int32_t newLength, const Progress& progress) {
    const uint8_t group = SectionGroup(slot), number = SectionNumber(slot);
    ChangeOutcome out;
    report(progress, Step::BackingUp, slot);
    const SectionContent old = readContent(link, slot);
    if (!old.readable) {
        out.result = Result::BackupFailed;
        out.linkFailed = old.linkFailed;
        out.error = old.linkFailed ? "the phone did not answer" : "the section could not be read";
        return out;
    }
    if (!old.empty) {
        try {
            out.backupPath = backups.save(slot, old.bytes);
            PendingChange note;
            note.backupPath = out.backupPath;
            note.toEmpty = newBytes == nullptr;
            note.newSize = newLength;
            if (newBytes != nullptr)
                note.newSha256 = sha256Hex(newBytes, static_cast<std::size_t>(newLength));
            backups.markPending(slot, note);
        } catch (const EInOutError& e) {
            out.result = Result::BackupFailed;
            out.fileError = true;
            out.error = QString::fromStdString(e.what());
            return out;
        }
    }

    bool done = true;
    if (newBytes == nullptr || !old.empty) {
        report(progress, Step::Clearing, slot);
        if (link.ClearNVMFile(group, number) != 0) {
            out.result = Result::ClearFailed;
            done = false;
        }
    }
    if (done && newBytes != nullptr)
        done = writeAndVerify(link, slot, newBytes, newLength, progress, &out.result);
    if (!done && !old.empty) {
        report(progress, Step::Restoring, slot);
        Result ignored;
        const auto length = static_cast<int32_t>(old.bytes.size());
        out.recovery = writeAndVerify(link, slot, old.bytes.data(), length, {}, &ignored)
                           ? Recovery::Restored
                           : Recovery::SavedOnly;
    }
    if (!old.empty)
        backups.clearPending(slot);
    return out;
}

} // namespace

QString gbpErrorText(uint8_t port) {
    return QString("GBP Error (COM %1)").arg(port);
}

QString recoverySentence(const ChangeOutcome& outcome) {
    switch (outcome.recovery) {
    case Recovery::Restored:
        return "Its previous content was restored.";
    case Recovery::SavedOnly:
        return QString("Its previous content is saved in %1.")
            .arg(QDir::toNativeSeparators(outcome.backupPath));
    case Recovery::None:
        break;
    }
    return {};
}

bool scanAll(GBPCtrl& link, SectionTable& table, const Progress& progress) {
    for (int slot = 0; slot < kSectionCount; ++slot) {
        if (progress)
            progress({Step::Scanning, slot, slot + 1, kSectionCount});
        // One deadline for a link that hangs, not one per section.
        if (!ScanSection(link, table, slot))
            return false;
    }
    return true;
}

SectionRead readSection(GBPCtrl& link, int slot) {
    SectionRead read;
    read.bytes.resize(kTransferBufferSize);
    read.count = link.ReadNVMFile(SectionGroup(slot), SectionNumber(slot), read.bytes.data(), 0);
    read.ok = countFitsBuffer(read.count);
    read.bytes.resize(read.ok ? static_cast<std::size_t>(read.count) : 0);
    return read;
}

int32_t readForViewing(GBPCtrl& link, int slot, uint8_t* buffer) {
    return link.ReadNVMFile(SectionGroup(slot), SectionNumber(slot), buffer, 0);
}

SectionContent readContent(GBPCtrl& link, int slot) {
    SectionContent content;
    const int32_t size = link.GetNVMFileSize(SectionGroup(slot), SectionNumber(slot));
    if (link.lastCall() != CallStatus::Answered) {
        content.linkFailed = true;
        return content;
    }
    if (size < 0) {
        content.readable = content.empty = true;
        return content;
    }
    SectionRead read = readSection(link, slot);
    content.linkFailed = link.lastCall() != CallStatus::Answered;
    content.readable = !content.linkFailed && read.ok && read.count == size;
    if (content.readable)
        content.bytes = std::move(read.bytes);
    return content;
}

ChangeOutcome replaceSection(GBPCtrl& link, BackupStore& backups, int slot, const uint8_t* data,
                             int32_t length, const Progress& progress) {
    static const uint8_t kNothing = 0;
    if (length < 0 || length > SectionCapacity(slot) || (data == nullptr && length > 0)) {
        ChangeOutcome refused;
        refused.result = length > SectionCapacity(slot) ? Result::TooLarge : Result::WriteFailed;
        return refused;
    }
    return change(link, backups, slot, data != nullptr ? data : &kNothing, length, progress);
}

ChangeOutcome clearSection(GBPCtrl& link, BackupStore& backups, int slot, const Progress& progress) {
    return change(link, backups, slot, nullptr, 0, progress);
}

std::vector<Interrupted> finishInterrupted(GBPCtrl& link, BackupStore& backups) {
    std::vector<Interrupted> found;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const std::optional<PendingChange> note = backups.pending(slot);
        if (!note)
            continue;
        Interrupted item;
        item.slot = slot;
        item.backupPath = note->backupPath;
        std::vector<uint8_t> old;
        try {
            // Never more than the section holds: the note may name anything that lies in the folder.
            old = BackupStore::load(note->backupPath, SectionCapacity(slot));
        } catch (const EInOutError&) {
            item.backupUnusable = true;
        }
        const SectionContent now = readContent(link, slot);
        const bool isNew =
            now.readable && (note->toEmpty ? now.empty
                                           : !now.empty && int64_t(now.bytes.size()) == note->newSize &&
                                                 sha256Hex(now.bytes) == note->newSha256);
        const bool isOld = now.readable && !now.empty && now.bytes == old;
        item.linkFailed = now.linkFailed;
        if (!item.linkFailed && !item.backupUnusable && !isNew && !isOld) {
            // The safe way too: whatever the section holds now (it may not be what the note expects) is
            // saved before the old content goes back.
            const ChangeOutcome back =
                replaceSection(link, backups, slot, old.data(), static_cast<int32_t>(old.size()));
            item.restored = back.ok();
            item.linkFailed = back.linkFailed;
            item.failed = !back.ok() && !item.linkFailed;
        }
        found.push_back(item);
        if (item.linkFailed)
            break; // the note stays for a session in which the phone answers
        backups.clearPending(slot);
    }
    return found;
}

QString interruptedSentence(const Interrupted& item) {
    const QString path = QDir::toNativeSeparators(item.backupPath);
    if (item.linkFailed)
        return "The phone did not answer; the change is looked at again next time.";
    if (item.backupUnusable)
        return QString("Its backup %1 is missing or damaged; the section was left as it is.").arg(path);
    if (item.restored)
        return "Its previous content was restored.";
    if (item.failed)
        return QString("Its previous content is saved in %1.").arg(path);
    return {};
}

} // namespace SectionOps
