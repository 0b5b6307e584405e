#pragma once
// The 31 sections the program works on: their identities (slot mapping), the record kept for each, the
// classification of a section's first 20 bytes, the scan of one section and the total data size.
#include "ApplicationTypes.h"
#include "GBPCtrl.h"

#include <array>
#include <cstdint>
#include <string>

enum ContentKind : uint8_t { ckNone = 0, ckApplication = 1, ckGifImage = 2, ckUnknownData = 3 };

inline constexpr int kSectionCount = 31;
inline constexpr int kHeaderSize = 20;

struct SectionRecord {
    uint8_t Group = 0;
    uint8_t Number = 0;
    int32_t Size = -1; // negative: the section is empty
    int32_t Capacity = 0;
    ContentKind Kind = ckNone;
    std::string Name; // up to 16 bytes as stored, zero bytes included
    std::array<uint8_t, kHeaderSize> Header{};
    std::string TargetFirmware; // "*univ*", "*ufif*" or a version text, up to 8 characters
};

using SectionTable = std::array<SectionRecord, kSectionCount>;

// Slot mapping: slots 0-9 are 02-10 to 02-19 (2048 bytes), any other slot the large rule, 18-(slot-1).
uint8_t SectionGroup(int slot);
uint8_t SectionNumber(int slot);
int32_t SectionCapacity(int slot);

// A table of 31 empty sections with their identities, as at start-up.
SectionTable makeSectionTable();

// "%0.2d-%0.2d": 02-10, 18-09.
std::string sectionIdText(uint8_t group, uint8_t number);
std::string sectionIdText(int slot);
// The slot of a section written as "GG-NN" (two digits each, 02-10 or 18-09), or -1.
int slotForId(const std::string& id);

// The version text of an application for one firmware, cut to 8 characters: 5.1.4/4, 3.1.B/42.
std::string versionText(const std::array<uint8_t, kHeaderSize>& header);

// Classifies the record from its Header: an application by its AppType (Name and TargetFirmware are
// rewritten), else a GIF by "GIF8", else unknown data (Name and TargetFirmware keep what they held).
void classifyHeader(SectionRecord& record);

// Reads one section's size and, when it is not negative, its first 20 bytes, and classifies it. The
// header is zeroed before the read, so a short or failed read never leaves old bytes to classify.
// The link must be in GBP mode. False when a call got no answer: the record is then left as it was.
bool ScanSection(GBPCtrl& link, SectionTable& table, int slot);

// Sum of the sizes of all sections; an empty section counts as 0.
int64_t totalDataSize(const SectionTable& table);
// "(empty)" for a total below 1, otherwise "N bytes".
std::string totalDataSizeText(int64_t total);
