#include "WineTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>

namespace WineTest {

namespace {
constexpr bool isWindows() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}
} // namespace

void usePrefix() {
#ifdef _WIN32
    return; // Windows programs start the bridge themselves
#endif
    if (qEnvironmentVariableIsEmpty("WINEPREFIX"))
        qputenv("WINEPREFIX", TARVEL_TEST_WINEPREFIX);
    if (qEnvironmentVariableIsEmpty("WINEDEBUG"))
        qputenv("WINEDEBUG", "-all");
}

QString windowsFile(const QString& name) {
    return QString(TARVEL_WINDOWS_DIR) + "/" + name;
}

std::optional<QString> cannotRun(PeArch arch) {
    static QMap<PeArch, std::optional<QString>> known;
    if (known.contains(arch))
        return known[arch];
    usePrefix();
    const QString bridge = windowsFile(QString("gbp-bridge-%1.exe").arg(PeHeader::archName(arch)));
    const QStringList launcher = windowsLauncher(arch);
    std::optional<QString> why;
    if (!QFileInfo(bridge).isFile()) {
        why = bridge + " was not built (mingw-w64 missing)";
    } else if (launcher.isEmpty() && !isWindows()) {
        why = "Wine is not installed";
    } else {
        // The bridge's --version is the cheapest Windows program at hand.
        QProcess probe;
        if (launcher.isEmpty())
            probe.start(bridge, {"--version"});
        else
            probe.start(launcher.front(), launcher.mid(1) + QStringList{bridge, "--version"});
        const bool ran = probe.waitForFinished(120000) && probe.exitStatus() == QProcess::NormalExit &&
                         probe.exitCode() == 0 && probe.readAllStandardOutput().startsWith("gbp-bridge");
        if (!ran)
            why = QString("this machine cannot run %1 Windows programs (%2 %3: %4)")
                      .arg(arch == PeArch::I686 ? "32-bit" : "64-bit", launcher.join(' '), bridge,
                           QString::fromLocal8Bit(probe.readAllStandardError()).trimmed().left(300));
    }
    known[arch] = why;
    return why;
}

QString standIn(PeArch arch, CallConv conv) {
    if (arch == PeArch::X86_64)
        return windowsFile("gbp-standin-x86_64.dll");
    return windowsFile(QString("gbp-standin-%1-i686.dll").arg(BridgeProtocol::callConvName(conv)));
}

BridgeSetup setupFor(const QString& library, PeArch arch, CallConv conv) {
    BridgeSetup setup;
    setup.library = library;
    setup.callConv = conv;
    setup.bridgeProgram = windowsFile(QString("gbp-bridge-%1.exe").arg(PeHeader::archName(arch)));
    setup.launcher = windowsLauncher(arch);
    return setup;
}

ScopedEnv::~ScopedEnv() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        if (it->second)
            qputenv(it->first.constData(), *it->second);
        else
            qunsetenv(it->first.constData());
    }
}

void ScopedEnv::set(const char* name, const QByteArray& value) {
    saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qputenv(name, value);
}

void ScopedEnv::unset(const char* name) {
    saved_.emplace_back(name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
    qunsetenv(name);
}

StandInPhone::StandInPhone() {
#ifdef _WIN32
    env_.set("TARVEL_STANDIN_DIR", QDir::toNativeSeparators(dir_.path()).toLocal8Bit());
#else
    env_.set("TARVEL_STANDIN_DIR", BridgeLink::winePath(dir_.path()).toLocal8Bit());
#endif
}

void StandInPhone::setFault(const char* variable, const QByteArray& value) {
    const QString file = dir_.filePath(variable);
    QFile::remove(file);
    QFile out(file);
    if (!value.isEmpty() && out.open(QIODevice::WriteOnly))
        out.write(value);
}

QString StandInPhone::path(uint8_t group, uint8_t number) const {
    return QString("%1/%2-%3.bin")
        .arg(dir_.path())
        .arg(group, 2, 10, QChar('0'))
        .arg(number, 2, 10, QChar('0'));
}

void StandInPhone::put(uint8_t group, uint8_t number, const QByteArray& bytes) {
    QFile file(path(group, number));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

std::optional<QByteArray> StandInPhone::get(uint8_t group, uint8_t number) const {
    QFile file(path(group, number));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

} // namespace WineTest
