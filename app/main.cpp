// Tarvel: starts the application, binds the device link and creates the three windows.
// tarvel [--gbp-dll PATH [--gbp-callconv stdcall|cdecl|register]] [--version] [--help]
#include "Backend.h"
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
#include <QTimer>
#include <cstdio>
#include <memory>

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
    const QCommandLineOption version({"v", "version"}, "Displays version information and the device link.");
    const QCommandLineOption gbpDll("gbp-dll",
                                    "Talks to the phone through the service library PATH (GBP.DLL).", "PATH");
    const QCommandLineOption gbpCallConv(
        "gbp-callconv", "The library's calling convention: stdcall (the default), cdecl or register.",
        "NAME");
    parser.addOptions({version, gbpDll, gbpCallConv});

    std::unique_ptr<QCoreApplication> app;
    if (asksForTextOnly(argc, argv))
        app = std::make_unique<QCoreApplication>(argc, argv);
    else
        app = std::make_unique<QApplication>(argc, argv);
    parser.process(*app); // --help prints and exits
    Backend backend = makeBackend(parser.value(gbpDll), parser.value(gbpCallConv));
    if (parser.isSet(version)) {
        const QString link =
            backend.error.isEmpty() ? backend.describe().join('\n') : "Device link: " + backend.error;
        std::printf("Tarvel %s\n%s\n", TARVEL_VERSION, qPrintable(link));
        return backend.error.isEmpty() ? 0 : 1;
    }

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

    TForm1 form1(*backend.link, dialogs);
    form1.setWindowTitle(backend.windowTitle(form1.windowTitle()));
    TForm2 form2(form1, dialogs);
    TForm3 form3(&form1);
    form3.setBackendLines(backend.describe());
    form1.setViewDialog(&form2);
    form1.setAboutDialog(&form3);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        form1.move(screen->availableGeometry().center() - form1.rect().center());
    form1.show();
    // A library that cannot serve (not loadable, an export missing) is reported once the window shows.
    if (!backend.isVirtualPhone()) {
        QTimer::singleShot(0, &form1, [&] {
            const QString problem = backend.startBridge();
            if (!problem.isEmpty()) {
                std::fprintf(stderr, "tarvel: %s\n", qPrintable(problem));
                showErrorReport(dialogs, &form1, problem);
            }
        });
    }
    const int result = QCoreApplication::exec();
    formats.clear();
    return result;
}
