#pragma once
// The device link the program binds at start (BackendChoice.h says which), with what the window title,
// the About dialog and --version tell the user about it.
#include "BackendChoice.h"
#include "GBPCtrl.h"
#include "PeHeader.h"

#include <QString>
#include <QStringList>
#include <memory>

class BridgeLink;

struct Backend {
    std::unique_ptr<GBPCtrl> link; // null when error is set
    BackendChoice choice;
    QString error;              // why the chosen library cannot be used: a sentence for the user
    PeArch arch = PeArch::None; // the library's processor
    QString bridgeProgram;      // the bridge that loads it
    QString phoneFolder;        // the virtual phone's folder

    bool isVirtualPhone() const { return choice.source == BackendSource::VirtualPhone; }
    // "virtual phone", or "GBP.DLL through the bridge (i686, stdcall)".
    QString name() const;
    // The library's path, or the virtual phone's folder.
    QString location() const;
    // Two lines for the About dialog and --version: the backend and its location.
    QStringList describe() const;
    // The link as a bridge to the library; null for the virtual phone.
    BridgeLink* bridge() const;
    // The name of the phone on port, for the folder of its automatic backups: the virtual phone's folder,
    // or the library and the port ("virtual-phone-1a2b3c4d", "GBP.DLL-COM1-5e6f7a8b").
    QString phoneName(uint8_t port) const;
    // The main window's title: base, with " (virtual phone)" while the virtual phone is bound.
    QString windowTitle(const QString& base) const;
};

// Binds the backend from the command line's values (empty when not given), TARVEL_GBP_DLL and the data
// folder. Starts nothing: the bridge starts on the first call.
Backend makeBackend(const QString& dllOption, const QString& callConvOption);
// The virtual phone in folder (empty: its default folder).
Backend virtualPhoneBackend(const QString& folder = {});

// Where a GBP.DLL is looked for when neither the command line nor the environment names one.
QString dataFolderLibrary();
// Folders searched for gbp-bridge-<arch>.exe, in order.
QStringList bridgeFolders();
// What runs a Windows program of that architecture here: nothing on Windows, else Wine (TARVEL_WINE
// overrides it); empty when Wine is not found.
QStringList windowsLauncher(PeArch arch);
