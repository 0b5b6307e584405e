#include "CliReport.h"

#include "SectionTable.h"
#include "SectionTexts.h"
#include "SectionTitle.h"

namespace Cli {

namespace {

QString actionWord(Doing doing) {
    switch (doing) {
    case Doing::Clearing:
        return "Clearing";
    case Doing::Restoring:
        return "Restoring";
    default:
        return "Writing";
    }
}

} // namespace

CliReport report(const Outcome& outcome, Doing doing, FullBackup::Defect defect) {
    const bool change = doing == Doing::Writing || doing == Doing::Clearing || doing == Doing::Restoring;
    const QString section = outcome.slot >= 0 ? sectionId(outcome.slot) : QString();
    switch (outcome.status) {
    case SectionStatus::Ok:
        return {kSuccess, {}};
    case SectionStatus::LinkFailed:
        if (change)
            return {kLinkFailed, SectionTexts::notBackedUpBecause(outcome)};
        if (doing == Doing::Verifying)
            return {
                kLinkFailed,
                QString("The phone did not answer at section %1; the backup was not compared.").arg(section)};
        return {kLinkFailed, SectionTexts::noAnswerAt(outcome.slot)};
    case SectionStatus::ReadMismatch:
        return {kLinkFailed,
                change ? SectionTexts::notBackedUpBecause(outcome) : SectionTexts::notReadable(outcome.slot)};
    case SectionStatus::BackupFailed:
        return {kFileError, SectionTexts::notBackedUpBecause(outcome)};
    case SectionStatus::ClearFailed:
    case SectionStatus::WriteFailed:
    case SectionStatus::VerifyFailed: {
        if (doing == Doing::Verifying)
            return {kMismatch, {}};
        const QString recovery = SectionTexts::recoverySentence(outcome);
        return {kLinkFailed, QString("%1 section %2 failed.").arg(actionWord(doing), section) +
                                 (recovery.isEmpty() ? recovery : " " + recovery)};
    }
    case SectionStatus::TooLarge:
        return {kMismatch, QString("Section %1 holds at most %2 bytes; nothing was changed.")
                               .arg(section)
                               .arg(SectionCapacity(outcome.slot))};
    case SectionStatus::FileError:
    case SectionStatus::NotFound:
        return {kFileError, SectionTexts::backupFolderError(outcome, defect)};
    case SectionStatus::Damaged:
    case SectionStatus::Foreign:
        return {kMismatch, SectionTexts::backupFolderError(outcome, defect)};
    }
    return {kLinkFailed, {}};
}

} // namespace Cli
