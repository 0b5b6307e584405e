#include "PortMapping.h"

#include "Backend.h"
#include "BridgeLink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <algorithm>

namespace PortMapping {

namespace {

const char* const kGroup = "Serial";
constexpr int kWineMs = 60000;

// A registry string as system.reg and .reg files write it.
QString regQuoted(const QString& text) {
    QString quoted = text;
    return "\"" + quoted.replace("\\", "\\\\").replace("\"", "\\\"") + "\"";
}

} // namespace

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

QString parseOptions(const QStringList& values, std::map<int, QString>& mappings) {
    for (const QString& text : values) {
        int com = 0;
        QString device;
        if (!SerialPorts::parseMapping(text, com, device))
            return QString("--serial takes COMn=DEVICE, n from 1 to 8, such as COM1=/dev/ttyUSB0; not '%1'")
                .arg(text);
#ifdef Q_OS_WIN
        return "--serial maps ports in Wine; on Windows the COM ports are the system's own";
#endif
        mappings[com] = device;
    }
    return {};
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
    if (!saved(settings).count(1) && std::count_if(devices.begin(), devices.end(), usb) == 1) {
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
    applied.registry = registryUpdate(prefix, saved(settings));
    return applied;
}

std::map<int, QString> registryPorts(const QString& prefix) {
    std::map<int, QString> ports;
    QFile file(prefix + "/system.reg");
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return ports;
    static const QRegularExpression value(QStringLiteral(R"re(^"COM([1-8])"="((?:[^"\\]|\\.)*)"$)re"),
                                          QRegularExpression::CaseInsensitiveOption);
    bool inKey = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith('['))
            inKey = line.startsWith(QStringLiteral(R"([Software\\Wine\\Ports])"), Qt::CaseInsensitive);
        else if (inKey) {
            const QRegularExpressionMatch m = value.match(line);
            if (m.hasMatch())
                ports[m.captured(1).toInt()] = m.captured(2).replace(
                    QRegularExpression(QStringLiteral(R"(\\(.))")), QStringLiteral("\\1"));
        }
    }
    return ports;
}

QByteArray registryUpdate(const QString& prefix, const std::map<int, QString>& mappings) {
    const std::map<int, QString> held = registryPorts(prefix);
    if (held == mappings)
        return {};
    QStringList lines{"REGEDIT4", "", R"([HKEY_LOCAL_MACHINE\Software\Wine\Ports])"};
    for (int com = 1; com <= 8; ++com) {
        const auto it = mappings.find(com);
        if (it != mappings.end())
            lines << QString("\"COM%1\"=%2").arg(com).arg(regQuoted(it->second));
        else if (held.count(com))
            lines << QString("\"COM%1\"=-").arg(com);
    }
    return (lines.join("\r\n") + "\r\n").toUtf8();
}

void startRegistryUpdate(QProcess& process, const QStringList& launcher, const QString& prefix,
                         const QByteArray& update) {
    const QString file = QDir::cleanPath(prefix) + "-ports.reg";
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        out.write(update);
    out.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", prefix);
    if (!environment.contains("WINEDEBUG"))
        environment.insert("WINEDEBUG", "-all");
    if (!environment.contains("WINEDLLOVERRIDES"))
        environment.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
    process.setProcessEnvironment(environment);
    process.setProgram(launcher.value(0));
    process.setArguments(launcher.mid(1) + QStringList{"reg", "import", BridgeLink::winePath(file)});
    process.start();
}

QString updateRegistry(const QStringList& launcher, const QString& prefix, const QByteArray& update) {
    if (update.isEmpty())
        return {};
    if (launcher.isEmpty())
        return "Wine was not found, so its registry keeps no COM port.";
    QProcess process;
    startRegistryUpdate(process, launcher, prefix, update);
    if (!process.waitForFinished(kWineMs)) {
        process.kill();
        process.waitForFinished();
        return QString("Wine did not take the COM ports into its registry in %1 within %2 s.")
            .arg(prefix)
            .arg(kWineMs / 1000);
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return QString("Wine could not take the COM ports into its registry in %1 (%2).")
            .arg(prefix, QString::fromLocal8Bit(process.readAllStandardError()).trimmed().left(300));
    return {};
}

QStringList wine() {
    return windowsLauncher(PeArch::X86_64);
}

Applied startUp(const Backend& backend, const std::map<int, QString>& given) {
    const BridgeLink* bridge = backend.bridge();
    const bool underWine = bridge && !bridge->setup().launcher.isEmpty();
    if (!underWine && given.empty())
        return {};
    QSettings settings("Tarvel", "Tarvel");
    const QString prefix = SerialPorts::winePrefix();
    return apply(prefix, given, settings,
                 underWine ? SerialPorts::listMachine() : std::vector<SerialPorts::Device>{});
}

QString set(const QString& prefix, QSettings& settings, int com, const QString& device,
            const QStringList& launcher) {
    const QString error =
        device.isEmpty() ? SerialPorts::unmapPort(prefix, com) : SerialPorts::mapPort(prefix, com, device);
    if (!error.isEmpty())
        return error;
    save(settings, com, device);
    return updateRegistry(launcher, prefix, registryUpdate(prefix, saved(settings)));
}

} // namespace PortMapping
