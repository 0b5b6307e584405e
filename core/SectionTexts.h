#pragma once
// The sentences the window and tarvel-cli say about core's outcomes. Core itself returns outcomes and
// facts only; these turn them into text at the edge, the same for both.
#include "FullBackup.h"
#include "Outcome.h"

#include <QString>
#include <cstdint>

namespace SectionTexts {

// The activity panel's text when the phone cannot be put into GBP mode on port: "GBP Error (COM 1)".
QString gbpErrorText(uint8_t port);

// "The phone did not answer at section 18-09."
QString noAnswerAt(int slot);
// "Section 18-09 could not be read."
QString notReadable(int slot);

// The sentence a failed change's report ends with, saying where the old content is now: "Its previous
// content was restored." or "Its previous content is saved in PATH."; empty when nothing was at stake.
QString recoverySentence(const Outcome& outcome);

// Why a change's old content could not be backed up (SectionOps::backupStepFailed): "the phone did not
// answer", "the section could not be read", or the file error's text.
QString backupFailedReason(const Outcome& outcome);
// "Section 18-09 could not be backed up; nothing was changed." (the window's)
QString notBackedUp(int slot);
// "Section 18-09 could not be backed up; nothing was changed (REASON)." (tarvel-cli's)
QString notBackedUpBecause(const Outcome& outcome);

// What became of the old content of a change cut short (SectionOps::finishInterrupted), as a sentence;
// empty when nothing needs saying.
QString interruptedSentence(const Outcome& outcome);

// Why a full backup could not be written or loaded (its outcome and defect); empty when it could.
QString backupFolderError(const Outcome& outcome, FullBackup::Defect defect);
QString backupFolderError(const FullBackup::WriteOutcome& written);
QString backupFolderError(const FullBackup::Loaded& loaded);

} // namespace SectionTexts
