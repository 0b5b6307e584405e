#include "VirtualPhone.h"
#include "DemoContent.h"
#include "GBPSession.h"
#include "SectionTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace {

QString phoneFolder(const QTemporaryDir& dir) {
    return dir.path() + "/virtual-phone";
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
    ASSERT_TRUE(QDir().mkpath(phoneFolder(dir) + "/18-25.bin"));
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
    EXPECT_GE(phone.GetNVMFileSize(18, 9), 0) << "the other sections still answer";
    phone.EndGBPMode();
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
