#include "FakeSysfs.h"
#include "SectionTable.h"
#include "TestFiles.h"
#include "gif/AnimTestImages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

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
    std::map<QString, QString> variables; // more of the environment, for one test

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", data);
        env.insert("TARVEL_DATA_HOME", data);
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        for (const auto& [name, value] : variables)
            env.insert(name, value);
        return env;
    }
    // Runs tarvel-cli on the test's phone (or another), with stdin not a terminal; a run that does not
    // end within a minute is killed and counts as -1.
    Outcome cli(QStringList args) { return cliOn(phone, args); }
    Outcome cliOn(const QString& phoneDir, QStringList args) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(TARVEL_CLI, QStringList{"--phone-dir", phoneDir} + args);
        if (!p.waitForFinished(60000))
            p.kill();
        p.waitForFinished();
        // Windows' console convention ends lines with CR LF; the texts are compared line by line.
        const auto text = [](QByteArray bytes) { return QString::fromUtf8(bytes.replace("\r\n", "\n")); };
        // A program that never started has exit code 0 in QProcess; it counts as -1 with the reason.
        const bool ran = p.error() != QProcess::FailedToStart && p.exitStatus() == QProcess::NormalExit;
        return {ran ? p.exitCode() : -1, text(p.readAllStandardOutput()),
                text(p.readAllStandardError()) + (ran ? QString() : p.errorString())};
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
#ifdef _WIN32
    GTEST_SKIP() << "the terminal is made with forkpty(), which Windows lacks; the Linux build runs this";
#else
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
#endif
}

TEST_F(TarvelCli, ANoteOrBackupActsOnlyOnItsOwnPhoneAndNeverThroughALinkOrAPipe) {
    const QString other = dir.filePath("other-phone");
    const QString source = writeFile(dir.filePath("in.bin"), "new content");
    Outcome r = cli({"write", "18-09", source, "--yes"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString saved = r.out.section("saved in ", 1).chopped(2); // "... .bin)\n"
    const QString folder = QFileInfo(saved).path();                 // backups/PHONE/18-09
    const QString phoneName = QFileInfo(QFileInfo(folder).path()).fileName();
    ASSERT_TRUE(QFile::exists(saved)) << saved.toStdString();
    const QByteArray demo = fileBytes(saved);
    auto note = [&](const QString& backupName) {
        QFile::remove(folder + "/pending");
        writeFile(folder + "/pending",
                  "phone=" + phoneName.toUtf8() + "\nbackup=" + backupName.toUtf8() + "\nnew=empty\n");
    };
    // A write cut short on this phone, as its note tells: the other phone is not touched.
    note(QFileInfo(saved).fileName());
    ASSERT_EQ(cliOn(other, {"list"}).code, 0);
    const QByteArray otherDemo = fileBytes(other + "/18-09.bin");
    EXPECT_EQ(otherDemo, demo) << "the other phone's 18-09 was changed";
    EXPECT_TRUE(QFile::exists(folder + "/pending")) << "the note was used up by another phone";
    r = cli({"list"});
    EXPECT_TRUE(r.err.contains("18-09 was cut short. Its previous content was restored."))
        << r.err.toStdString();
    EXPECT_EQ(fileBytes(section("18-09")), demo);

#ifndef _WIN32
    // Windows makes no fifos, and QFile::link makes a .lnk shortcut there, not a link.
    // A note naming a link, or nothing at all, never puts anything into the section.
    const QString secret = writeFile(dir.filePath("secret"), "password");
    ASSERT_TRUE(QFile::link(secret, folder + "/2020-01-01T00-00-00.000Z.bin"));
    for (const char* name : {"2020-01-01T00-00-00.000Z.bin", "2020-01-02T00-00-00.000Z.bin"}) {
        writeFile(section("18-09"), "changed");
        note(name);
        r = cli({"list"});
        EXPECT_TRUE(r.err.contains("is missing or damaged; the section was left as it is."))
            << r.err.toStdString();
        EXPECT_EQ(fileBytes(section("18-09")), "changed");
    }
    EXPECT_FALSE(cli({"history", "18-09"}).out.contains("2020-01-01")) << "a link is listed as a backup";

    // Pipes where the program reads its own files: every command ends, none waits on them.
    ASSERT_EQ(mkfifo(QFile::encodeName(folder + "/pipe").constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(folder + "/pipe", folder + "/2021-01-01T00-00-00.000Z.bin"));
    QFile::remove(folder + "/pending");
    ASSERT_EQ(mkfifo(QFile::encodeName(folder + "/pending").constData(), 0600), 0);
    const QString full = dir.filePath("full");
    ASSERT_TRUE(QDir().mkpath(full));
    ASSERT_EQ(mkfifo(QFile::encodeName(full + "/tarvel-backup.json").constData(), 0600), 0);
    const struct {
        QStringList args;
        int code;
    } runs[] = {{{"list"}, 0},
                {{"history", "18-09"}, 0},
                {{"undo", "18-09", "--yes"}, 0},
                {{"restore", full}, 5},
                {{"verify", full}, 5}};
    for (const auto& run : runs) {
        r = cli(run.args);
        EXPECT_EQ(r.code, run.code) << run.args.join(' ').toStdString() << ": " << r.err.toStdString();
    }
#endif
}

TEST_F(TarvelCli, HoldsEverySectionToItsCapacityAndShowsThePhonesTextsEscaped) {
    ASSERT_EQ(cli({"backup", dir.filePath("full")}).code, 0);
    const QString manifestFile = dir.filePath("full/tarvel-backup.json");
    const QByteArray manifest = fileBytes(manifestFile);
    const QByteArray before = fileBytes(section("18-09"));

    // A small section recorded with 3072 bytes, file and hash to match: refused before anything is written.
    const QByteArray big(3072, 'b');
    writeFile(dir.filePath("full/02-19.bin"), big);
    QByteArray edited = manifest;
    const qsizetype at = edited.indexOf("\"02-19\"");
    const qsizetype end = edited.indexOf('}', at);
    edited.replace(at, end - at + 1,
                   "\"02-19\": {\"size\": 3072, \"sha256\": \"" +
                       QCryptographicHash::hash(big, QCryptographicHash::Sha256).toHex() + "\"}");
    writeFile(manifestFile, edited);
    writeFile(section("18-09"), "changed");
    Outcome r = cli({"restore", dir.filePath("full"), "--yes"});
    EXPECT_EQ(r.code, 5) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("holds at most 2048")) << r.err.toStdString();
    EXPECT_EQ(fileBytes(section("18-09")), "changed") << "a section was written before the check";
    EXPECT_FALSE(QFile::exists(section("02-19")));
    writeFile(manifestFile, manifest);
    QFile::remove(dir.filePath("full/02-19.bin"));

    // Each section once, however often it is named; several sections hold data.
    r = cli({"restore", dir.filePath("full"), "18-09", "18-09", "18-09", "--yes"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("1 section restored")) << r.out.toStdString();
    EXPECT_EQ(fileBytes(section("18-09")), before);
    EXPECT_EQ(json(cli({"history", "18-09", "--json"}))["backups"].toArray().size(), 1);
    r = cli({"restore", dir.filePath("full")});
    EXPECT_EQ(r.code, 3);
    EXPECT_TRUE(r.err.contains(" hold data; nothing was changed")) << r.err.toStdString();

    // The newest automatic backup of a small section, larger than the section.
    const QString folder =
        QFileInfo(
            json(cli({"history", "18-09", "--json"}))["backups"].toArray()[0].toObject()["path"].toString())
            .path();
    const QString small = QFileInfo(folder).path() + "/02-19";
    ASSERT_TRUE(QDir().mkpath(small));
    writeFile(small + "/2025-01-01T00-00-00.000Z.bin", big);
    r = cli({"undo", "02-19", "--yes"});
    EXPECT_EQ(r.code, 5) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(section("02-19")));

    // An application's name with control characters is shown escaped, in list and in history.
    QByteArray app(100, ' ');
    app[2] = char(0xC0);
    app[3] = char(0x30);
    app.replace(4, 9, QByteArray("\x1b]0;X") + '\x07' + "A\nB");
    writeFile(section("18-20"), app);
    r = cli({"list"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 31);
    EXPECT_FALSE(r.out.contains(QChar(0x1b)) || r.out.contains(QChar(0x07))) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\\x1b]0;X\\x07A\\x0aB")) << r.out.toStdString();
    ASSERT_EQ(cli({"clear", "18-20", "--yes"}).code, 0);
    r = cli({"history", "18-20"});
    EXPECT_TRUE(r.out.contains("\\x1b]0;X\\x07A\\x0aB") && !r.out.contains(QChar(0x1b)))
        << r.out.toStdString();

    // Neither the phone's own folder is a place to extract to, nor is a busy phone one that is absent.
    const QByteArray held = fileBytes(section("18-10"));
    EXPECT_EQ(cli({"read", "18-09", section("18-10")}).code, 4);
    EXPECT_EQ(cli({"read", "18-09", phone + "/../phone/new.bin"}).code, 4);
    EXPECT_EQ(fileBytes(section("18-10")), held);
    EXPECT_FALSE(QFile::exists(phone + "/new.bin"));
    QLockFile busy(phone + "/.gbp-mode.lock");
    ASSERT_TRUE(busy.tryLock(0));
    r = cli({"list"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("in use by another program")) << r.err.toStdString();
}

TEST_F(TarvelCli, PortsListsTheSerialDevicesAndTheirComPortsWithoutTouchingThePhone) {
#ifdef _WIN32
    GTEST_SKIP() << "ports reads a Linux sysfs tree and /dev, which Windows lacks; the Linux build runs this";
#else
    FakeSysfs fake(dir.filePath("machine"));
    fake.device("usb1/1-2", {{"idVendor", "0403"},
                             {"idProduct", "6001"},
                             {"manufacturer", "FTDI"},
                             {"product", "FT232R\x1b[2J"}});
    fake.tty("ttyUSB0", "usb1/1-2/1-2:1.0/ttyUSB0");
    fake.tty("ttyS0", "pnp0/00:01", {{"type", "4"}});
    fake.bindDriver("pnp0/00:01", "pnp", "serial");
    const QString prefix = dir.filePath("prefix");
    QDir().mkpath(prefix + "/dosdevices");
    FakeSysfs::link(fake.dev() + "/ttyUSB0", prefix + "/dosdevices/com1");
    variables = {
        {"TARVEL_SYSFS_ROOT", fake.sys()}, {"TARVEL_DEV_ROOT", fake.dev()}, {"TARVEL_WINEPREFIX", prefix}};

    Outcome r = cli({"ports", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QJsonArray ports = json(r)["ports"].toArray();
    ASSERT_EQ(ports.size(), 2) << r.out.toStdString();
    EXPECT_EQ(ports[0].toObject()["device"], fake.dev() + "/ttyUSB0");
    EXPECT_EQ(ports[0].toObject()["com"], "COM1");
    EXPECT_EQ(ports[0].toObject()["description"], "FTDI FT232R\x1b[2J (0403:6001)");
    EXPECT_EQ(ports[1].toObject()["device"], fake.dev() + "/ttyS0");
    EXPECT_TRUE(ports[1].toObject()["com"].isNull()) << "ttyS0 is not mapped";

    // The device's own texts are shown escaped on a terminal.
    r = cli({"ports"});
    EXPECT_TRUE(r.out.startsWith(fake.dev() + "/ttyUSB0  COM1   FTDI FT232R\\x1b[2J (0403:6001)\n"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(fake.dev() + "/ttyS0    -\n")) << r.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(phone)) << "the virtual phone was opened";

    // --serial makes the link and keeps it; a malformed one is a usage error that changes nothing.
    variables["TARVEL_WINE"] = "true"; // takes the registry update without making a whole prefix
    r = cli({"--serial", "com2=" + fake.dev() + "/ttyS0", "ports", "--json"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(json(r)["ports"].toArray()[1].toObject()["com"], "COM2");
    EXPECT_TRUE(QFile(dir.filePath("config/Tarvel/Tarvel.conf")).open(QIODevice::ReadOnly));
    r = cli({"--serial", "COM2=ttyS0", "ports"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("--serial takes COMn=DEVICE")) << r.err.toStdString();
    EXPECT_EQ(QFileInfo(prefix + "/dosdevices/com2").symLinkTarget(), fake.dev() + "/ttyS0");

    variables["TARVEL_SYSFS_ROOT"] = dir.filePath("empty");
    r = cli({"ports"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.contains("no serial devices found")) << r.err.toStdString();
#endif
}

TEST_F(TarvelCli, DoctorChecksEachLinkInOrderAndLogKeepsEveryCallInAFile) {
#ifdef _WIN32
    GTEST_SKIP() << "doctor reads a Linux sysfs tree, /dev and /proc here; the Linux build runs this";
#else
    FakeSysfs fake(dir.filePath("machine"));
    fake.tty("ttyS0", "pnp0/00:01", {{"type", "4"}});
    fake.bindDriver("pnp0/00:01", "pnp", "serial");
    QFile::setPermissions(fake.dev() + "/ttyS0", QFile::ReadGroup | QFile::WriteGroup); // not its owner's
    const QString prefix = dir.filePath("prefix");
    QDir().mkpath(prefix + "/dosdevices");
    FakeSysfs::link(fake.dev() + "/ttyS0", prefix + "/dosdevices/com1");
    QDir().mkpath(dir.filePath("proc/77/fd"));
    writeFile(dir.filePath("proc/77/comm"), "minicom\n");
    FakeSysfs::link(fake.dev() + "/ttyS0", dir.filePath("proc/77/fd/3"));
    variables = {{"TARVEL_SYSFS_ROOT", fake.sys()},
                 {"TARVEL_DEV_ROOT", fake.dev()},
                 {"TARVEL_PROC_ROOT", dir.filePath("proc")},
                 {"TARVEL_WINEPREFIX", prefix},
                 {"TARVEL_WINE", dir.filePath("no-wine")},
                 {"TARVEL_TEST_IDENTITY", QString("%1:%2").arg(::getuid()).arg(::getgid())}};
    Outcome r = cli({"doctor"});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    const QStringList wanted = {"FAIL  Wine           TARVEL_WINE names ",
                                "SKIP  32-bit Wine    skipped: the Wine check failed.",
                                "FAIL  Library        No library is named",
                                "PASS  Wine prefix    " + prefix + ".",
                                "PASS  COM 1 mapping  COM 1 links to " + fake.dev() + "/ttyS0.",
                                "FAIL  Device access  " + fake.dev() + "/ttyS0 is ----rw----",
                                "FAIL  Device free    " + fake.dev() + "/ttyS0 is held by minicom (pid 77).",
                                "SKIP  Bridge         skipped: no library is named.",
                                "4 of 8 checks failed, 2 skipped."};
    ASSERT_EQ(lines.size(), wanted.size()) << r.out.toStdString();
    for (int i = 0; i < wanted.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith(wanted[i]))
            << lines[i].toStdString() << "\nwanted: " << wanted[i].toStdString();
    EXPECT_TRUE(lines[5].endsWith("Fix: Give yourself the right back: chmod u+rw " + fake.dev() + "/ttyS0."))
        << lines[5].toStdString();

    // --log keeps the header and every call in the file; --verbose still shows the calls.
    const QString log = dir.filePath("tarvel.log");
    r = cli({"--log", log, "--verbose", "list"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    for (const char* line : {"Backend: virtual phone", "InitGBPMode(1) = 0 (",
                             "GetNVMFileSize(18, 29) = ", "EndGBPMode() = 0 ("})
        EXPECT_TRUE(fileBytes(log).contains(line)) << line << " not in " << fileBytes(log).toStdString();
    EXPECT_TRUE(r.err.contains("link: InitGBPMode(1) = 0 (")) << r.err.toStdString();
    EXPECT_EQ(cli({"--log", dir.filePath("missing/tarvel.log"), "list"}).code, 4);
#endif
}

TEST_F(TarvelCli, FitMakesAPictureASectionCanHoldAndWriteFitUploadsIt) {
    // A photograph-like PNG: smooth gradients with grain, far more colours and bytes than 2048.
    QImage photo(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y,
                           qRgb(x * 255 / 319, y * 255 / 239, (x * y + (x * 7919 + y * 104729) % 61) % 256));
    const QString png = dir.filePath("photo.png");
    ASSERT_TRUE(photo.save(png));
    const auto toBytes = [](const std::vector<uint8_t>& v) {
        return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
    };
    const auto loads = [](const QByteArray& bytes, int frames) {
        TGIFImage image;
        image.loadFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()),
                            static_cast<size_t>(bytes.size()));
        return image.frameCount() == frames;
    };

    Outcome r = cli({"fit", png, dir.filePath("photo.gif"), "--bytes", "2048"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QByteArray fitted = fileBytes(dir.filePath("photo.gif"));
    EXPECT_TRUE(fitted.size() > 0 && fitted.size() <= 2048) << fitted.size();
    EXPECT_TRUE(loads(fitted, 1));
    EXPECT_TRUE(r.out.contains(QString("%1 bytes of 2048").arg(fitted.size()))) << r.out.toStdString();

    // An animation of 30 frames cannot go below about 20 bytes a frame, unless frames may go.
    std::vector<animtest::Frame> frames;
    for (int i = 0; i < 30; ++i)
        frames.push_back({i % 2, 0, 1, 2, static_cast<uint8_t>(i % 3 + 1)});
    const QString anim = writeFile(dir.filePath("anim.gif"), toBytes(animtest::gif(2, 2, frames)));
    r = cli({"fit", anim, dir.filePath("small.gif"), "--bytes", "300"});
    EXPECT_EQ(r.code, 3) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("--allow-drop")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("small.gif")));
    r = cli({"fit", anim, dir.filePath("small.gif"), "--bytes", "300", "--allow-drop"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_LE(fileBytes(dir.filePath("small.gif")).size(), 300);

    EXPECT_EQ(cli({"fit", writeFile(dir.filePath("junk.png"), "not a picture"), dir.filePath("j.gif")}).code,
              4);
    EXPECT_EQ(cli({"fit", png, dir.filePath("c.gif"), "--colors", "1"}).code, 2);

    // Without --fit the PNG is too large for 02-10; with it, the section takes a GIF that loads.
    EXPECT_EQ(cli({"write", "02-10", png, "--yes"}).code, 4);
    r = cli({"write", "02-10", png, "--fit", "--yes"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QByteArray written = fileBytes(section("02-10"));
    EXPECT_TRUE(written.startsWith("GIF89a") && written.size() <= 2048) << written.size();
    EXPECT_TRUE(loads(written, 1));
}
