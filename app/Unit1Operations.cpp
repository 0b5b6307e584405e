// The section operations of the main window: Upload, Extract and Clear, and the list's context menu
// (restores from automatic backups, full backups). Core does the work; these ask and tell.
#include "Unit1.h"

#include "Charset.h"
#include "EInOutError.h"
#include "FileIO.h"
#include "FullBackup.h"
#include "GBPSession.h"
#include "SectionInfo.h"
#include "SectionTexts.h"
#include "SectionTitle.h"
#include "WaitCursor.h"

#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>
#include <vector>

using SectionTexts::notBackedUp;

namespace {

MessageBoxRequest request(const QString& caption, const QString& text, MsgIcon icon,
                          MsgButtons buttons = MsgButtons::Ok, MsgResult defaultButton = MsgResult::Ok) {
    MessageBoxRequest r;
    r.caption = caption;
    r.text = text;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultButton = defaultButton;
    return r;
}

QString connected(uint8_t port) {
    return QString("Connected to COM %1").arg(port);
}

// The line a failure message ends with: where the old content is now.
QString recoveryLine(const Outcome& outcome) {
    const QString sentence = SectionTexts::recoverySentence(outcome);
    return sentence.isEmpty() ? sentence : "\r\n" + sentence;
}

// Shows the step of a safe change in the activity panel.
SectionOps::Progress stepTexts(const std::function<void(const QString&)>& show) {
    return [show](const SectionOps::ProgressEvent& e) {
        if (e.step == SectionOps::Step::Writing)
            show("Writing section...");
        else if (e.step == SectionOps::Step::Restoring)
            show("Restoring section...");
    };
}

} // namespace

void TForm1::message(const QString& caption, const QString& text, MsgIcon icon) {
    dialogs_.messageBox(this, request(caption, text, icon));
}

bool TForm1::announceSession(const GBPSession& session, uint8_t port) {
    if (!session.entered()) {
        setActivity(gbpErrorText(port));
        return false;
    }
    showActivityNow(connected(port));
    return true;
}

void TForm1::showActivityNow(const QString& text) {
    setActivity(text);
    statusLabels_[2]->repaint();
}

void TForm1::reportChange(int slot, const Outcome& outcome, const QString& caption, const QString& success,
                          const QString& failure) {
    const SectionRecord& now = table_[slot];
    if (outcome.ok())
        message(caption, success.arg(sectionId(slot)).arg(now.Size), MsgIcon::Information);
    else
        message("Error",
                failure.arg(sectionId(slot)) + QString("\r\nThe section holds %1 bytes.").arg(now.Size) +
                    recoveryLine(outcome),
                MsgIcon::Error);
}

BackupStore& TForm1::backupsOf(uint8_t port) {
    backups_.setPhone(phoneName_ ? phoneName_(port) : QString());
    return backups_;
}

void TForm1::markCleared(int slot) {
    SectionRecord& record = table_[slot];
    record.Size = -1;
    record.Kind = ckNone;
    record.Name.clear();
    record.TargetFirmware.clear();
    showTotal(totalDataSize(table_));
    refreshList();
}

void TForm1::btn1Click() {
    if (scanning_)
        return;
    const std::optional<QString> fileName = dialogs_.openFileName(this, openf);
    if (!fileName)
        return;
    rememberFolders();
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const SectionRecord& record = table_[slot];

    // The whole file is in the buffer before the phone is contacted; an oversized one is never read.
    std::vector<uint8_t> buffer(kTransferBufferSize);
    const int64_t fileLength = FileIO::readFileUpTo(*fileName, buffer.data(), record.Capacity);
    if (fileLength > record.Capacity) {
        message("Error", "File is too large for this section!", MsgIcon::Error);
        return;
    }

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    if (record.Size >= 0) {
        const QString question = QString("Section %1\r\n(%2 bytes)\r\nisn't empty.\r\nOverwrite data?")
                                     .arg(sectionId(slot))
                                     .arg(record.Size);
        if (dialogs_.messageBox(this, request("Change section", question, MsgIcon::Information,
                                              MsgButtons::YesNo, MsgResult::Yes)) != MsgResult::Yes) {
            setActivity("Ready");
            session.end();
            return;
        }
    }
    const Outcome outcome = SectionOps::replaceSection(
        link_, backupsOf(port), slot, buffer.data(), static_cast<int32_t>(fileLength),
        stepTexts([this](const QString& text) { showActivityNow(text); }));
    if (SectionOps::backupStepFailed(outcome)) {
        setActivity(outcome.status == SectionStatus::LinkFailed ? gbpErrorText(port) : QString("Ready"));
        session.end();
        message("Error", notBackedUp(slot), MsgIcon::Error);
        return;
    }
    UpdateSection(static_cast<uint8_t>(slot));
    session.end();
    ListaClick();
    setActivity("Ready");
    reportChange(slot, outcome, "Upload to section", "File uploaded to section %1\r\n(%2 bytes)",
                 "Upload to section %1 failed.");
}

void TForm1::btn3Click() {
    if (scanning_)
        return;
    const std::optional<QString> fileName = dialogs_.saveFileName(this, savef);
    if (!fileName)
        return;
    rememberFolders();
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const SectionRecord& record = table_[slot];

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    showActivityNow("Reading section...");
    // Only a read that gives exactly the size the phone reports is a section's content.
    const SectionOps::SectionContent read = SectionOps::readContent(link_, slot);
    if (!read.ok() || read.empty) {
        session.end();
        setActivity(read.outcome.status == SectionStatus::LinkFailed ? gbpErrorText(port) : QString("Ready"));
        message("Error", QString("Section %1 could not be read.").arg(sectionId(slot)), MsgIcon::Error);
        return;
    }
    showActivityNow("Saving to file...");
    // A file error ends the operation here; the session still leaves GBP mode on the way out.
    FileIO::replaceFile(*fileName, read.bytes.data(), read.bytes.size());
    session.end();
    setActivity("Ready");
    message("Extract section",
            QString("Section %1\r\n(%2 bytes)\r\nextracted to file.").arg(sectionId(slot)).arg(record.Size),
            MsgIcon::Information);
}

void TForm1::btn4Click() {
    if (scanning_)
        return;
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const QString question = QString("Clear section %1\r\n(%2 bytes)\r\nAre You sure?")
                                 .arg(sectionId(slot))
                                 .arg(table_[slot].Size);
    if (dialogs_.messageBox(this, request("Clear section", question, MsgIcon::Warning, MsgButtons::YesNo,
                                          MsgResult::No)) != MsgResult::Yes)
        return;

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    showActivityNow("Clearing section...");
    const Outcome outcome = SectionOps::clearSection(
        link_, backupsOf(port), slot, stepTexts([this](const QString& text) { showActivityNow(text); }));
    if (!outcome.ok()) {
        // The record is read again: it shows what the phone holds after the failure.
        if (!SectionOps::backupStepFailed(outcome))
            UpdateSection(static_cast<uint8_t>(slot));
        session.end();
        ListaClick();
        setActivity(outcome.status == SectionStatus::LinkFailed ? gbpErrorText(port) : QString("Ready"));
        message("Error",
                SectionOps::backupStepFailed(outcome)
                    ? notBackedUp(slot)
                    : QString("Section %1 could not be cleared.").arg(sectionId(slot)) +
                          recoveryLine(outcome),
                MsgIcon::Error);
        return;
    }
    session.end();
    markCleared(slot);
    setActivity("Ready");
    ListaClick();
    message("Clear section", QString("Section %1 cleared.").arg(sectionId(slot)), MsgIcon::Information);
}

void TForm1::mnuRestoreClick() {
    const int slot = selectedSlot();
    if (scanning_ || slot < 0 || ConnectedPort == 0)
        return;
    const QString caption = QString("Restore previous content");
    const std::vector<BackupEntry> entries = backupsOf(ConnectedPort).list(slot);
    if (entries.empty()) {
        message(caption, QString("Section %1 has no backups.").arg(sectionId(slot)), MsgIcon::Information);
        return;
    }
    ChoiceRequest choice;
    choice.caption = caption;
    choice.label = QString("Content of section %1 to restore (what it holds now is backed up first):")
                       .arg(sectionId(slot));
    for (const BackupEntry& e : entries) {
        QString kind = QString::fromStdString(contentTypeText(e.kind));
        if (e.kind == ckApplication)
            kind += " " + Charset::sectionText(e.name).trimmed();
        choice.items.append(QString("%1 %2 %3 bytes %2 %4")
                                .arg(e.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"))
                                .arg(QChar(0x00B7))
                                .arg(e.size)
                                .arg(kind));
    }
    const std::optional<int> chosen = dialogs_.chooseItem(this, choice);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(entries.size()))
        return;
    // In memory before anything else: the rotation may remove the chosen file once a newer one is saved.
    const BackupContent loaded =
        BackupStore::load(entries[static_cast<std::size_t>(*chosen)].path, kTransferBufferSize);
    if (!loaded.ok())
        throw EInOutError(loaded.outcome.fileError); // the standard error report, as any file error
    const std::vector<uint8_t>& bytes = loaded.bytes;
    if (static_cast<int64_t>(bytes.size()) > SectionCapacity(slot)) {
        message("Error",
                QString("The backup holds %1 bytes; section %2 holds at most %3.\r\nNothing was changed.")
                    .arg(bytes.size())
                    .arg(sectionId(slot))
                    .arg(SectionCapacity(slot)),
                MsgIcon::Error);
        return;
    }

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    const Outcome outcome = SectionOps::replaceSection(
        link_, backupsOf(port), slot, bytes.data(), static_cast<int32_t>(bytes.size()),
        stepTexts([this](const QString& text) { showActivityNow(text); }));
    if (SectionOps::backupStepFailed(outcome)) {
        setActivity(outcome.status == SectionStatus::LinkFailed ? gbpErrorText(port) : QString("Ready"));
        session.end();
        message("Error", notBackedUp(slot), MsgIcon::Error);
        return;
    }
    UpdateSection(static_cast<uint8_t>(slot));
    session.end();
    ListaClick();
    setActivity("Ready");
    reportChange(slot, outcome, caption, "Section %1 restored\r\n(%2 bytes)",
                 "Restore of section %1 failed.");
}

void TForm1::mnuBackupAllClick() {
    if (scanning_ || ConnectedPort == 0)
        return;
    const std::optional<QString> parent = dialogs_.folderName(this, backupFolder_);
    if (!parent)
        return;
    rememberFolders();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString folder = FullBackup::freeFolderName(
        *parent, "tarvel-backup-" + now.toLocalTime().toString("yyyy-MM-dd-HHmmss"));

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    const FullBackup::WriteOutcome outcome =
        FullBackup::write(link_, folder, now, [this](const SectionOps::ProgressEvent& e) {
            showActivityNow(QString("Backing up section %1...").arg(sectionId(e.slot)));
        });
    session.end();
    setActivity("Ready");
    const QString caption = "Back up all sections";
    if (outcome.ok())
        message(caption, QString("All sections backed up to\r\n%1").arg(QDir::toNativeSeparators(folder)),
                MsgIcon::Information);
    else
        message("Error",
                QString("The sections could not be backed up.\r\n%1")
                    .arg(SectionTexts::backupFolderError(outcome)),
                MsgIcon::Error);
}

void TForm1::mnuRestoreAllClick() {
    if (scanning_ || ConnectedPort == 0)
        return;
    const std::optional<QString> folder = dialogs_.folderName(this, restoreFolder_);
    if (!folder)
        return;
    rememberFolders();
    const QString caption = "Restore all from a backup";
    // Every file is checked before the phone is contacted.
    const FullBackup::Loaded backup = FullBackup::load(*folder);
    if (!backup.ok()) {
        message("Error", SectionTexts::backupFolderError(backup), MsgIcon::Error);
        return;
    }
    const QString question = QString("Restore all sections from the backup of %1?\r\n"
                                     "What they hold now is backed up first.")
                                 .arg(backup.manifest.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"));
    if (dialogs_.messageBox(this, request(caption, question, MsgIcon::Warning, MsgButtons::YesNo,
                                          MsgResult::No)) != MsgResult::Yes)
        return;

    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!announceSession(session, port))
        return;
    const std::vector<Outcome> results =
        FullBackup::restore(link_, backupsOf(port), backup, {}, [this](const SectionOps::ProgressEvent& e) {
            showActivityNow(QString("Restoring section %1...").arg(sectionId(e.slot)));
        });
    SectionOps::scanAll(link_, table_);
    session.end();
    showTotal(totalDataSize(table_));
    refreshList();
    ListaClick();
    setActivity("Ready");
    if (!results.empty() && !results.back().ok()) {
        const Outcome& failed = results.back();
        const QString done = results.size() > 1 ? "\r\nThe sections before it were restored." : QString();
        if (SectionOps::backupStepFailed(failed))
            message("Error", notBackedUp(failed.slot) + done, MsgIcon::Error);
        else
            message("Error",
                    QString("Restore of section %1 failed.").arg(sectionId(failed.slot)) +
                        recoveryLine(failed) + done,
                    MsgIcon::Error);
        return;
    }
    message(caption, QString("All sections restored from\r\n%1").arg(QDir::toNativeSeparators(*folder)),
            MsgIcon::Information);
}
