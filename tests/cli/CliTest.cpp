#include "FullBackup.h"
#include "SectionTable.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Outcome {
    int code = -1;
    QString out, err;
};

// A phone folder (filled with the demonstration sections on first use) and a data folder of its own.
class TarvelCli : public testing::Test {
  protected:
    QTemporaryDir dir;
    QString phone = dir.filePath("phone");
    QString data = dir.filePath("data");

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data);
        return env;
    }
    // Runs tarvel-cli on the test's phone, with stdin not a terminal.
    Outcome cli(QStringList args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(TARVEL_CLI, QStringList{"--phone-dir", phone} + args);
        p.waitForFinished(60000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    QJsonObject json(const Outcome& run) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(run.out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out.toStdString();
        return doc.object();
    }
    QString section(const char* id) const { return phone + "/" + id + ".bin"; }
};

} // namespace

TEST_F(TarvelCli, EveryCommandWorksAndNothingHoldingDataChangesWithoutYes) {
    Outcome r = cli({"list", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray sections = json(r)["sections"].toArray();
    ASSERT_EQ(sections.size(), 31);
    EXPECT_EQ(sections[10].toObject()["id"], "18-09");
    EXPECT_EQ(sections[10].toObject()["kind"], "application");
    EXPECT_EQ(sections[10].toObject()["capacity"], 21504);
    EXPECT_TRUE(sections[20].toObject()["size"].isNull()) << "an empty section has no size";
    r = cli({"list"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 31);
    EXPECT_TRUE(r.out.contains("18-11  gif          1842/21504   GIF Image")) << r.out.toStdString();
    const QByteArray demo = fileBytes(section("18-09"));

    // Changes of a section that holds data are refused without --yes.
    const QString source = dir.filePath("in.bin");
    writeFile(source, "new content");
    for (const QStringList& change : {QStringList{"write", "18-09", source}, QStringList{"clear", "18-09"}}) {
        r = cli(change);
        EXPECT_EQ(r.code, 3) << change.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("--yes")) << r.err.toStdString();
    }
    EXPECT_EQ(fileBytes(section("18-09")), demo);
    EXPECT_EQ(cli({"write", "18-20", source}).code, 0) << "an empty section needs no --yes";

    r = cli({"--yes", "--verbose", "write", "18-09", source});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(section("18-09")), "new content");
    for (const char* call :
         {"InitGBPMode(1) = 0", "ReadNVMFile(18, 9, buffer, 0) = 8420", "ClearNVMFile(18, 9) = 0",
          "WriteNVMFile(18, 9, buffer, 11) = 0", "EndGBPMode() = 0"})
        EXPECT_TRUE(r.err.contains(call)) << call << " not in " << r.err.toStdString();

    r = cli({"history", "18-09", "--json"});
    ASSERT_EQ(r.code, 0);
    const QJsonArray history = json(r)["backups"].toArray();
    ASSERT_EQ(history.size(), 1);
    EXPECT_EQ(history[0].toObject()["size"], 8420);
    EXPECT_EQ(history[0].toObject()["kind"], "application");
    EXPECT_EQ(fileBytes(history[0].toObject()["path"].toString()), demo);

    EXPECT_EQ(cli({"undo", "18-09"}).code, 3);
    EXPECT_EQ(cli({"undo", "18-09", "--yes"}).code, 0);
    EXPECT_EQ(fileBytes(section("18-09")), demo);
    EXPECT_EQ(cli({"read", "18-09", dir.filePath("out.bin")}).code, 0);
    EXPECT_EQ(fileBytes(dir.filePath("out.bin")), demo);

    // A full backup, checked against a phone that then changes, and restored for two sections.
    r = cli({"backup", dir.filePath("full")});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("[13/31] 18-11\n")) << r.err.toStdString();
    EXPECT_TRUE(json(cli({"verify", dir.filePath("full"), "--json"}))["matches"].toBool());
    EXPECT_EQ(cli({"clear", "18-09", "--yes"}).code, 0);
    EXPECT_EQ(cli({"clear", "18-20", "--yes"}).code, 0);
    r = cli({"verify", dir.filePath("full"), "--json"});
    EXPECT_EQ(r.code, 5);
    const QJsonObject verified = json(r);
    EXPECT_FALSE(verified["matches"].toBool());
    EXPECT_FALSE(verified["sections"].toArray()[10].toObject()["match"].toBool());
    EXPECT_TRUE(verified["sections"].toArray()[10].toObject()["phone"].toObject()["empty"].toBool());
    writeFile(source, "other");
    EXPECT_EQ(cli({"write", "18-29", source}).code, 0);
    EXPECT_EQ(cli({"restore", dir.filePath("full"), "18-09", "18-29"}).code, 3) << "18-29 holds data";
    r = cli({"restore", dir.filePath("full"), "18-09", "18-29", "--yes"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(fileBytes(section("18-09")), demo);
    EXPECT_FALSE(QFile::exists(section("18-29")));
    EXPECT_EQ(cli({"verify", dir.filePath("full")}).code, 5) << "18-20 was not restored";
    EXPECT_EQ(cli({"restore", dir.filePath("full"), "--yes"}).code, 0);
    EXPECT_EQ(cli({"verify", dir.filePath("full")}).code, 0);
}

TEST_F(TarvelCli, ExitCodesTellUsageLinkFileAndDamageApart) {
    struct Case {
        QStringList args;
        int code;
    };
    writeFile(dir.filePath("big.bin"), QByteArray(2049, 'b'));
    ASSERT_TRUE(QDir().mkpath(dir.filePath("busy/x")));
    const Case cases[] = {
        {{"--help"}, 0},
        {{"--version"}, 0},
        {{}, 2},
        {{"frobnicate"}, 2},
        {{"clear", "18-9"}, 2},
        {{"clear", "18-30"}, 2},
        {{"read", "18-09"}, 2},
        {{"--port", "9", "list"}, 2},
        {{"--colour", "list"}, 2},
        {{"--port", "2", "list"}, 1},
        {{"read", "18-09", dir.filePath("no/such/folder/x.bin")}, 4},
        {{"write", "18-20", dir.filePath("missing.bin")}, 4},
        {{"write", "02-12", dir.filePath("big.bin")}, 4},
        {{"backup", dir.filePath("busy")}, 4},
        {{"verify", dir.filePath("nowhere")}, 4},
        {{"restore", dir.filePath("busy"), "--yes"}, 5},
        {{"undo", "18-21", "--yes"}, 3},
    };
    for (const Case& c : cases) {
        const Outcome r = cli(c.args);
        EXPECT_EQ(r.code, c.code) << c.args.join(' ').toStdString() << ": " << r.err.toStdString();
        if (c.code == 2) {
            EXPECT_TRUE(r.err.contains("--help")) << r.err.toStdString();
        }
    }
    const Outcome help = cli({"--help"});
    for (const char* text :
         {"list", "history SECTION", "undo SECTION", "--phone-dir", "Exit codes:", "5  verification"})
        EXPECT_TRUE(help.out.contains(text)) << text;

    // A damaged backup is refused by verify and restore, and nothing is written.
    ASSERT_EQ(cli({"backup", dir.filePath("full")}).code, 0);
    writeFile(dir.filePath("full/18-11.bin"), "not the gif");
    const QByteArray before = fileBytes(section("18-11"));
    for (const QStringList& args : {QStringList{"verify", dir.filePath("full")},
                                    QStringList{"restore", dir.filePath("full"), "--yes"}}) {
        const Outcome r = cli(args);
        EXPECT_EQ(r.code, 5);
        EXPECT_TRUE(r.err.contains("18-11.bin does not hold 1842 bytes")) << r.err.toStdString();
    }
    EXPECT_EQ(fileBytes(section("18-11")), before);
    EXPECT_FALSE(QDir(data + "/Tarvel/backups").exists()) << "a refused restore made backups";
}

TEST_F(TarvelCli, AYOnATerminalConfirmsAndAnythingElseRefuses) {
    ASSERT_EQ(cli({"list"}).code, 0); // the demonstration sections
    for (const char* answer : {"n\n", "y\n"}) {
        SCOPED_TRACE(answer);
        int master = -1;
        const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("XDG_DATA_HOME", QFile::encodeName(data).constData(), 1);
            const QByteArray phoneDir = QFile::encodeName(phone);
            execl(TARVEL_CLI, TARVEL_CLI, "--phone-dir", phoneDir.constData(), "clear", "18-11", nullptr);
            _exit(127);
        }
        // Read the terminal until the question, answer it, then read to the end.
        QByteArray seen;
        bool answered = false;
        for (;;) {
            pollfd fd{master, POLLIN, 0};
            if (poll(&fd, 1, 30000) <= 0)
                break;
            char buffer[256];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            seen.append(buffer, n);
            if (!answered && seen.contains("[y/N]")) {
                answered = true;
                ASSERT_EQ(write(master, answer, 2), 2);
            }
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(master);
        EXPECT_TRUE(answered) << seen.toStdString();
        EXPECT_TRUE(seen.contains("Section 18-11 holds 1842 bytes. Clear it?")) << seen.toStdString();
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), answer[0] == 'y' ? 0 : 3);
        EXPECT_EQ(QFile::exists(section("18-11")), answer[0] != 'y');
    }
}
