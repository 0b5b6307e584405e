// The parts of FileIO that are the same on every system: the names it gives its temporary files, and
// the form of a path Windows' file functions take.
#include "FileIO.h"

#include <QDir>
#include <QRegularExpression>

namespace {

// ".NAME.tarvel-PID-XXXXXX": hidden, beside the file it becomes, naming the process that writes it.
const QRegularExpression& temporaryPattern() {
    static const QRegularExpression pattern(QStringLiteral("^\\..*\\.tarvel-(\\d+)-[A-Za-z0-9]{6}$"));
    return pattern;
}

// CreateDirectoryW's limit, the lowest of the file functions'.
constexpr int kShortPathLimit = 260 - 12;

} // namespace

namespace FileIO {

bool isTemporaryName(const QString& name) {
    return temporaryPattern().match(name).hasMatch();
}

std::optional<qint64> temporaryOwner(const QString& name) {
    const QRegularExpressionMatch m = temporaryPattern().match(name);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 pid = m.captured(1).toLongLong(&ok);
    return ok ? std::optional<qint64>(pid) : std::nullopt;
}

QString windowsPath(const QString& absolutePath) {
    if (absolutePath.startsWith(QLatin1String("\\\\?\\")))
        return absolutePath; // already in the long form, which takes every character as it stands
    QString path = QString(absolutePath).replace('\\', '/');
    if (path.size() < kShortPathLimit)
        return path.replace('/', '\\');
    // The long form is taken literally: "." and ".." must be gone.
    const bool share = path.startsWith(QLatin1String("//"));
    QString clean = QDir::cleanPath(share ? path.mid(2) : path).replace('/', '\\');
    return (share ? QLatin1String("\\\\?\\UNC\\") : QLatin1String("\\\\?\\")) + clean;
}

} // namespace FileIO
