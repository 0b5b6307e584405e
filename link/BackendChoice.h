#pragma once
// Which device link answers: the DLL named on the command line (--gbp-dll, with --gbp-callconv),
// else the one in TARVEL_GBP_DLL, else GBP.DLL in the program's data folder, else the virtual phone.
// Pure: the caller reads the command line, the environment and the data folder.
#include "BridgeProtocol.h"

#include <QString>

using BridgeProtocol::CallConv;

struct BackendOptions {
    QString dllOption;      // --gbp-dll; empty when not given
    QString callConvOption; // --gbp-callconv; empty means stdcall
    QString dllEnvironment; // TARVEL_GBP_DLL
    QString dataFolderDll;  // the data folder's GBP.DLL when it exists, else empty
};

enum class BackendSource { CommandLine, Environment, DataFolder, VirtualPhone };

struct BackendChoice {
    BackendSource source = BackendSource::VirtualPhone;
    QString library; // the DLL; empty for the virtual phone
    CallConv callConv = CallConv::Stdcall;
    QString error; // a calling convention that does not exist
};

BackendChoice chooseBackend(const BackendOptions& options);
