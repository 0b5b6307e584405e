#pragma once
// The command-line options both programs take for the link to the phone, with one set of texts.
#include <QCommandLineOption>

struct LinkOptions {
    const QCommandLineOption gbpDll{"gbp-dll",
                                    "Talks to the phone through the service library PATH (GBP.DLL).", "PATH"};
    const QCommandLineOption gbpCallConv{
        "gbp-callconv", "The library's calling convention: stdcall (the default), cdecl or register.",
        "NAME"};
    const QCommandLineOption serial{
        "serial", "Links COM n of Tarvel's Wine prefix to DEVICE, and keeps it (may be repeated).",
        "COMn=DEVICE"};
    const QCommandLineOption log{
        "log", "Appends a diagnostic log (what Tarvel talks to, then every link call) to FILE.", "FILE"};
};
