// tarvel-cli: starts the application object (named as the window's, so both use the same data folder)
// and runs the command.
#include "Cli.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("Tarvel");
    QCoreApplication::setApplicationVersion(TARVEL_VERSION);
    return Cli::run(QCoreApplication::arguments());
}
