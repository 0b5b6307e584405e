#include "SectionController.h"

#include "Charset.h"
#include "EInOutError.h"
#include "FileIO.h"
#include "FullBackup.h"
#include "GBPSession.h"
#include "PictureFile.h"
#include "SectionInfo.h"
#include "SectionTexts.h"
#include "SectionTitle.h"
#include "WaitCursor.h"
#include "WindowMessages.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>

using SectionTexts::gbpErrorText;
using SectionTexts::notBackedUp;
using namespace WindowMessages;

SectionController::SectionController(GBPCtrl& link, Dialogs& dialogs, QWidget* owner, SectionWindow& window)
    : link_(link), dialogs_(dialogs), owner_(owner), window_(window), table_(makeSectionTable()),
      model_(table_) {}

void SectionController::reset() {
    ConnectedPort = 0;
    table_ = makeSectionTable();
    model_.tableChanged();
}

MsgResult SectionController::ask(const MessageBoxRequest& request) {
    return dialogs_.messageBox(owner_, request);
}

BackupStore& SectionController::backupsOf(uint8_t port) {
    backups_.setPhone(phoneName_ ? phoneName_(port) : QString());
    return backups_;
}

void SectionController::tableChanged() {
    window_.showTotal(totalDataSize(table_));
    model_.tableChanged();
}

void SectionController::inSession(const std::function<Ending()>& work) {
    const uint8_t port = ConnectedPort;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!session.entered()) {
        window_.showActivity(gbpErrorText(port), false);
        return;
    }
    window_.showActivity(connected(port), true);
    const Ending ending = work();
    session.end();
    if (ending.showSelection)
        window_.showSelection();
    window_.showActivity(ending.linkFailed ? gbpErrorText(port) : QString("Ready"), false);
    for (const MessageBoxRequest& m : ending.messages)
        ask(m);
}

SectionOps::Progress SectionController::stepProgress() {
    return [this](const SectionOps::ProgressEvent& e) {
        const QString text = stepText(e.step);
        if (!text.isEmpty())
            window_.showActivity(text, true);
    };
}

void SectionController::reload(uint8_t port) {
    if (scanning_)
        return;
    int64_t total = 0;
    std::vector<Outcome> interrupted;
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!session.entered()) {
        window_.showActivity(gbpErrorText(port), false);
        ConnectedPort = 0;
        window_.showConnected(false);
    } else {
        window_.showScanning(true);
        ConnectedPort = port;
        window_.showConnected(true);
        window_.showActivity(connected(port), false);
        scanning_ = true;
        // Ends the scan state on every way out, so that the window never stays locked.
        struct ScanEnd {
            SectionController& controller;
            ~ScanEnd() {
                controller.scanning_ = false;
                controller.window_.showScanning(false);
            }
        } scanEnd{*this};
        // A change an earlier run could not finish is finished or undone before the sections are read.
        interrupted = SectionOps::finishInterrupted(link_, backupsOf(port));
        const bool answered = std::none_of(interrupted.begin(), interrupted.end(), [](const Outcome& i) {
            return i.status == SectionStatus::LinkFailed;
        });
        const SectionTable before = table_;
        const bool scanned =
            answered &&
            SectionOps::scanAll(link_, table_, [this](const SectionOps::ProgressEvent& e) {
                window_.showActivity(QString("Reading section %1...").arg(sectionId(e.slot)), true);
                QCoreApplication::processEvents();
            }).ok();
        session.end();
        if (scanned) {
            total = totalDataSize(table_);
            window_.showActivity("Ready", false);
        } else {
            // A phone that stops answering is a failed connection, not 31 empty sections.
            table_ = before;
            ConnectedPort = 0;
            window_.showConnected(false);
            window_.showActivity(gbpErrorText(port), false);
        }
        model_.tableChanged();
    }
    window_.showTotal(total);
    for (const Outcome& i : interrupted) {
        const MessageBoxRequest report = interruptedReport(i);
        if (!report.text.isEmpty())
            ask(report);
    }
}

void SectionController::updateSection(int slot) {
    if (slot < 0 || slot >= kSectionCount)
        return;
    ScanSection(link_, table_, slot);
    window_.showTotal(totalDataSize(table_));
    model_.sectionChanged(slot);
}

void SectionController::markCleared(int slot) {
    SectionRecord& record = table_[slot];
    record.Size = -1;
    record.Kind = ckNone;
    record.Name.clear();
    record.TargetFirmware.clear();
    window_.showTotal(totalDataSize(table_));
    model_.sectionChanged(slot);
}

SectionController::Ending SectionController::change(int slot, const std::vector<uint8_t>& bytes,
                                                    const QString& caption, const QString& success,
                                                    const QString& failure) {
    const Outcome outcome = SectionOps::replaceSection(link_, backupsOf(ConnectedPort), slot, bytes.data(),
                                                       static_cast<int32_t>(bytes.size()), stepProgress());
    if (SectionOps::backupStepFailed(outcome))
        return {outcome.status == SectionStatus::LinkFailed, false, {error(notBackedUp(slot))}};
    updateSection(slot);
    return {false, true, {changeReport(slot, table_[slot].Size, outcome, caption, success, failure)}};
}

std::optional<QString> SectionController::chooseFile(int slot, FileDialogState& dialog, bool save) {
    if (scanning_)
        return std::nullopt;
    const std::optional<QString> fileName =
        save ? dialogs_.saveFileName(owner_, dialog) : dialogs_.openFileName(owner_, dialog);
    if (!fileName)
        return std::nullopt;
    window_.foldersChosen();
    if (!canAct(slot))
        return std::nullopt;
    return fileName;
}

std::optional<std::vector<uint8_t>> SectionController::offerFit(const QString& path,
                                                                const std::vector<uint8_t>& read,
                                                                int64_t length, int32_t capacity) {
    if (!fitPicture_)
        return std::nullopt;
    // The signatures sit in the first bytes; an oversized file is peeked at only when it is a plain file
    // (a device or a pipe could block).
    constexpr int64_t kHeadBytes = 64;
    QByteArray head;
    if (length <= capacity) {
        head = QByteArray(reinterpret_cast<const char*>(read.data()),
                          static_cast<qsizetype>(std::min(length, kHeadBytes)));
    } else if (QFileInfo(path).isFile()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            head = file.read(kHeadBytes);
    }
    // A GIF that fits goes up as it is; anything else but a picture (an application) is never offered.
    const bool offered = PictureFile::isGif(head) ? length > capacity : PictureFile::isStillPicture(head);
    if (!offered)
        return std::nullopt;
    return fitPicture_(path, capacity);
}

void SectionController::upload(int slot, FileDialogState& dialog) {
    const std::optional<QString> fileName = chooseFile(slot, dialog, false);
    if (!fileName)
        return;
    // The whole file is in memory before the phone is contacted; an oversized one is never read.
    const int32_t capacity = table_[slot].Capacity;
    std::vector<uint8_t> bytes(kTransferBufferSize);
    int64_t fileLength = FileIO::readFileUpTo(*fileName, bytes.data(), capacity);
    if (std::optional<std::vector<uint8_t>> fitted = offerFit(*fileName, bytes, fileLength, capacity)) {
        // A result larger than the section meets the refusal below, as a file would.
        fileLength = static_cast<int64_t>(fitted->size());
        if (fileLength <= capacity)
            std::copy(fitted->begin(), fitted->end(), bytes.begin());
    }
    if (fileLength > capacity) {
        ask(error("File is too large for this section!"));
        return;
    }
    bytes.resize(static_cast<std::size_t>(fileLength));
    inSession([&]() -> Ending {
        const int32_t size = table_[slot].Size;
        if (size >= 0 && ask(overwriteQuestion(slot, size)) != MsgResult::Yes) {
            window_.showActivity("Ready", false); // before GBP mode is left: nothing is pending
            return {};
        }
        return change(slot, bytes, "Upload to section", "File uploaded to section %1\r\n(%2 bytes)",
                      "Upload to section %1 failed.");
    });
}

void SectionController::extract(int slot, FileDialogState& dialog) {
    const std::optional<QString> fileName = chooseFile(slot, dialog, true);
    if (!fileName)
        return;
    inSession([&]() -> Ending {
        window_.showActivity("Reading section...", true);
        // Only a read that gives exactly the size the phone reports is a section's content.
        const SectionOps::SectionContent read = SectionOps::readContent(link_, slot);
        if (!read.ok() || read.empty)
            return {read.outcome.status == SectionStatus::LinkFailed,
                    false,
                    {error(QString("Section %1 could not be read.").arg(sectionId(slot)))}};
        window_.showActivity("Saving to file...", true);
        // A file error ends the operation here; the session still leaves GBP mode on the way out.
        FileIO::replaceFile(*fileName, read.bytes.data(), read.bytes.size());
        return {false,
                false,
                {message("Extract section",
                         QString("Section %1\r\n(%2 bytes)\r\nextracted to file.")
                             .arg(sectionId(slot))
                             .arg(table_[slot].Size),
                         MsgIcon::Information)}};
    });
}

void SectionController::clear(int slot) {
    if (!canAct(slot))
        return;
    if (ask(clearQuestion(slot, table_[slot].Size)) != MsgResult::Yes)
        return;
    inSession([&]() -> Ending {
        window_.showActivity("Clearing section...", true);
        const Outcome outcome =
            SectionOps::clearSection(link_, backupsOf(ConnectedPort), slot, stepProgress());
        if (outcome.ok())
            markCleared(slot);
        else if (!SectionOps::backupStepFailed(outcome))
            updateSection(slot); // the record shows what the phone holds after the failure
        return {outcome.status == SectionStatus::LinkFailed, true, {clearReport(slot, outcome)}};
    });
}

void SectionController::view(int slot) {
    if (!canAct(slot))
        return;
    window_.showActivity("Reading section...", true);
    if (viewer_)
        viewer_->view({slot, table_[slot], ConnectedPort,
                       [this](const QString& text) { window_.showActivity(text, false); },
                       [this, slot](uint8_t* buffer) { return readForView(slot, buffer); }});
}

std::optional<int32_t> SectionController::readForView(int slot, uint8_t* buffer) {
    const uint8_t port = ConnectedPort;
    const WaitCursor busy;
    GBPSession session(link_, port);
    if (!session.entered()) {
        window_.showActivity(gbpErrorText(port), false);
        return std::nullopt;
    }
    return SectionOps::readForViewing(link_, slot, buffer);
}

void SectionController::restorePrevious(int slot) {
    if (!canAct(slot))
        return;
    const QString caption = QString("Restore previous content");
    const std::vector<BackupEntry> entries = backupsOf(ConnectedPort).list(slot);
    if (entries.empty()) {
        ask(message(caption, QString("Section %1 has no backups.").arg(sectionId(slot)),
                    MsgIcon::Information));
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
    const std::optional<int> chosen = dialogs_.chooseItem(owner_, choice);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(entries.size()))
        return;
    // In memory before anything else: the rotation may remove the chosen file once a newer one is saved.
    const BackupContent loaded =
        BackupStore::load(entries[static_cast<std::size_t>(*chosen)].path, kTransferBufferSize);
    if (!loaded.ok())
        throw EInOutError(loaded.outcome.fileError); // the standard error report, as any file error
    const std::vector<uint8_t>& bytes = loaded.bytes;
    if (static_cast<int64_t>(bytes.size()) > SectionCapacity(slot)) {
        ask(error(QString("The backup holds %1 bytes; section %2 holds at most %3.\r\nNothing was changed.")
                      .arg(bytes.size())
                      .arg(sectionId(slot))
                      .arg(SectionCapacity(slot))));
        return;
    }
    inSession([&] {
        return change(slot, bytes, caption, "Section %1 restored\r\n(%2 bytes)",
                      "Restore of section %1 failed.");
    });
}

std::optional<QString> SectionController::chooseFolder(FileDialogState& dialog) {
    if (scanning_ || ConnectedPort == 0)
        return std::nullopt;
    std::optional<QString> folder = dialogs_.folderName(owner_, dialog);
    if (folder)
        window_.foldersChosen();
    return folder;
}

void SectionController::backUpAll(FileDialogState& dialog) {
    const std::optional<QString> parent = chooseFolder(dialog);
    if (!parent)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString folder = FullBackup::freeFolderName(
        *parent, "tarvel-backup-" + now.toLocalTime().toString("yyyy-MM-dd-HHmmss"));
    inSession([&]() -> Ending {
        const FullBackup::WriteOutcome outcome =
            FullBackup::write(link_, folder, now, [this](const SectionOps::ProgressEvent& e) {
                window_.showActivity(QString("Backing up section %1...").arg(sectionId(e.slot)), true);
            });
        if (!outcome.ok())
            return {false,
                    false,
                    {error(QString("The sections could not be backed up.\r\n%1")
                               .arg(SectionTexts::backupFolderError(outcome)))}};
        return {false,
                false,
                {message("Back up all sections",
                         QString("All sections backed up to\r\n%1").arg(QDir::toNativeSeparators(folder)),
                         MsgIcon::Information)}};
    });
}

void SectionController::restoreAll(FileDialogState& dialog) {
    const std::optional<QString> folder = chooseFolder(dialog);
    if (!folder)
        return;
    // Every file is checked before the phone is contacted.
    const FullBackup::Loaded backup = FullBackup::load(*folder);
    if (!backup.ok()) {
        ask(error(SectionTexts::backupFolderError(backup)));
        return;
    }
    if (ask(restoreAllQuestion(backup.manifest)) != MsgResult::Yes)
        return;
    inSession([&]() -> Ending {
        const std::vector<Outcome> results = FullBackup::restore(
            link_, backupsOf(ConnectedPort), backup, {}, [this](const SectionOps::ProgressEvent& e) {
                window_.showActivity(QString("Restoring section %1...").arg(sectionId(e.slot)), true);
            });
        SectionOps::scanAll(link_, table_);
        tableChanged();
        return {false, true, {restoreAllReport(results, *folder)}};
    });
}
