#include "SectionInfo.h"

std::string sectionUsedBy(int slot) {
    if (slot >= 0 && slot <= 4)
        return "PRGLoader v3.0\r\nOOK2 1b2+ && newer";
    if (slot >= 10 && slot <= 15)
        return "PRGLoader v2.0 && newer\r\nOOK2 1b2+ && newer";
    if (slot >= 16 && slot <= 21)
        return "PRGLoader v3.0\r\nOOK2 1b4+ && newer";
    return "PRGLoader v3.0";
}

std::string contentTypeText(ContentKind kind) {
    switch (kind) {
    case ckApplication:
        return "Fw Mod Application";
    case ckGifImage:
        return "GIF Image";
    case ckUnknownData:
        return "Unknown Data";
    default:
        return "(none)";
    }
}

SectionInfo sectionInfo(int slot, const SectionRecord& record) {
    SectionInfo info;
    info.sectionId = sectionIdText(record.Group, record.Number);
    info.title = "Section " + info.sectionId;
    info.usedBy = sectionUsedBy(slot);
    info.sectionSize = slot >= 0 && slot <= 9 ? "2 kB (small)" : "21 kB (large)";
    const bool filled = record.Size >= 0;
    info.sizeUsed = filled ? std::to_string(record.Size) + " bytes" : "(empty)";
    info.sizeStatus = filled ? info.sizeUsed : "EMPTY";
    info.contentType = contentTypeText(record.Kind);
    if (record.Kind == ckApplication) {
        info.showRequirements = true;
        // The choice is made on the model byte alone.
        const ApplicationType& type = applicationTypeForModel(record.Header[2]);
        info.phone = type.phone;
        info.firmware = type.firmware;
        if (type.appendsFirmware)
            info.firmware += record.TargetFirmware;
    }
    info.uploadCaption = filled ? "Change" : "Upload";
    info.actionsEnabled = filled;
    return info;
}
