#pragma once
// tarvel-cli: the section operations from the command line, on the same core and link as the window.
#include "Backend.h"
#include "CliReport.h"
#include "GBPCtrl.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace Cli {

struct Options {
    uint8_t port = 1;
    QString phoneDir;    // the virtual phone's folder; empty: its default
    QString gbpDll;      // --gbp-dll: the phone's service library
    QString gbpCallConv; // --gbp-callconv: its calling convention
    bool yes = false;
    bool json = false;
    bool verbose = false;
    bool probe = false; // doctor: enter GBP mode on the port and leave it
    QString logFile;    // --log: the diagnostic log's file
    // fit, and write --fit: the budget (--bytes or --section), --size WxH, --colors, --no-dither,
    // --allow-drop, as given.
    bool fit = false;
    QString fitBytes, fitSection, fitSize, fitColors;
    bool noDither = false;
    bool allowDrop = false;
};

// The device link the commands talk through, as the window chooses it (Backend.h): the service library
// through the bridge, else the virtual phone; --phone-dir names the virtual phone's folder and so
// chooses the virtual phone. backend.error says why a library cannot be used.
Backend makeLink(const Options& options);
// What makeLink gives, for --version: the backend and the library's path or the phone's folder.
QString linkDescription(const Backend& backend);

// Runs the program on its arguments (the program's name first) and returns the exit code. Output goes
// to stdout, progress, logs and errors to stderr; questions are read from stdin when it is a terminal.
int run(const QStringList& arguments);

} // namespace Cli
