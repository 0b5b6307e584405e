#include "ApplicationTypes.h"

const ApplicationType* applicationTypeFor(uint16_t appType) {
    for (const ApplicationType& t : kApplicationTypes)
        if (t.appType == appType)
            return &t;
    return nullptr;
}

const ApplicationType& applicationTypeForModel(uint8_t lowByte) {
    for (const ApplicationType& t : kApplicationTypes)
        if ((t.appType & 0xFF) == lowByte)
            return t;
    return *applicationTypeFor(kAppUniversal);
}

const ApplicationType& applicationTypeForFirmware(const std::string& targetFirmware) {
    for (const ApplicationType& t : kApplicationTypes)
        if (t.fixedFirmware != nullptr && targetFirmware == t.fixedFirmware)
            return t;
    for (const ApplicationType& t : kApplicationTypes)
        if (t.fixedFirmware == nullptr)
            return t;
    return kApplicationTypes[0];
}
