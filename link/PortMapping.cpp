#include "PortMapping.h"

#include "Backend.h"
#include "BridgeLink.h"

#include <QSettings>
#include <algorithm>

namespace PortMapping {

namespace {
const char* const kGroup = "Serial";
}

std::map<int, QString> saved(QSettings& settings) {
    std::map<int, QString> mappings;
    settings.beginGroup(kGroup);
    for (int com = 1; com <= 8; ++com) {
        const QString device = settings.value(QString("COM%1").arg(com)).toString();
        if (!device.isEmpty())
            mappings[com] = device;
    }
    settings.endGroup();
    return mappings;
}

void save(QSettings& settings, int com, const QString& device) {
    settings.beginGroup(kGroup);
    if (device.isEmpty())
        settings.remove(QString("COM%1").arg(com));
    else
        settings.setValue(QString("COM%1").arg(com), device);
    settings.endGroup();
    settings.sync();
}

Applied apply(const QString& prefix, const std::map<int, QString>& given, QSettings& settings,
              const std::vector<SerialPorts::Device>& devices) {
    Applied applied;
    for (const auto& [com, device] : given)
        save(settings, com, device);
    for (const auto& [com, device] : saved(settings)) {
        const QString error = SerialPorts::mapPort(prefix, com, device);
        if (!error.isEmpty())
            applied.errors << error;
    }
    const auto usb = [](const SerialPorts::Device& d) { return d.usb; };
    if (SerialPorts::mappedDevice(prefix, 1).isEmpty() && std::count_if(devices.begin(), devices.end(), usb) == 1) {
        const SerialPorts::Device& only = *std::find_if(devices.begin(), devices.end(), usb);
        const QString error = SerialPorts::mapPort(prefix, 1, only.path);
        if (error.isEmpty()) {
            save(settings, 1, only.path);
            applied.notes << QString("COM 1 is now linked to %1%2, the only USB serial device found.")
                                 .arg(only.path,
                                      only.description.isEmpty() ? QString() : " (" + only.description + ")");
        } else {
            applied.errors << error;
        }
    }
    return applied;
}

Applied startUp(const Backend& backend, const std::map<int, QString>& given) {
    const BridgeLink* bridge = backend.bridge();
    const bool underWine = bridge && !bridge->setup().launcher.isEmpty();
    if (!underWine && given.empty())
        return {};
    QSettings settings("Tarvel", "Tarvel");
    return apply(SerialPorts::winePrefix(), given, settings,
                 underWine ? SerialPorts::listMachine() : std::vector<SerialPorts::Device>{});
}

QString set(const QString& prefix, QSettings& settings, int com, const QString& device) {
    const QString error =
        device.isEmpty() ? SerialPorts::unmapPort(prefix, com) : SerialPorts::mapPort(prefix, com, device);
    if (error.isEmpty())
        save(settings, com, device);
    return error;
}

} // namespace PortMapping
