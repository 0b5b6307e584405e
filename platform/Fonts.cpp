#include "Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace {

struct Families {
    bool loaded = false;
    QString tahoma;
    QString marlett;
    QString fixedsys;
};

// Set once at start, read by every window afterwards.
Families& families() {
    static Families f;
    return f;
}

QString addFont(const QString& path, int& count) {
    const int id = QFontDatabase::addApplicationFont(path);
    if (id < 0)
        return {};
    ++count;
    const QStringList names = QFontDatabase::applicationFontFamilies(id);
    return names.isEmpty() ? QString() : names.first();
}

} // namespace

namespace Fonts {

int load(const QString& folder) {
    Families& f = families();
    if (f.loaded)
        return 0;
    f.loaded = true;
    int count = 0;
    f.tahoma = addFont(folder + "/tahoma.ttf", count);
    addFont(folder + "/tahomabd.ttf", count);
    f.marlett = addFont(folder + "/marlett.ttf", count);
    f.fixedsys = addFont(folder + "/fixedsys.ttf", count);
    return count;
}

QFont tahoma(int pixelSize, bool bold) {
    QFont font = families().tahoma.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                                             : QFont(families().tahoma);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferDefault);
    return font;
}

bool haveMarlett() {
    return !families().marlett.isEmpty();
}

QFont marlett(int pixelSize, bool bold) {
    QFont font = haveMarlett() ? QFont(families().marlett) : tahoma(pixelSize, bold);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

QFont fixedsys() {
    QFont font = families().fixedsys.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                                               : QFont(families().fixedsys);
    font.setPixelSize(15);
    font.setFixedPitch(true);
    return font;
}

} // namespace Fonts
