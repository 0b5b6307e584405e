#include "Charset.h"
#include "EInOutError.h"
#include "ErrorReport.h"
#include "FileIO.h"
#include "GraphicFormats.h"
#include "LabelText.h"
#include "QtPrinters.h"
#include "ReadableColour.h"
#include "ScriptedDialogs.h"
#include "WindowPlacement.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

TEST(ErrorReport, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(errorReportText("File not found"), "File not found.");
    EXPECT_EQ(errorReportText("Ends with a stop."), "Ends with a stop.");
    EXPECT_EQ(errorReportText("Unrecognized extension block: 2c"), "Unrecognized extension block: 2c.");
    EXPECT_EQ(errorReportText("closing bracket)"), "closing bracket)");
    EXPECT_EQ(errorReportText("minus-"), "minus-");
    EXPECT_EQ(errorReportText(""), "");

    ScriptedDialogs dialogs;
    runGuarded(dialogs, nullptr, [] { throw EInOutError(EInOutError::kDiskFull); });
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].caption, "Tarvel v8.0");
    EXPECT_EQ(dialogs.messages[0].text, "Disk full.");
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
}

TEST(FileErrors, MapErrnoToTheProgramsCodesAndTexts) {
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(ENOENT)).what(), std::string("File not found"));
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(EACCES)).what(), std::string("File access denied"));
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(EISDIR)).what(), std::string("File access denied"));
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(ENOSPC)).what(), std::string("Disk full"));
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(EMFILE)).what(), std::string("Too many open files"));
    EXPECT_EQ(EInOutError(EInOutError::codeFromErrno(ENAMETOOLONG)).what(), std::string("Invalid filename"));
    EXPECT_EQ(EInOutError(100).what(), std::string("Read beyond end of file"));
    EXPECT_EQ(EInOutError(106).what(), std::string("Invalid numeric input"));
    EXPECT_EQ(EInOutError(32).what(), std::string("I/O error 32"));
    EXPECT_NE(EInOutError::codeFromErrno(EIO), EInOutError::kAccessDenied);
}

TEST(Charset, ShowsBytesInTheEastEuropeanSetAndZeroBytesAsNothing) {
    EXPECT_EQ(Charset::toUnicode('A'), QChar('A'));
    EXPECT_EQ(Charset::toUnicode(0x8A), QChar(0x0160)); // S with caron
    EXPECT_EQ(Charset::toUnicode(0xA5), QChar(0x0104)); // A with ogonek
    EXPECT_EQ(Charset::toUnicode(0xB9), QChar(0x0105));
    EXPECT_EQ(Charset::toUnicode(0xFF), QChar(0x02D9)); // dot above
    EXPECT_EQ(Charset::toUnicode(0x80), QChar(0x20AC));
    const uint8_t name[] = {'C', 'a', 'l', 'c', 0, 0, 'X', 0};
    EXPECT_EQ(Charset::sectionText(name, sizeof name), "CalcX");
}

TEST(LabelText, ShowsDoubleAmpersandsAsOneAndLineBreaksAsBreaks) {
    EXPECT_EQ(labelDisplayText("PRGLoader v2.0 && newer\r\nOOK2 1b2+ && newer"),
              "PRGLoader v2.0 & newer\nOOK2 1b2+ & newer");
    EXPECT_EQ(labelDisplayText("&Reload"), "Reload");
}

TEST(FileIO, ReplacesAFileWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString target = dir.path() + "/out.bin";
    QFile old(target);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'o'));
    old.close();
    const QByteArray fresh(300, 'n');
    FileIO::replaceFile(target, fresh.constData(), static_cast<std::size_t>(fresh.size()));
    EXPECT_EQ(FileIO::fileSize(target), 300);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.bin"});

    // A read-only target is refused and left as it was.
    QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup);
    try {
        FileIO::replaceFile(target, "x", 1);
        FAIL() << "a read-only target was replaced";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), EInOutError::kAccessDenied);
    }
    EXPECT_EQ(FileIO::fileSize(target), 300);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    try {
        FileIO::fileSize(dir.path() + "/missing.bin");
        FAIL();
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), EInOutError::kFileNotFound);
    }
    try {
        FileIO::fileSize(dir.path());
        FAIL() << "a folder was read as a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), EInOutError::kAccessDenied);
    }
    try {
        FileIO::readExactly(target, 301);
        FAIL() << "a file shorter than its size was read";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), EInOutError::kReadBeyondEnd);
    }
    EXPECT_THROW(FileIO::readExactly(target, 299), EInOutError) << "a file that grew is an error";
    EXPECT_EQ(FileIO::readExactly(target, 300).size(), 300u);

    // A path longer than Windows' 260 characters, reached as any other.
    const QString deep = dir.path() + QString("/a-folder-of-a-long-name").repeated(12);
    ASSERT_TRUE(QDir().mkpath(deep));
    FileIO::replaceFile(deep + "/out.bin", fresh.constData(), static_cast<std::size_t>(fresh.size()));
    EXPECT_EQ(FileIO::readPlainFile(deep + "/out.bin", 1000).size(), 300u);
}

TEST(FileIO, RefusesAPipeAsASourceAndRemovesItsOwnLeftoversOnTheNextReplace) {
#ifdef _WIN32
    GTEST_SKIP() << "mkfifo and fork are POSIX; FileIOWindows tests a named pipe and a killed replace";
#else
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0644), 0);
    char buffer[16];
    try {
        FileIO::readFileUpTo(pipe, buffer, sizeof buffer);
        FAIL() << "a pipe was read as a file";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.errorCode(), EInOutError::kAccessDenied);
    }

    // A replace killed after its flush, with a temporary named from the start.
    const QString target = dir.filePath("target.bin");
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FileIO::testHooks().namedTemporariesOnly = true;
        FileIO::testHooks().afterFlush = [] { ::raise(SIGKILL); };
        FileIO::replaceFile(target, "new", 3);
        _exit(3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    const QString leftover = QString(".target.bin.tarvel-%1-").arg(pid);
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(names.filter(leftover).size(), 1) << names.join(' ').toStdString();
    EXPECT_TRUE(FileIO::isTemporaryName(names.filter(leftover)[0]));
    // A running program's temporary (process 1 always runs) is not touched.
    QFile busy(dir.filePath(".other.bin.tarvel-1-AbCdE1"));
    ASSERT_TRUE(busy.open(QIODevice::WriteOnly));
    busy.close();
    FileIO::replaceFile(dir.filePath("next.bin"), "x", 1);
    names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    EXPECT_EQ(names, (QStringList{".other.bin.tarvel-1-AbCdE1", "next.bin", "pipe"}));
#endif
}

TEST(FileIO, GivesAWindowsPathOf248CharactersOrMoreItsLongForm) {
    EXPECT_EQ(FileIO::windowsPath("C:/Users/ann/phone.bin"), "C:\\Users\\ann\\phone.bin");
    const QString deep = QString("/folder").repeated(40);
    EXPECT_EQ(FileIO::windowsPath("C:" + deep + "/./x/../phone.bin"),
              "\\\\?\\C:" + QString(deep).replace('/', '\\') + "\\phone.bin")
        << "the long form is taken as it stands, so it is given clean";
    EXPECT_EQ(FileIO::windowsPath("//server/share" + deep),
              "\\\\?\\UNC\\server\\share" + QString(deep).replace('/', '\\'));
    const QString already = "\\\\?\\C:" + QString(deep).replace('/', '\\');
    EXPECT_EQ(FileIO::windowsPath(already), already);
}

TEST(GraphicFormats, FindsTheGifClassByExtensionInAnyCaseUntilCleared) {
    GraphicFormats formats;
    formats.add({"gif", "CompuServe GIF Image", "GIF Image"});
    formats.add({"GIF", "CompuServe GIF Image", "GIF Image"});
    ASSERT_EQ(formats.all().size(), 1u) << "a second registration replaces the first";
    ASSERT_NE(formats.find("Gif"), nullptr);
    EXPECT_EQ(formats.find("gif")->description, "CompuServe GIF Image");
    EXPECT_EQ(formats.find("gif")->clipboardFormat, "GIF Image");
    EXPECT_EQ(formats.find("png"), nullptr);
    formats.clear();
    EXPECT_EQ(formats.find("gif"), nullptr);
}

TEST(WindowPlacement, CentresOverTheOwnerAndKeepsTheWholeDialogOnTheScreen) {
    const QRect screen(0, 0, 640, 480);
    EXPECT_EQ(centredWithin({449, 314}, QRect(100, 50, 481, 372), screen), QPoint(116, 79));
    // The View dialog over the narrow window near the left edge would start at x = -56.
    EXPECT_EQ(centredWithin({449, 314}, QRect(20, 50, 297, 372), screen), QPoint(0, 79));
    EXPECT_EQ(centredWithin({449, 314}, QRect(500, 300, 297, 372), screen), QPoint(191, 166));
    // An available area that does not start at the origin (a second screen, a panel at the top).
    EXPECT_EQ(centredWithin({321, 187}, QRect(1900, 10, 297, 372), QRect(1920, 24, 800, 600)),
              QPoint(1920, 102));
    // Larger than the screen: its top-left corner stays on the screen.
    EXPECT_EQ(centredWithin({700, 500}, QRect(0, 0, 297, 372), screen), QPoint(0, 0));
}

TEST(ReadableColour, KeepsAColourThatReadsAndLightensOrDarkensOneThatDoesNot) {
    EXPECT_DOUBLE_EQ(contrastRatio(Qt::black, Qt::white), 21.0);
    const QColor navy(0, 0, 128);
    EXPECT_EQ(readableOn(navy, QColor(240, 240, 240)), navy);
    const QColor onDark = readableOn(navy, QColor(30, 30, 30));
    EXPECT_GE(contrastRatio(onDark, QColor(30, 30, 30)), 4.5);
    EXPECT_GT(onDark.blue(), onDark.red());
    const QColor onPale = readableOn(QColor(255, 255, 200), QColor(250, 250, 250));
    EXPECT_GE(contrastRatio(onPale, QColor(250, 250, 250)), 4.5);
}
