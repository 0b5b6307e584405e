#include "SectionTable.h"
#include "ScriptedLink.h"

#include <gtest/gtest.h>

namespace {

SectionRecord classified(std::array<uint8_t, 20> header, SectionRecord r = {}) {
    r.Header = header;
    classifyHeader(r);
    return r;
}

std::array<uint8_t, 20> header(std::initializer_list<uint8_t> first) {
    std::array<uint8_t, 20> h{};
    std::copy(first.begin(), first.end(), h.begin());
    return h;
}

} // namespace

TEST(SlotMapping, SmallAndLargeRangesMeetBetweenSlotsNineAndTen) {
    EXPECT_EQ(SectionGroup(0), 2);
    EXPECT_EQ(SectionNumber(0), 10);
    EXPECT_EQ(SectionGroup(9), 2);
    EXPECT_EQ(SectionNumber(9), 19);
    EXPECT_EQ(SectionCapacity(9), 2048);
    EXPECT_EQ(SectionGroup(10), 18);
    EXPECT_EQ(SectionNumber(10), 9);
    EXPECT_EQ(SectionCapacity(10), 21504);
    EXPECT_EQ(SectionNumber(30), 29);
    EXPECT_EQ(sectionIdText(18, 9), "18-09");
    EXPECT_EQ(sectionIdText(2, 10), "02-10");
    const SectionTable table = makeSectionTable();
    for (const SectionRecord& r : table) {
        EXPECT_EQ(r.Size, -1);
        EXPECT_EQ(r.Kind, ckNone);
    }
}

TEST(Classification, RecognisesEachApplicationTypeWhateverItsFirstBytes) {
    SectionRecord ufif = classified(header({9, 9, 0x00, 0x20, 'U', 'F'}));
    EXPECT_EQ(ufif.Kind, ckApplication);
    EXPECT_EQ(ufif.TargetFirmware, "*ufif*");
    EXPECT_EQ(classified(header({'G', 'I', 0xC0, 0x30})).TargetFirmware, "*univ*");
    EXPECT_EQ(classified(header({0x04, 0x14, 0x05, 0x20})).TargetFirmware, "5.1.4/4");
    EXPECT_EQ(classified(header({0x2A, 0x1B, 0x03, 0x20})).TargetFirmware, "3.1.B/42");
    EXPECT_EQ(classified(header({0x00, 0x07, 0x05, 0x20})).TargetFirmware, "5.0.7/0");
    // A revision of three digits makes nine characters, cut to eight.
    EXPECT_EQ(classified(header({255, 0x14, 0x05, 0x20})).TargetFirmware, "5.1.4/25");
    EXPECT_EQ(classified(header({0, 0, 0x04, 0x20})).Kind, ckUnknownData);
}

TEST(Classification, KeepsTheWholeSixteenByteNameWithItsZeroBytes) {
    SectionRecord r = classified(header({0, 0, 0x00, 0x20, 'T', 'e', 't', 'r', 'i', 's'}));
    ASSERT_EQ(r.Name.size(), 16u);
    EXPECT_EQ(r.Name.substr(0, 6), "Tetris");
    EXPECT_EQ(r.Name[6], '\0');
    EXPECT_EQ(r.Name[15], '\0');
}

TEST(Classification, TellsGifFromUnknownDataAndKeepsTheOldName) {
    SectionRecord app = classified(header({0x04, 0x14, 0x05, 0x20, 'S', 'n', 'a', 'k', 'e'}));
    SectionRecord gif = classified(header({'G', 'I', 'F', '8', '9', 'a'}), app);
    EXPECT_EQ(gif.Kind, ckGifImage);
    EXPECT_EQ(gif.Name, app.Name);
    EXPECT_EQ(gif.TargetFirmware, "5.1.4/4");
    EXPECT_EQ(classified(header({'G', 'I', 'F', '8', '7', 'a'})).Kind, ckGifImage);
    EXPECT_EQ(classified(header({'g', 'i', 'f', '8', '9', 'a'})).Kind, ckUnknownData);
    EXPECT_EQ(classified(header({})).Kind, ckUnknownData);
}

TEST(ScanSection, ReadsTheHeaderOnlyForASizeOfZeroOrMore) {
    ScriptedLink link;
    link.put(18, 9, applicationImage(0, 0, 0x30C0, "Tetris", 100));
    link.put(2, 10, {});
    SectionTable table = makeSectionTable();
    table[1].Header = {'G', 'I', 'F', '8'}; // 02-11 is missing: its old bytes are not looked at
    ScanSection(link, table, 10);
    ScanSection(link, table, 0);
    ScanSection(link, table, 1);
    EXPECT_EQ(table[10].Kind, ckApplication);
    EXPECT_EQ(table[10].Size, 100);
    EXPECT_EQ(table[0].Size, 0);
    EXPECT_EQ(table[0].Kind, ckUnknownData) << "a size of 0 is still read and classified";
    EXPECT_EQ(table[1].Kind, ckNone);
    EXPECT_EQ(link.count("Read"), 2);
    for (const LinkCall& c : link.calls) {
        if (c.op == "Read") {
            EXPECT_EQ(c.count, 20);
        }
    }
}

TEST(ScanSection, NeverClassifiesTheHeaderBytesOfAnEarlierScan) {
    ScriptedLink link;
    SectionTable table = makeSectionTable();
    link.put(2, 10, applicationImage(4, 0x14, kAppJ5, "Snake J5", 2048));
    ScanSection(link, table, 0);
    ASSERT_EQ(table[0].Kind, ckApplication);
    // Cleared, then an empty file uploaded: the read returns nothing.
    link.put(2, 10, {});
    ScanSection(link, table, 0);
    EXPECT_EQ(table[0].Kind, ckUnknownData) << "the old application header was classified again";
    EXPECT_EQ(table[0].Header, (std::array<uint8_t, 20>{}));
    // A header read that fails after a size was given.
    link.put(2, 10, applicationImage(4, 0x14, kAppJ5, "Snake J5", 2048));
    ScanSection(link, table, 0);
    link.files.erase({2, 10});
    link.sizeResults[{2, 10}] = 2048;
    ScanSection(link, table, 0);
    EXPECT_EQ(table[0].Kind, ckUnknownData);
    // A short section keeps only its own bytes.
    link.sizeResults.clear();
    link.put(2, 10, {'G', 'I', 'F'});
    ScanSection(link, table, 0);
    EXPECT_EQ(table[0].Header, (std::array<uint8_t, 20>{'G', 'I', 'F'}));
}

TEST(ApplicationTypes, OneTableServesClassificationListPanelAndViewer) {
    for (const ApplicationType& t : kApplicationTypes) {
        EXPECT_EQ(applicationTypeFor(t.appType), &t);
        EXPECT_EQ(&applicationTypeForModel(static_cast<uint8_t>(t.appType & 0xFF)), &t);
        if (t.fixedFirmware != nullptr) {
            EXPECT_EQ(&applicationTypeForFirmware(t.fixedFirmware), &t);
        }
    }
    EXPECT_EQ(applicationTypeFor(0x2004), nullptr);
    EXPECT_EQ(applicationTypeForFirmware("*UNIV*").fixedFirmware, nullptr) << "exact comparison";
    EXPECT_EQ(slotForId("18-09"), 10);
    EXPECT_EQ(slotForId("02-19"), 9);
    for (const char* bad : {"18-9", "1809", "18-30", "02-09", "", "18-09 ", "+8-09"})
        EXPECT_EQ(slotForId(bad), -1) << bad;
}

TEST(TotalDataSize, CountsEmptySectionsAsZero) {
    SectionTable table = makeSectionTable();
    EXPECT_EQ(totalDataSizeText(totalDataSize(table)), "(empty)");
    table[3].Size = 0;
    EXPECT_EQ(totalDataSizeText(totalDataSize(table)), "(empty)");
    table[4].Size = 1;
    EXPECT_EQ(totalDataSizeText(totalDataSize(table)), "1 bytes");
    table[10].Size = 4095;
    table[11].Size = -7;
    EXPECT_EQ(totalDataSizeText(totalDataSize(table)), "4096 bytes");
}
