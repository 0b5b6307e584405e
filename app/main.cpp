// Tarvel: starts the application, binds the device link and creates the three windows.
#include "Fonts.h"
#include "GraphicFormats.h"
#include "QtDialogs.h"
#include "TGIFImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "VirtualPhone.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QSettings>

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
    QCoreApplication::setApplicationName("Tarvel"); // names the virtual phone's data folder
    QCoreApplication::setApplicationVersion(TARVEL_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription("Manages the memory sections of a Sony CMD-J5/J6/J7/J70 phone.");
    parser.addHelpOption();
    parser.addVersionOption();
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication text(argc, argv);
        parser.process(text); // prints and exits
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(TARVEL_APP_ID); // the launcher and icon the desktop shows
    parser.process(app);
    Fonts::load();

    GraphicFormats formats;
    formats.add({TGIFImage::kFileExtension, TGIFImage::kDescription, TGIFImage::kClipboardFormat});

    // The vendor library exists only on Windows; everywhere else the virtual phone answers.
    VirtualPhone phone;
    QtDialogs dialogs;

    QSettings settings("Tarvel", "Tarvel"); // the chosen port and the file dialogs' folders
    TForm1 form1(phone, dialogs);
    form1.useSettings(&settings);
    TForm2 form2(&form1, phone, form1.icons(), dialogs);
    TForm3 form3(&form1);
    form1.setViewDialog(&form2);
    form1.setAboutDialog(&form3);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        form1.move(screen->availableGeometry().center() - form1.rect().center());
    form1.show();
    const int result = QApplication::exec();
    formats.clear();
    return result;
}
