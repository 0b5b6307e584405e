// tarvel-cli on the stand-in library through gbp-bridge: on Linux the 64-bit bridge under Wine; on
// Windows tarvel-cli.exe starts the 32-bit bridge as its own child, as it does with the vendor's DLL.
#include "QtPrinters.h"
#include "TestFiles.h"
#include "TestPattern.h"
#include "WineTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace WineTest;

namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

#ifdef _WIN32
constexpr PeArch kArch = PeArch::I686;
#else
constexpr PeArch kArch = PeArch::X86_64;
#endif

class BridgeCli : public testing::Test {
  protected:
    StandInPhone phone;
    QTemporaryDir dir;

    // tarvel-cli --gbp-dll STAND-IN ARGS, with its own data folder and the environment's faults.
    CliRun cli(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("TARVEL_DATA_HOME", dir.filePath("data"));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(TARVEL_CLI, QStringList{"--gbp-dll", standIn(kArch)} + args);
        p.waitForFinished(120000);
        // A program that never started has exit code 0 in QProcess; it counts as -1 with the reason.
        const bool ran = p.error() != QProcess::FailedToStart && p.exitStatus() == QProcess::NormalExit;
        return {ran ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
                QString::fromUtf8(p.readAllStandardError()) + (ran ? QString() : p.errorString())};
    }
};

} // namespace

TEST_F(BridgeCli, ListsReadsWritesClearsBacksUpAndRestores) {
    SKIP_UNLESS_WINE_RUNS(kArch);
    phone.put(2, 10, patternBytes(1000, 1));
    phone.put(18, 9, QByteArray("GIF89a") + patternBytes(500, 2));
    CliRun r = cli({"list"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("02-10  unknown      1000/2048")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("18-09  gif          506/21504")) << r.out.toStdString();

    EXPECT_EQ(cli({"backup", dir.filePath("full")}).code, 0);
    r = cli({"write", "18-10", writeFile(dir.filePath("app.bin"), patternBytes(21504, 3))});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(phone.get(18, 10), patternBytes(21504, 3));
    EXPECT_EQ(cli({"read", "02-10", dir.filePath("0210.bin")}).code, 0);
    QFile read(dir.filePath("0210.bin"));
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), patternBytes(1000, 1));
    EXPECT_EQ(cli({"clear", "02-10", "--yes"}).code, 0);
    EXPECT_FALSE(phone.get(2, 10));

    EXPECT_EQ(cli({"verify", dir.filePath("full")}).code, 5) << "the phone changed since the backup";
    r = cli({"restore", dir.filePath("full"), "--yes"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(phone.get(2, 10), patternBytes(1000, 1));
    EXPECT_FALSE(phone.get(18, 10));
    EXPECT_EQ(cli({"verify", dir.filePath("full")}).code, 0);
}

TEST_F(BridgeCli, AFaultOfTheLibraryFailsTheCommandAndSparesTheOtherSections) {
    SKIP_UNLESS_WINE_RUNS(kArch);
    const QString upload = writeFile(dir.filePath("app.bin"), patternBytes(3000, 7));
    ASSERT_EQ(cli({"backup", dir.filePath("good")}).code, 0);
    const struct {
        const char* variable;
        const char* value;
        QStringList args;
        const char* error;
    } faults[] = {
        // A size the library never gave is no empty section: nothing is asked, nothing written.
        {"TARVEL_STANDIN_CRASH", "GetNVMFileSize", {"write", "18-29", upload}, "did not answer"},
        {"TARVEL_STANDIN_CRASH", "GetNVMFileSize", {"clear", "02-10"}, "did not answer"},
        {"TARVEL_STANDIN_CRASH", "GetNVMFileSize", {"restore", dir.filePath("good")}, "did not answer"},
        {"TARVEL_STANDIN_CRASH", "GetNVMFileSize", {"backup", dir.filePath("full")}, "did not answer"},
        // One deadline, not one for each section.
        {"TARVEL_STANDIN_HANG", "GetNVMFileSize", {"--verbose", "list"}, "did not answer"},
        {"TARVEL_STANDIN_WRONG_COUNT", "0", {"read", "02-10", dir.filePath("out.bin")}, "could not be read"},
        {"TARVEL_STANDIN_WRONG_COUNT",
         "22000",
         {"read", "02-10", dir.filePath("out.bin")},
         "could not be read"},
        {"TARVEL_STANDIN_FAIL_INIT", "5", {"list"}, "GBP Error (COM 1)"},
        {"TARVEL_STANDIN_CRASH", "WriteNVMFile", {"write", "18-10", upload}, "Writing section 18-10 failed."},
        {"TARVEL_STANDIN_SHORT_WRITE", "10", {"write", "18-10", upload}, "Writing section 18-10 failed."},
        {"TARVEL_STANDIN_WRONG_COUNT",
         "30000",
         {"read", "02-10", dir.filePath("out.bin")},
         "could not be read"},
        {"TARVEL_STANDIN_CRASH",
         "ClearNVMFile",
         {"clear", "02-10", "--yes"},
         "Clearing section 02-10 failed."},
    };
    for (const auto& f : faults) {
        SCOPED_TRACE(f.args.join(' ').toStdString());
        phone.put(2, 10, patternBytes(1000, 1));
        phone.put(18, 29, patternBytes(21504, 9));
        QFile::remove(phone.path(18, 10));
        ScopedEnv fault(f.variable, f.value);
        const CliRun r = cli(f.args);
        EXPECT_EQ(r.code, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(f.error)) << r.err.toStdString();
        EXPECT_EQ(phone.get(2, 10), patternBytes(1000, 1)) << "written back, or never changed";
        EXPECT_EQ(phone.get(18, 29), patternBytes(21504, 9));
        EXPECT_FALSE(QFile::exists(dir.filePath("out.bin")));
        EXPECT_FALSE(QFile::exists(dir.filePath("full"))) << "a backup of what the phone never said";
        if (f.args.contains("--verbose")) {
            EXPECT_EQ(r.err.count("GetNVMFileSize("), 1) << r.err.toStdString();
        }
    }
}

TEST_F(BridgeCli, SaysOnceThatWineIsMakingANewPrefix) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build runs the bridge without Wine";
#else
    const QString prefix = dir.filePath("new-prefix");
    ScopedEnv prefixVariable("TARVEL_WINEPREFIX", prefix.toUtf8());
    ScopedEnv wine("TARVEL_WINE", "false"); // a Wine that starts nothing: only the words are looked at
    CliRun r = cli({"list"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err.count("Wine is making its prefix " + prefix + "; the first start takes up to a minute."),
              1)
        << r.err.toStdString();
    QDir().mkpath(prefix);
    writeFile(prefix + "/system.reg", "");
    r = cli({"list"});
    EXPECT_FALSE(r.err.contains("Wine is making")) << r.err.toStdString();
#endif
}
