#include "SectionOps.h"
#include "BackupStore.h"
#include "EInOutError.h"
#include "FileIO.h"
#include "FullBackup.h"
#include "ScriptedLink.h"
#include "SectionTexts.h"
#include "TestPattern.h"
#include "VirtualPhone.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace SectionOps;

namespace {

constexpr int kSlot = 10; // 18-09

std::vector<uint8_t> fileBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {0xDE, 0xAD};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

QStringList namesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

std::string opsOf(const ScriptedLink& link) {
    std::string out;
    for (const LinkCall& c : link.calls)
        out += (out.empty() ? "" : " ") + c.op;
    return out;
}

class SafeOverwrite : public testing::Test {
  protected:
    QTemporaryDir dir;
    ScriptedLink link;
    BackupStore backups{dir.filePath("backups")};
    const std::vector<uint8_t> old = pattern(500, 1);
    const std::vector<uint8_t> fresh = pattern(300, 2);

    void SetUp() override { link.put(18, 9, old); }
    Outcome upload() {
        return replaceSection(link, backups, kSlot, fresh.data(), static_cast<int32_t>(fresh.size()));
    }
    const std::vector<uint8_t>& section() { return link.files[{18, 9}]; }
};

} // namespace

TEST_F(SafeOverwrite, KeepsOrRestoresTheOldContentWhicheverStepFails) {
    struct Case {
        const char* name;
        std::function<void(ScriptedLink&)> stage;
        SectionStatus status;
        Recovery recovery;
        bool holdsOld;
    };
    // Each failure happens once, so the write back of the old content works, except where noted.
    auto once = [](const char* op, std::function<void(ScriptedLink&)> fail,
                   std::function<void(ScriptedLink&)> undo) {
        return [op, fail, undo](ScriptedLink& l) {
            l.onCall = [&l, op, fail, undo, seen = 0](const LinkCall& c) mutable {
                if (c.op == op)
                    ++seen == 1 ? fail(l) : undo(l);
            };
        };
    };
    const Case cases[] = {
        {"clear", [](ScriptedLink& l) { l.clearResult = -3; }, SectionStatus::ClearFailed, Recovery::Restored,
         true},
        {"write",
         once(
             "Write", [](ScriptedLink& l) { l.writeResult = -3; },
             [](ScriptedLink& l) { l.writeResult.reset(); }),
         SectionStatus::WriteFailed, Recovery::Restored, true},
        {"verify",
         once(
             "Write", [](ScriptedLink& l) { l.alterWrite = [](std::vector<uint8_t>& b) { b.pop_back(); }; },
             [](ScriptedLink& l) { l.alterWrite = nullptr; }),
         SectionStatus::VerifyFailed, Recovery::Restored, true},
        {"write and the write back", [](ScriptedLink& l) { l.writeResult = -3; }, SectionStatus::WriteFailed,
         Recovery::SavedOnly, false},
        {"nothing", [](ScriptedLink&) {}, SectionStatus::Ok, Recovery::None, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        link = ScriptedLink();
        link.put(18, 9, old);
        c.stage(link);
        const Outcome out = upload();
        EXPECT_EQ(out.status, c.status);
        EXPECT_EQ(out.recovery, c.recovery);
        if (c.holdsOld) {
            EXPECT_EQ(section(), old) << "the old content was not written back";
        }
        if (c.status == SectionStatus::Ok) {
            EXPECT_EQ(section(), fresh);
        }
        ASSERT_FALSE(out.path.isEmpty());
        EXPECT_EQ(fileBytes(out.path), old) << "the backup does not hold the old content";
        EXPECT_FALSE(backups.pending(kSlot)) << "the note of the change outlived it";
    }
    EXPECT_EQ(backups.list(kSlot).size(), std::size(cases));
}

TEST_F(SafeOverwrite, ChangesNothingWhenTheOldContentCannotBeReadOrSaved) {
    // A read whose count is not the section's size.
    link.readResults[{18, 9}] = 499;
    Outcome out = upload();
    EXPECT_EQ(out.status, SectionStatus::ReadMismatch);
    EXPECT_TRUE(backupStepFailed(out));
    EXPECT_EQ(opsOf(link), "Size Read");
    EXPECT_EQ(section(), old);
    link.readResults.clear();

#ifndef _WIN32
    // Windows folders have no mode bits that stop new files, and no fork() to drop privileges in.
    // A backup folder nobody may write to, by its mode bits (honoured even for root).
    ASSERT_TRUE(QDir().mkpath(backups.sectionFolder(kSlot)));
    chmod(QFile::encodeName(backups.sectionFolder(kSlot)).constData(), 0555);
    link.calls.clear();
    out = clearSection(link, backups, kSlot);
    EXPECT_EQ(out.status, SectionStatus::BackupFailed);
    EXPECT_EQ(out.fileError, EInOutError::kAccessDenied);
    EXPECT_EQ(SectionTexts::notBackedUpBecause(out),
              "Section 18-09 could not be backed up; nothing was changed (File access denied).");
    EXPECT_EQ(opsOf(link), "Size Read") << "the section was touched after a failed backup";
    chmod(QFile::encodeName(backups.sectionFolder(kSlot)).constData(), 0755);

    // And as a user the system itself refuses: root's folder, reached by an unprivileged child.
    const passwd* nobody = getpwnam("nobody");
    if (geteuid() != 0 || nobody == nullptr)
        return;
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        alarm(30);
        if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0)
            _exit(10);
        link.calls.clear();
        const Outcome denied = upload();
        _exit(denied.status != SectionStatus::BackupFailed ? 11
              : opsOf(link) != "Size Read"                 ? 12
              : section() != old                           ? 13
                                                           : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "10: no privileges dropped; 11: not refused; 12: touched; 13: changed";
#endif
}

TEST_F(SafeOverwrite, WritesAnEmptySectionWithoutBackupOrClearAndClearsAfterSaving) {
    link.files.clear();
    Outcome out = upload();
    EXPECT_TRUE(out.ok());
    EXPECT_TRUE(out.path.isEmpty());
    EXPECT_EQ(opsOf(link), "Size Write Read");
    link.calls.clear();
    out = clearSection(link, backups, kSlot);
    EXPECT_TRUE(out.ok());
    EXPECT_EQ(opsOf(link), "Size Read Clear");
    EXPECT_EQ(fileBytes(out.path), fresh);
    EXPECT_FALSE(link.files.count({18, 9}));
}

TEST(BackupStore, KeepsTheNewestFiftyNamedInOrderEvenWhenTheClockGoesBack) {
    QTemporaryDir dir;
    BackupStore store(dir.path());
    QDateTime now = QDateTime(QDate(2024, 5, 1), QTime(12, 0), Qt::UTC);
    store.setClock([&] { return now; });
    for (int i = 0; i < 52; ++i) {
        store.save(kSlot, pattern(10 + i, static_cast<uint8_t>(i)));
        now = now.addSecs(i == 50 ? -3600 : 1); // the 52nd comes after the clock was put back
    }
    const std::vector<BackupEntry> list = store.list(kSlot);
    ASSERT_EQ(list.size(), 50u);
    EXPECT_EQ(list.front().size, 61) << "the newest backup was not kept";
    EXPECT_EQ(list.back().size, 12) << "the two oldest should be gone";
    EXPECT_EQ(QFileInfo(list[1].path).fileName(), "2024-05-01T12-00-50.000Z.bin");
    EXPECT_EQ(QFileInfo(list[0].path).fileName(), "2024-05-01T12-00-50.001Z.bin");
    EXPECT_EQ(list[0].time, QDateTime(QDate(2024, 5, 1), QTime(12, 0, 50, 1), Qt::UTC));
    EXPECT_EQ(list[0].kind, ckUnknownData);

#ifndef _WIN32
    // A save that fails removes nothing (a folder closed by its mode bits; Windows has none that do).
    chmod(QFile::encodeName(store.sectionFolder(kSlot)).constData(), 0555);
    const Outcome refused = store.save(kSlot, {1});
    EXPECT_EQ(refused.status, SectionStatus::FileError);
    EXPECT_EQ(refused.fileError, EInOutError::kAccessDenied);
    chmod(QFile::encodeName(store.sectionFolder(kSlot)).constData(), 0755);
#endif
    EXPECT_EQ(store.list(kSlot).size(), 50u);
    EXPECT_EQ(namesIn(store.sectionFolder(kSlot)).size(), 50) << "a temporary file was left";

    // An application's backup is listed with its kind and name.
    store.save(0, applicationImage(4, 0x14, kAppJ5, "Snake J5", 100));
    ASSERT_EQ(store.list(0).size(), 1u);
    EXPECT_EQ(store.list(0)[0].kind, ckApplication);
    EXPECT_EQ(store.list(0)[0].name.substr(0, 8), "Snake J5");
}

TEST(BackupStore, ReportsASaveOrNoteItCannotWriteAsAFileErrorAndTheChangeTouchesNothing) {
    QTemporaryDir dir;
    ScriptedLink link;
    link.put(18, 9, pattern(500, 1));
    // A root under a regular file can never be made a folder, not even by root.
    FileIO::replaceFile(dir.filePath("file"), "x", 1);
    BackupStore store(dir.filePath("file/backups"));
    Outcome saved;
    EXPECT_NO_THROW(saved = store.save(kSlot, pattern(10, 1)));
    EXPECT_EQ(saved.status, SectionStatus::FileError);
    EXPECT_EQ(saved.fileError, EInOutError::kAccessDenied);
    EXPECT_TRUE(store.list(kSlot).empty());
    const Outcome cleared = clearSection(link, store, kSlot);
    EXPECT_EQ(cleared.status, SectionStatus::BackupFailed);
    EXPECT_EQ(cleared.fileError, EInOutError::kAccessDenied);
    EXPECT_EQ(opsOf(link), "Size Read") << "the section was touched after a failed backup";

    // The backup is saved, but the note of the change cannot take the place of a folder that holds a file.
    BackupStore noteless(dir.filePath("backups"));
    ASSERT_TRUE(QDir().mkpath(noteless.sectionFolder(kSlot) + "/pending/kept"));
    link.calls.clear();
    const Outcome unnoted = clearSection(link, noteless, kSlot);
    EXPECT_EQ(unnoted.status, SectionStatus::BackupFailed);
    EXPECT_NE(unnoted.fileError, 0);
    EXPECT_EQ(fileBytes(unnoted.path), pattern(500, 1));
    EXPECT_EQ(opsOf(link), "Size Read") << "the section was touched without a note of the change";
    EXPECT_EQ((link.files[{18, 9}]), pattern(500, 1));
}

TEST(FullBackup, RestoresChosenSectionsAndRefusesADamagedOrForeignFolderBeforeWriting) {
    QTemporaryDir dir;
    ScriptedLink link;
    BackupStore backups(dir.filePath("auto"));
    link.put(2, 10, pattern(2048, 3));
    link.put(18, 9, pattern(21504, 4));
    link.put(18, 10, {});
    const QString folder = dir.filePath("full");
    const FullBackup::WriteOutcome written =
        FullBackup::write(link, folder, QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC));
    ASSERT_TRUE(written.ok()) << SectionTexts::backupFolderError(written).toStdString();
    EXPECT_EQ(written.sectionsWithData, 3);
    EXPECT_EQ(namesIn(folder), (QStringList{"02-10.bin", "18-09.bin", "18-10.bin", "tarvel-backup.json"}));
    const FullBackup::WriteOutcome notEmpty =
        FullBackup::write(link, folder, QDateTime::currentDateTimeUtc());
    EXPECT_EQ(notEmpty.defect, FullBackup::Defect::FolderNotEmpty) << "not an empty folder";
    EXPECT_EQ(SectionTexts::backupFolderError(notEmpty),
              QString("Folder %1 is not empty.").arg(QDir::toNativeSeparators(folder)));
    // A second backup in the same second goes beside the first.
    EXPECT_EQ(FullBackup::freeFolderName(dir.path(), "full"), dir.filePath("full-2"));
    EXPECT_EQ(FullBackup::freeFolderName(dir.path(), "other"), dir.filePath("other"));

    // The phone changes; a restore of two chosen sections brings back just those.
    link.put(2, 10, pattern(100, 9));
    link.put(18, 9, pattern(50, 9));
    link.put(18, 11, pattern(70, 9));
    FullBackup::Loaded loaded = FullBackup::load(folder);
    ASSERT_TRUE(loaded.ok()) << SectionTexts::backupFolderError(loaded).toStdString();
    EXPECT_EQ(loaded.manifest.time, QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC));
    const auto results = FullBackup::restore(link, backups, loaded, {10, 12});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ((link.files[{18, 9}]), pattern(21504, 4));
    EXPECT_FALSE(link.files.count({18, 11})) << "a section recorded empty is cleared";
    EXPECT_EQ((link.files[{2, 10}]), pattern(100, 9)) << "a section not chosen was restored";
    EXPECT_EQ(fileBytes(results[1].path), pattern(70, 9)) << "the cleared content was not saved";
    std::vector<int> mismatched;
    for (const FullBackup::Comparison& c : FullBackup::verify(link, loaded.manifest))
        if (!c.matches())
            mismatched.push_back(c.outcome.slot);
    EXPECT_EQ(mismatched, std::vector<int>{0});

    // Damage of every kind is found before anything is written.
    struct Damage {
        const char* what;
        std::function<void()> make;
        SectionStatus status;
    };
    const QString json = folder + "/tarvel-backup.json";
    const std::vector<uint8_t> manifest = fileBytes(json);
    auto putManifest = [&](QByteArray text) {
        FileIO::replaceFile(json, text.constData(), std::size_t(text.size()));
    };
    auto edit = [&](const char* from, const char* to) {
        QByteArray text(reinterpret_cast<const char*>(manifest.data()), qsizetype(manifest.size()));
        putManifest(text.replace(from, to));
    };
    const Damage damages[] = {
        {"a flipped byte",
         [&] { FileIO::replaceFile(folder + "/18-09.bin", pattern(21504, 5).data(), 21504); },
         SectionStatus::Damaged},
        {"a missing file", [&] { QFile::remove(folder + "/02-10.bin"); }, SectionStatus::Damaged},
        {"a short file", [&] { FileIO::replaceFile(folder + "/02-10.bin", "ab", 2); },
         SectionStatus::Damaged},
        {"a section left out", [&] { edit("\"18-29\"", "\"18-30\""); }, SectionStatus::Damaged},
        {"another format", [&] { edit("tarvel-backup\"", "other\""); }, SectionStatus::Foreign},
        {"a newer version", [&] { edit("\"version\": 1", "\"version\": 2"); }, SectionStatus::Foreign},
        {"no JSON", [&] { putManifest("{ not json"); }, SectionStatus::Foreign},
        {"no time", [&] { edit("\"time\"", "\"when\""); }, SectionStatus::Damaged},
        {"a small section over its capacity",
         [&] {
             const std::vector<uint8_t> big = pattern(3072, 3);
             FileIO::replaceFile(folder + "/02-10.bin", big.data(), big.size());
             QByteArray text(reinterpret_cast<const char*>(manifest.data()), qsizetype(manifest.size()));
             putManifest(text.replace("\"size\": 2048", "\"size\": 3072")
                             .replace(sha256Hex(pattern(2048, 3)), sha256Hex(big)));
         },
         SectionStatus::Damaged},
#ifndef _WIN32
        // Windows makes no fifos, and QFile::link makes a .lnk shortcut there, not a link.
        {"a link as a section's file",
         [&] {
             QFile::rename(folder + "/02-10.bin", dir.filePath("02-10.bin"));
             QFile::link(dir.filePath("02-10.bin"), folder + "/02-10.bin");
         },
         SectionStatus::Damaged},
        {"a pipe as the manifest",
         [&] {
             QFile::remove(json);
             ASSERT_EQ(mkfifo(QFile::encodeName(json).constData(), 0600), 0);
         },
         SectionStatus::Damaged},
#endif
        {"no manifest", [&] { QFile::remove(json); }, SectionStatus::Foreign},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        const FullBackup::Loaded good = FullBackup::load(folder);
        ASSERT_TRUE(good.ok());
        d.make();
        const FullBackup::Loaded bad = FullBackup::load(folder);
        const QString error = SectionTexts::backupFolderError(bad);
        EXPECT_EQ(bad.outcome.status, d.status) << error.toStdString();
        EXPECT_TRUE(error.contains(QDir::toNativeSeparators(folder))) << error.toStdString();
        link.calls.clear();
        EXPECT_TRUE(FullBackup::restore(link, backups, bad).empty());
        EXPECT_TRUE(link.calls.empty()) << "the phone was touched for a damaged backup";
        // Put it right again for the next case.
        QFile::remove(json);
        QFile::remove(folder + "/02-10.bin");
        putManifest(QByteArray(reinterpret_cast<const char*>(manifest.data()), qsizetype(manifest.size())));
        FileIO::replaceFile(folder + "/18-09.bin", pattern(21504, 4).data(), 21504);
        FileIO::replaceFile(folder + "/02-10.bin", pattern(2048, 3).data(), 2048);
    }
    EXPECT_EQ(FullBackup::load(dir.filePath("missing")).outcome.status, SectionStatus::NotFound);
}

TEST(SafeOverwriteKilled, LeavesTheSectionOldOrNewAndABackupOnDiskWhereverItStops) {
#ifdef _WIN32
    GTEST_SKIP() << "the change is killed in a fork()ed child, and Windows has no fork(); the Linux build "
                    "runs this";
#else
    const std::vector<uint8_t> old = pattern(900, 1), fresh = pattern(1200, 2);
    // The steps the child is killed at: before the clear, before the write, inside the phone's write
    // after its flush, and before the verification.
    const char* stops[] = {"clear", "write", "flush", "verify"};
    for (const char* stop : stops) {
        SCOPED_TRACE(stop);
        QTemporaryDir dir;
        const QString phoneDir = dir.filePath("phone");
        {
            VirtualPhone phone(phoneDir);
            ASSERT_EQ(phone.InitGBPMode(1), 0);
            ASSERT_EQ(phone.WriteNVMFile(18, 9, old.data(), 900), 0);
            phone.EndGBPMode();
        }
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            alarm(30);
            VirtualPhone phone(phoneDir);
            BackupStore backups(dir.filePath("backups"));
            const std::string at = stop;
            FileIO::testHooks().namedTemporariesOnly = true;
            const Progress kill = [&](const ProgressEvent& e) {
                if ((at == "clear" && e.step == Step::Clearing) ||
                    (at == "write" && e.step == Step::Writing) ||
                    (at == "verify" && e.step == Step::Verifying))
                    ::raise(SIGKILL);
                // Armed only now: the backup before it is flushed too.
                if (at == "flush" && e.step == Step::Writing)
                    FileIO::testHooks().afterFlush = [] { ::raise(SIGKILL); };
            };
            if (phone.InitGBPMode(1) == 0)
                replaceSection(phone, backups, kSlot, fresh.data(), 1200, kill);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child was not stopped";

        // The next session finishes or undoes the change.
        VirtualPhone phone(phoneDir);
        BackupStore backups(dir.filePath("backups"));
        ASSERT_TRUE(backups.pending(kSlot)) << "no note of the change in progress";
        ASSERT_EQ(phone.InitGBPMode(1), 0);
        const std::vector<Outcome> found = finishInterrupted(phone, backups);
        const std::vector<uint8_t> now = fileBytes(phone.sectionPath(18, 9));
        phone.EndGBPMode();
        ASSERT_EQ(found.size(), 1u);
        EXPECT_TRUE(found[0].ok());
        EXPECT_TRUE(now == old || now == fresh) << "the section holds " << now.size() << " bytes";
        EXPECT_EQ(found[0].recovery == Recovery::Restored,
                  std::string(stop) == "write" || std::string(stop) == "flush");
        ASSERT_EQ(backups.list(kSlot).size(), 1u);
        EXPECT_EQ(fileBytes(backups.list(kSlot)[0].path), old);
        EXPECT_FALSE(backups.pending(kSlot));
        for (const QString& name : namesIn(phoneDir))
            EXPECT_TRUE(name.endsWith(".bin") || name == ".gbp-mode.lock") << name.toStdString();
    }
#endif
}

TEST(UnansweredLink, IsNoEmptySectionAndStopsEveryOperationAtTheFirstCall) {
    QTemporaryDir dir;
    ScriptedLink link;
    BackupStore backups(dir.filePath("backups"));
    const std::vector<uint8_t> held = pattern(8420, 1);
    link.put(18, 9, held);
    link.noAnswerFrom = 0;
    const SectionContent content = readContent(link, kSlot);
    EXPECT_TRUE(content.outcome.status == SectionStatus::LinkFailed && !content.empty);
    for (const Outcome& out :
         {replaceSection(link, backups, kSlot, held.data(), 7), clearSection(link, backups, kSlot)}) {
        EXPECT_EQ(out.status, SectionStatus::LinkFailed);
        EXPECT_TRUE(backupStepFailed(out));
    }
    EXPECT_EQ(opsOf(link), "Size Size Size") << "a change went out after a call got no answer";
    EXPECT_EQ((link.files[{18, 9}]), held);
    EXPECT_FALSE(FullBackup::write(link, dir.filePath("full"), QDateTime::currentDateTimeUtc()).ok());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("full")));

    // The scan stops at the first call without an answer; the sections after it keep their records.
    link = ScriptedLink();
    link.put(2, 11, pattern(100, 2));
    link.noAnswerFrom = 3; // Size 02-10, Size 02-11, Read 02-11, then Size 02-12 gets none
    SectionTable table = makeSectionTable();
    table[2].Size = 77;
    const Outcome scanned = scanAll(link, table);
    EXPECT_EQ(scanned.status, SectionStatus::LinkFailed);
    EXPECT_EQ(scanned.slot, 2) << "not the section that got no answer";
    EXPECT_EQ(link.calls.size(), 4u);
    EXPECT_EQ(table[1].Size, 100);
    EXPECT_EQ(table[2].Size, 77);
    link.noAnswerFrom = link.calls.size();
    const auto compared = FullBackup::verify(link, FullBackup::Manifest{});
    ASSERT_EQ(compared.size(), 1u);
    EXPECT_EQ(compared[0].outcome.status, SectionStatus::LinkFailed);

    // A change cut short waits, note and all, for a session in which the phone answers.
    link = ScriptedLink();
    link.put(18, 9, pattern(30, 3)); // neither old nor new
    PendingChange note;
    note.backupPath = backups.save(kSlot, held).path;
    note.toEmpty = true;
    backups.markPending(kSlot, note);
    link.noAnswerFrom = 0;
    std::vector<Outcome> found = finishInterrupted(link, backups);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].status, SectionStatus::LinkFailed);
    EXPECT_TRUE(backups.pending(kSlot));
    link.noAnswerFrom.reset();
    found = finishInterrupted(link, backups);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].recovery, Recovery::Restored);
    EXPECT_EQ((link.files[{18, 9}]), held);
}

TEST(BackupStore, KeepsEachPhoneApartAndTakesOnlyItsOwnPlainFiles) {
    QTemporaryDir dir;
    BackupStore a(dir.path()), b(dir.path());
    a.setPhone("virtual-phone-aaaa");
    b.setPhone("virtual-phone-bbbb");
    ScriptedLink phoneB;
    phoneB.put(18, 9, pattern(40, 4));
    PendingChange note;
    note.backupPath = a.save(kSlot, pattern(500, 5)).path;
    note.toEmpty = true;
    a.markPending(kSlot, note);
    EXPECT_TRUE(a.pending(kSlot));
    EXPECT_FALSE(b.pending(kSlot));
    EXPECT_TRUE(b.list(kSlot).empty());
    EXPECT_TRUE(finishInterrupted(phoneB, b).empty());
    EXPECT_EQ((phoneB.files[{18, 9}]), pattern(40, 4));
    // Even a note moved into another phone's folder names its own phone.
    ASSERT_TRUE(QDir().mkpath(b.sectionFolder(kSlot)));
    ASSERT_TRUE(QFile::copy(a.sectionFolder(kSlot) + "/pending", b.sectionFolder(kSlot) + "/pending"));
    EXPECT_FALSE(b.pending(kSlot));

#ifndef _WIN32
    // Windows makes links only with a privilege a test cannot count on.
    // A link in the folder is never followed: not as a backup a note names, not as the note itself.
    const QString secret = dir.filePath("secret");
    FileIO::replaceFile(secret, "password", 8);
    const QString linked = b.sectionFolder(kSlot) + "/2024-01-01T00-00-00.000Z.bin";
    ASSERT_EQ(symlink(QFile::encodeName(secret).constData(), QFile::encodeName(linked).constData()), 0);
    EXPECT_TRUE(b.list(kSlot).empty()) << "a link is listed as a backup";
    EXPECT_EQ(BackupStore::load(linked).outcome.status, SectionStatus::FileError);
    QFile::remove(b.sectionFolder(kSlot) + "/pending");
    note.backupPath = linked;
    b.markPending(kSlot, note);
    const std::vector<Outcome> found = finishInterrupted(phoneB, b);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].status, SectionStatus::Damaged);
    EXPECT_EQ((phoneB.files[{18, 9}]), pattern(40, 4)) << "the link's target went into the section";
    EXPECT_EQ(phoneB.count("Write"), 0);
    QFile::remove(b.sectionFolder(kSlot) + "/pending");
    ASSERT_EQ(symlink(QFile::encodeName(secret).constData(),
                      QFile::encodeName(b.sectionFolder(kSlot) + "/pending").constData()),
              0);
    b.markPending(kSlot, note);
    EXPECT_EQ(fileBytes(secret), std::vector<uint8_t>(std::begin("password"), std::end("password") - 1));
    EXPECT_FALSE(QFileInfo(b.sectionFolder(kSlot) + "/pending").isSymLink());
#endif

    // A name far in the future is no backup of this store's: later ones keep the clock's names.
    FileIO::replaceFile(a.sectionFolder(kSlot) + "/9999-12-31T23-59-59.999Z.bin", "x", 1);
    const QString first = a.save(kSlot, pattern(10, 6)).path, second = a.save(kSlot, pattern(11, 6)).path;
    EXPECT_NE(first, second);
    const std::vector<BackupEntry> listed = a.list(kSlot);
    ASSERT_EQ(listed.size(), 3u);
    EXPECT_EQ(listed[0].path, second);
    EXPECT_EQ(listed[1].path, first);

    // A backup larger than its section is refused when loaded for it.
    const QString large = a.save(0, pattern(3072, 7)).path;
    EXPECT_EQ(BackupStore::load(large, SectionCapacity(0)).outcome.fileError, EInOutError::kAccessDenied);
    EXPECT_EQ(BackupStore::load(large, kTransferBufferSize).bytes.size(), 3072u);
}
