// Tarvel: starts the application, binds the device link and creates the three windows.
// tarvel [--gbp-dll PATH [--gbp-callconv stdcall|cdecl|register]] [--serial COMn=DEVICE]... [--version] [--help]
#include "Backend.h"
#include "BridgeLink.h"
#include "ErrorReport.h"
#include "Fonts.h"
#include "GraphicFormats.h"
#include "PortMapDialog.h"
#include "PortMapping.h"
#include "QtDialogs.h"
#include "TGIFImage.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QApplication>
#include <QAction>
#include <QCommandLineParser>
#include <QMenu>
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

// The port list's "Serial device for COM n..." entry: the dialog, then the link in the prefix.
void addPortMapping(TForm1& form, QSettings& settings, Dialogs& dialogs) {
    QAction* action = form.portMenu()->addAction(QString());
    action->setObjectName("mnuPortMapping");
    QObject::connect(form.portMenu(), &QMenu::aboutToShow, action, [&form, action] {
        action->setText(QString("Serial device for COM %1%2").arg(form.chosenPort()).arg(QChar(0x2026)));
    });
    QObject::connect(action, &QAction::triggered, &form, [&form, &settings, &dialogs] {
        const int com = form.chosenPort();
        const QString prefix = SerialPorts::winePrefix();
        PortMapDialog dialog(com, SerialPorts::listMachine(), SerialPorts::mappedDevice(prefix, com), &form);
        if (dialog.exec() != QDialog::Accepted)
            return;
        const QString error = PortMapping::set(prefix, settings, com, dialog.device());
        if (!error.isEmpty())
            dialogs.messageBox(&form, {"Tarvel", error, MsgIcon::Warning});
    });
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
    const QCommandLineOption serial(
        "serial", "Links COM n of Tarvel's Wine prefix to DEVICE, and keeps it (may be repeated).", "COMn=DEVICE");
    parser.addOptions({gbpDll, gbpCallConv, serial});
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
    for (const QString& text : parser.values(serial)) {
        int com = 0;
        QString device;
        if (!SerialPorts::parseMapping(text, com, device))
            backend.error = QString("--serial takes COMn=DEVICE, n from 1 to 8, such as COM1=/dev/ttyUSB0; not "
                                    "'%1'.").arg(text);
        mappings[com] = device;
    }
#ifdef Q_OS_WIN
    if (!mappings.empty())
        backend.error = "--serial maps ports in Wine; on Windows the COM ports are the system's own.";
#endif
    if (!backend.error.isEmpty()) {
        std::fprintf(stderr, "tarvel: %s\n", qPrintable(backend.error));
        showErrorReport(dialogs, nullptr, backend.error);
        return 1;
    }
    // Before the bridge starts, so that the library finds its port.
    const PortMapping::Applied mapped = PortMapping::startUp(backend, mappings);
    for (const QString& error : mapped.errors)
        std::fprintf(stderr, "tarvel: %s\n", qPrintable(error));
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
        const bool underWine = !bridge->setup().launcher.isEmpty();
        const QString starting = QString("Starting Wine%1").arg(QChar(0x2026));
        if (underWine) {
            form1.setStatusPanel(2, starting);
            addPortMapping(form1, settings, dialogs);
        }
        form1.setLinkStarting([bridge] { return bridge->pollStart() == BridgeLink::StartState::Pending; });
        auto* poll = new QTimer(&form1);
        QObject::connect(poll, &QTimer::timeout, &form1, [&dialogs, &form1, bridge, poll, starting] {
            const BridgeLink::StartState state = bridge->pollStart();
            if (state == BridgeLink::StartState::Pending)
                return;
            poll->stop();
            if (form1.statusPanel(2) == starting)
                form1.setStatusPanel(2, "Ready");
            if (state == BridgeLink::StartState::Failed) // BridgeLink has written it on standard error
                showErrorReport(dialogs, &form1, bridge->lastError());
        });
        poll->start(100);
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
