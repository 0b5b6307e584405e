#include "Backend.h"

#include "BridgeLink.h"
#include "SerialPorts.h"
#include "VirtualPhone.h"

#include "DataFolder.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

QString Backend::name() const {
    if (isVirtualPhone())
        return "virtual phone";
    return QString("%1 through the bridge (%2, %3)")
        .arg(QFileInfo(choice.library).fileName(), PeHeader::archName(arch),
             BridgeProtocol::callConvName(choice.callConv));
}

QString Backend::location() const {
    return isVirtualPhone() ? phoneFolder : QFileInfo(choice.library).absoluteFilePath();
}

QStringList Backend::describe() const {
    return {"Device link: " + name(), (isVirtualPhone() ? "Folder: " : "Library: ") + location()};
}

BridgeLink* Backend::bridge() const {
    return dynamic_cast<BridgeLink*>(link.get());
}

QString Backend::phoneName(uint8_t port) const {
    // The hash tells apart folders and libraries of the same name; the readable part is for the user.
    const QFileInfo info(location());
    const QString where =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(where.toUtf8(), QCryptographicHash::Sha256).toHex().left(8));
    if (isVirtualPhone())
        return "virtual-phone-" + hash;
    QString file = QFileInfo(choice.library).fileName();
    file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("_"));
    return QString("%1-COM%2-%3").arg(file.left(40)).arg(port).arg(hash);
}

QString Backend::windowTitle(const QString& base) const {
    return isVirtualPhone() ? base + " (virtual phone)" : base;
}

QString dataFolderLibrary() {
    return DataFolder::path() + "/GBP.DLL";
}

QStringList bridgeFolders() {
    QStringList folders;
    const QString override = qEnvironmentVariable("TARVEL_BRIDGE_DIR");
    if (!override.isEmpty())
        folders << override;
    const QString appDir = QCoreApplication::applicationDirPath();
    folders << appDir + "/bridge" << QDir::cleanPath(appDir + "/../share/tarvel/bridge");
#ifdef TARVEL_BUILD_WINDOWS_DIR
    folders << TARVEL_BUILD_WINDOWS_DIR; // running from the build folder
#endif
    return folders;
}

QStringList windowsLauncher(PeArch arch) {
#ifdef Q_OS_WIN
    Q_UNUSED(arch);
    return {};
#else
    const QString override = qEnvironmentVariable("TARVEL_WINE");
    if (!override.isEmpty())
        return {override};
    // Debian's wine runs 64-bit programs through the 32-bit loader; wine64 runs them without it.
    if (arch == PeArch::X86_64) {
        for (const QString& wine64 :
             {QStandardPaths::findExecutable("wine64"), QString("/usr/lib/wine/wine64")})
            if (!wine64.isEmpty() && QFileInfo(wine64).isExecutable())
                return {wine64};
    }
    const QString wine = QStandardPaths::findExecutable("wine");
    return wine.isEmpty() ? QStringList{} : QStringList{wine};
#endif
}

Backend virtualPhoneBackend(const QString& folder) {
    Backend backend;
    auto phone = std::make_unique<VirtualPhone>(folder);
    backend.phoneFolder = phone->folder();
    backend.link = std::move(phone);
    return backend;
}

Backend makeBackend(const QString& dllOption, const QString& callConvOption) {
    Backend backend;
    const QString dataDll = dataFolderLibrary();
    backend.choice = chooseBackend({dllOption, callConvOption, qEnvironmentVariable("TARVEL_GBP_DLL"),
                                    QFileInfo(dataDll).isFile() ? dataDll : QString()});
    if (!backend.choice.error.isEmpty()) {
        backend.error = backend.choice.error;
        return backend;
    }
    if (backend.isVirtualPhone())
        return virtualPhoneBackend();

    const PeCheck check = PeHeader::inspectFile(backend.choice.library);
    if (check.arch == PeArch::None) {
        backend.error = check.error;
        return backend;
    }
    backend.arch = check.arch;
#ifndef Q_OS_WIN
    // Wine shows the file system as drive Z:, where a backslash parts folders and a quote, a colon and
    // the like cannot stand in a name: such a path never reaches the library as it is.
    const QString absolute = QFileInfo(backend.choice.library).absoluteFilePath();
    static const QRegularExpression unusable(QStringLiteral(R"([\\"*?<>|:])"));
    if (absolute.contains(unusable)) {
        backend.error = QString("%1: Wine cannot open a library whose path holds any of \\ \" * ? < > | : "
                                "(move it to a folder whose path has none of them).")
                            .arg(absolute);
        return backend;
    }
#endif
    const QString program = QString("gbp-bridge-%1.exe").arg(PeHeader::archName(check.arch));
    for (const QString& folder : bridgeFolders()) {
        if (QFileInfo(folder + "/" + program).isFile()) {
            backend.bridgeProgram = QDir(folder).absoluteFilePath(program);
            break;
        }
    }
    if (backend.bridgeProgram.isEmpty()) {
        backend.error = QString("%1 was not found in %2.").arg(program, bridgeFolders().join(", "));
        return backend;
    }
    BridgeSetup setup;
    setup.library = backend.choice.library;
    setup.callConv = backend.choice.callConv;
    setup.bridgeProgram = backend.bridgeProgram;
    setup.launcher = windowsLauncher(check.arch);
    // Tarvel's own prefix, so that its COM port links touch no other Windows program's.
    if (!setup.launcher.isEmpty())
        setup.winePrefix = SerialPorts::winePrefix();
#ifndef Q_OS_WIN
    if (setup.launcher.isEmpty()) {
        backend.error = QString("Wine was not found; it runs %1 here (install wine%2).")
                            .arg(program, check.arch == PeArch::I686 ? " and wine32" : "");
        return backend;
    }
#endif
    backend.link = std::make_unique<BridgeLink>(setup);
    return backend;
}
