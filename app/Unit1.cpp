#include "Unit1.h"

#include "EnterPressesButton.h"
#include "ErrorReport.h"
#include "EtchedGroupBox.h"
#include "Fonts.h"
#include "GBPSession.h"
#include "LabelText.h"
#include "ReadableColour.h"
#include "SectionInfo.h"
#include "SectionItemDelegate.h"
#include "SectionItemPainter.h"
#include "SectionTitle.h"
#include "WaitCursor.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace {

constexpr int kPortCount = 8;

// Settings keys: the chosen port, and the last folders of Upload, Extract and the two full-backup dialogs.
const char* const kPortKey = "Port";
const char* const kFolderKeys[] = {"Folders/Upload", "Folders/Extract", "Folders/BackUpAll",
                                   "Folders/RestoreAll"};

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QRect& place,
                        const QString& hint = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    EnterPressesButton::install(button);
    return button;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint at, bool bold) {
    auto* label = new QLabel(labelDisplayText(caption), parent);
    label->setObjectName(name);
    label->setFont(Fonts::tahoma(11, bold));
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

TForm1::TForm1(GBPCtrl& link, Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), link_(link), dialogs_(dialogs), table_(makeSectionTable()) {
    setObjectName("Form1");
    setWindowTitle("Tarvel v8.0 b1");
    setWindowIcon(SectionIcons::programIcon());
    setFont(Fonts::tahoma());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(kNarrowWidth, kHeight);

    openf.title = "Select file...";
    openf.filter = "All files (*.*)|*.*";
    savef.title = "Extract section to file...";
    savef.filter = "Binary files (*.bin)|*.bin|All files (*.*)|*.*";
    savef.defaultSuffix = "bin";
    backupFolder_.title = "Back up all sections into a folder...";
    restoreFolder_.title = "Restore all from a backup folder...";

    buildControls();
    buildSidePanel();
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::buildControls() {
    Port = new QComboBox(this);
    Port->setObjectName("Port");
    Port->setGeometry(8, 8, 65, 21);
    for (int p = 1; p <= kPortCount; ++p)
        Port->addItem(QString("COM %1").arg(p));
    Port->setCurrentIndex(0);
    Port->setAccessibleName("Port");
    // Linux screen readers name a drop-down list by its label, not by its accessible name; the layout
    // shows none, so an unseen one stands in.
    auto* portLabel = new QLabel("Port", this);
    portLabel->setObjectName("PortLabel");
    portLabel->setBuddy(Port);
    portLabel->hide();
    PortMenu = new QMenu(this);
    PortMenu->setObjectName("PortMenu");
    Port->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Port, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (!PortMenu->isEmpty())
            PortMenu->popup(Port->mapToGlobal(at));
    });

    reld = makeButton(this, "reld", "Reload", {80, 8, 65, 21}, "Load NVM Sections info");
    Button2 = makeButton(this, "Button2", "About", {200, 8, 57, 21});
    Expand = makeButton(this, "Expand", "4", {264, 8, 25, 21}, "More informations");
    Expand->setFont(Fonts::marlett(13, true));
    Expand->setAccessibleName("Expand"); // not the glyph's letter
    if (!Fonts::haveMarlett())
        Expand->setText(QString(QChar(0x25BA))); // without Marlett a plain triangle stands in

    Lista = new QListWidget(this);
    Lista->setObjectName("Lista");
    Lista->setAccessibleName("Sections");
    Lista->setGeometry(8, 35, 281, 286);
    Lista->setUniformItemSizes(true);
    Lista->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Lista->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setItemDelegate(new SectionItemDelegate(table_, Ikony, Lista));
    Lista->setEnabled(false);
    buildListMenu();

    btn1 = makeButton(this, "btn1", "Upload", {8, 328, 65, 21}, "Upload file");
    btn2 = makeButton(this, "btn2", "View", {80, 328, 65, 21}, "View section");
    btn3 = makeButton(this, "btn3", "Extract", {152, 328, 65, 21}, "Extract to file");
    btn4 = makeButton(this, "btn4", "Clear", {224, 328, 65, 21}, "Clear section");
    for (QPushButton* b : {btn1, btn2, btn3, btn4})
        b->setEnabled(false);

    Status = new QStatusBar(this);
    Status->setObjectName("Status");
    Status->setSizeGripEnabled(false);
    Status->setGeometry(0, kHeight - 19, kNarrowWidth, 19);
    const char* startTexts[3] = {"02-10", "EMPTY", "Ready"};
    const int widths[3] = {50, 80, 0};
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(startTexts[i], Status);
        panel->setObjectName(QString("StatusPanel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(i == 0 ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        if (widths[i] > 0)
            panel->setFixedWidth(widths[i]);
        Status->addWidget(panel, i == 2 ? 1 : 0);
        statusLabels_[i] = panel;
    }

    connect(Port, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (settings_ != nullptr)
            settings_->setValue(kPortKey, index + 1);
    });
    connectHandler(reld, &TForm1::reldClick);
    connectHandler(Button2, &TForm1::Button2Click);
    connectHandler(Expand, &TForm1::ExpandClick);
    connectHandler(btn1, &TForm1::btn1Click);
    connectHandler(btn2, &TForm1::btn2Click);
    connectHandler(btn3, &TForm1::btn3Click);
    connectHandler(btn4, &TForm1::btn4Click);
    // A selection, by mouse or keys, runs ListaClick; the current item alone does not (the list makes its
    // first item current when it takes the focus, with nothing selected).
    connect(Lista, &QListWidget::itemSelectionChanged, this, [this] {
        const QModelIndexList rows = Lista->selectionModel()->selectedRows();
        selectedRow_ = rows.isEmpty() ? -1 : rows.first().row();
        guarded([this] { ListaClick(); });
    });

    // Tab order: the list, the port, Reload, the four actions, Expand, then About.
    setTabOrder(Lista, Port);
    setTabOrder(Port, reld);
    setTabOrder(reld, btn1);
    setTabOrder(btn1, btn2);
    setTabOrder(btn2, btn3);
    setTabOrder(btn3, btn4);
    setTabOrder(btn4, Expand);
    setTabOrder(Expand, Button2);
    Port->setFocus();
}

void TForm1::buildSidePanel() {
    ext0 = new QFrame(this);
    ext0->setObjectName("ext0");
    ext0->setFrameStyle(QFrame::VLine | QFrame::Sunken);
    ext0->setGeometry(296, 0, 2, 361);

    ext1 = new QFrame(this);
    ext1->setObjectName("ext1");
    ext1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ext1->setGeometry(304, 8, 169, 25);
    ext1Label_ = new QLabel("Section 02-10", ext1);
    ext1Label_->setObjectName("ext1Caption");
    ext1Label_->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ext1Label_->setGeometry(1, 1, 167, 23);
    ext1Label_->setAlignment(Qt::AlignCenter);
    ext1Label_->setFont(Fonts::tahoma(11, true));
    updateHeadingColour();

    ext2 = new EtchedGroupBox(" Information ", this);
    ext2->setObjectName("ext2");
    ext2->setGeometry(304, 40, 169, 201);
    makeLabel(ext2, "Label5", "Section used by:", {8, 16}, false);
    Info1 = makeLabel(ext2, "Info1", "(unknown)", {16, 32}, true);
    makeLabel(ext2, "Label7", "Content type:", {8, 64}, false);
    Info2 = makeLabel(ext2, "Info2", "(none)", {16, 80}, true);
    makeLabel(ext2, "Label9", "Size used:", {8, 96}, false);
    Info3 = makeLabel(ext2, "Info3", "(unknown)", {16, 112}, true);
    makeLabel(ext2, "Label13", "Section size:", {8, 128}, false);
    Info4 = makeLabel(ext2, "Info4", "(unknown)", {16, 144}, true);
    makeLabel(ext2, "Label11", "Total data size:", {8, 160}, false);
    Info5 = makeLabel(ext2, "Info5", "(unknown)", {16, 176}, true);

    ext3 = new EtchedGroupBox(" Requirements ", this);
    ext3->setObjectName("ext3");
    ext3->setGeometry(304, 243, 169, 102);
    makeLabel(ext3, "Label1", "Mobile phone:", {8, 16}, false);
    Req1 = makeLabel(ext3, "Req1", "Sony Mobile Phone", {16, 32}, true);
    makeLabel(ext3, "Label3", "Firmware:", {8, 48}, false);
    Req2 = makeLabel(ext3, "Req2", "(unknown)", {16, 64}, true);

    for (QWidget* w : std::initializer_list<QWidget*>{ext0, ext1, ext2, ext3})
        w->hide();
}

void TForm1::updateHeadingColour() {
    // Navy on the button face; on a dark face, a lighter navy that still reads.
    QPalette heading = ext1Label_->palette();
    heading.setColor(QPalette::WindowText, readableOn(QColor(0, 0, 128), palette().color(QPalette::Window)));
    ext1Label_->setPalette(heading);
}

void TForm1::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange && ext1Label_ != nullptr)
        updateHeadingColour();
    QWidget::changeEvent(event);
}

void TForm1::useSettings(QSettings* settings) {
    settings_ = nullptr; // restoring records nothing
    if (settings != nullptr) {
        bool ok = false;
        const int port = settings->value(kPortKey).toInt(&ok);
        if (ok && port >= 1 && port <= kPortCount)
            Port->setCurrentIndex(port - 1);
        FileDialogState* states[] = {&openf, &savef, &backupFolder_, &restoreFolder_};
        for (int i = 0; i < 4; ++i)
            states[i]->folder = settings->value(kFolderKeys[i]).toString();
    }
    settings_ = settings;
}

void TForm1::rememberFolders() {
    if (settings_ == nullptr)
        return;
    const FileDialogState* states[] = {&openf, &savef, &backupFolder_, &restoreFolder_};
    for (int i = 0; i < 4; ++i)
        if (!states[i]->folder.isEmpty())
            settings_->setValue(kFolderKeys[i], states[i]->folder);
}

void TForm1::connectHandler(QPushButton* button, void (TForm1::*handler)()) {
    connect(button, &QPushButton::clicked, this,
            [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
}

void TForm1::guarded(const std::function<void()>& action) {
    runGuarded(dialogs_, this, action);
}

void TForm1::setLabel(QLabel* label, const QString& caption) {
    label->setText(labelDisplayText(caption));
    label->adjustSize();
}

QString TForm1::statusPanel(int index) const {
    return statusLabels_[index]->text();
}

void TForm1::setStatusPanel(int index, const QString& text) {
    statusLabels_[index]->setText(text);
}

QString TForm1::ext1Caption() const {
    return ext1Label_->text();
}

int TForm1::selectedSlot() const {
    return selectedRow_ >= 0 && selectedRow_ < kSectionCount ? selectedRow_ : -1;
}

void TForm1::FormCreate() {
    ConnectedPort = 0;
    PanelExpanded = false;
    Lista->clear();
    selectedRow_ = -1;
    table_ = makeSectionTable();
    for (int slot = 0; slot < kSectionCount; ++slot) {
        const SectionRecord& r = table_[slot];
        auto* item = new QListWidgetItem(QString("%1-%2").arg(r.Group).arg(r.Number), Lista);
        item->setSizeHint(QSize(0, SectionItemDelegate::kItemHeight));
    }
    refreshList();
}

void TForm1::refreshList() {
    // The items' own texts stay the identifiers; a screen reader reads what the item shows.
    for (int slot = 0; slot < kSectionCount && slot < Lista->count(); ++slot)
        Lista->item(slot)->setData(Qt::AccessibleTextRole, SectionItemPainter::accessibleText(table_[slot]));
    Lista->viewport()->repaint();
}

void TForm1::showTotal(int64_t total) {
    setLabel(Info5, QString::fromStdString(totalDataSizeText(total)));
}

uint8_t TForm1::chosenPort() const {
    return static_cast<uint8_t>(Port->currentIndex() + 1);
}

void TForm1::waitForLinkStart() {
    const WaitCursor busy;
    const QString before = statusPanel(2);
    setActivity(QString("Starting Wine%1").arg(QChar(0x2026)));
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (!linkStarting_())
            loop.quit();
    });
    poll.start(50);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    setActivity(before);
}

void TForm1::reldClick() {
    if (scanning_)
        return;
    if (linkStarting_ && linkStarting_())
        waitForLinkStart();
    int64_t total = 0;
    std::vector<Outcome> interrupted;
    const auto port = chosenPort();
    const WaitCursor busy; // outlives the session, so leaving GBP mode is covered too
    GBPSession session(link_, port);
    if (!session.entered()) {
        setActivity(gbpErrorText(port));
        ConnectedPort = 0;
        Lista->setEnabled(false);
    } else {
        reld->setEnabled(false);
        ConnectedPort = port;
        Lista->setEnabled(true);
        setActivity(QString("Connected to COM %1").arg(port));
        scanning_ = true;
        // Ends the scan state on every way out, so that the window never stays locked.
        struct ScanEnd {
            TForm1& form;
            ~ScanEnd() {
                form.scanning_ = false;
                form.reld->setEnabled(true);
            }
        } scanEnd{*this};
        // A change an earlier run could not finish is finished or undone before the sections are read.
        interrupted = SectionOps::finishInterrupted(link_, backupsOf(port));
        const bool answered = std::none_of(interrupted.begin(), interrupted.end(), [](const Outcome& i) {
            return i.status == SectionStatus::LinkFailed;
        });
        const SectionTable before = table_;
        const bool scanned =
            answered && SectionOps::scanAll(link_, table_, [this](const SectionOps::ProgressEvent& e) {
                            setActivity(QString("Reading section %1...").arg(sectionId(e.slot)));
                            Status->repaint();
                            QCoreApplication::processEvents();
                        }).ok();
        session.end();
        if (scanned) {
            total = totalDataSize(table_);
            setActivity("Ready");
        } else {
            // A phone that stops answering is a failed connection, not 31 empty sections.
            table_ = before;
            ConnectedPort = 0;
            Lista->setEnabled(false);
            setActivity(gbpErrorText(port));
        }
        refreshList();
    }
    showTotal(total);
    for (const Outcome& i : interrupted) {
        const QString sentence = SectionTexts::interruptedSentence(i);
        if (!sentence.isEmpty())
            message("Reload",
                    QString("A change of section %1 was cut short.\r\n").arg(sectionId(i.slot)) + sentence,
                    i.recovery == Recovery::Restored ? MsgIcon::Information : MsgIcon::Error);
    }
    if (closePending_)
        QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::UpdateSection(uint8_t slot) {
    if (slot >= kSectionCount)
        return;
    ScanSection(link_, table_, slot);
    showTotal(totalDataSize(table_));
    refreshList();
}

void TForm1::ListaClick() {
    const int slot = selectedSlot();
    if (slot < 0 || ConnectedPort == 0)
        return;
    const SectionInfo info = sectionInfo(slot, table_[slot]);
    auto text = [](const std::string& s) { return QString::fromStdString(s); };
    ext1Label_->setText(text(info.title));
    setStatusPanel(0, text(info.sectionId));
    setLabel(Info1, text(info.usedBy));
    setLabel(Info4, text(info.sectionSize));
    setLabel(Info3, text(info.sizeUsed));
    setStatusPanel(1, text(info.sizeStatus));
    setLabel(Info2, text(info.contentType));
    requirementsShown_ = info.showRequirements;
    if (info.showRequirements) {
        setLabel(Req1, text(info.phone));
        setLabel(Req2, text(info.firmware));
    }
    // The box follows the selection, but shows only while the side panel is open.
    ext3->setVisible(info.showRequirements && PanelExpanded);
    btn1->setText(text(info.uploadCaption));
    btn1->setEnabled(true);
    for (QPushButton* b : {btn2, btn3, btn4})
        b->setEnabled(info.actionsEnabled);
}

void TForm1::buildListMenu() {
    // Right click or the Menu key; the window's layout stays as it is.
    ListaMenu = new QMenu(this);
    ListaMenu->setObjectName("ListaMenu");
    mnuRestore = ListaMenu->addAction(QString("Restore previous content%1").arg(QChar(0x2026)));
    mnuBackupAll = ListaMenu->addAction(QString("Back up all sections%1").arg(QChar(0x2026)));
    mnuRestoreAll = ListaMenu->addAction(QString("Restore all from a backup%1").arg(QChar(0x2026)));
    mnuRestore->setObjectName("mnuRestore");
    mnuBackupAll->setObjectName("mnuBackupAll");
    mnuRestoreAll->setObjectName("mnuRestoreAll");
    const std::pair<QAction*, void (TForm1::*)()> handlers[] = {{mnuRestore, &TForm1::mnuRestoreClick},
                                                                {mnuBackupAll, &TForm1::mnuBackupAllClick},
                                                                {mnuRestoreAll, &TForm1::mnuRestoreAllClick}};
    for (const auto& [action, handler] : handlers)
        connect(action, &QAction::triggered, this,
                [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    connect(ListaMenu, &QMenu::aboutToShow, this, [this] {
        const bool ready = ConnectedPort != 0 && !scanning_;
        mnuRestore->setEnabled(ready && selectedSlot() >= 0);
        mnuBackupAll->setEnabled(ready);
        mnuRestoreAll->setEnabled(ready);
    });
    Lista->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Lista, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { ListaMenu->popup(Lista->viewport()->mapToGlobal(at)); });
}

void TForm1::ListaDrawItem(QPainter& painter, int index, const QRect& rect, bool selected) const {
    if (index < 0 || index >= kSectionCount)
        return;
    SectionItemPainter::paint(painter, Ikony, table_[index], rect, selected);
}

void TForm1::btn2Click() {
    const int slot = selectedSlot();
    if (scanning_ || slot < 0 || ConnectedPort == 0)
        return;
    showActivityNow("Reading section...");
    if (viewer_)
        viewer_->view(
            {slot, table_[slot], ConnectedPort, [this](const QString& text) { setActivity(text); }});
}

void TForm1::ExpandClick() {
    const bool open = !PanelExpanded;
    for (QWidget* w : std::initializer_list<QWidget*>{ext0, ext1, ext2})
        w->setVisible(open);
    if (!open) {
        ext3->hide();
        requirementsShown_ = false; // stays hidden until an application is selected again
    } else if (requirementsShown_)
        ext3->show();
    const int width = open ? kWideWidth : kNarrowWidth;
    setFixedSize(width, kHeight);
    Status->setGeometry(0, kHeight - 19, width, 19);
    // A window near the screen's right edge moves left so that the opened panel stays reachable.
    if (open && isVisible() && screen() != nullptr) {
        const QRect frame = frameGeometry();
        move(pos() + centredWithin(frame.size(), frame, screen()->availableGeometry()) - frame.topLeft());
    }
    if (Fonts::haveMarlett())
        Expand->setText(open ? "3" : "4");
    else
        Expand->setText(QString(QChar(open ? 0x25C4 : 0x25BA)));
    Expand->setToolTip(open ? "Less informations" : "More informations");
    Expand->setAccessibleName(open ? "Collapse" : "Expand");
    PanelExpanded = open;
}

void TForm1::Button2Click() {
    if (aboutDialog_)
        aboutDialog_->exec();
}

void TForm1::closeEvent(QCloseEvent* event) {
    // The scan holds the phone in GBP mode: let it finish, then close.
    if (scanning_) {
        closePending_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}
