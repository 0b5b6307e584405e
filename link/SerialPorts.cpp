#include "SerialPorts.h"

#include "DataFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <algorithm>

namespace SerialPorts {

namespace {

const QStringList kKinds = {"ttyUSB", "ttyACM", "ttyS"};

// A sysfs attribute, without its newline; empty when absent. Attributes are small, whatever size
// stat reports.
QString attribute(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(4096)).trimmed();
}

// A ttyS node exists for every line the 8250 driver reserves (nr_uarts, usually 4 or 32), with or
// without a chip behind it. serial_core shows the TIOCGSERIAL type of each port in
// /sys/class/tty/ttySN/type (since Linux 3.7); a line without a UART stays PORT_UNKNOWN, 0. A port
// without a driver bound is not usable either.
bool isRealUart(const QString& ttyFolder) {
    if (!QFileInfo::exists(ttyFolder + "/device/driver"))
        return false;
    bool ok = false;
    const int type = attribute(ttyFolder + "/type").toInt(&ok);
    return ok && type != 0;
}

// The USB device above the tty: the first folder from its device upwards, inside sysfs, that holds
// idVendor (a ttyUSB's device is the serial port under the interface, a ttyACM's the interface).
QString usbDeviceFolder(const QString& ttyFolder, const QString& sysfsRoot) {
    const QString root = QFileInfo(sysfsRoot).canonicalFilePath();
    QString folder = QFileInfo(ttyFolder + "/device").canonicalFilePath();
    while (!root.isEmpty() && folder.startsWith(root + "/")) {
        if (QFileInfo::exists(folder + "/idVendor"))
            return folder;
        folder = QFileInfo(folder).path();
    }
    return {};
}

// "Manufacturer Product (vvvv:pppp, serial S)", leaving out what the device does not say.
QString usbDescription(const QString& folder) {
    const QString manufacturer = attribute(folder + "/manufacturer");
    const QString product = attribute(folder + "/product");
    const QString ids = attribute(folder + "/idVendor") + ":" + attribute(folder + "/idProduct");
    const QString serial = attribute(folder + "/serial");
    QStringList words;
    if (!manufacturer.isEmpty())
        words << manufacturer;
    if (!product.isEmpty() && product != manufacturer)
        words << product;
    words << "(" + ids + (serial.isEmpty() ? QString() : ", serial " + serial) + ")";
    return words.join(' ');
}

} // namespace

std::vector<Device> list(const QString& sysfsRoot, const QString& devRoot) {
    static const QRegularExpression name(QStringLiteral("^(ttyUSB|ttyACM|ttyS)([0-9]+)$"));
    std::vector<std::pair<std::pair<qsizetype, int>, Device>> found;
    const QString classFolder = sysfsRoot + "/class/tty";
    for (const QString& entry :
         QDir(classFolder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = name.match(entry);
        if (!m.hasMatch())
            continue;
        const QString ttyFolder = classFolder + "/" + entry;
        Device device;
        device.name = entry;
        device.path = devRoot + "/" + entry;
        // A node missing from /dev cannot be opened, so no COM port can reach it.
        if (!QFileInfo::exists(device.path))
            continue;
        if (m.captured(1) == "ttyS" && !isRealUart(ttyFolder))
            continue;
        const QString usb = usbDeviceFolder(ttyFolder, sysfsRoot);
        device.usb = !usb.isEmpty();
        if (device.usb)
            device.description = usbDescription(usb);
        found.push_back({{kKinds.indexOf(m.captured(1)), m.captured(2).toInt()}, device});
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Device> devices;
    for (auto& f : found)
        devices.push_back(std::move(f.second));
    return devices;
}

QString sysfsRoot() {
    return qEnvironmentVariable("TARVEL_SYSFS_ROOT", "/sys");
}

QString devRoot() {
    return qEnvironmentVariable("TARVEL_DEV_ROOT", "/dev");
}

std::vector<Device> listMachine() {
    return list(sysfsRoot(), devRoot());
}

std::vector<Device> fromSerialComm(const std::vector<std::pair<QString, QString>>& values,
                                   const std::map<QString, Device>& described) {
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    std::vector<Device> devices;
    for (const auto& [kernelName, port] : values) {
        const QRegularExpressionMatch m = comName.match(port.trimmed());
        if (!m.hasMatch())
            continue;
        Device d;
        const QString upper = port.trimmed().toUpper();
        if (const auto found = described.find(upper); found != described.end())
            d = found->second;
        d.name = upper;
        d.path = kernelName;
        d.com = m.captured(1).toInt();
        devices.push_back(d);
    }
    std::stable_sort(devices.begin(), devices.end(),
                     [](const Device& a, const Device& b) { return a.com < b.com; });
    return devices;
}

Device describedPort(const QString& friendlyName, const QString& hardwareId) {
    static const QRegularExpression comSuffix(QStringLiteral("\\s*\\(COM[0-9]+\\)$"),
                                              QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression ids(QStringLiteral("VID_([0-9A-F]{4})[&+]PID_([0-9A-F]{4})"),
                                        QRegularExpression::CaseInsensitiveOption);
    Device d;
    d.description = QString(friendlyName).remove(comSuffix).trimmed();
    if (const QRegularExpressionMatch m = ids.match(hardwareId); m.hasMatch()) {
        d.usb = true;
        const QString pair = QString("%1:%2").arg(m.captured(1).toLower(), m.captured(2).toLower());
        d.description = d.description.isEmpty() ? pair : QString("%1 (%2)").arg(d.description, pair);
    }
    return d;
}

QString winePrefix() {
    for (const char* variable : {"TARVEL_WINEPREFIX", "WINEPREFIX"}) {
        const QString prefix = qEnvironmentVariable(variable);
        if (!prefix.isEmpty())
            return prefix;
    }
    return DataFolder::path() + "/wine";
}

std::vector<Device> withComPorts(std::vector<Device> devices, const QString& prefix) {
    static const QRegularExpression comName(QStringLiteral("^com([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    // Wine keeps each DOS device as a link in dosdevices; com1..com8 by hand, more where it made them.
    const QFileInfoList links =
        QDir(prefix + "/dosdevices").entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (Device& device : devices) {
        const QString canonical = QFileInfo(device.path).canonicalFilePath();
        device.com = 0;
        for (const QFileInfo& link : links) {
            const QRegularExpressionMatch m = comName.match(link.fileName());
            if (!m.hasMatch() || !link.isSymLink())
                continue;
            const int number = m.captured(1).toInt();
            const bool pointsHere = QDir::cleanPath(link.symLinkTarget()) == QDir::cleanPath(device.path) ||
                                    (!canonical.isEmpty() && link.canonicalFilePath() == canonical);
            if (pointsHere && (device.com == 0 || number < device.com))
                device.com = number;
        }
    }
    return devices;
}

QString mappedDevice(const QString& prefix, int com) {
    const QFileInfo link(QString("%1/dosdevices/com%2").arg(prefix).arg(com));
    return link.isSymLink() ? link.symLinkTarget() : QString();
}

QString mapPort(const QString& prefix, int com, const QString& device) {
    if (com < 1 || com > 8)
        return QString("COM %1 is not a port Tarvel uses (1 to 8).").arg(com);
    if (!device.startsWith('/'))
        return QString("%1 is not a device path (such as /dev/ttyUSB0).").arg(device);
    const QString folder = prefix + "/dosdevices";
    if (!QFileInfo(folder).isDir()) {
        // Wine makes drive C: and Z: only when it makes dosdevices itself, and the bridge reaches the
        // library through Z:.
        if (!QDir().mkpath(folder) || !QDir().mkpath(prefix + "/drive_c") ||
            !QFile::link("../drive_c", folder + "/c:") || !QFile::link("/", folder + "/z:"))
            return QString("%1 could not be made.").arg(folder);
    }
    const QString link = QString("%1/com%2").arg(folder).arg(com);
    const QFileInfo old(link);
    if (old.isSymLink() && old.symLinkTarget() == QDir::cleanPath(device))
        return {};
    if (old.exists() || old.isSymLink()) {
        if (!old.isSymLink())
            return QString("%1 is not a link; Tarvel leaves it alone.").arg(link);
        if (!QFile::remove(link))
            return QString("%1 could not be replaced.").arg(link);
    }
    if (!QFile::link(device, link))
        return QString("%1 could not be linked to %2.").arg(link, device);
    return {};
}

QString unmapPort(const QString& prefix, int com) {
    const QString link = QString("%1/dosdevices/com%2").arg(prefix).arg(com);
    const QFileInfo old(link);
    if (!old.isSymLink())
        return old.exists() ? QString("%1 is not a link; Tarvel leaves it alone.").arg(link) : QString();
    return QFile::remove(link) ? QString() : QString("%1 could not be removed.").arg(link);
}

bool parseMapping(const QString& text, int& com, QString& device) {
    static const QRegularExpression form(QStringLiteral("^COM([1-8])=(/.+)$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    com = m.captured(1).toInt();
    device = m.captured(2);
    return true;
}

} // namespace SerialPorts
