#include "SectionTable.h"

#include <cstdio>

namespace {

constexpr int kSmallSlots = 10;
constexpr int32_t kSmallCapacity = 2048;
constexpr int32_t kLargeCapacity = 21504;
constexpr uint8_t kGifSignature[4] = {'G', 'I', 'F', '8'};
constexpr std::size_t kVersionTextLength = 8;

bool isSmall(int slot) {
    return slot >= 0 && slot < kSmallSlots;
}

} // namespace

uint8_t SectionGroup(int slot) {
    return isSmall(slot) ? 2 : 18;
}

uint8_t SectionNumber(int slot) {
    return static_cast<uint8_t>(isSmall(slot) ? slot + 10 : slot - 1);
}

int32_t SectionCapacity(int slot) {
    return isSmall(slot) ? kSmallCapacity : kLargeCapacity;
}

SectionTable makeSectionTable() {
    SectionTable table;
    for (int slot = 0; slot < kSectionCount; ++slot) {
        SectionRecord& r = table[slot];
        r.Group = SectionGroup(slot);
        r.Number = SectionNumber(slot);
        r.Capacity = SectionCapacity(slot);
        r.Size = -1;
        r.Kind = ckNone;
    }
    return table;
}

std::string sectionIdText(uint8_t group, uint8_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d-%02d", group, number);
    return text;
}

std::string sectionIdText(int slot) {
    return sectionIdText(SectionGroup(slot), SectionNumber(slot));
}

int slotForId(const std::string& id) {
    if (id.size() != 5 || id[2] != '-')
        return -1;
    for (int i : {0, 1, 3, 4})
        if (id[i] < '0' || id[i] > '9')
            return -1;
    for (int slot = 0; slot < kSectionCount; ++slot)
        if (sectionIdText(slot) == id)
            return slot;
    return -1;
}

std::string versionText(const std::array<uint8_t, kHeaderSize>& header) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%X.%X/%d", header[2], header[1] >> 4, header[1] & 0x0F, header[0]);
    std::string result = text;
    if (result.size() > kVersionTextLength)
        result.resize(kVersionTextLength);
    return result;
}

void classifyHeader(SectionRecord& record) {
    const auto& h = record.Header;
    const uint16_t appType = static_cast<uint16_t>(h[2] | (h[3] << 8));
    if (const ApplicationType* type = applicationTypeFor(appType)) {
        record.Kind = ckApplication;
        record.Name.assign(reinterpret_cast<const char*>(h.data() + 4), 16);
        record.TargetFirmware = type->fixedFirmware != nullptr ? type->fixedFirmware : versionText(h);
        return;
    }
    bool gif = true;
    for (int i = 0; i < 4; ++i)
        gif = gif && h[i] == kGifSignature[i];
    record.Kind = gif ? ckGifImage : ckUnknownData;
}

bool ScanSection(GBPCtrl& link, SectionTable& table, int slot) {
    const SectionRecord before = table[slot];
    SectionRecord& r = table[slot];
    r.Group = SectionGroup(slot);
    r.Number = SectionNumber(slot);
    r.Capacity = SectionCapacity(slot);
    r.Size = link.GetNVMFileSize(r.Group, r.Number);
    if (link.lastCall() != CallStatus::Answered) {
        r = before;
        return false;
    }
    if (r.Size < 0) {
        r.Kind = ckNone;
        return true;
    }
    // A section shorter than 20 bytes, or a failed read, must not show the bytes of an earlier scan.
    r.Header.fill(0);
    link.ReadNVMFile(r.Group, r.Number, r.Header.data(), kHeaderSize);
    if (link.lastCall() != CallStatus::Answered) {
        r = before;
        return false;
    }
    classifyHeader(r);
    return true;
}

int64_t totalDataSize(const SectionTable& table) {
    int64_t total = 0;
    for (const SectionRecord& r : table)
        if (r.Size > 0)
            total += r.Size;
    return total;
}

std::string totalDataSizeText(int64_t total) {
    return total < 1 ? "(empty)" : std::to_string(total) + " bytes";
}
