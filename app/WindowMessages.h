#pragma once
// The main window's messages about the section operations: what each outcome says, with its caption
// and icon. The controller decides when to show them; the texts live here.
#include "Dialogs.h"
#include "FullBackup.h"
#include "Outcome.h"
#include "SectionOps.h"

#include <QString>

namespace WindowMessages {

MessageBoxRequest message(const QString& caption, const QString& text, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok, MsgResult defaultButton = MsgResult::Ok);
MessageBoxRequest error(const QString& text);

QString connected(uint8_t port);
// The line a failure message ends with: where the old content is now; empty when nothing was at stake.
QString recoveryLine(const Outcome& outcome);
// The activity text of a safe change's step, or empty for a step the panel does not show.
QString stepText(SectionOps::Step step);

// After a change of one section through the safe path (Upload, a restore): success with the size the
// section holds now, or failure with it and where the old content is.
MessageBoxRequest changeReport(int slot, int32_t size, const Outcome& outcome, const QString& caption,
                               const QString& success, const QString& failure);
MessageBoxRequest clearReport(int slot, const Outcome& outcome);
MessageBoxRequest overwriteQuestion(int slot, int32_t size);
MessageBoxRequest clearQuestion(int slot, int32_t size);
MessageBoxRequest restoreAllQuestion(const FullBackup::Manifest& manifest);
// After Restore all: the first failure, or success.
MessageBoxRequest restoreAllReport(const std::vector<Outcome>& results, const QString& folder);
// A change of a section cut short by an earlier run, and what became of it; empty text when nothing
// needs saying.
MessageBoxRequest interruptedReport(const Outcome& item);

} // namespace WindowMessages
