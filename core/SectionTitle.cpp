#include "SectionTitle.h"

#include "Charset.h"

QString sectionTitle(const SectionRecord& record) {
    switch (record.Kind) {
    case ckApplication: {
        const ApplicationType& type = applicationTypeForFirmware(record.TargetFirmware);
        if (type.fixedFirmware != nullptr)
            return type.listTitle;
        return type.listTitle + Charset::sectionText(record.TargetFirmware);
    }
    case ckGifImage:
        return "GIF Image";
    default:
        return "Unknown data";
    }
}

QString sectionId(int slot) {
    return QString::fromStdString(sectionIdText(slot));
}
