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
#include <cstring>
#include <memory>

namespace {

// --help and --version print and end: they need no display.
bool printsOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        for (const char* option : {"-h", "--help", "-?", "-v", "--version"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> app = printsOnly(argc, argv)
                                                ? std::make_unique<QCoreApplication>(argc, argv)
                                                : std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setApplicationName("Tarvel"); // names the data folder
    QCoreApplication::setApplicationVersion("8.0");

    QCommandLineParser parser;
    parser.setApplicationDescription("Tarvel: the NVM sections of a Sony CMD-J5/J6/J7/J70 phone.");
    parser.addHelpOption();
    const QCommandLineOption version({"v", "version"}, "Shows the version and the device link in use.");
    const QCommandLineOption gbpDll("gbp-dll",
                                    "Talks to the phone through the vendor library PATH (GBP.DLL).", "PATH");
    const QCommandLineOption gbpCallConv(
        "gbp-callconv", "The library's calling convention: stdcall (the default), cdecl or register.",
        "NAME");
    parser.addOptions({version, gbpDll, gbpCallConv});
    parser.process(*app);

    Backend backend = makeBackend(parser.value(gbpDll), parser.value(gbpCallConv));
    if (parser.isSet(version)) {
        std::printf("Tarvel 8.0\n%s\n",
                    qPrintable(backend.error.isEmpty() ? backend.describe().join('\n')
                                                       : "Device link: " + backend.error));
        return backend.error.isEmpty() ? 0 : 1;
    }
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
