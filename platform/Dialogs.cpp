#include "Dialogs.h"

#include <QFileInfo>
#include <QStringList>

QString withDefaultSuffix(const QString& name, const QString& suffix) {
    if (suffix.isEmpty() || name.isEmpty())
        return name;
    const QString last = QFileInfo(name).fileName();
    if (last.contains('.'))
        return name;
    return name + "." + suffix;
}

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split('|');
    QStringList result;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString pattern = parts[i + 1] == "*.*" ? QString("*") : parts[i + 1];
        QString description = parts[i];
        // The description already names the pattern in brackets; Qt needs the pattern it matches on.
        const int open = description.lastIndexOf('(');
        if (open >= 0)
            description = description.left(open).trimmed();
        result << QString("%1 (%2)").arg(description, pattern);
    }
    return result;
}
