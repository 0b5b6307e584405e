// The main window's handlers on the stand-in library through gbp-bridge under Wine (offscreen).
#include "LinkStarter.h"
#include "QtPrinters.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "TestPattern.h"
#include "Unit1.h"
#include "Unit3.h"
#include "WineTestSupport.h"
#include "support/SectionList.h"

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <map>

using namespace WineTest;

namespace {

constexpr int kSlot0210 = 0;
constexpr int kSlot1810 = 11;

// The window with its own bridge; the stand-in reads its faults from the environment as it starts.
struct Window {
    ScriptedDialogs dialogs;
    BridgeLink link;
    TForm1 form{link, dialogs};

    explicit Window(const BridgeDeadlines& deadlines = {})
        : link(setupFor(standIn(PeArch::X86_64), PeArch::X86_64)) {
        link.setDeadlines(deadlines);
    }
    QPushButton* button(const char* name) { return form.findChild<QPushButton*>(name); }
    void reloadAndSelect(int slot) {
        button("reld")->click();
        selectRow(form.findChild<QListView*>("Lista"), slot);
    }
    void upload(const QString& file) {
        dialogs.fileAnswers.push_back(file);
        button("btn1")->click();
    }
    void extract(const QString& file) {
        dialogs.fileAnswers.push_back(file);
        button("btn3")->click();
    }
    void clear() {
        dialogs.answers.push_back(MsgResult::Yes);
        button("btn4")->click();
    }
    QString lastMessage() const {
        return dialogs.messages.empty() ? "no message" : dialogs.messages.back().text;
    }
};

} // namespace

TEST(BridgeWindow, ReloadUploadExtractAndClearReachTheLibrary) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    QTemporaryDir dir;
    phone.put(2, 10, patternBytes(1500, 1));
    phone.put(18, 9, QByteArray("GIF89a") + patternBytes(900, 2));
    Window w;
    w.reloadAndSelect(kSlot1810);
    ASSERT_EQ(w.form.connectedPort(), 1) << w.link.lastError().toStdString();
    EXPECT_EQ(w.form.sectionTable()[kSlot0210].Size, 1500);
    EXPECT_EQ(w.form.sectionTable()[10].Kind, ckGifImage);

    const QByteArray app = patternBytes(3000, 7);
    w.upload(writeFile(dir.filePath("app.bin"), app));
    EXPECT_EQ(w.lastMessage(), "File uploaded to section 18-10\r\n(3000 bytes)");
    EXPECT_EQ(phone.get(18, 10), app);

    selectRow(w.form.findChild<QListView*>("Lista"), kSlot0210);
    const QString extracted = dir.filePath("0210.bin");
    w.extract(extracted);
    EXPECT_EQ(w.lastMessage(), "Section 02-10\r\n(1500 bytes)\r\nextracted to file.");
    EXPECT_EQ(fileBytes(extracted), patternBytes(1500, 1));

    w.clear();
    EXPECT_EQ(w.lastMessage(), "Section 02-10 cleared.");
    EXPECT_FALSE(phone.get(2, 10));
    EXPECT_EQ(w.form.statusPanel(2), "Ready");
}

TEST(BridgeWindow, AReloadPressedAsTheProgramStartsWaitsForTheBackgroundStartThenScans) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    phone.put(2, 10, patternBytes(1500, 1));
    QTemporaryDir dir;
    Window w;
    LinkStarter starter(w.link);
    std::optional<BridgeLink::StartState> decided;
    QEventLoop decision;
    QObject::connect(&starter, &LinkStarter::finished, &decision, [&](BridgeLink::StartState state) {
        decided = state;
        decision.quit();
    });
    w.form.setLinkStarting([&starter] { return starter.starting(); });
    // A Wine that takes a while over the registry: the bridge starts only after it.
    starter.start("REGEDIT4\r\n", {"sh", "-c", "sleep 0.5", "--"}, dir.filePath("prefix"));
    ASSERT_TRUE(starter.starting());
    w.button("reld")->click();
    ASSERT_EQ(w.form.connectedPort(), 1) << w.link.lastError().toStdString();
    EXPECT_EQ(w.form.sectionTable()[kSlot0210].Size, 1500);
    EXPECT_EQ(fileBytes(dir.filePath("prefix-ports.reg")), "REGEDIT4\r\n");
    if (!decided) {
        QTimer::singleShot(10000, &decision, &QEventLoop::quit);
        decision.exec();
    }
    EXPECT_EQ(decided, BridgeLink::StartState::Ready);
}

TEST(BridgeWindow, EveryFaultOfTheLibraryGivesTheOperationsErrorAndSparesTheOtherSections) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    StandInPhone phone;
    QTemporaryDir dir;
    const QByteArray held = patternBytes(1500, 1);
    const QByteArray other = patternBytes(21504, 5);
    const QString upload = writeFile(dir.filePath("app.bin"), patternBytes(3000, 7));
    BridgeDeadlines quick;
    quick.initMs = quick.callMs = 2500;

    struct Fault {
        const char* variable;
        const char* value;
        const char* action;             // Reload, Upload (into 18-10), Extract or Clear (of 02-10)
        const char* wanted;             // the activity panel after a Reload, else the message
        const char* activity = "Ready"; // after the other actions
    };
    const Fault faults[] = {
        {"TARVEL_STANDIN_FAIL_INIT", "5", "Reload", "GBP Error (COM 1)"},
        {"TARVEL_STANDIN_HANG", "InitGBPMode", "Reload", "GBP Error (COM 1)"},
        // A phone that stops answering during the scan is no phone of 31 empty sections.
        {"TARVEL_STANDIN_CRASH", "GetNVMFileSize", "Reload", "GBP Error (COM 1)"},
        {"TARVEL_STANDIN_HANG", "ReadNVMFile", "Reload", "GBP Error (COM 1)"},
        // Nor is an unanswered size an empty section to write over.
        {"TARVEL_STANDIN_HANG", "GetNVMFileSize", "Upload", "Section 18-10 could not be backed up",
         "GBP Error (COM 1)"},
        {"TARVEL_STANDIN_HANG", "WriteNVMFile", "Upload", "Upload to section 18-10 failed."},
        {"TARVEL_STANDIN_CRASH", "WriteNVMFile", "Upload", "Upload to section 18-10 failed."},
        {"TARVEL_STANDIN_SHORT_WRITE", "10", "Upload",
         "Upload to section 18-10 failed.\r\nThe section holds 10 bytes."},
        {"TARVEL_STANDIN_WRONG_COUNT", "30000", "Upload", "Upload to section 18-10 failed."},
        {"TARVEL_STANDIN_CRASH", "ReadNVMFile", "Extract", "Section 02-10 could not be read.",
         "GBP Error (COM 1)"},
        {"TARVEL_STANDIN_WRONG_COUNT", "30000", "Extract", "Section 02-10 could not be read."},
        {"TARVEL_STANDIN_HANG", "ClearNVMFile", "Clear", "Section 02-10 could not be cleared."},
        {"TARVEL_STANDIN_CRASH", "ClearNVMFile", "Clear", "Section 02-10 could not be cleared."},
    };
    for (const Fault& f : faults) {
        const std::string what = std::string(f.variable) + "=" + f.value + " in " + f.action;
        SCOPED_TRACE(what);
        phone.put(2, 10, held);
        phone.put(18, 29, other);
        QFile::remove(phone.path(18, 10));
        const QString extracted = dir.filePath("extracted.bin");
        QFile::remove(extracted);

        const std::string action = f.action;
        Window w(quick);
        if (action == "Reload") {
            QFile::remove(phone.path(2, 10)); // what a first Reload shows ...
            w.reloadAndSelect(kSlot0210);
            phone.put(2, 10, held); // ... stays while the phone does not answer
            phone.setFault(f.variable, f.value);
            w.reloadAndSelect(kSlot0210);
            EXPECT_EQ(w.form.statusPanel(2), f.wanted);
            EXPECT_FALSE(w.form.findChild<QListView*>("Lista")->isEnabled());
            EXPECT_EQ(w.form.connectedPort(), 0);
            EXPECT_LT(w.form.sectionTable()[kSlot0210].Size, 0);
            EXPECT_EQ(w.form.sectionTable()[30].Size, 21504) << "the table kept what it held before";
        } else {
            w.reloadAndSelect(action == "Upload" ? kSlot1810 : kSlot0210);
            ASSERT_EQ(w.form.connectedPort(), 1) << w.link.lastError().toStdString();
            phone.setFault(f.variable, f.value);
            if (action == "Upload")
                w.upload(upload);
            else if (action == "Extract")
                w.extract(extracted);
            else
                w.clear();
            EXPECT_TRUE(w.lastMessage().startsWith(f.wanted)) << w.lastMessage().toStdString();
            EXPECT_EQ(w.dialogs.messages.back().caption, "Error");
            EXPECT_EQ(w.form.statusPanel(2), f.activity);
        }
        EXPECT_EQ(phone.get(2, 10), held);
        EXPECT_EQ(phone.get(18, 29), other);
        EXPECT_FALSE(QFile::exists(extracted)) << "no file from a failed read";
        phone.setFault(f.variable, {});
    }
}

TEST(BridgeWindow, TheAboutDialogNamesTheLibraryAndItsPath) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    ScopedEnv env("TARVEL_GBP_DLL", standIn(PeArch::X86_64).toLocal8Bit());
    const Backend backend = makeBackend({}, "cdecl");
    ASSERT_TRUE(backend.error.isEmpty()) << backend.error.toStdString();
    TForm3 about(nullptr);
    about.setBackendLines(backend.describe());
    const QString text = about.findChild<QPlainTextEdit*>("Memo1")->toPlainText();
    EXPECT_TRUE(
        text.endsWith("\nDevice link: gbp-standin-x86_64.dll through the bridge (x86_64, cdecl)\nLibrary: " +
                      QFileInfo(standIn(PeArch::X86_64)).absoluteFilePath()))
        << text.toStdString();
    EXPECT_TRUE(text.startsWith(TForm3::informationLines().first()));
}
