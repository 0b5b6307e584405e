#include "Backend.h"
#include "DiagnosticLog.h"
#include "EtchedGroupBox.h"
#include "PortMenu.h"
#include "QtPrinters.h"
#include "ReadableColour.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "SectionItemPainter.h"
#include "Unit1.h"
#include "Unit3.h"
#include "support/SectionList.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class MainWindow : public testing::Test {
  protected:
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form{link, dialogs};

    template <class T> T* child(const char* name) {
        T* w = form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(const char* label) { return child<QLabel>(label)->text(); }
    void choosePort(int port) { child<QComboBox>("Port")->setCurrentIndex(port - 1); }
    void reload() { child<QPushButton>("reld")->click(); }
};

} // namespace

TEST_F(MainWindow, StartsNarrowWithOnlyPortReloadAboutAndExpandEnabled) {
    EXPECT_EQ(form.windowTitle(), "Tarvel v8.0 b1");
    EXPECT_EQ(form.size(), QSize(297, 372));
    EXPECT_EQ(child<QComboBox>("Port")->count(), 8);
    EXPECT_EQ(child<QComboBox>("Port")->currentText(), "COM 1");
    EXPECT_EQ(child<QPushButton>("reld")->geometry(), QRect(80, 8, 65, 21));
    EXPECT_EQ(child<QPushButton>("reld")->toolTip(), "Load NVM Sections info");
    EXPECT_EQ(child<QListView>("Lista")->geometry(), QRect(8, 35, 281, 286));
    EXPECT_EQ(child<QListView>("Lista")->model()->rowCount(), 31);
    EXPECT_EQ(child<QListView>("Lista")->model()->index(10, 0).data().toString(), "18-9");
    EXPECT_FALSE(child<QListView>("Lista")->isEnabled());
    for (const char* b : {"btn1", "btn2", "btn3", "btn4"})
        EXPECT_FALSE(child<QPushButton>(b)->isEnabled()) << b;
    for (const char* b : {"reld", "Button2", "Expand"})
        EXPECT_TRUE(child<QPushButton>(b)->isEnabled()) << b;
    EXPECT_EQ(child<QPushButton>("btn1")->text(), "Upload");
    EXPECT_EQ(child<QPushButton>("btn3")->toolTip(), "Extract to file");
    EXPECT_EQ(form.statusPanel(0), "02-10");
    EXPECT_EQ(form.statusPanel(1), "EMPTY");
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(text("Info5"), "(unknown)");
    EXPECT_EQ(form.ext1Caption(), "Section 02-10");
    EXPECT_EQ(form.connectedPort(), 0);
    for (const SectionRecord& r : form.sectionTable())
        EXPECT_EQ(r.Size, -1);
    // Tab order: Port, Reload, the four actions, Expand, About.
    EXPECT_EQ(child<QComboBox>("Port")->nextInFocusChain(), child<QPushButton>("reld"));
    EXPECT_EQ(child<QPushButton>("btn4")->nextInFocusChain(), child<QPushButton>("Expand"));
}

TEST_F(MainWindow, ExpandOpensAndClosesTheSidePanel) {
    form.show();
    const QRect available = form.screen()->availableGeometry();
    form.move(available.right() - 300, available.top() + 10); // the panel would open past the edge
    QPushButton* expand = child<QPushButton>("Expand");
    expand->click();
    EXPECT_EQ(form.width(), 481);
    EXPECT_TRUE(available.contains(form.frameGeometry()))
        << "the window at " << form.frameGeometry().x() << " on a screen to " << available.right();
    EXPECT_TRUE(child<QGroupBox>("ext2")->isVisible());
    EXPECT_FALSE(child<QGroupBox>("ext3")->isVisible()) << "no application selected yet";
    EXPECT_EQ(expand->toolTip(), "Less informations");
    EXPECT_EQ(text("Info2"), "(none)");
    // Each box's frame and title stay above its first caption (at y = 16 in the box).
    for (const auto& [boxName, captionName] : {std::pair{"ext2", "Label5"}, std::pair{"ext3", "Label1"}}) {
        auto* box = child<EtchedGroupBox>(boxName);
        const QRect caption = child<QLabel>(captionName)->geometry();
        EXPECT_LT(box->titleRect().bottom(), caption.top()) << boxName;
        const QImage image = box->grab().toImage();
        const int x = box->width() - 6; // right of the caption's text, inside the frame
        const QColor background = image.pixelColor(x, 0);
        for (int y = caption.top(); y <= caption.bottom(); ++y)
            EXPECT_EQ(image.pixelColor(x, y), background)
                << boxName << ": a line crosses the caption at " << y;
        EXPECT_NE(image.pixelColor(x, box->frameRect().top()), background) << boxName << ": no frame";
    }
    expand->click();
    EXPECT_EQ(form.size(), QSize(297, 372));
    for (const char* w : {"ext0", "ext1", "ext2", "ext3"})
        EXPECT_FALSE(form.findChild<QWidget*>(w)->isVisible()) << w;
    EXPECT_EQ(expand->toolTip(), "More informations");
    EXPECT_FALSE(form.panelExpanded());
}

TEST_F(MainWindow, ReloadScansAllSectionsInOrderAndReportsEachStep) {
    link.put(2, 10, applicationImage(4, 0x14, 0x2005, "Snake", 1000));
    link.put(18, 9, {'G', 'I', 'F', '8', '9', 'a', 0, 0});
    std::vector<QString> activity;
    link.onCall = [&](const LinkCall& c) {
        if (c.op == "Size")
            activity.push_back(form.statusPanel(2));
    };
    reload();
    ASSERT_EQ(activity.size(), 31u);
    EXPECT_EQ(activity[0], "Reading section 02-10...");
    EXPECT_EQ(activity[9], "Reading section 02-19...");
    EXPECT_EQ(activity[10], "Reading section 18-09...");
    EXPECT_EQ(activity[30], "Reading section 18-29...");
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(text("Info5"), "1008 bytes");
    EXPECT_EQ(form.connectedPort(), 1);
    EXPECT_TRUE(child<QListView>("Lista")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("reld")->isEnabled());
    EXPECT_EQ(form.sectionTable()[0].Kind, ckApplication);
    EXPECT_EQ(form.sectionTable()[10].Kind, ckGifImage);
    EXPECT_EQ(link.calls.front().op, "Init");
    EXPECT_EQ(link.calls.back().op, "End");
    EXPECT_EQ(link.count("Read"), 2);
}

TEST_F(MainWindow, ReloadPressedWhileTheLinkStartsWaitsWithoutFreezingThenScans) {
    int polls = 0;
    QString shown;
    bool cursor = false;
    form.setLinkStarting([&] {
        shown = form.statusPanel(2);
        cursor = QGuiApplication::overrideCursor() != nullptr;
        return ++polls < 4;
    });
    bool eventsRan = false;
    QTimer::singleShot(0, &form, [&] { eventsRan = true; });
    link.onCall = [&](const LinkCall& c) {
        if (c.op == "Init") {
            EXPECT_GE(polls, 4) << "the link was called before it had started";
        }
    };
    reload();
    EXPECT_EQ(shown, QString("Starting Wine%1").arg(QChar(0x2026)));
    EXPECT_TRUE(cursor);
    EXPECT_TRUE(eventsRan) << "the window handled no events while it waited";
    EXPECT_EQ(form.connectedPort(), 1);
    EXPECT_EQ(form.statusPanel(2), "Ready");
    // Once started, a Reload does not wait.
    link.onCall = nullptr;
    polls = 0;
    form.setLinkStarting([&] { return ++polls > 1; });
    reload();
    EXPECT_EQ(polls, 1);
}

TEST_F(MainWindow, ThePortListsMenuOffersTheChecksAndSavesTheDiagnosticReport) {
    QTemporaryDir dir;
    const Backend backend = virtualPhoneBackend(dir.filePath("phone"));
    DiagnosticLog log({"Tarvel diagnostic log", "Backend: virtual phone"});
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    new PortMenu(form, dialogs, settings, backend, log);
    QStringList entries;
    for (const QAction* action : form.portMenu()->actions())
        entries << action->objectName();
    EXPECT_EQ(entries, QStringList({"mnuCheckSetUp", "mnuSaveReport"})) << "no port mapping without Wine";

    log.add("InitGBPMode(1) = 0");
    const QString report = dir.filePath("report.txt");
    dialogs.fileAnswers = {report};
    form.portMenu()->actions().back()->trigger();
    QFile file(report);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith("Tarvel diagnostic log\nBackend: virtual phone\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("InitGBPMode(1) = 0")) << text.toStdString();

    // A file that cannot be written gets the standard error report, and nothing else changes.
    dialogs.fileAnswers = {dir.filePath("missing/report.txt")};
    dialogs.messages.clear();
    form.portMenu()->actions().back()->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages.back().icon, MsgIcon::Error);
}

TEST_F(MainWindow, FailedReloadDisablesTheListUntilAReloadSucceeds) {
    link.put(18, 9, applicationImage(0, 0, 0x30C0, "Tetris", 500));
    reload();
    ASSERT_EQ(form.connectedPort(), 1);
    choosePort(3);
    reload();
    EXPECT_EQ(form.statusPanel(2), "GBP Error (COM 3)");
    EXPECT_EQ(form.connectedPort(), 0);
    EXPECT_FALSE(child<QListView>("Lista")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("reld")->isEnabled());
    EXPECT_EQ(text("Info5"), "(empty)");
    EXPECT_EQ(form.sectionTable()[10].Size, 500) << "the old table stays";
    EXPECT_EQ(link.count("End"), 1) << "no EndGBPMode after a failed InitGBPMode";

    // A phone that stops answering in the middle of the scan fails the same way, table and all.
    choosePort(1);
    link.put(18, 9, applicationImage(0, 0, 0x30C0, "Tetris", 900));
    link.calls.clear();
    link.noAnswerFrom = 25; // Init, then 02-10 to 18-09 and part of the way on
    reload();
    EXPECT_EQ(form.statusPanel(2), "GBP Error (COM 1)");
    EXPECT_EQ(form.connectedPort(), 0);
    EXPECT_FALSE(child<QListView>("Lista")->isEnabled());
    EXPECT_EQ(text("Info5"), "(empty)");
    EXPECT_EQ(form.sectionTable()[10].Size, 500) << "the old table stays";
    EXPECT_LT(link.calls.size(), 30u) << "the scan went on after the phone stopped answering";
    link.noAnswerFrom.reset();

    link.initResults[4] = 0;
    choosePort(4);
    reload();
    EXPECT_EQ(form.connectedPort(), 4);
    EXPECT_TRUE(child<QListView>("Lista")->isEnabled());
    EXPECT_EQ(form.sectionTable()[10].Size, 900);
    // Another port chosen later changes nothing until the next Reload.
    choosePort(6);
    EXPECT_EQ(form.connectedPort(), 4);
}

TEST_F(MainWindow, ActionsDuringAScanNeverReachTheLinkAndCloseWaitsForTheScan) {
    link.put(2, 10, applicationImage(4, 0x14, 0x2005, "Snake", 100));
    reload();
    selectRow(child<QListView>("Lista"), 0);
    dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    dialogs.fileAnswers = {QString("/tmp/none.bin"), QString("/tmp/none.bin")};
    int initsDuringScan = 0;
    bool closedDuringScan = false;
    form.show();
    link.onCall = [&](const LinkCall& c) {
        if (c.op != "Size" || c.group != 18 || c.number != 20)
            return;
        // Midway through the scan, press every action and try to close the window.
        const int before = link.count("Init");
        for (const char* b : {"reld", "btn1", "btn2", "btn3", "btn4"})
            child<QPushButton>(b)->click();
        initsDuringScan = link.count("Init") - before;
        form.close();
        closedDuringScan = !form.isVisible();
    };
    reload();
    EXPECT_EQ(initsDuringScan, 0);
    EXPECT_FALSE(closedDuringScan);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(link.calls.back().op, "End");
    QTimer::singleShot(0, [] {});
    QCoreApplication::processEvents();
    EXPECT_FALSE(form.isVisible()) << "the close asked for during the scan happens after it";
}

TEST_F(MainWindow, SelectingBeforeAnyReloadChangesNothing) {
    link.put(18, 9, applicationImage(0, 0, 0x30C0, "Tetris", 500));
    selectRow(child<QListView>("Lista"), 10);
    form.ListaClick();
    EXPECT_EQ(form.ext1Caption(), "Section 02-10");
    EXPECT_EQ(form.statusPanel(0), "02-10");
    EXPECT_FALSE(child<QPushButton>("btn1")->isEnabled());
}

TEST_F(MainWindow, MouseAndKeyboardSelectionFillThePanelStatusAndButtons) {
    link.put(18, 9, applicationImage(4, 0x14, 0x2005, "Snake", 500));
    link.put(18, 10, {'G', 'I', 'F', '8', '9', 'a'});
    form.show();
    child<QPushButton>("Expand")->click();
    reload();
    QListView* list = child<QListView>("Lista");
    const QRect item10 = list->visualRect(list->model()->index(10, 0));
    list->scrollTo(list->model()->index(10, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(10, 0)).center());
    ASSERT_EQ(list->currentIndex().row(), 10) << "item rect was " << item10.y();
    EXPECT_EQ(form.ext1Caption(), "Section 18-09");
    EXPECT_EQ(form.statusPanel(0), "18-09");
    EXPECT_EQ(form.statusPanel(1), "500 bytes");
    EXPECT_EQ(text("Info1"), "PRGLoader v2.0 & newer\nOOK2 1b2+ & newer") << "&& shows as one ampersand";
    EXPECT_EQ(text("Info2"), "Fw Mod Application");
    EXPECT_EQ(text("Info4"), "21 kB (large)");
    EXPECT_EQ(text("Req1"), "Sony CMD-J5/J6");
    EXPECT_EQ(text("Req2"), "PRGLoader v2.0 or newer\n5.1.4/4");
    EXPECT_TRUE(child<QGroupBox>("ext3")->isVisible());
    EXPECT_EQ(child<QPushButton>("btn1")->text(), "Change");
    for (const char* b : {"btn1", "btn2", "btn3", "btn4"})
        EXPECT_TRUE(child<QPushButton>(b)->isEnabled()) << b;

    QTest::keyClick(list, Qt::Key_Down);
    ASSERT_EQ(list->currentIndex().row(), 11);
    EXPECT_EQ(form.statusPanel(0), "18-10");
    EXPECT_EQ(text("Info2"), "GIF Image");
    EXPECT_FALSE(child<QGroupBox>("ext3")->isVisible());
    EXPECT_EQ(text("Req1"), "Sony CMD-J5/J6") << "kept from the last application";

    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(form.statusPanel(1), "EMPTY");
    EXPECT_EQ(text("Info3"), "(empty)");
    EXPECT_EQ(child<QPushButton>("btn1")->text(), "Upload");
    EXPECT_TRUE(child<QPushButton>("btn1")->isEnabled());
    for (const char* b : {"btn2", "btn3", "btn4"})
        EXPECT_FALSE(child<QPushButton>(b)->isEnabled()) << b;

    // The Requirements box: closing the panel hides it until an application is selected again.
    selectRow(list, 10);
    EXPECT_TRUE(child<QGroupBox>("ext3")->isVisible());
    child<QPushButton>("Expand")->click();
    child<QPushButton>("Expand")->click();
    EXPECT_FALSE(child<QGroupBox>("ext3")->isVisible());
}

TEST_F(MainWindow, ScreenReadersHearTheControlsNamesAndWhatEachItemShows) {
    link.put(18, 9, applicationImage(0, 0, 0x30C0, "PGLDR3 Tetris", 8420));
    link.put(18, 10, {'G', 'I', 'F', '8', '9', 'a'});
    reload();
    auto name = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); };
    QAccessibleInterface* port = QAccessible::queryAccessibleInterface(child<QComboBox>("Port"));
    const auto labels = port->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1) << "the port box's label";
    EXPECT_EQ(labels.first().first->text(QAccessible::Name), "Port");
    QListView* list = child<QListView>("Lista");
    EXPECT_EQ(name(list), "Sections");
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(list)->tableInterface();
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->cellAt(10, 0)->text(QAccessible::Name),
              "18-09, Universal fw. application (PGLDR3), PGLDR3 Tetris, 8420 bytes");
    EXPECT_EQ(table->cellAt(11, 0)->text(QAccessible::Name), "18-10, GIF Image, 6 bytes");
    EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), "02-10, empty");
    auto* expand = child<QPushButton>("Expand");
    EXPECT_EQ(name(expand), "Expand");
    expand->click();
    EXPECT_EQ(name(expand), "Collapse");
    // The texts follow the table.
    link.files.erase({18, 9});
    reload();
    EXPECT_EQ(table->cellAt(10, 0)->text(QAccessible::Name), "18-09, empty");
}

TEST_F(MainWindow, TabbingIntoTheListSelectsNothingAndTheFocusedItemIsDrawnAsLaidOut) {
    link.put(2, 10, applicationImage(0, 0, 0x30C0, "Tetris", 1500));
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    reload();
    QListView* list = child<QListView>("Lista");
    QTest::keyClick(child<QComboBox>("Port"), Qt::Key_Backtab);
    ASSERT_TRUE(list->hasFocus());
    EXPECT_TRUE(list->selectionModel()->selectedIndexes().isEmpty());
    EXPECT_EQ(form.selectedSlot(), -1);
    EXPECT_EQ(form.statusPanel(0), "02-10");
    EXPECT_EQ(form.statusPanel(1), "EMPTY");
    EXPECT_FALSE(child<QPushButton>("btn1")->isEnabled());

    // The focused item: the item painter's pixels and a dotted rectangle, no tint of the style.
    const QRect rect = list->visualRect(list->model()->index(0, 0));
    const QImage shown = list->viewport()->grab(rect).toImage().convertToFormat(QImage::Format_RGB32);
    QImage wanted(rect.size(), QImage::Format_RGB32);
    QPainter painter(&wanted);
    const QRect at(QPoint(0, 0), rect.size());
    SectionItemPainter::paint(painter, form.icons(), form.sectionTable()[0], at, false);
    SectionItemPainter::paintFocusRect(painter, at);
    painter.end();
    EXPECT_EQ(wanted.pixelColor(0, 0), Qt::black);
    EXPECT_EQ(wanted.pixelColor(1, 0), Qt::white);
    for (int y = 0; y < rect.height(); ++y)
        for (int x = 0; x < rect.width(); ++x)
            ASSERT_EQ(shown.pixelColor(x, y).name(), wanted.pixelColor(x, y).name())
                << "at " << x << ", " << y;
}

TEST(AboutDialog, OpensModallyOverTheMainWindowAndOkClosesIt) {
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form(link, dialogs);
    TForm3 about(&form);
    form.setAboutDialog(&about);
    form.show();
    int opened = 0;
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(about.isVisible());
            EXPECT_TRUE(about.isModal());
            EXPECT_EQ(about.size(), QSize(321, 187));
            EXPECT_EQ(about.windowTitle(), "About");
            ++opened;
            about.findChild<QPushButton*>("Button1")->click();
        });
        form.findChild<QPushButton*>("Button2")->click();
        EXPECT_FALSE(about.isVisible());
    }
    EXPECT_EQ(opened, 2);
    const QStringList lines = TForm3::informationLines();
    ASSERT_EQ(lines.size(), 12);
    EXPECT_EQ(lines[0], "Tested on my Sony CMD-J5, works great :-)");
    EXPECT_EQ(lines[6], "NVM sections used:");
    EXPECT_EQ(lines[8], "18-09 .. 18-29 (about 430 kB)");
}

TEST(AboutDialog, EnterPressesTheFocusedButtonOnlyAndNoButtonIsTheDefault) {
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form(link, dialogs);
    TForm3 about(&form);
    form.setAboutDialog(&about);
    form.show();
    auto* expand = form.findChild<QPushButton*>("Expand");
    QTest::keyClick(expand, Qt::Key_Return);
    EXPECT_TRUE(form.panelExpanded());
    QTest::keyClick(expand, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(form.panelExpanded());

    bool stayedOpen = false;
    QTimer whileOpen; // dies with the test, should the dialog never open
    whileOpen.setSingleShot(true);
    QObject::connect(&whileOpen, &QTimer::timeout, [&] {
        auto* ok = about.findChild<QPushButton*>("Button1");
        EXPECT_FALSE(ok->isDefault());
        QTest::keyClick(about.findChild<QPlainTextEdit*>("Memo1"), Qt::Key_Return);
        stayedOpen = about.isVisible();
        QTest::keyClick(ok, Qt::Key_Return);
        if (about.isVisible())
            about.reject(); // ends the test instead of hanging
    });
    whileOpen.start(0);
    QTest::keyClick(form.findChild<QPushButton*>("Button2"), Qt::Key_Return);
    EXPECT_TRUE(stayedOpen) << "Enter elsewhere presses no button";
    EXPECT_EQ(about.result(), QDialog::Accepted) << "Enter on OK closes the dialog";
}

TEST(DarkPalette, ColoursTheLayoutLeavesOpenFollowItAndTheNavyHeadingStaysReadable) {
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form(link, dialogs);
    TForm3 about(&form);
    auto* heading = form.findChild<QLabel*>("ext1Caption");
    auto* memo = about.findChild<QPlainTextEdit*>("Memo1");
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(0, 0, 128)) << "navy on a light face";
    form.show(); // a palette change reaches the windows that are shown
    about.show();

    const QPalette light = QApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(30, 30, 30)); // button face, window
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
    QCoreApplication::processEvents();
    const QColor face = form.palette().color(QPalette::Window);
    const QColor headingText = heading->palette().color(QPalette::WindowText);
    const QColor memoFace = memo->viewport()->palette().color(memo->viewport()->backgroundRole());
    const QColor memoText = memo->palette().color(QPalette::Text);
    QApplication::setPalette(light);
    QCoreApplication::processEvents();

    EXPECT_EQ(face, QColor(30, 30, 30));
    EXPECT_GE(contrastRatio(headingText, face), 4.5) << headingText.name().toStdString();
    EXPECT_GT(headingText.blue(), headingText.red()) << "still a blue";
    EXPECT_EQ(memoFace, QColor(53, 53, 53)) << "the About text stands on the palette's button face";
    EXPECT_GE(contrastRatio(memoText, memoFace), 4.5);
    EXPECT_EQ(heading->palette().color(QPalette::WindowText), QColor(0, 0, 128)) << "back to navy";
}

TEST(WindowSettings, ThePortAndTheFileDialogsFoldersComeBackInTheNextRun) {
    QTemporaryDir dir; // the settings stay out of the user's own
    QDir(dir.path()).mkpath("in");
    QDir(dir.path()).mkpath("out");
    const QString upload = dir.filePath("in/game.bin");
    QFile file(upload);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    const QString settingsFile = dir.filePath("Tarvel.conf");
    ScriptedLink link;
    link.initResults[5] = 0;
    ScriptedDialogs dialogs;
    {
        QSettings settings(settingsFile, QSettings::IniFormat);
        TForm1 form(link, dialogs);
        form.useSettings(&settings);
        auto* port = form.findChild<QComboBox*>("Port");
        EXPECT_EQ(port->currentText(), "COM 1") << "nothing stored yet";
        port->setCurrentIndex(4);
        form.findChild<QPushButton*>("reld")->click();
        selectRow(form.findChild<QListView*>("Lista"), 10);
        dialogs.fileAnswers = {upload, dir.filePath("out/game-copy.bin")};
        form.findChild<QPushButton*>("btn1")->click();
        form.findChild<QPushButton*>("btn3")->click();
        ASSERT_TRUE(QFile::exists(dir.filePath("out/game-copy.bin")));
    }
    QSettings settings(settingsFile, QSettings::IniFormat);
    TForm1 next(link, dialogs);
    next.useSettings(&settings);
    EXPECT_EQ(next.findChild<QComboBox*>("Port")->currentText(), "COM 5");
    EXPECT_EQ(next.connectedPort(), 0) << "the port is chosen, not connected";
    EXPECT_EQ(next.openDialogState().folder, dir.filePath("in"));
    EXPECT_EQ(next.saveDialogState().folder, dir.filePath("out"));
    EXPECT_TRUE(next.openDialogState().fileName.isEmpty()) << "only the folder is kept";

    settings.setValue("Port", 42); // not a port: the window starts on COM 1
    TForm1 third(link, dialogs);
    third.useSettings(&settings);
    EXPECT_EQ(third.findChild<QComboBox*>("Port")->currentText(), "COM 1");
}
