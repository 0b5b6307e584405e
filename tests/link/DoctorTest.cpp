// The checks of the chain to the phone: a fake machine on which every link holds (the x86_64 stand-in
// library under Wine, a copy of the tests' Wine prefix, an FTDI adapter in a fake sysfs and /dev, a fake
// /proc), then the same machine with one link broken per row.
#include "Doctor.h"
#include "DoctorDialog.h"

#include "FakeSysfs.h"
#include "QtPrinters.h"
#include "TestFiles.h"
#include "WineTestSupport.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace WineTest;

namespace {

const QString kHub = "pci0000:00/0000:00:14.0/usb1";
constexpr uint kOtherUid = 4242; // owns the fake device, so that only its group lets the user in

uint dialoutGid() {
    const group* g = ::getgrnam("dialout");
    return g ? g->gr_gid : 0;
}

// A prefix that Wine takes as made: the tests' prefix's registry and timestamp, its drive C: through a
// link, and dosdevices of its own, so each row maps its ports without touching the shared one.
void clonePrefix(const QString& from, const QString& to) {
    QDir().mkpath(to + "/dosdevices");
    for (const char* file : {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"})
        QFile::copy(from + "/" + file, to + "/" + file);
    FakeSysfs::link(from + "/drive_c", to + "/drive_c");
    FakeSysfs::link(to + "/drive_c", to + "/dosdevices/c:");
    FakeSysfs::link("/", to + "/dosdevices/z:");
}

// The machine on which every link holds.
struct Chain {
    QTemporaryDir dir;
    FakeSysfs fake{dir.path()};
    StandInPhone phone;
    QString device = fake.dev() + "/ttyUSB0";
    QString prefix = dir.filePath("prefix");
    bool deviceOwned = false; // the device belongs to kOtherUid (only root can give it away)
    DoctorSetup setup;

    Chain() {
        fake.device(kHub + "/1-2", {{"idVendor", "0403"},
                                    {"idProduct", "6001"},
                                    {"manufacturer", "FTDI"},
                                    {"product", "FT232R USB UART"}});
        fake.tty("ttyUSB0", kHub + "/1-2/1-2:1.0/ttyUSB0");
        ::chmod(QFile::encodeName(device).constData(), 0660);
        deviceOwned =
            dialoutGid() != 0 && ::chown(QFile::encodeName(device).constData(), kOtherUid, dialoutGid()) == 0;
        usePrefix();
        clonePrefix(qEnvironmentVariable("WINEPREFIX"), prefix);
        FakeSysfs::link(device, prefix + "/dosdevices/com1");
        QDir().mkpath(dir.filePath("proc/1/fd"));
        writeFile(dir.filePath("proc/1/comm"), "init\n");

        setup.library = standIn(PeArch::X86_64);
        setup.winePrefix = prefix;
        setup.bridgeFolders = {QFileInfo(windowsFile("gbp-bridge-x86_64.exe")).path()};
        setup.sysfsRoot = fake.sys();
        setup.devRoot = fake.dev();
        setup.procRoot = dir.filePath("proc");
        setup.identity = {::getuid(), {::getgid(), dialoutGid()}, "tester", false};
    }
};

struct Broken {
    const char* name;
    PeArch wine;     // Windows programs of this architecture run in this row (None: none do)
    bool needsOwner; // the device must belong to another user
    void (*breakLink)(Chain&);
    DoctorCheck check;
    const char* detail;
    const char* fix;
};

const Broken kBroken[] = {
    {"WineMissing", PeArch::None, false,
     [](Chain& c) { c.setup.launcher = [](PeArch) { return QStringList(); }; }, DoctorCheck::Wine,
     "Wine was not found.", "sudo apt-get install wine wine64"},
    {"Wine32Missing", PeArch::None, false,
     [](Chain& c) {
         c.setup.library = standIn(PeArch::I686);
         c.setup.bridgeFolders = {QFileInfo(windowsFile("gbp-bridge-i686.exe")).path()};
         c.setup.launcher = [](PeArch) { return QStringList{"/bin/false"}; };
     },
     DoctorCheck::Wine32, "/bin/false cannot run gbp-bridge-i686.exe: it ended with exit code 1",
     "sudo dpkg --add-architecture i386 && sudo apt-get update && sudo apt-get install wine32:i386"},
    {"LibraryLacksAnExport", PeArch::I686, false,
     [](Chain& c) { c.setup.library = windowsFile("gbp-standin-noclear-x86_64.dll"); }, DoctorCheck::Library,
     "lacks the export ClearNVMFile.", "exports all six operations"},
    {"LibraryDamaged", PeArch::I686, false,
     [](Chain& c) {
         c.setup.library =
             writeFile(c.dir.filePath("GBP.DLL"), fileBytes(standIn(PeArch::X86_64)).left(1024));
     },
     DoctorCheck::Library, "GBP.DLL", "The file is damaged"},
    {"NoLibrary", PeArch::I686, false, [](Chain& c) { c.setup.library.clear(); }, DoctorCheck::Library,
     "No library is named, so the virtual phone answers.", "--gbp-dll PATH or TARVEL_GBP_DLL"},
    {"PrefixOfAnotherUser", PeArch::None, false, [](Chain& c) { c.setup.identity.uid = kOtherUid + 1; },
     DoctorCheck::Prefix, "not to you (uid 4243): Wine refuses a prefix of another user",
     "sudo chown -R tester"},
    {"PrefixCannotBeMade", PeArch::None, false,
     [](Chain& c) {
         c.setup.winePrefix = c.dir.filePath("locked/prefix");
         QDir().mkpath(c.dir.filePath("locked"));
         QFile::setPermissions(c.dir.filePath("locked"), QFile::ReadOwner | QFile::ExeOwner);
     },
     DoctorCheck::Prefix, "does not exist and cannot be made",
     "Set TARVEL_WINEPREFIX to a folder you may write"},
    {"PortUnmapped", PeArch::X86_64, false, [](Chain& c) { QFile::remove(c.prefix + "/dosdevices/com1"); },
     DoctorCheck::PortMapping, "COM 1 is not mapped", "ports (serial devices here: "},
    {"PortLinksToAMissingDevice", PeArch::X86_64, false,
     [](Chain& c) {
         QFile::remove(c.prefix + "/dosdevices/com1");
         FakeSysfs::link(c.fake.dev() + "/ttyUSB9", c.prefix + "/dosdevices/com1");
     },
     DoctorCheck::PortMapping, "/ttyUSB9, which does not exist.", "tarvel-cli --serial COM1="},
    {"UserNotInDialout", PeArch::X86_64, true, [](Chain& c) { c.setup.identity.groups = {::getgid()}; },
     DoctorCheck::DeviceAccess, "are not in its group dialout.",
     "sudo usermod -aG dialout tester, then log in again."},
    {"DeviceHeldByMinicom", PeArch::X86_64, false,
     [](Chain& c) {
         QDir().mkpath(c.dir.filePath("proc/4321/fd"));
         writeFile(c.dir.filePath("proc/4321/comm"), "minicom\n");
         FakeSysfs::link(c.device, c.dir.filePath("proc/4321/fd/5"));
     },
     DoctorCheck::DeviceFree, "is held by minicom (pid 4321).", "kill 4321"},
    {"BridgeMissing", PeArch::None, false,
     [](Chain& c) { c.setup.bridgeFolders = {c.dir.filePath("empty")}; }, DoctorCheck::Bridge,
     "gbp-bridge-x86_64.exe was not found", "TARVEL_BRIDGE_DIR"},
    {"BridgeDoesNotStart", PeArch::X86_64, false,
     [](Chain& c) {
         // Another Windows program in the bridge's place: it never says hello.
         QDir().mkpath(c.dir.filePath("bad"));
         QFile::copy(windowsFile("gifdump.exe"), c.dir.filePath("bad/gbp-bridge-x86_64.exe"));
         c.setup.bridgeFolders = {c.dir.filePath("bad")};
     },
     DoctorCheck::Bridge, "the bridge did not start: the bridge ended with exit code 2", "WINEDEBUG=err+all"},
    {"WindowsBridgeFailed", PeArch::None, false,
     [](Chain& c) {
         c.setup.liveBridge = DoctorLiveBridge{BridgeLink::StartState::Failed, "the bridge ended abnormally"};
     },
     DoctorCheck::Bridge, "the window's bridge failed: the bridge ended abnormally.", "vendor's GBP.DLL"},
    {"PhoneRefusesGbpMode", PeArch::X86_64, false,
     [](Chain& c) {
         c.setup.probe = true;
         c.phone.setFault("TARVEL_STANDIN_FAIL_INIT", "5");
     },
     DoctorCheck::Probe, "GBP Error (COM 1) (InitGBPMode returned 5).", "--gbp-callconv"},
};

void PrintTo(const Broken& row, std::ostream* os) {
    *os << row.name;
}

class DoctorBrokenLink : public testing::TestWithParam<Broken> {};

} // namespace

TEST(DoctorChain, PassesEveryCheckOfAWorkingChainAndProbesThePhone) {
    SKIP_UNLESS_WINE_RUNS(PeArch::X86_64);
    Chain chain;
    chain.setup.probe = true;
    const std::vector<DoctorResult> results = Doctor::run(chain.setup);
    const QString report = Doctor::reportText(results, 1);
    ASSERT_EQ(results.size(), 9u) << report.toStdString();
    for (const DoctorResult& r : results)
        EXPECT_EQ(r.verdict, DoctorVerdict::Pass) << report.toStdString();
    EXPECT_TRUE(report.contains("PASS  COM 1 mapping  COM 1 links to " + chain.device +
                                " (FTDI FT232R USB UART (0403:6001))."))
        << report.toStdString();
    EXPECT_TRUE(report.endsWith("All 9 checks passed.\n")) << report.toStdString();
    EXPECT_TRUE(Doctor::passed(results));
}

TEST_P(DoctorBrokenLink, FailsThatCheckAloneAndSaysHowToMendIt) {
    const Broken& row = GetParam();
    // Without a library to read, the 32-bit check runs, as for the vendor's 32-bit library.
    if (row.wine != PeArch::None)
        SKIP_UNLESS_WINE_RUNS(row.wine);
    Chain chain;
    if (row.needsOwner && !chain.deviceOwned)
        GTEST_SKIP() << "only root can give the fake device to another owner";
    row.breakLink(chain);
    const std::vector<DoctorResult> results = Doctor::run(chain.setup);
    const QString report = Doctor::reportText(results, 1);
    EXPECT_FALSE(Doctor::passed(results));
    bool seen = false;
    for (const DoctorResult& r : results) {
        if (r.check != row.check) {
            EXPECT_NE(r.verdict, DoctorVerdict::Fail) << "only one link is broken:\n" << report.toStdString();
            continue;
        }
        seen = true;
        EXPECT_EQ(r.verdict, DoctorVerdict::Fail) << report.toStdString();
        EXPECT_TRUE(r.detail.contains(row.detail)) << r.detail.toStdString() << "\nwanted: " << row.detail;
        EXPECT_TRUE(r.fix.contains(row.fix)) << r.fix.toStdString() << "\nwanted: " << row.fix;
    }
    EXPECT_TRUE(seen) << report.toStdString();
}

INSTANTIATE_TEST_SUITE_P(EachLink, DoctorBrokenLink, testing::ValuesIn(kBroken),
                         [](const testing::TestParamInfo<Broken>& info) {
                             return std::string(info.param.name);
                         });

TEST(DoctorChain, SkipsWhatAFailedLinkHidesAndSaysWhich) {
    Chain chain;
    chain.setup.launcher = [](PeArch) { return QStringList(); };
    chain.setup.liveBridge = DoctorLiveBridge{BridgeLink::StartState::Pending, {}};
    QStringList lines = Doctor::reportText(Doctor::run(chain.setup), 1).split('\n');
    EXPECT_EQ(lines.filter(QRegularExpression("^SKIP  Bridge\\s+skipped: the Wine check failed\\.$")).size(),
              1)
        << lines.join('\n').toStdString();
    chain.setup.launcher = [](PeArch) { return QStringList{"/bin/true"}; };
    lines = Doctor::reportText(Doctor::run(chain.setup), 1).split('\n');
    EXPECT_EQ(lines.filter("SKIP  Bridge         skipped: the window's bridge is still starting").size(), 1)
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.filter("FAIL").size(), 0) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.last(), "") << "the summary ends the text";
    EXPECT_EQ(lines[lines.size() - 2], "No check failed; 1 of 8 skipped.");
}

TEST(DoctorPermissions, AreTheOwnersThenTheGroupsThenEveryonesBits) {
    const DoctorIdentity user{1000, {1000, 20}, "tester", false};
    EXPECT_TRUE(Doctor::mayAccess(user, 0, 20, 0660, 6)) << "a member of the group";
    EXPECT_FALSE(Doctor::mayAccess(user, 0, 21, 0660, 6)) << "not a member";
    EXPECT_FALSE(Doctor::mayAccess(user, 1000, 20, 0060, 6)) << "the owner's own bits apply to the owner";
    EXPECT_TRUE(Doctor::mayAccess(user, 0, 21, 0606, 6)) << "everyone's bits";
    EXPECT_FALSE(Doctor::mayAccess(user, 0, 20, 0640, 6)) << "read only";

    const std::optional<DoctorIdentity> parsed = Doctor::parseIdentity("1000:1000,20");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->uid, 1000u);
    EXPECT_EQ(parsed->groups, (QList<uint>{1000, 20}));
    EXPECT_FALSE(parsed->privileged);
    EXPECT_FALSE(Doctor::parseIdentity("1000"));
    EXPECT_FALSE(Doctor::parseIdentity("x:1"));
}

TEST(DoctorDialog, ShowsTheReportOnceTheChecksEndAndCopiesIt) {
    Chain chain;
    chain.setup.launcher = [](PeArch) { return QStringList(); };
    chain.setup.probe = true; // never in the window
    DoctorDialog dialog(chain.setup, nullptr);
    EXPECT_EQ(dialog.text(), "Checking the link to the phone...");
    QSignalSpy ready(&dialog, &DoctorDialog::reportReady);
    ASSERT_TRUE(ready.wait(30000));
    EXPECT_TRUE(dialog.text().startsWith("FAIL  Wine           Wine was not found."))
        << dialog.text().toStdString();
    EXPECT_FALSE(dialog.text().contains("Phone  ")) << dialog.text().toStdString();
    QPushButton* copy = nullptr;
    for (QPushButton* b : dialog.findChildren<QPushButton*>())
        if (b->text() == "Copy")
            copy = b;
    ASSERT_TRUE(copy);
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), dialog.text());
}
