#include "FullBackup.h"
#include "ScriptedDialogs.h"
#include "ScriptedLink.h"
#include "TestFiles.h"
#include "TestPattern.h"
#include "Unit1.h"
#include "VirtualPhone.h"
#include "support/SectionList.h"

#include <QAction>
#include <QMenu>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

constexpr int kSmallSlot = 0;  // 02-10, 2048 bytes
constexpr int kLargeSlot = 10; // 18-09, 21504 bytes

QByteArray asBytes(const std::vector<uint8_t>& v) {
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// What the window asked, for failure messages.
std::string describe(const std::vector<MessageBoxRequest>& messages) {
    std::string out;
    for (const MessageBoxRequest& m : messages)
        out += "[" + m.caption.toStdString() + ": " + m.text.toStdString() + "] ";
    return out.empty() ? "no message" : out;
}

class SectionOperations : public testing::Test {
  protected:
    ScriptedLink link;
    ScriptedDialogs dialogs;
    TForm1 form{link, dialogs};
    QTemporaryDir dir;

    void SetUp() override { form.backupStore().setRoot(dir.filePath("backups")); }

    template <class T> T* child(const char* name) {
        T* w = form.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* button(const char* name) { return child<QPushButton>(name); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    const SectionRecord& record(int slot) { return form.sectionTable()[slot]; }

    // Reload on port, then select slot.
    void connectAndSelect(int slot, int port = 1) {
        link.initResults[port] = 0;
        child<QComboBox>("Port")->setCurrentIndex(port - 1);
        button("reld")->click();
        ASSERT_EQ(form.connectedPort(), port);
        selectRow(child<QListView>("Lista"), slot);
        ASSERT_EQ(form.selectedSlot(), slot);
        link.calls.clear();
    }
    // Presses an action button as the user would; it must be enabled.
    void press(const char* name) {
        QPushButton* b = button(name);
        ASSERT_TRUE(b->isEnabled()) << name << " is disabled";
        b->click();
    }
    void upload(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        press("btn1");
    }
    void extract(const QString& path) {
        dialogs.fileAnswers.push_back(path);
        press("btn3");
    }
    QString file(const char* name, const std::vector<uint8_t>& bytes) {
        return writeFile(dir.filePath(name), asBytes(bytes));
    }
    std::vector<std::string> ops() const {
        std::vector<std::string> out;
        for (const LinkCall& c : link.calls)
            out.push_back(c.op + (c.op == "Read" || c.op == "Write" ? " " + std::to_string(c.count) : ""));
        return out;
    }
    // Records the activity panel as it stands at each call of op; seenActivity() gives the texts.
    void watchActivityAt(const std::string& op) {
        activity_.clear();
        link.onCall = [this, op](const LinkCall& c) {
            if (c.op == op)
                activity_.push_back(form.statusPanel(2));
        };
    }
    const std::vector<QString>& seenActivity() const { return activity_; }
    void expectBracketClosed() {
        EXPECT_EQ(link.count("Init"), link.count("End")) << "GBP mode entered and left unevenly";
        EXPECT_FALSE(link.inGbpMode()) << "the phone was left in GBP mode";
    }
    void expectErrorReport(const QString& text) {
        ASSERT_FALSE(dialogs.messages.empty()) << "no error report, wanted " << text.toStdString();
        const MessageBoxRequest& m = dialogs.messages.back();
        EXPECT_EQ(m.caption, "Tarvel v8.0");
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.icon, MsgIcon::Error);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }
    void expectMessage(const QString& caption, const QString& text, MsgIcon icon) {
        ASSERT_EQ(dialogs.messages.size(), 1u) << describe(dialogs.messages);
        const MessageBoxRequest& m = dialogs.messages.back();
        EXPECT_EQ(m.caption, caption);
        EXPECT_EQ(m.text, text);
        EXPECT_EQ(m.icon, icon);
        EXPECT_EQ(m.buttons, MsgButtons::Ok);
    }

  private:
    std::vector<QString> activity_;
};

} // namespace

TEST_F(SectionOperations, UploadIntoAnEmptySectionWritesVerifiesAndReportsTheSizeReadBack) {
    connectAndSelect(kLargeSlot);
    const std::vector<uint8_t> bytes = pattern(1000);
    watchActivityAt("Write");
    upload(file("app.bin", bytes));
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].title, "Select file...");
    EXPECT_EQ(dialogs.fileDialogs[0].filter, "All files (*.*)|*.*");
    EXPECT_EQ(ops(),
              (std::vector<std::string>{"Init", "Size", "Write 1000", "Read 0", "Size", "Read 20", "End"}))
        << "an empty section is written without a question, a backup or a clear, then read back";
    EXPECT_EQ(seenActivity(), std::vector<QString>{"Writing section..."});
    EXPECT_EQ((link.files[{18, 9}]), bytes);
    expectMessage("Upload to section", "File uploaded to section 18-09\r\n(1000 bytes)",
                  MsgIcon::Information);
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(record(kLargeSlot).Size, 1000);
    EXPECT_EQ(record(kLargeSlot).Kind, ckUnknownData);
    EXPECT_EQ(form.statusPanel(1), "1000 bytes");
    EXPECT_EQ(button("btn1")->text(), "Change");
    for (const char* b : {"btn2", "btn3", "btn4"})
        EXPECT_TRUE(button(b)->isEnabled()) << b;
    EXPECT_EQ(label("Info5"), "1000 bytes");
    expectBracketClosed();
}

TEST_F(SectionOperations, UploadAsksBeforeOverwritingAndNoLeavesTheSectionAlone) {
    link.put(18, 9, applicationImage(0, 0, kAppUniversal, "Tetris", 500));
    connectAndSelect(kLargeSlot);
    const std::vector<uint8_t> before = link.files[{18, 9}];
    watchActivityAt("End");
    dialogs.answers = {MsgResult::No};
    upload(file("new.bin", pattern(300)));
    ASSERT_EQ(dialogs.messages.size(), 1u) << "only the question, no outcome message";
    const MessageBoxRequest& q = dialogs.messages[0];
    EXPECT_EQ(q.caption, "Change section");
    EXPECT_EQ(q.text, "Section 18-09\r\n(500 bytes)\r\nisn't empty.\r\nOverwrite data?");
    EXPECT_EQ(q.icon, MsgIcon::Information);
    EXPECT_EQ(q.buttons, MsgButtons::YesNo);
    EXPECT_EQ(q.defaultButton, MsgResult::Yes);
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "End"}));
    EXPECT_EQ(seenActivity(), std::vector<QString>{"Ready"}) << "Ready is shown before GBP mode is left";
    EXPECT_EQ((link.files[{18, 9}]), before);
    EXPECT_EQ(record(kLargeSlot).Size, 500);
    EXPECT_EQ(record(kLargeSlot).Kind, ckApplication);

    // Yes clears the section, then writes it; the question came while the phone was in GBP mode.
    link.calls.clear();
    dialogs.messages.clear();
    dialogs.answers = {MsgResult::Yes};
    watchActivityAt("Clear");
    upload(file("new.bin", pattern(300)));
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "Clear", "Write 300", "Read 0",
                                               "Size", "Read 20", "End"}))
        << "the old content is read whole for its backup before the clear";
    EXPECT_EQ(seenActivity(), std::vector<QString>{"Connected to COM 1"});
    EXPECT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages.back().text, "File uploaded to section 18-09\r\n(300 bytes)");
    EXPECT_EQ(record(kLargeSlot).Size, 300);
    expectBracketClosed();
}

TEST_F(SectionOperations, UploadTreatsASizeZeroSectionAsNotEmptyAndAcceptsAZeroLengthFile) {
    link.put(2, 10, {});
    connectAndSelect(kSmallSlot);
    dialogs.answers = {MsgResult::Yes};
    upload(file("empty.bin", {}));
    ASSERT_EQ(dialogs.messages.size(), 2u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].text, "Section 02-10\r\n(0 bytes)\r\nisn't empty.\r\nOverwrite data?");
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "Clear", "Write 0", "Read 0", "Size",
                                               "Read 20", "End"}));
    EXPECT_EQ(dialogs.messages[1].caption, "Upload to section");
    EXPECT_EQ(dialogs.messages[1].text, "File uploaded to section 02-10\r\n(0 bytes)");
    EXPECT_EQ(record(kSmallSlot).Size, 0);
    EXPECT_EQ(button("btn1")->text(), "Change");
}

TEST_F(SectionOperations, UploadAcceptsAFileOfExactlyTheCapacityAndRefusesOneByteMore) {
    struct Case {
        int slot;
        int size;
        bool accepted;
    };
    for (const Case c : {Case{kSmallSlot, 2048, true}, Case{kSmallSlot, 2049, false},
                         Case{kLargeSlot, 21504, true}, Case{kLargeSlot, 21505, false}}) {
        SCOPED_TRACE("slot " + std::to_string(c.slot) + ", " + std::to_string(c.size) + " bytes");
        link.files.clear();
        connectAndSelect(c.slot);
        dialogs.messages.clear();
        form.setStatusPanel(2, "before");
        const std::vector<uint8_t> bytes = pattern(c.size, static_cast<uint8_t>(c.size));
        upload(file("limit.bin", bytes));
        if (c.accepted) {
            EXPECT_EQ((link.files[{SectionGroup(c.slot), SectionNumber(c.slot)}]), bytes);
            ASSERT_EQ(dialogs.messages.size(), 1u);
            EXPECT_EQ(dialogs.messages[0].caption, "Upload to section");
        } else {
            EXPECT_TRUE(link.calls.empty()) << "the phone was contacted for an oversized file";
            expectMessage("Error", "File is too large for this section!", MsgIcon::Error);
            EXPECT_EQ(form.statusPanel(2), "before");
        }
    }
}

TEST_F(SectionOperations, UploadReportsFileErrorsWithoutContactingThePhone) {
    connectAndSelect(kLargeSlot);
    form.setStatusPanel(2, "before");
    upload(dir.filePath("missing.bin"));
    expectErrorReport("File not found.");
    upload(dir.path());
    expectErrorReport("File access denied.");
#ifndef _WIN32
    // Windows has no /proc or /sys files.
    // A file whose length changes between the size query and the read: /proc files claim 0 bytes.
    upload("/proc/self/status");
    expectErrorReport("I/O error 1117.");
    EXPECT_TRUE(link.calls.empty()) << "the phone was contacted after a file error";
    EXPECT_EQ(form.statusPanel(2), "before");
    // Sysfs files claim a page and hold less: fewer bytes than the size is a short read.
    const QString shorter = "/sys/class/net/lo/mtu";
    if (QFileInfo(shorter).size() > fileBytes(shorter).size()) {
        upload(shorter);
        expectErrorReport("Read beyond end of file.");
        EXPECT_TRUE(link.calls.empty());
    }
#endif
    // A file the user may only read can be uploaded.
    const QString readOnly = file("ro.bin", pattern(10));
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    upload(readOnly);
    EXPECT_EQ(dialogs.messages.back().caption, "Upload to section") << describe(dialogs.messages);
}

TEST_F(SectionOperations, UploadReportsAFailedClearOrWriteInsteadOfSuccess) {
    link.put(18, 9, applicationImage(0, 0, kAppUniversal, "Tetris", 500));
    connectAndSelect(kLargeSlot);
    link.clearResult = -3;
    dialogs.answers = {MsgResult::Yes};
    watchActivityAt("End");
    upload(file("new.bin", pattern(300)));
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "Clear", "Write 500", "Read 0",
                                               "Size", "Read 20", "End"}))
        << "a section that could not be cleared gets its old content back, not the new";
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].caption, "Error");
    EXPECT_EQ(dialogs.messages[1].text, "Upload to section 18-09 failed.\r\nThe section holds 500 bytes.\r\n"
                                        "Its previous content was restored.");
    EXPECT_EQ(dialogs.messages[1].icon, MsgIcon::Error);
    EXPECT_EQ(dialogs.messages[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(form.statusPanel(2), "Ready");
    expectBracketClosed();

    // A failed write into an empty section: the record is refreshed and the negative size shown.
    link.files.clear();
    link.clearResult.reset();
    link.writeResult = -3;
    connectAndSelect(kLargeSlot);
    dialogs.messages.clear();
    upload(file("new.bin", pattern(300)));
    expectMessage("Error", "Upload to section 18-09 failed.\r\nThe section holds -1 bytes.", MsgIcon::Error);
    EXPECT_EQ(record(kLargeSlot).Size, -1);
    EXPECT_EQ(form.statusPanel(1), "EMPTY");
    EXPECT_EQ(button("btn1")->text(), "Upload");
    EXPECT_EQ(form.statusPanel(2), "Ready");
    expectBracketClosed();
}

TEST_F(SectionOperations, UploadVerifiesWhatThePhoneStoredAndReportsATruncatedOrAlteredWrite) {
    connectAndSelect(kLargeSlot);
    link.alterWrite = [](std::vector<uint8_t>& bytes) { bytes.resize(bytes.size() / 2); };
    upload(file("gif.bin", pattern(4000)));
    expectMessage("Error", "Upload to section 18-09 failed.\r\nThe section holds 2000 bytes.",
                  MsgIcon::Error);
    EXPECT_EQ(record(kLargeSlot).Size, 2000) << "the record shows what the phone holds";
    EXPECT_EQ(form.statusPanel(1), "2000 bytes");

    // The same length with one byte changed is caught by the comparison of the bytes.
    link.files.clear();
    connectAndSelect(kLargeSlot);
    dialogs.messages.clear();
    link.alterWrite = [](std::vector<uint8_t>& bytes) { bytes[3999] ^= 0x01; };
    upload(file("gif.bin", pattern(4000)));
    expectMessage("Error", "Upload to section 18-09 failed.\r\nThe section holds 4000 bytes.",
                  MsgIcon::Error);
    expectBracketClosed();
}

TEST_F(SectionOperations, ExtractWritesExactlyTheBytesReadAndReportsTheRecordedSize) {
    link.put(18, 9, applicationImage(0, 0, kAppUniversal, "Tetris", 500));
    connectAndSelect(kLargeSlot);
    // The phone changed behind the table's back: the file gets what the phone returns now.
    const std::vector<uint8_t> now = pattern(700);
    link.put(18, 9, now);
    const QString target = writeFile(dir.filePath("out.bin"), QByteArray(5000, 'o'));
    std::vector<QString> atRead, atEnd;
    link.onCall = [&](const LinkCall& c) {
        if (c.op == "Read")
            atRead.push_back(form.statusPanel(2));
        if (c.op == "End")
            atEnd.push_back(form.statusPanel(2));
    };
    extract(target);
    ASSERT_EQ(dialogs.fileDialogs.size(), 1u);
    EXPECT_EQ(dialogs.fileDialogs[0].title, "Extract section to file...");
    EXPECT_EQ(dialogs.fileDialogs[0].filter, "Binary files (*.bin)|*.bin|All files (*.*)|*.*");
    EXPECT_EQ(dialogs.fileDialogs[0].defaultSuffix, "bin");
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "End"}));
    EXPECT_EQ(atRead, std::vector<QString>{"Reading section..."});
    EXPECT_EQ(atEnd, std::vector<QString>{"Saving to file..."}) << "GBP mode lasts until the file is closed";
    EXPECT_EQ(fileBytes(target), asBytes(now)) << "the larger old file is replaced by exactly c bytes";
    expectMessage("Extract section", "Section 18-09\r\n(500 bytes)\r\nextracted to file.",
                  MsgIcon::Information);
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"}) << "a temporary file was left";
    EXPECT_EQ(record(kLargeSlot).Size, 500) << "Extract changes nothing in the table";
    expectBracketClosed();
}

TEST_F(SectionOperations, ThePhoneWorksUnderTheWaitCursorWithTheActivityAlreadyOnScreen) {
    link.put(18, 9, pattern(600));
    form.show();
    connectAndSelect(kLargeSlot);
    // What the activity panel last painted and whether the wait cursor shows, at each file operation.
    struct PaintedText : QObject {
        QString last;
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                last = static_cast<QLabel*>(watched)->text();
            return false;
        }
    } painted;
    child<QLabel>("StatusPanel2")->installEventFilter(&painted);
    std::vector<std::string> seen;
    link.onCall = [&](const LinkCall& c) {
        const QCursor* cursor = QGuiApplication::overrideCursor();
        const bool waiting = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        if (c.op != "Init")
            seen.push_back(c.op + ": " + painted.last.toStdString() + (waiting ? "" : " (no wait cursor)"));
    };
    extract(dir.filePath("out.bin"));
    dialogs.answers = {MsgResult::Yes};
    press("btn4");
    EXPECT_EQ(seen, (std::vector<std::string>{"Size: Reading section...", "Read: Reading section...",
                                              "End: Saving to file...", "Size: Clearing section...",
                                              "Read: Clearing section...", "Clear: Clearing section...",
                                              "End: Clearing section..."}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SectionOperations, TheWaitCursorEndsWithAnOperationThatAFileErrorCutsShort) {
    link.put(18, 9, pattern(600));
    connectAndSelect(kLargeSlot);
    bool waited = false;
    link.onCall = [&](const LinkCall&) { waited = QGuiApplication::overrideCursor() != nullptr; };
    extract(dir.filePath("no-such-folder/out.bin"));
    EXPECT_TRUE(waited);
    ASSERT_EQ(dialogs.messages.size(), 1u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].caption, "Tarvel v8.0");
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    waited = false; // Reload shows it too, while it reads the sections
    button("reld")->click();
    EXPECT_TRUE(waited);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SectionOperations, ExtractRefusesACountOtherThanTheSizeAndCreatesNoFile) {
    link.put(2, 10, pattern(100));
    connectAndSelect(kSmallSlot);
    const QString old = writeFile(dir.filePath("old.bin"), "keep me");
    // Outside the buffer, and inside it but not what the phone says the section holds.
    for (int32_t count : {-1, 22001, 0, 99, 22000}) {
        SCOPED_TRACE("count " + std::to_string(count));
        link.readResults[{2, 10}] = count;
        link.calls.clear();
        dialogs.messages.clear();
        extract(dir.filePath("new.bin"));
        extract(old);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("new.bin"))) << "a file was created";
        EXPECT_EQ(fileBytes(old), "keep me");
        ASSERT_EQ(dialogs.messages.size(), 2u) << describe(dialogs.messages);
        EXPECT_EQ(dialogs.messages[0].caption, "Error");
        EXPECT_EQ(dialogs.messages[0].text, "Section 02-10 could not be read.");
        EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(form.statusPanel(2), "Ready");
        EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "End", "Init", "Size", "Read 0",
                                                   "End"}));
        expectBracketClosed();
    }
    link.readResults.clear();
    extract(dir.filePath("whole.bin"));
    EXPECT_EQ(fileBytes(dir.filePath("whole.bin")).size(), 100);
}

TEST_F(SectionOperations, ExtractFileErrorsKeepTheOldFileLeaveNoTemporaryAndLeaveGbpMode) {
    link.put(18, 9, pattern(21504));
    connectAndSelect(kLargeSlot);
    const QString target = writeFile(dir.filePath("old.bin"), QByteArray(100, 'o'));

    // A read-only target, by its mode bits (we may run as root, whom the system lets through).
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    extract(target);
    expectErrorReport("File access denied.");
    EXPECT_EQ(form.statusPanel(2), "Saving to file...");
    EXPECT_EQ(fileBytes(target), QByteArray(100, 'o'));
    expectBracketClosed();
    QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);

#ifndef _WIN32
    // A Windows folder's read-only attribute does not stop new files in it.
    // A folder nobody may write to.
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(locked));
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    extract(locked + "/x.bin");
    expectErrorReport("File access denied.");
    EXPECT_TRUE(entries(locked).isEmpty());
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif

    // A name in a folder that does not exist, and a folder as the target.
    extract(dir.filePath("no-such-folder/x.bin"));
    expectErrorReport("Invalid filename.");
    ASSERT_TRUE(QDir().mkdir(dir.filePath("folder.bin")));
    extract(dir.filePath("folder.bin"));
    expectErrorReport("File access denied.");

#ifndef _WIN32
    // Windows has no file size limit (RLIMIT_FSIZE) to cut a write short with.
    // A short write: the file size limit stops the write part way (SIGXFSZ ignored so that the write
    // fails instead of the process).
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    extract(target);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldSignal);
    expectErrorReport("Disk full.");
    EXPECT_EQ(fileBytes(target), QByteArray(100, 'o')) << "the old file was damaged by a short write";
#endif

    EXPECT_EQ(entries(dir.path()), QStringList{"old.bin"}) << "a temporary file was left";
    for (const MessageBoxRequest& m : dialogs.messages)
        EXPECT_NE(m.caption, "Extract section") << "success reported after a file error";
#ifdef _WIN32
    EXPECT_EQ(link.count("Init"), 3) << "without the locked folder and the short write";
#else
    EXPECT_EQ(link.count("Init"), 5);
#endif
    expectBracketClosed();
}

TEST_F(SectionOperations, ExtractAsAnUnprivilegedUserIsDeniedWhereTheSystemDeniesIt) {
#ifdef _WIN32
    GTEST_SKIP() << "the drop to another user uses fork() and setuid(), which Windows lacks; the Linux "
                    "build runs this";
#else
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || geteuid() != 0)
        GTEST_SKIP() << "needs root and a user 'nobody' to drop to";
    link.put(18, 9, pattern(300));
    connectAndSelect(kLargeSlot);
    // The user may reach both folders; the first it may not write in, the second it may, but the
    // target there belongs to root and is not the user's to write, although its mode has write bits.
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const QString closed = dir.filePath("closed");
    const QString open = dir.filePath("open");
    QDir().mkdir(closed);
    QDir().mkdir(open);
    chmod(QFile::encodeName(closed).constData(), 0755);
    chmod(QFile::encodeName(open).constData(), 0777);
    const QString foreign = writeFile(open + "/root.bin", "root's");
    chmod(QFile::encodeName(foreign).constData(), 0644);

    for (const QString& target : {closed + "/x.bin", foreign}) {
        SCOPED_TRACE(target.toStdString());
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            alarm(30);
            if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
                _exit(10);
            dialogs.messages.clear();
            dialogs.fileAnswers = {target};
            form.findChild<QPushButton*>("btn3")->click();
            if (dialogs.messages.size() != 1)
                _exit(11);
            if (dialogs.messages[0].text != "File access denied.")
                _exit(12);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged run ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not drop privileges, 11: not one message, "
                                             "12: a message other than File access denied";
    }
    EXPECT_TRUE(entries(closed).isEmpty());
    EXPECT_EQ(fileBytes(foreign), "root's") << "a file the user may not write was replaced";
    EXPECT_EQ(entries(open), QStringList{"root.bin"});
#endif
}

TEST_F(SectionOperations, ClearAsksWithNoAsDefaultAndEmptiesTheRecord) {
    link.put(18, 9, applicationImage(4, 0x14, kAppJ5, "Snake", 500));
    link.put(18, 10, pattern(100));
    connectAndSelect(kLargeSlot);
    const auto header = record(kLargeSlot).Header;
    press("btn4");
    ASSERT_EQ(dialogs.messages.size(), 1u);
    const MessageBoxRequest q = dialogs.messages[0];
    EXPECT_EQ(q.caption, "Clear section");
    EXPECT_EQ(q.text, "Clear section 18-09\r\n(500 bytes)\r\nAre You sure?");
    EXPECT_EQ(q.icon, MsgIcon::Warning);
    EXPECT_EQ(q.buttons, MsgButtons::YesNo);
    EXPECT_EQ(q.defaultButton, MsgResult::No);
    EXPECT_TRUE(link.calls.empty()) << "No contacted the phone";
    EXPECT_EQ(record(kLargeSlot).Size, 500);

    dialogs.messages.clear();
    dialogs.answers = {MsgResult::Yes};
    watchActivityAt("Clear");
    press("btn4");
    EXPECT_EQ(ops(), (std::vector<std::string>{"Init", "Size", "Read 0", "Clear", "End"}));
    EXPECT_EQ(seenActivity(), std::vector<QString>{"Clearing section..."});
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].caption, "Clear section");
    EXPECT_EQ(dialogs.messages[1].text, "Section 18-09 cleared.");
    EXPECT_EQ(dialogs.messages[1].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.messages[1].buttons, MsgButtons::Ok);
    const SectionRecord& r = record(kLargeSlot);
    EXPECT_EQ(r.Size, -1);
    EXPECT_EQ(r.Kind, ckNone);
    EXPECT_TRUE(r.Name.empty());
    EXPECT_TRUE(r.TargetFirmware.empty());
    EXPECT_EQ(r.Header, header) << "the header bytes stay";
    EXPECT_EQ(form.statusPanel(1), "EMPTY");
    EXPECT_EQ(form.statusPanel(2), "Ready");
    EXPECT_EQ(button("btn1")->text(), "Upload");
    EXPECT_TRUE(button("btn1")->isEnabled());
    for (const char* b : {"btn2", "btn3", "btn4"})
        EXPECT_FALSE(button(b)->isEnabled()) << b;
    EXPECT_EQ(label("Info5"), "100 bytes") << "the total is recomputed without the cleared section";
    expectBracketClosed();

    // A section of size 0 is offered with (0 bytes).
    link.put(2, 10, {});
    connectAndSelect(kSmallSlot);
    dialogs.messages.clear();
    press("btn4");
    EXPECT_EQ(dialogs.messages[0].text, "Clear section 02-10\r\n(0 bytes)\r\nAre You sure?");
}

TEST_F(SectionOperations, ClearThatThePhoneRefusesKeepsTheRecordAndSaysSo) {
    link.put(18, 9, applicationImage(0, 0, kAppUniversal, "Tetris", 500));
    connectAndSelect(kLargeSlot);
    link.clearResult = -3;
    dialogs.answers = {MsgResult::Yes};
    press("btn4");
    ASSERT_EQ(dialogs.messages.size(), 2u);
    EXPECT_EQ(dialogs.messages[1].caption, "Error");
    EXPECT_EQ(dialogs.messages[1].text,
              "Section 18-09 could not be cleared.\r\nIts previous content was restored.");
    EXPECT_EQ(dialogs.messages[1].icon, MsgIcon::Error);
    EXPECT_EQ(dialogs.messages[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(record(kLargeSlot).Size, 500);
    EXPECT_EQ(record(kLargeSlot).Kind, ckApplication);
    EXPECT_EQ(record(kLargeSlot).Name.substr(0, 6), "Tetris");
    EXPECT_EQ(form.statusPanel(1), "500 bytes");
    EXPECT_EQ(button("btn1")->text(), "Change");
    EXPECT_EQ(form.statusPanel(2), "Ready");
    expectBracketClosed();
}

TEST_F(SectionOperations, WithoutAConnectedPortOnlyTheFileDialogsShow) {
    link.put(18, 9, pattern(500));
    connectAndSelect(kLargeSlot);
    child<QComboBox>("Port")->setCurrentIndex(2);
    button("reld")->click();
    ASSERT_EQ(form.connectedPort(), 0);
    link.calls.clear();
    form.setStatusPanel(2, "before");
    dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    upload(dir.filePath("missing.bin"));
    extract(dir.filePath("out.bin"));
    press("btn4");
    EXPECT_EQ(dialogs.fileDialogs.size(), 2u) << "both file dialogs still open";
    EXPECT_TRUE(dialogs.messages.empty())
        << "the file was opened or a question asked: " << describe(dialogs.messages);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.bin")));
    EXPECT_TRUE(link.calls.empty());
    EXPECT_EQ(form.statusPanel(2), "before");

    // Cancelled dialogs end the operations at once, connected or not.
    connectAndSelect(kLargeSlot);
    dialogs.fileAnswers = {std::nullopt, std::nullopt};
    button("btn1")->click();
    button("btn3")->click();
    EXPECT_TRUE(link.calls.empty());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(SectionOperations, AFailureToEnterGbpModeShowsOnlyThePortError) {
    link.put(18, 9, pattern(500));
    const QString source = file("in.bin", pattern(10));
    struct Case {
        int port;
        const char* action;
    };
    for (const Case c : {Case{4, "btn1"}, Case{2, "btn3"}, Case{1, "btn4"}}) {
        SCOPED_TRACE(c.action);
        connectAndSelect(kLargeSlot, c.port);
        link.initResults[c.port] = -1;
        dialogs.messages.clear();
        dialogs.answers = {MsgResult::Yes};
        dialogs.fileAnswers = {std::string(c.action) == "btn1" ? source : dir.filePath("out.bin")};
        press(c.action);
        EXPECT_EQ(form.statusPanel(2), QString("GBP Error (COM %1)").arg(c.port));
        EXPECT_EQ(ops(), std::vector<std::string>{"Init"}) << "EndGBPMode after a failed InitGBPMode";
        EXPECT_EQ(link.calls[0].port, c.port);
        if (std::string(c.action) == "btn4")
            EXPECT_EQ(dialogs.messages.size(), 1u) << "only the question";
        else
            EXPECT_TRUE(dialogs.messages.empty()) << describe(dialogs.messages);
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.bin")));
        EXPECT_EQ(record(kLargeSlot).Size, 500);
        EXPECT_EQ((link.files[{18, 9}]), pattern(500));
    }
}

TEST_F(SectionOperations, OperationsDoNothingWhileAReloadScanRuns) {
    link.put(18, 9, pattern(500));
    connectAndSelect(kLargeSlot);
    dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    dialogs.fileAnswers = {file("in.bin", pattern(10)), dir.filePath("out.bin")};
    int initsDuringScan = -1;
    link.onCall = [&](const LinkCall& c) {
        if (c.op != "Size" || c.number != 20)
            return;
        const int before = link.count("Init");
        for (const char* b : {"btn1", "btn3", "btn4"})
            button(b)->click();
        initsDuringScan = link.count("Init") - before;
    };
    button("reld")->click();
    EXPECT_EQ(initsDuringScan, 0);
    EXPECT_TRUE(dialogs.fileDialogs.empty()) << "a file dialog opened during the scan";
    EXPECT_TRUE(dialogs.messages.empty()) << describe(dialogs.messages);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.bin")));
}

TEST(VirtualPhoneOperations, UploadsAGifExtractsItBackIdenticalAndClearsIt) {
    QTemporaryDir phoneDir, files;
    VirtualPhone phone(phoneDir.path()); // an existing, empty folder: every section empty
    ScriptedDialogs dialogs;
    TForm1 form(phone, dialogs);
    form.findChild<QPushButton*>("reld")->click();
    ASSERT_EQ(form.connectedPort(), 1);
    selectRow(form.findChild<QListView*>("Lista"), 12); // 18-11
    // A one-pixel GIF89a.
    const QByteArray gif = QByteArray::fromHex("4749463839610100010080000000ffffff00000021f90401000000002c"
                                               "00000000010001000002024401003b");
    const QString source = writeFile(files.filePath("pixel.gif"), gif);

    dialogs.fileAnswers = {source};
    form.findChild<QPushButton*>("btn1")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].text,
              QString("File uploaded to section 18-11\r\n(%1 bytes)").arg(gif.size()));
    EXPECT_EQ(form.sectionTable()[12].Kind, ckGifImage);
    EXPECT_EQ(form.findChild<QPushButton*>("btn1")->text(), "Change");
    for (const char* b : {"btn2", "btn3", "btn4"})
        EXPECT_TRUE(form.findChild<QPushButton*>(b)->isEnabled()) << b;

    const QString target = files.filePath("back.gif");
    dialogs.fileAnswers = {target};
    form.findChild<QPushButton*>("btn3")->click();
    EXPECT_EQ(fileBytes(target), gif);
    EXPECT_EQ(dialogs.messages.back().caption, "Extract section");

    dialogs.answers = {MsgResult::Yes};
    form.findChild<QPushButton*>("btn4")->click();
    EXPECT_EQ(dialogs.messages.back().text, "Section 18-11 cleared.");
    EXPECT_FALSE(QFileInfo::exists(phone.sectionPath(18, 11))) << "the phone still holds the section";
    EXPECT_EQ(form.sectionTable()[12].Size, -1);
    EXPECT_EQ(form.statusPanel(2), "Ready");
}

TEST_F(SectionOperations, ExtractWritesThroughALinkTakesLongNamesAndRefusesAnythingButAPlainFile) {
    link.put(18, 9, pattern(300));
    connectAndSelect(kLargeSlot);
    const QByteArray fresh = asBytes(pattern(300));

#ifndef _WIN32
    // Windows makes no fifos, and QFile::link makes a .lnk shortcut there, not a link.
    const QString real = writeFile(dir.filePath("real.bin"), "old");
    const QString linked = dir.filePath("link.bin");
    ASSERT_TRUE(QFile::link(real, linked));
    extract(linked);
    EXPECT_EQ(fileBytes(real), fresh) << "the file behind the link was not written";
    EXPECT_TRUE(QFileInfo(linked).isSymLink()) << "the link was replaced by a file";
#endif

    // The longest name the folder takes still works: the temporary name does not grow with it.
    const QString longName = dir.filePath(QString(251, 'a') + ".bin");
    extract(longName);
    EXPECT_EQ(fileBytes(longName), fresh) << describe(dialogs.messages);

#ifndef _WIN32
    // A pipe is not replaced by a file.
    const QString pipe = dir.filePath("pipe.bin");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    extract(pipe);
    expectErrorReport("File access denied.");
    struct stat st {};
    ASSERT_EQ(lstat(QFile::encodeName(pipe).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced";

    // A pipe chosen for an upload is refused at once: no waiting for a writer, no empty upload.
    dialogs.messages.clear();
    upload(pipe);
    EXPECT_EQ(dialogs.messages.size(), 1u) << "the upload of a pipe did not come to an end";
    expectErrorReport("File access denied.");
    EXPECT_EQ((link.files[{18, 9}]), pattern(300)) << "the pipe was uploaded";
#endif
    expectBracketClosed();
}

TEST_F(SectionOperations, AFailedUploadSaysWhereThePreviousContentIs) {
    const std::vector<uint8_t> old = applicationImage(0, 0, kAppUniversal, "Tetris", 500);
    link.put(18, 9, old);
    connectAndSelect(kLargeSlot);
    // The write fails once: the old content goes back.
    int writes = 0;
    std::vector<QString> atWrite;
    link.onCall = [&](const LinkCall& c) {
        if (c.op != "Write")
            return;
        link.writeResult = ++writes == 1 ? -3 : 0;
        atWrite.push_back(form.statusPanel(2));
    };
    dialogs.answers = {MsgResult::Yes};
    upload(file("new.bin", pattern(300)));
    EXPECT_EQ(atWrite, (std::vector<QString>{"Writing section...", "Restoring section..."}));
    ASSERT_EQ(dialogs.messages.size(), 2u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[1].text, "Upload to section 18-09 failed.\r\nThe section holds 500 "
                                        "bytes.\r\nIts previous content was restored.");
    EXPECT_EQ((link.files[{18, 9}]), old);

    // Every write fails: the section is left empty and the old content is in its backup.
    link.onCall = nullptr;
    link.writeResult = -3;
    dialogs.messages.clear();
    dialogs.answers = {MsgResult::Yes};
    upload(file("new.bin", pattern(300)));
    const std::vector<BackupEntry> saved = form.backupStore().list(kLargeSlot);
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(dialogs.messages.back().text,
              QString("Upload to section 18-09 failed.\r\nThe section holds -1 bytes."
                      "\r\nIts previous content is saved in %1.")
                  .arg(QDir::toNativeSeparators(saved[0].path)));
    EXPECT_EQ(asBytes(old), fileBytes(saved[0].path));
    expectBracketClosed();
}

TEST_F(SectionOperations, NothingIsClearedWhenTheOldContentCannotBeBackedUp) {
#ifdef _WIN32
    GTEST_SKIP() << "a Windows folder's read-only attribute does not stop new files in it; the Linux build "
                    "runs this";
#else
    link.put(18, 9, pattern(500));
    connectAndSelect(kLargeSlot);
    // The section's backup folder is closed to writing by its mode.
    const QString folder = form.backupStore().sectionFolder(kLargeSlot);
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    dialogs.answers = {MsgResult::Yes, MsgResult::Yes};
    upload(file("new.bin", pattern(300)));
    press("btn4");
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(dialogs.messages.size(), 4u) << describe(dialogs.messages);
    for (int i : {1, 3}) {
        EXPECT_EQ(dialogs.messages[i].caption, "Error");
        EXPECT_EQ(dialogs.messages[i].text, "Section 18-09 could not be backed up; nothing was changed.");
        EXPECT_EQ(dialogs.messages[i].icon, MsgIcon::Error);
    }
    EXPECT_EQ(ops(),
              (std::vector<std::string>{"Init", "Size", "Read 0", "End", "Init", "Size", "Read 0", "End"}));
    EXPECT_EQ((link.files[{18, 9}]), pattern(500));
    EXPECT_EQ(record(kLargeSlot).Size, 500);
    EXPECT_EQ(form.statusPanel(2), "Ready");
#endif
}

TEST(VirtualPhoneOperations, AnOversizedFileIsAskedAboutAndNeverReplacedUnsaved) {
    QTemporaryDir phoneDir, files;
    VirtualPhone phone(phoneDir.path());
    ScriptedDialogs dialogs;
    TForm1 form(phone, dialogs);
    form.backupStore().setRoot(files.filePath("backups"));
    const QString big = writeFile(phone.sectionPath(18, 23), QByteArray(30000, 'x'));
    form.findChild<QPushButton*>("reld")->click();
    selectRow(form.findChild<QListView*>("Lista"), 24); // 18-23
    EXPECT_EQ(form.sectionTable()[24].Size, 30000);
    dialogs.answers = {MsgResult::Yes};
    dialogs.fileAnswers = {writeFile(files.filePath("in.bin"), "new")};
    form.findChild<QPushButton*>("btn1")->click();
    ASSERT_EQ(dialogs.messages.size(), 2u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].text, "Section 18-23\r\n(30000 bytes)\r\nisn't empty.\r\nOverwrite data?");
    EXPECT_EQ(dialogs.messages[1].text, "Section 18-23 could not be backed up; nothing was changed.");
    EXPECT_EQ(fileBytes(big), QByteArray(30000, 'x'));
}

TEST_F(SectionOperations, TheListMenuRestoresASectionAndBacksUpAndRestoresThemAll) {
    const std::vector<uint8_t> first = applicationImage(4, 0x14, kAppJ5, "Snake J5", 500);
    link.put(18, 9, first);
    link.put(2, 10, pattern(100));
    connectAndSelect(kLargeSlot);
    QMenu* menu = form.listMenu();
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions())
        texts.append(a->text());
    EXPECT_EQ(texts, (QStringList{QString("Restore previous content") + QChar(0x2026),
                                  QString("Back up all sections") + QChar(0x2026),
                                  QString("Restore all from a backup") + QChar(0x2026)}));
    EXPECT_EQ(child<QListView>("Lista")->contextMenuPolicy(), Qt::CustomContextMenu);
    auto trigger = [&](const char* name) { form.findChild<QAction*>(name)->trigger(); };

    // No backups yet.
    trigger("mnuRestore");
    expectMessage("Restore previous content", "Section 18-09 has no backups.", MsgIcon::Information);

    // An upload saves the application; the menu lists it and brings it back.
    dialogs.messages.clear();
    dialogs.answers = {MsgResult::Yes};
    upload(file("gif.bin", {'G', 'I', 'F', '8', '9', 'a'}));
    ASSERT_EQ(record(kLargeSlot).Kind, ckGifImage);
    dialogs.messages.clear();
    link.calls.clear();
    dialogs.choiceAnswers = {0};
    trigger("mnuRestore");
    ASSERT_EQ(dialogs.choices.size(), 1u);
    const ChoiceRequest& choice = dialogs.choices.back();
    EXPECT_EQ(choice.caption, "Restore previous content");
    ASSERT_EQ(choice.items.size(), 1);
    EXPECT_TRUE(
        choice.items[0].endsWith(QString("%1 500 bytes %1 Fw Mod Application Snake J5").arg(QChar(0x00B7))))
        << choice.items[0].toStdString();
    EXPECT_EQ((link.files[{18, 9}]), first);
    expectMessage("Restore previous content", "Section 18-09 restored\r\n(500 bytes)", MsgIcon::Information);
    EXPECT_EQ(record(kLargeSlot).Kind, ckApplication);
    EXPECT_EQ(form.backupStore().list(kLargeSlot).size(), 2u)
        << "the GIF was not backed up before the restore";

    // Back up all into a new folder inside the chosen one; then change the phone and restore all.
    dialogs.messages.clear();
    dialogs.fileAnswers = {dir.filePath("")};
    trigger("mnuBackupAll");
    ASSERT_EQ(dialogs.messages.size(), 1u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].caption, "Back up all sections");
    const QStringList made = QDir(dir.path()).entryList({"tarvel-backup-*"}, QDir::Dirs);
    ASSERT_EQ(made.size(), 1);
    const QString full = dir.filePath(made[0]);
    EXPECT_TRUE(QFileInfo::exists(full + "/tarvel-backup.json"));
    link.put(18, 9, pattern(10));
    link.files.erase({2, 10});
    link.put(18, 29, pattern(20));
    dialogs.messages.clear();
    dialogs.fileAnswers = {full};
    dialogs.answers = {MsgResult::Yes};
    trigger("mnuRestoreAll");
    ASSERT_EQ(dialogs.messages.size(), 2u) << describe(dialogs.messages);
    EXPECT_EQ(dialogs.messages[0].caption, "Restore all from a backup");
    EXPECT_EQ(dialogs.messages[0].defaultButton, MsgResult::No);
    EXPECT_EQ(dialogs.messages[1].text,
              QString("All sections restored from\r\n%1").arg(QDir::toNativeSeparators(full)));
    EXPECT_EQ((link.files[{18, 9}]), first);
    EXPECT_EQ((link.files[{2, 10}]), pattern(100));
    EXPECT_FALSE(link.files.count({18, 29}));
    EXPECT_EQ(record(30).Size, -1) << "the table was not read again";
    EXPECT_EQ(label("Info5"), "600 bytes");

    // A damaged backup is refused before the phone is contacted.
    QFile::remove(full + "/02-10.bin");
    link.calls.clear();
    dialogs.messages.clear();
    dialogs.fileAnswers = {full};
    trigger("mnuRestoreAll");
    expectMessage("Error",
                  QString("The backup in %1 is damaged: 02-10.bin: File not found.")
                      .arg(QDir::toNativeSeparators(full)),
                  MsgIcon::Error);
    EXPECT_TRUE(link.calls.empty());
    expectBracketClosed();
}

TEST_F(SectionOperations, ReloadUndoesAChangeCutShortByACrash) {
    const std::vector<uint8_t> old = pattern(500);
    // What a run killed between the clear and the write leaves: the backup, the note, an empty section.
    const QString saved = form.backupStore().save(kLargeSlot, old).path;
    PendingChange note;
    note.backupPath = saved;
    note.newSize = 3;
    note.newSha256 = sha256Hex({1, 2, 3});
    form.backupStore().markPending(kLargeSlot, note);
    connectAndSelect(kLargeSlot);
    expectMessage("Reload", "A change of section 18-09 was cut short.\r\nIts previous content was restored.",
                  MsgIcon::Information);
    EXPECT_EQ((link.files[{18, 9}]), old);
    EXPECT_EQ(record(kLargeSlot).Size, 500);
    EXPECT_FALSE(form.backupStore().pending(kLargeSlot));
}
