#include "SectionTexts.h"

#include "EInOutError.h"
#include "SectionTitle.h"

#include <QDir>

namespace SectionTexts {

using FullBackup::Defect;

QString gbpErrorText(uint8_t port) {
    return QString("GBP Error (COM %1)").arg(port);
}

QString noAnswerAt(int slot) {
    return QString("The phone did not answer at section %1.").arg(sectionId(slot));
}

QString notReadable(int slot) {
    return QString("Section %1 could not be read.").arg(sectionId(slot));
}

QString recoverySentence(const Outcome& outcome) {
    switch (outcome.recovery) {
    case Recovery::Restored:
        return "Its previous content was restored.";
    case Recovery::SavedOnly:
        return QString("Its previous content is saved in %1.").arg(QDir::toNativeSeparators(outcome.path));
    case Recovery::None:
        break;
    }
    return {};
}

QString backupFailedReason(const Outcome& outcome) {
    switch (outcome.status) {
    case SectionStatus::LinkFailed:
        return "the phone did not answer";
    case SectionStatus::ReadMismatch:
        return "the section could not be read";
    default:
        return EInOutError::textFor(outcome.fileError);
    }
}

QString notBackedUp(int slot) {
    return QString("Section %1 could not be backed up; nothing was changed.").arg(sectionId(slot));
}

QString notBackedUpBecause(const Outcome& outcome) {
    return QString("Section %1 could not be backed up; nothing was changed (%2).")
        .arg(sectionId(outcome.slot), backupFailedReason(outcome));
}

QString interruptedSentence(const Outcome& outcome) {
    if (outcome.status == SectionStatus::LinkFailed)
        return "The phone did not answer; the change is looked at again next time.";
    if (outcome.status == SectionStatus::Damaged)
        return QString("Its backup %1 is missing or damaged; the section was left as it is.")
            .arg(QDir::toNativeSeparators(outcome.path));
    return recoverySentence(outcome);
}

QString backupFolderError(const Outcome& outcome, Defect defect) {
    const QString shown = QDir::toNativeSeparators(outcome.path);
    const QString manifest = FullBackup::kManifestName;
    const QString file = outcome.slot >= 0 ? FullBackup::sectionFileName(outcome.slot) : QString();
    auto foreign = [&](const QString& why) {
        return QString("%1 is not a Tarvel backup: %2").arg(shown, why);
    };
    auto damaged = [&](const QString& why) {
        return QString("The backup in %1 is damaged: %2").arg(shown, why);
    };
    switch (outcome.status) {
    case SectionStatus::Ok:
        return {};
    case SectionStatus::LinkFailed:
        return noAnswerAt(outcome.slot);
    case SectionStatus::ReadMismatch:
        return notReadable(outcome.slot);
    case SectionStatus::NotFound:
        return QString("Folder %1 does not exist.").arg(shown);
    default:
        break;
    }
    switch (defect) {
    case Defect::FolderNotEmpty:
        return QString("Folder %1 is not empty.").arg(shown);
    case Defect::FolderNotMade:
        return QString("Folder %1 could not be made.").arg(shown);
    case Defect::NoManifest:
        return foreign(QString("it has no %1.").arg(manifest));
    case Defect::OtherFormat:
        return foreign(QString("its %1 is not one Tarvel writes.").arg(manifest));
    case Defect::UnknownVersion:
        return foreign(QString("its format version %1 is not known.").arg(outcome.detail));
    case Defect::ManifestUnreadable:
        return damaged(QString("%1 cannot be read.").arg(manifest));
    case Defect::NoTime:
        return damaged(QString("%1 gives no time.").arg(manifest));
    case Defect::SectionUndescribed:
        return damaged(QString("section %1 is not described.").arg(sectionId(outcome.slot)));
    case Defect::SectionTooLarge:
        return damaged(QString("section %1 is recorded with %2 bytes; it holds at most %3.")
                           .arg(sectionId(outcome.slot))
                           .arg(outcome.detail)
                           .arg(SectionCapacity(outcome.slot)));
    case Defect::FileUnreadable:
        return damaged(QString("%1: %2.").arg(file, EInOutError::textFor(outcome.fileError)));
    case Defect::WrongSize:
        return damaged(QString("%1 does not hold %2 bytes.").arg(file).arg(outcome.detail));
    case Defect::WrongHash:
        return damaged(QString("%1 does not match its SHA-256.").arg(file));
    case Defect::None:
        break;
    }
    return EInOutError::textFor(outcome.fileError);
}

QString backupFolderError(const FullBackup::WriteOutcome& written) {
    return backupFolderError(written.outcome, written.defect);
}

QString backupFolderError(const FullBackup::Loaded& loaded) {
    return backupFolderError(loaded.outcome, loaded.defect);
}

} // namespace SectionTexts
