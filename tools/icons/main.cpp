// tarvel-icons DIR NAME: writes the program's icon into DIR as a hicolor icon theme tree
// (DIR/NxN/apps/NAME.png for each installed size, DIR/scalable/apps/NAME.svg).
#include "ProgramIcon.h"

#include <QDir>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tarvel-icons DIR NAME\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !ProgramIcon::image(size).save(folder + "/" + name + ".png", "PNG")) {
            std::fprintf(stderr, "tarvel-icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    const QString folder = root + "/scalable/apps";
    QFile svg(folder + "/" + name + ".svg");
    const QByteArray text = ProgramIcon::svg();
    if (!QDir().mkpath(folder) || !svg.open(QIODevice::WriteOnly) || svg.write(text) != text.size() ||
        !svg.flush()) {
        std::fprintf(stderr, "tarvel-icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
