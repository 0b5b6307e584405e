#pragma once
// The main window: port choice and Reload, the owner-drawn section list, the four section actions,
// About, the status bar and the side panel with information on the selected section. It owns the
// controller that runs the section actions; the link and the dialogs are passed in. The handlers call
// the controller, which asks the questions and shows the outcomes through the window.
#include "BackupStore.h"
#include "Dialogs.h"
#include "GBPCtrl.h"
#include "SectionController.h"
#include "SectionIcons.h"
#include "SectionOps.h"
#include "SectionTable.h"
#include "SectionTexts.h"
#include "SectionViewer.h"
#include "SectionWindow.h"

#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QListView;
class QMenu;
class QPainter;
class QPushButton;
class QSettings;
class QStatusBar;

class TForm1 : public QWidget, private SectionWindow {
    Q_OBJECT
  public:
    TForm1(GBPCtrl& link, Dialogs& dialogs, QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialogs shown by View and About; they live as long as the window.
    void setViewDialog(SectionViewer* viewer) { controller_.setViewer(viewer); }
    void setAboutDialog(QDialog* dialog) { aboutDialog_ = dialog; }
    // Where the chosen port and the file dialogs' last folders are kept between runs: restores them
    // now and records each change. Without it the window starts on COM 1 and remembers nothing.
    void useSettings(QSettings* settings);

    // Handlers, named after their control and event.
    void FormCreate();
    void reldClick();
    void ListaClick();
    // Paints one item of the list from its record (the delegate calls it).
    void ListaDrawItem(QPainter& painter, const SectionRecord& record, const QRect& rect,
                       bool selected) const;
    void btn1Click();
    void btn2Click();
    void btn3Click();
    void btn4Click();
    void ExpandClick();
    void Button2Click();
    // The list's context menu: restore one section from its automatic backups, back up all sections
    // into a new folder, restore all from such a folder.
    void mnuRestoreClick();
    void mnuBackupAllClick();
    void mnuRestoreAllClick();
    // Rereads one section (the link in GBP mode), updates the total and repaints the list.
    void UpdateSection(uint8_t slot);

    // State the dialogs and tests read.
    const SectionTable& sectionTable() const { return controller_.table(); }
    SectionTable& sectionTable() { return controller_.table(); }
    SectionController& controller() { return controller_; }
    uint8_t connectedPort() const { return controller_.connectedPort(); }
    bool panelExpanded() const { return PanelExpanded; }
    bool scanning() const { return controller_.scanning(); }
    int selectedSlot() const;
    const SectionIcons& icons() const { return Ikony; }
    // Where automatic backups go (the application-data location unless a test moves it).
    BackupStore& backupStore() { return controller_.backupStore(); }
    // Names the phone on a port (Backend::phoneName), so that each phone has its own backups and notes;
    // without it they go directly into the backup root.
    void setPhoneName(std::function<QString(uint8_t)> phoneName) {
        controller_.setPhoneName(std::move(phoneName));
    }
    QMenu* listMenu() const { return ListaMenu; }
    // The port list's context menu (right click or the Menu key), empty until main fills it.
    QMenu* portMenu() const { return PortMenu; }
    // The port the port list shows, 1 to 8.
    uint8_t chosenPort() const;
    // Tells whether the link is still starting (Wine starting the bridge): a Reload pressed meanwhile
    // waits for it with the wait cursor, the window repainting.
    void setLinkStarting(std::function<bool()> starting) { linkStarting_ = std::move(starting); }
    QString statusPanel(int index) const;
    void setStatusPanel(int index, const QString& text);
    QString ext1Caption() const;
    FileDialogState& openDialogState() { return openf; }
    FileDialogState& saveDialogState() { return savef; }

    // The activity panel's text when the phone cannot be put into GBP mode on port.
    static QString gbpErrorText(uint8_t port) { return SectionTexts::gbpErrorText(port); }

    // Client sizes with the side panel closed and open.
    static constexpr int kNarrowWidth = 297;
    static constexpr int kWideWidth = 481;
    static constexpr int kHeight = 372;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // What the controller shows through the window.
    void showActivity(const QString& text, bool now) override;
    void showTotal(int64_t total) override;
    void showConnected(bool connected) override;
    void showScanning(bool scanning) override;
    void showSelection() override { ListaClick(); }
    void foldersChosen() override { rememberFolders(); }

    void buildControls();
    void buildSidePanel();
    void updateHeadingColour();
    // Connects a button's click to a handler through the standard error report.
    void connectHandler(QPushButton* button, void (TForm1::*handler)());
    void guarded(const std::function<void()>& action);
    void setActivity(const QString& text) { setStatusPanel(2, text); }
    void setLabel(QLabel* label, const QString& caption);
    void buildListMenu();
    // Lets events other than input through until the link has started.
    void waitForLinkStart();
    void rememberFolders();

    Dialogs& dialogs_;
    QDialog* aboutDialog_ = nullptr;
    QSettings* settings_ = nullptr;

    SectionController controller_;
    std::function<bool()> linkStarting_;
    SectionIcons Ikony;
    bool PanelExpanded = false;
    bool closePending_ = false;
    int selectedRow_ = -1;
    bool requirementsShown_ = false; // what the last selection gave the Requirements box
    FileDialogState openf;
    FileDialogState savef;
    FileDialogState backupFolder_;
    FileDialogState restoreFolder_;

    // Controls, under their short names.
    QComboBox* Port = nullptr;
    QMenu* PortMenu = nullptr;
    QPushButton* reld = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Expand = nullptr;
    QListView* Lista = nullptr;
    QMenu* ListaMenu = nullptr;
    QAction* mnuRestore = nullptr;
    QAction* mnuBackupAll = nullptr;
    QAction* mnuRestoreAll = nullptr;
    QPushButton* btn1 = nullptr;
    QPushButton* btn2 = nullptr;
    QPushButton* btn3 = nullptr;
    QPushButton* btn4 = nullptr;
    QStatusBar* Status = nullptr;
    QLabel* statusLabels_[3] = {};
    QFrame* ext0 = nullptr;
    QFrame* ext1 = nullptr;
    QLabel* ext1Label_ = nullptr;
    QGroupBox* ext2 = nullptr;
    QGroupBox* ext3 = nullptr;
    QLabel* Info1 = nullptr;
    QLabel* Info2 = nullptr;
    QLabel* Info3 = nullptr;
    QLabel* Info4 = nullptr;
    QLabel* Info5 = nullptr;
    QLabel* Req1 = nullptr;
    QLabel* Req2 = nullptr;
};
