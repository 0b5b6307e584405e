// Tarvel: starts the application, binds the device link and creates the three windows.
// tarvel [--gbp-dll PATH [--gbp-callconv stdcall|cdecl|register]] [--version] [--help]
#include "Backend.h"
#include "BridgeLink.h"
#include "ErrorReport.h"
#include "Fonts.h"
#include "GraphicFormats.h"
#include "QtDialogs.h"
#include "TGIFImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <cstdio>

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
    const QCommandLineOption gbpDll("gbp-dll",
                                    "Talks to the phone through the service library PATH (GBP.DLL).", "PATH");
    const QCommandLineOption gbpCallConv(
        "gbp-callconv", "The library's calling convention: stdcall (the default), cdecl or register.",
        "NAME");
    parser.addOptions({gbpDll, gbpCallConv});
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication text(argc, argv);
        parser.process(text); // prints and exits
    }

    QApplication app(argc, argv);
    parser.process(app);
    Backend backend = makeBackend(parser.value(gbpDll), parser.value(gbpCallConv));
    QGuiApplication::setDesktopFileName(TARVEL_APP_ID); // the launcher and icon the desktop shows
    QtDialogs dialogs;
    if (!backend.error.isEmpty()) {
        std::fprintf(stderr, "tarvel: %s\n", qPrintable(backend.error));
        showErrorReport(dialogs, nullptr, backend.error);
        return 1;
    }
    Fonts::load();

    GraphicFormats formats;
    formats.add({TGIFImage::kFileExtension, TGIFImage::kDescription, TGIFImage::kClipboardFormat});

    QSettings settings("Tarvel", "Tarvel"); // the chosen port and the file dialogs' folders
    TForm1 form1(*backend.link, dialogs);
    form1.setWindowTitle(backend.windowTitle(form1.windowTitle()));
    form1.useSettings(&settings);
    form1.setPhoneName([&backend](uint8_t port) { return backend.phoneName(port); });
    TForm2 form2(&form1, *backend.link, form1.icons(), dialogs);
    TForm3 form3(&form1);
    form3.setBackendLines(backend.describe());
    form1.setViewDialog(&form2);
    form1.setAboutDialog(&form3);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        form1.move(screen->availableGeometry().center() - form1.rect().center());
    form1.show();
    // The bridge starts while the user looks at the window; a library that cannot serve (not loadable,
    // an export missing) is reported as soon as that is known.
    if (BridgeLink* bridge = backend.bridge()) {
        bridge->launch();
        auto* poll = new QTimer(&form1);
        QObject::connect(poll, &QTimer::timeout, &form1, [&dialogs, &form1, bridge, poll] {
            const BridgeLink::StartState state = bridge->pollStart();
            if (state == BridgeLink::StartState::Pending)
                return;
            poll->stop();
            if (state == BridgeLink::StartState::Failed) // BridgeLink has written it on standard error
                showErrorReport(dialogs, &form1, bridge->lastError());
        });
        poll->start(100);
    }
    const int result = QCoreApplication::exec();
    formats.clear();
    return result;
}
