#pragma once
// Runs the section actions of the main window against the phone: it owns the section table, the
// automatic backups and the list's model, holds the link and the dialogs, asks the questions, and
// shows progress and outcomes through the window. One method per action; each returns once the action
// is over. Actions do nothing while a Reload scans or before a Reload has reached the phone.
#include "BackupStore.h"
#include "Dialogs.h"
#include "GBPCtrl.h"
#include "SectionListModel.h"
#include "SectionOps.h"
#include "SectionTable.h"
#include "SectionViewer.h"
#include "SectionWindow.h"

#include <functional>
#include <optional>
#include <vector>

class QWidget;

class SectionController {
  public:
    // owner is the window the dialogs belong to; window shows what the actions do.
    SectionController(GBPCtrl& link, Dialogs& dialogs, QWidget* owner, SectionWindow& window);

    // Back to the start: 31 empty sections, no phone.
    void reset();

    // Enters GBP mode on port, finishes changes an earlier run cut short, and scans all sections.
    void reload(uint8_t port);
    // Upload, Extract, Clear and View of the section in slot.
    void upload(int slot, FileDialogState& dialog);
    void extract(int slot, FileDialogState& dialog);
    void clear(int slot);
    void view(int slot);
    // The list's context menu: restore the section from an automatic backup, back up all sections into
    // a new folder, restore all from such a folder.
    void restorePrevious(int slot);
    void backUpAll(FileDialogState& dialog);
    void restoreAll(FileDialogState& dialog);
    // Rereads one section (the link in GBP mode).
    void updateSection(int slot);
    // The View dialog's read: the whole section into buffer (kTransferBufferSize bytes), with the count
    // as the link gave it; nothing when the phone could not be put into GBP mode (the activity panel
    // then says so).
    std::optional<int32_t> readForView(int slot, uint8_t* buffer);

    const SectionTable& table() const { return table_; }
    SectionTable& table() { return table_; }
    SectionListModel& model() { return model_; }
    uint8_t connectedPort() const { return ConnectedPort; }
    bool scanning() const { return scanning_; }
    // Whether an action may run on slot now.
    bool canAct(int slot) const {
        return !scanning_ && slot >= 0 && slot < kSectionCount && ConnectedPort != 0;
    }
    BackupStore& backupStore() { return backups_; }
    void setPhoneName(std::function<QString(uint8_t)> phoneName) { phoneName_ = std::move(phoneName); }
    void setViewer(SectionViewer* viewer) { viewer_ = viewer; }
    // Offered a picture Upload is given (a PNG, JPEG or BMP, or a GIF larger than the section), before
    // the size check: the bytes to upload instead, or nothing to go on with the file as it is.
    using PictureFitter =
        std::function<std::optional<std::vector<uint8_t>>(const QString& path, int32_t capacity)>;
    void setPictureFitter(PictureFitter fitter) { fitPicture_ = std::move(fitter); }

  private:
    // How an action in GBP mode ended: whether the phone stopped answering, whether the selection's
    // panel needs showing again, and the messages to show once the phone is left.
    struct Ending {
        bool linkFailed = false;
        bool showSelection = false;
        std::vector<MessageBoxRequest> messages;
    };
    // The bracket of every action on the phone: the wait cursor, the session on the connected port and
    // its announcement (or the port's error, and work does not run); after work, the session ends, the
    // panel says "Ready" (or the port's error) and the messages show.
    void inSession(const std::function<Ending()>& work);
    // The folder of a whole backup, chosen by the user while a phone is connected and no scan runs.
    std::optional<QString> chooseFolder(FileDialogState& dialog);
    // The safe change of a section to bytes, as Upload and a restore make it.
    Ending change(int slot, const std::vector<uint8_t>& bytes, const QString& caption, const QString& success,
                  const QString& failure);
    // The file of an Upload or Extract, asked first; nothing when cancelled or when no action may run.
    std::optional<QString> chooseFile(int slot, FileDialogState& dialog, bool save);
    // The fitter's bytes for the file Upload was given (read holds it when length is at most capacity),
    // when it is a picture to fit and the user took the fit.
    std::optional<std::vector<uint8_t>> offerFit(const QString& path, const std::vector<uint8_t>& read,
                                                 int64_t length, int32_t capacity);
    SectionOps::Progress stepProgress();
    void markCleared(int slot);
    void tableChanged();
    BackupStore& backupsOf(uint8_t port);
    MsgResult ask(const MessageBoxRequest& request);

    GBPCtrl& link_;
    Dialogs& dialogs_;
    QWidget* owner_;
    SectionWindow& window_;
    SectionViewer* viewer_ = nullptr;
    SectionTable table_;
    SectionListModel model_;
    BackupStore backups_;
    std::function<QString(uint8_t)> phoneName_;
    PictureFitter fitPicture_;
    uint8_t ConnectedPort = 0;
    bool scanning_ = false;
};
