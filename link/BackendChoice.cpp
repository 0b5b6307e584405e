#include "BackendChoice.h"

BackendChoice chooseBackend(const BackendOptions& options) {
    BackendChoice choice;
    if (!options.callConvOption.isEmpty() &&
        !BridgeProtocol::parseCallConv(options.callConvOption.toStdString(), choice.callConv)) {
        choice.error = QString("Unknown calling convention \"%1\": use stdcall, cdecl or register.")
                           .arg(options.callConvOption);
        return choice;
    }
    if (!options.dllOption.isEmpty()) {
        choice.source = BackendSource::CommandLine;
        choice.library = options.dllOption;
    } else if (!options.dllEnvironment.isEmpty()) {
        choice.source = BackendSource::Environment;
        choice.library = options.dllEnvironment;
    } else if (!options.dataFolderDll.isEmpty()) {
        choice.source = BackendSource::DataFolder;
        choice.library = options.dataFolderDll;
    }
    return choice;
}
