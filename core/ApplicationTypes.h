#pragma once
// The application types a section header can name (AppType, header bytes 2 and 3): what the list, the
// side panel and the View dialog say about each. The one place these texts and constants live.
#include <array>
#include <cstdint>
#include <string>

struct ApplicationType {
    uint16_t appType;
    // TargetFirmware of a type that runs on any firmware ("*univ*", "*ufif*"); nullptr for a type built
    // for one firmware, whose TargetFirmware is the version text taken from the header.
    const char* fixedFirmware;
    // The list's title and the View dialog's type line; for a one-firmware type each is followed by
    // the TargetFirmware.
    const char* listTitle;
    const char* typeLine;
    // The side panel's requirements: the phone, and the firmware (followed by the TargetFirmware when
    // appendsFirmware is set).
    const char* phone;
    const char* firmware;
    bool appendsFirmware;
};

inline constexpr uint16_t kAppUfif = 0x2000;
inline constexpr uint16_t kAppJ7 = 0x2003;
inline constexpr uint16_t kAppJ5 = 0x2005;
inline constexpr uint16_t kAppUniversal = 0x30C0;

inline constexpr std::array<ApplicationType, 4> kApplicationTypes = {{
    {kAppUfif, "*ufif*", "Universal fw. application (UFIF)", "UFIF Firmware Application",
     "Sony CMD-Jxx Mobile", "Firmware with UFIF", false},
    {kAppJ7, nullptr, "Application for ", "Firmware Application for ", "Sony CMD-J7/J70",
     "OOK2 mod firmware\r\n", true},
    {kAppJ5, nullptr, "Application for ", "Firmware Application for ", "Sony CMD-J5/J6",
     "PRGLoader v2.0 or newer\r\n", true},
    {kAppUniversal, "*univ*", "Universal fw. application (PGLDR3)", "PRGLoader3 Libs Firmware Application",
     "Sony CMD-Jxx Mobile", "PRGLoader v3.0\r\n5.1.4/4", false},
}};

// The type of an AppType value, or nullptr when it is not an application.
const ApplicationType* applicationTypeFor(uint16_t appType);
// The type whose model byte (the low byte of AppType, header byte 2) is lowByte; an unknown byte gives
// the universal type.
const ApplicationType& applicationTypeForModel(uint8_t lowByte);
// The type a TargetFirmware names: the one whose fixed text it is exactly, else the first type built
// for one firmware (all of which share their texts).
const ApplicationType& applicationTypeForFirmware(const std::string& targetFirmware);
