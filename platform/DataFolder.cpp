#include "DataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace DataFolder {

QString path() {
    const QString home = qEnvironmentVariable("TARVEL_DATA_HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home + "/" + QCoreApplication::applicationName());
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

} // namespace DataFolder
