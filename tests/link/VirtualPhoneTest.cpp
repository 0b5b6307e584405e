#include "VirtualPhone.h"
#include "DemoContent.h"
#include "GBPSession.h"
#include "SectionTable.h"
#include "TestFiles.h"

#include "FileIO.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QString phoneFolder(const QTemporaryDir& dir) {
    return dir.path() + "/virtual-phone";
}

QStringList hiddenEntries(const QString& folder) {
    return QDir(folder)
        .entryList(QDir::Files | QDir::Hidden | QDir::System)
        .filter(QRegularExpression("^\\."));
}

} // namespace

TEST(VirtualPhone, AnswersOnComOneOnlyAndRefusesFileWorkOutsideGbpMode) {
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    uint8_t buffer[kTransferBufferSize];
    EXPECT_LT(phone.GetNVMFileSize(18, 9), 0);
    EXPECT_LT(phone.ReadNVMFile(18, 9, buffer, 0), 0);
    EXPECT_LT(phone.WriteNVMFile(2, 10, buffer, 4), 0);
    EXPECT_FALSE(QDir(phoneFolder(dir)).exists()) << "nothing is made before GBP mode";
    for (uint8_t port = 2; port <= 8; ++port)
        EXPECT_NE(phone.InitGBPMode(port), 0) << "port " << int(port);
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    EXPECT_NE(phone.InitGBPMode(1), 0) << "one client at a time";
    phone.EndGBPMode();
    EXPECT_EQ(phone.InitGBPMode(1), 0);
}

TEST(VirtualPhone, FirstUseFillsDemonstrationSections) {
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    SectionTable table = makeSectionTable();
    for (int slot = 0; slot < kSectionCount; ++slot)
        ScanSection(phone, table, slot);
    phone.EndGBPMode();
    std::vector<uint16_t> appTypes;
    int gifs = 0, unknown = 0, zero = 0, empty = 0;
    for (const SectionRecord& r : table) {
        if (r.Kind == ckApplication) {
            appTypes.push_back(static_cast<uint16_t>(r.Header[2] | r.Header[3] << 8));
            EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(r.Name[0]))) << r.Name;
        }
        gifs += r.Kind == ckGifImage;
        unknown += r.Kind == ckUnknownData && r.Size > 0;
        zero += r.Size == 0;
        empty += r.Size < 0;
        EXPECT_LE(r.Size, r.Capacity);
    }
    for (uint16_t type : {kAppUfif, kAppJ7, kAppJ5, kAppUniversal})
        EXPECT_NE(std::find(appTypes.begin(), appTypes.end(), type), appTypes.end()) << std::hex << type;
    EXPECT_EQ(gifs, 1);
    EXPECT_GE(unknown, 1);
    EXPECT_EQ(zero, 1);
    EXPECT_GT(empty, 20);
}

TEST(VirtualPhone, ReadsWritesAndClearsAsThePhoneDoes) {
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    std::vector<uint8_t> data(30);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i + 1);
    ASSERT_EQ(phone.WriteNVMFile(18, 20, data.data(), 30), 0);
    EXPECT_EQ(phone.GetNVMFileSize(18, 20), 30);
    EXPECT_TRUE(QFile::exists(phoneFolder(dir) + "/18-20.bin"));

    std::vector<uint8_t> buffer(kTransferBufferSize, 0xEE);
    phone.ReadNVMFile(18, 20, buffer.data(), 20);
    EXPECT_EQ(buffer[19], 20);
    EXPECT_EQ(buffer[20], 0xEE) << "a count of 20 copies 20 bytes";
    EXPECT_EQ(phone.ReadNVMFile(18, 20, buffer.data(), 0), 30);
    EXPECT_EQ(buffer[29], 30);

    // A short file: count 20 copies what there is and leaves the rest.
    ASSERT_EQ(phone.WriteNVMFile(18, 21, data.data(), 5), 0);
    std::fill(buffer.begin(), buffer.end(), 0xEE);
    phone.ReadNVMFile(18, 21, buffer.data(), 20);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(buffer[5], 0xEE);

    std::vector<uint8_t> big(kLargestSection + 1, 1);
    EXPECT_NE(phone.WriteNVMFile(18, 22, big.data(), kLargestSection + 1), 0);
    EXPECT_NE(phone.WriteNVMFile(18, 22, big.data(), -1), 0);
    EXPECT_EQ(phone.WriteNVMFile(18, 22, big.data(), kLargestSection), 0);
    EXPECT_EQ(phone.GetNVMFileSize(18, 22), kLargestSection);

    EXPECT_EQ(phone.ClearNVMFile(18, 20), 0);
    EXPECT_LT(phone.GetNVMFileSize(18, 20), 0);
    EXPECT_FALSE(QFile::exists(phoneFolder(dir) + "/18-20.bin"));
    phone.EndGBPMode();
    // No temporary files are left behind by the writes.
    const QStringList names = QDir(phoneFolder(dir)).entryList(QDir::Files | QDir::Hidden);
    for (const QString& n : names)
        EXPECT_TRUE(n.endsWith(".bin")) << n.toStdString();
}

TEST(VirtualPhone, KeepsItsContentAcrossInstancesAndLocksOutASecondClient) {
    QTemporaryDir dir;
    const uint8_t bytes[3] = {7, 8, 9};
    {
        VirtualPhone first(phoneFolder(dir));
        ASSERT_EQ(first.InitGBPMode(1), 0);
        VirtualPhone second(phoneFolder(dir));
        EXPECT_NE(second.InitGBPMode(1), 0) << "the folder is held by the first client";
        first.WriteNVMFile(2, 19, bytes, 3);
        first.EndGBPMode();
        EXPECT_EQ(second.InitGBPMode(1), 0);
        second.EndGBPMode();
    }
    VirtualPhone later(phoneFolder(dir));
    ASSERT_EQ(later.InitGBPMode(1), 0);
    EXPECT_EQ(later.GetNVMFileSize(2, 19), 3);
    later.EndGBPMode();
}

TEST(VirtualPhone, ADamagedFolderMakesOnlyThatSectionFail) {
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    phone.EndGBPMode();
    ASSERT_TRUE(QDir().mkpath(phoneFolder(dir) + "/18-25.bin/inside"));
    QFile big(phoneFolder(dir) + "/18-26.bin");
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    big.write(QByteArray(kTransferBufferSize + 100, 'x'));
    big.close();

    ASSERT_EQ(phone.InitGBPMode(1), 0);
    std::vector<uint8_t> buffer(kTransferBufferSize, 0);
    EXPECT_LT(phone.GetNVMFileSize(18, 25), 0);
    EXPECT_LT(phone.ReadNVMFile(18, 25, buffer.data(), 0), 0);
    EXPECT_NE(phone.ClearNVMFile(18, 25), 0);
    EXPECT_LT(phone.ReadNVMFile(18, 26, buffer.data(), 0), 0) << "never more than the buffer holds";
    const uint8_t bytes[2] = {1, 2};
    EXPECT_NE(phone.WriteNVMFile(18, 25, bytes, 2), 0) << "a folder that holds something is kept";
    ASSERT_TRUE(QDir().mkpath(phoneFolder(dir) + "/18-27.bin"));
    EXPECT_EQ(phone.WriteNVMFile(18, 27, bytes, 2), 0) << "an empty folder is replaced";
    EXPECT_EQ(phone.GetNVMFileSize(18, 27), 2);
    EXPECT_GE(phone.GetNVMFileSize(18, 9), 0) << "the other sections still answer";
    phone.EndGBPMode();
}

TEST(VirtualPhone, NeverFollowsALinkOrOpensAPipeInPlaceOfASection) {
    QTemporaryDir dir, outside;
    VirtualPhone phone(phoneFolder(dir));
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    std::vector<uint8_t> buffer(kTransferBufferSize, 0);
#ifndef _WIN32
    // Windows makes no fifos, and QFile::link makes a .lnk shortcut there, not a link.
    const QString big = outside.filePath("big.bin"), small = outside.filePath("small.bin");
    writeFile(big, QByteArray(kLargestSection + 500, 'B'));
    writeFile(small, "secret");
    ASSERT_TRUE(QFile::link(big, phone.sectionPath(18, 20)));
    ASSERT_TRUE(QFile::link(small, phone.sectionPath(18, 21)));
    ASSERT_EQ(mkfifo(QFile::encodeName(phone.sectionPath(18, 22)).constData(), 0644), 0);
    for (uint8_t number : {20, 21, 22}) {
        SCOPED_TRACE(int(number));
        EXPECT_LT(phone.GetNVMFileSize(18, number), 0) << "a damaged section shows as empty";
        EXPECT_LT(phone.ReadNVMFile(18, number, buffer.data(), 0), 0) << "read through";
    }
    EXPECT_EQ(buffer[0], 0) << "the linked file's bytes were read";

    // A write replaces the entry itself; the files outside stay as they were.
    const uint8_t fresh[3] = {1, 2, 3};
    for (uint8_t number : {20, 22}) {
        ASSERT_EQ(phone.WriteNVMFile(18, number, fresh, 3), 0);
        EXPECT_FALSE(QFileInfo(phone.sectionPath(18, number)).isSymLink());
        EXPECT_EQ(phone.GetNVMFileSize(18, number), 3);
    }
    EXPECT_EQ(fileBytes(big), QByteArray(kLargestSection + 500, 'B'));
    // A clear removes the link, not its target.
    EXPECT_EQ(phone.ClearNVMFile(18, 21), 0);
    EXPECT_FALSE(QFileInfo(phone.sectionPath(18, 21)).isSymLink());
    EXPECT_EQ(fileBytes(small), "secret");
#endif

    // A plain file larger than any section shows its real size; its read stays refused.
    writeFile(phone.sectionPath(18, 23), QByteArray(30000, 'x'));
    EXPECT_EQ(phone.GetNVMFileSize(18, 23), 30000);
    EXPECT_LT(phone.ReadNVMFile(18, 23, buffer.data(), 0), 0);
    phone.EndGBPMode();
}

TEST(VirtualPhone, RemovesTheTemporaryFileOfAWriteKilledAtItsFlush) {
#ifdef _WIN32
    GTEST_SKIP() << "the write is killed in a fork()ed child, and Windows has no fork(); the Linux build "
                    "runs this";
#else
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    ASSERT_EQ(phone.InitGBPMode(1), 0);
    const uint8_t old[2] = {'o', 'l'};
    ASSERT_EQ(phone.WriteNVMFile(18, 9, old, 2), 0);
    phone.EndGBPMode();
    writeFile(phoneFolder(dir) + "/.18-10.bin.Ab3dE9", "left by an earlier version");
    // Named from the start, as where the system has no unnamed files; then as the system allows.
    for (const bool named : {true, false}) {
        SCOPED_TRACE(named ? "named temporary" : "unnamed where possible");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            VirtualPhone child(phoneFolder(dir));
            FileIO::testHooks().namedTemporariesOnly = named;
            FileIO::testHooks().afterFlush = [] { ::raise(SIGKILL); };
            const uint8_t fresh[3] = {'n', 'e', 'w'};
            if (child.InitGBPMode(1) == 0)
                child.WriteNVMFile(18, 9, fresh, 3);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child was not killed at the flush";
        const QStringList left = hiddenEntries(phoneFolder(dir)).filter(".tarvel-");
        if (named) {
            EXPECT_EQ(left.size(), 1) << "the kill left no temporary file: the test proves nothing";
        } else if (const int probe =
                       ::open(QFile::encodeName(dir.path()).constData(), O_TMPFILE | O_WRONLY, 0600);
                   probe >= 0) {
            ::close(probe);
            EXPECT_TRUE(left.isEmpty()) << "an unnamed file got a name before it was complete";
        }
        ASSERT_EQ(phone.InitGBPMode(1), 0);
        EXPECT_EQ(hiddenEntries(phoneFolder(dir)), QStringList{".gbp-mode.lock"});
        EXPECT_EQ(fileBytes(phone.sectionPath(18, 9)), "ol") << "the section is not its old self";
        phone.EndGBPMode();
    }
#endif
}

TEST(GBPSession, LeavesGbpModeOnceOnEveryWayOut) {
    QTemporaryDir dir;
    VirtualPhone phone(phoneFolder(dir));
    try {
        GBPSession session(phone, 1);
        ASSERT_TRUE(session.entered());
        throw std::runtime_error("file step failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(phone.InitGBPMode(1), 0) << "the session ended GBP mode when the exception left it";
    phone.EndGBPMode();
    GBPSession refused(phone, 3);
    EXPECT_FALSE(refused.entered());
}
