// Tarvel: starts the application, binds the device link and creates the three windows.
// tarvel [--gbp-dll PATH [--gbp-callconv stdcall|cdecl|register]] [--serial COMn=DEVICE]... [--log FILE]
//        [--version] [--help]
#include "Backend.h"
#include "BridgeLink.h"
#include "DiagnosticLog.h"
#include "ErrorReport.h"
#include "FitDialog.h"
#include "Fonts.h"
#include "GraphicFormats.h"
#include "LinkOptions.h"
#include "LinkStarter.h"
#include "LoggingLink.h"
#include "PortMapping.h"
#include "PortMenu.h"
#include "QtDialogs.h"
#include "TGIFImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDateTime>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <map>

namespace {

// --help and --version are answered before the window system is reached, so they work without a display.
bool asksForTextOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "-?" || arg == "--help-all" || arg == "-v" ||
            arg == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName("Tarvel"); // names the data folder
    QCoreApplication::setApplicationVersion(TARVEL_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription("Manages the memory sections of a Sony CMD-J5/J6/J7/J70 phone.");
    parser.addHelpOption();
    parser.addVersionOption();
    const LinkOptions linkOptions;
    const auto& [gbpDll, gbpCallConv, serial, log] = linkOptions;
    parser.addOptions({gbpDll, gbpCallConv, serial, log});
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication text(argc, argv);
        parser.process(text); // prints and exits
    }

    QApplication app(argc, argv);
    parser.process(app);
    Backend backend = makeBackend(parser.value(gbpDll), parser.value(gbpCallConv));
    QGuiApplication::setDesktopFileName(TARVEL_APP_ID); // the launcher and icon the desktop shows
    QtDialogs dialogs;
    std::map<int, QString> mappings;
    if (const QString error = PortMapping::parseOptions(parser.values(serial), mappings); !error.isEmpty())
        backend.error = error + ".";
    if (!backend.error.isEmpty()) {
        std::fprintf(stderr, "tarvel: %s\n", qPrintable(backend.error));
        showErrorReport(dialogs, nullptr, backend.error);
        return 1;
    }
    // Before the bridge starts, so that the library finds its port.
    PortMapping::Applied mapped = PortMapping::startUp(backend, mappings);
    DiagnosticLog diagnostics(DiagnosticLog::header(backend, QCoreApplication::applicationVersion(),
                                                    SerialPorts::winePrefix(), QDateTime::currentDateTime()));
    if (parser.isSet(log)) {
        if (const QString error = diagnostics.appendTo(parser.value(log)); !error.isEmpty())
            mapped.errors << error;
    }
    for (const QString& error : mapped.errors)
        std::fprintf(stderr, "tarvel: %s\n", qPrintable(error));
    LoggingLink link(*backend.link, diagnostics.sink());
    Fonts::load();

    GraphicFormats formats;
    formats.add({TGIFImage::kFileExtension, TGIFImage::kDescription, TGIFImage::kClipboardFormat});

    QSettings settings("Tarvel", "Tarvel"); // the chosen port, the file dialogs' folders, the last fit
    TForm1 form1(link, dialogs);
    form1.setWindowTitle(backend.windowTitle(form1.windowTitle()));
    form1.useSettings(&settings);
    form1.setPhoneName([&backend](uint8_t port) { return backend.phoneName(port); });
    // A picture that cannot be read is not offered: Upload goes on with the file as it is.
    form1.controller().setPictureFitter(
        [&form1, &settings](const QString& path, int32_t capacity) -> std::optional<std::vector<uint8_t>> {
            PictureLoad picture = FitDialog::readPicture(path);
            if (!picture.source)
                return std::nullopt;
            FitDialog dialog(std::move(*picture.source), capacity, &settings, &form1);
            if (dialog.exec() != QDialog::Accepted || !dialog.fitted() || !dialog.fitted()->fits)
                return std::nullopt;
            return dialog.fitted()->bytes;
        });
    TForm2 form2(&form1, form1.icons(), dialogs);
    TForm3 form3(&form1);
    form3.setBackendLines(backend.describe());
    form1.setViewDialog(&form2);
    form1.setAboutDialog(&form3);
    new PortMenu(form1, dialogs, settings, backend, diagnostics);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        form1.move(screen->availableGeometry().center() - form1.rect().center());
    form1.show();
    // The bridge starts while the user looks at the window; a library that cannot serve (not loadable,
    // an export missing) is reported as soon as that is known.
    if (BridgeLink* bridge = backend.bridge()) {
        auto* starter = new LinkStarter(*bridge, &form1);
        const QString starting = QString("Starting Wine%1").arg(QChar(0x2026));
        if (!bridge->setup().launcher.isEmpty())
            form1.setStatusPanel(2, starting);
        form1.setLinkStarting([starter] { return starter->starting(); });
        QObject::connect(starter, &LinkStarter::registryFailed, &form1,
                         [&dialogs, &form1](const QString& why) {
                             std::fprintf(stderr, "tarvel: %s\n", qPrintable(why));
                             dialogs.messageBox(&form1, {"Tarvel", why, MsgIcon::Warning});
                         });
        QObject::connect(starter, &LinkStarter::finished, &form1,
                         [&dialogs, &form1, bridge, starting](BridgeLink::StartState state) {
                             if (form1.statusPanel(2) == starting)
                                 form1.setStatusPanel(2, "Ready");
                             if (state == BridgeLink::StartState::Failed) // also on standard error
                                 showErrorReport(dialogs, &form1, bridge->lastError());
                         });
        starter->start(mapped.registry, PortMapping::wine(), SerialPorts::winePrefix());
    }
    // Told once: the mapping is kept, so the next start finds COM 1 mapped.
    for (const QString& text : mapped.notes + mapped.errors)
        QTimer::singleShot(0, &form1, [&dialogs, &form1, text, error = mapped.errors.contains(text)] {
            dialogs.messageBox(&form1, {"Tarvel", text, error ? MsgIcon::Warning : MsgIcon::Information});
        });
    const int result = QCoreApplication::exec();
    formats.clear();
    return result;
}
