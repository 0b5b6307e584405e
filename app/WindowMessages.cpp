#include "WindowMessages.h"

#include "SectionTexts.h"
#include "SectionTitle.h"

#include <QDateTime>
#include <QDir>

namespace WindowMessages {

MessageBoxRequest message(const QString& caption, const QString& text, MsgIcon icon, MsgButtons buttons,
                          MsgResult defaultButton) {
    MessageBoxRequest r;
    r.caption = caption;
    r.text = text;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return r;
}

MessageBoxRequest error(const QString& text) {
    return message("Error", text, MsgIcon::Error);
}

QString connected(uint8_t port) {
    return QString("Connected to COM %1").arg(port);
}

QString recoveryLine(const Outcome& outcome) {
    const QString sentence = SectionTexts::recoverySentence(outcome);
    return sentence.isEmpty() ? sentence : "\r\n" + sentence;
}

QString stepText(SectionOps::Step step) {
    if (step == SectionOps::Step::Writing)
        return "Writing section...";
    if (step == SectionOps::Step::Restoring)
        return "Restoring section...";
    return {};
}

MessageBoxRequest changeReport(int slot, int32_t size, const Outcome& outcome, const QString& caption,
                               const QString& success, const QString& failure) {
    if (outcome.ok())
        return message(caption, success.arg(sectionId(slot)).arg(size), MsgIcon::Information);
    return error(failure.arg(sectionId(slot)) + QString("\r\nThe section holds %1 bytes.").arg(size) +
                 recoveryLine(outcome));
}

MessageBoxRequest clearReport(int slot, const Outcome& outcome) {
    if (outcome.ok())
        return message("Clear section", QString("Section %1 cleared.").arg(sectionId(slot)),
                       MsgIcon::Information);
    if (SectionOps::backupStepFailed(outcome))
        return error(SectionTexts::notBackedUp(slot));
    return error(QString("Section %1 could not be cleared.").arg(sectionId(slot)) + recoveryLine(outcome));
}

MessageBoxRequest overwriteQuestion(int slot, int32_t size) {
    return message(
        "Change section",
        QString("Section %1\r\n(%2 bytes)\r\nisn't empty.\r\nOverwrite data?").arg(sectionId(slot)).arg(size),
        MsgIcon::Information, MsgButtons::YesNo, MsgResult::Yes);
}

MessageBoxRequest clearQuestion(int slot, int32_t size) {
    return message("Clear section",
                   QString("Clear section %1\r\n(%2 bytes)\r\nAre You sure?").arg(sectionId(slot)).arg(size),
                   MsgIcon::Warning, MsgButtons::YesNo, MsgResult::No);
}

MessageBoxRequest restoreAllQuestion(const FullBackup::Manifest& manifest) {
    return message("Restore all from a backup",
                   QString("Restore all sections from the backup of %1?\r\n"
                           "What they hold now is backed up first.")
                       .arg(manifest.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss")),
                   MsgIcon::Warning, MsgButtons::YesNo, MsgResult::No);
}

MessageBoxRequest restoreAllReport(const std::vector<Outcome>& results, const QString& folder) {
    if (!results.empty() && !results.back().ok()) {
        const Outcome& failed = results.back();
        const QString done = results.size() > 1 ? "\r\nThe sections before it were restored." : QString();
        if (SectionOps::backupStepFailed(failed))
            return error(SectionTexts::notBackedUp(failed.slot) + done);
        return error(QString("Restore of section %1 failed.").arg(sectionId(failed.slot)) +
                     recoveryLine(failed) + done);
    }
    return message("Restore all from a backup",
                   QString("All sections restored from\r\n%1").arg(QDir::toNativeSeparators(folder)),
                   MsgIcon::Information);
}

MessageBoxRequest interruptedReport(const Outcome& item) {
    const QString sentence = SectionTexts::interruptedSentence(item);
    if (sentence.isEmpty())
        return {};
    return message("Reload",
                   QString("A change of section %1 was cut short.\r\n").arg(sectionId(item.slot)) + sentence,
                   item.recovery == Recovery::Restored ? MsgIcon::Information : MsgIcon::Error);
}

} // namespace WindowMessages
