#include "Fonts.h"

#include <QDir>
#include <QFontDatabase>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <optional>

#ifdef TARVEL_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

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

#ifdef TARVEL_HAVE_FONTCONFIG
QString fromFc(const FcChar8* text) {
    return QString::fromUtf8(reinterpret_cast<const char*>(text));
}

// The fonts fontconfig knows: the system's, or those of a few folders alone.
class FontList {
  public:
    FontList() : ok_(FcInit()) {}
    explicit FontList(const QStringList& folders) : config_(FcConfigCreate()), own_(true) {
        // None of the system's rules here (Debian's reject bitmap fonts such as Fixedsys). The user's
        // cache folder spares a scan of the folders at every start; without one, a folder of our own
        // keeps fontconfig from complaining that it has nowhere to write.
        QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        if (cache.isEmpty() || !QDir().mkpath(cache + "/fontconfig"))
            cache = scratch_.emplace().path();
        else
            cache += "/fontconfig";
        QString xml = "<fontconfig><cachedir>" + cache.toHtmlEscaped() + "</cachedir>";
        for (const QString& folder : folders)
            xml += "<dir>" + folder.toHtmlEscaped() + "</dir>";
        xml += "</fontconfig>";
        const QByteArray text = xml.toUtf8();
        ok_ = config_ &&
              FcConfigParseAndLoadFromMemory(config_, reinterpret_cast<const FcChar8*>(text.constData()),
                                             FcFalse) &&
              FcConfigBuildFonts(config_);
    }
    ~FontList() {
        if (own_ && config_)
            FcConfigDestroy(config_);
    }
    FontList(const FontList&) = delete;
    FontList& operator=(const FontList&) = delete;

    QStringList files(const QString& family) const {
        QStringList files;
        if (!ok_)
            return files;
        const QByteArray name = family.toUtf8();
        FcPattern* pattern = FcPatternCreate();
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
        FcObjectSet* objects = FcObjectSetBuild(FC_FILE, FC_FAMILY, FC_FONTFORMAT, nullptr);
        FcFontSet* set = FcFontList(config_, pattern, objects);
        for (int i = 0; set && i < set->nfont; ++i) {
            FcChar8* file = nullptr;
            FcChar8* format = nullptr;
            if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch ||
                FcPatternGetString(set->fonts[i], FC_FONTFORMAT, 0, &format) != FcResultMatch)
                continue;
            // fontconfig compares families ignoring case and spaces, so "FixedSys" (a Japanese variant)
            // answers for "Fixedsys": keep the family's own files, and leave out Windows bitmap fonts.
            bool exact = false;
            FcChar8* listed = nullptr;
            for (int k = 0; FcPatternGetString(set->fonts[i], FC_FAMILY, k, &listed) == FcResultMatch; ++k)
                exact = exact || fromFc(listed) == family;
            const QString kind = fromFc(format);
            if (exact && (kind == "TrueType" || kind == "CFF"))
                files << fromFc(file);
        }
        if (set)
            FcFontSetDestroy(set);
        FcObjectSetDestroy(objects);
        FcPatternDestroy(pattern);
        files.sort(); // the same order whatever the order of a folder's entries
        return files;
    }

  private:
    FcConfig* config_ = nullptr; // null: the system's current configuration
    bool own_ = false;
    std::optional<QTemporaryDir> scratch_;
    bool ok_ = false;
};
#else
class FontList {
  public:
    FontList() = default;
    explicit FontList(const QStringList&) {}
    QStringList files(const QString&) const { return {}; }
};
#endif

// Registers a family's files with the application; returns the family's name, or an empty name when
// there is no such font.
QString addFamily(const QString& family, const QStringList& files, int& count) {
    QString name;
    for (const QString& file : files) {
        const int id = QFontDatabase::addApplicationFont(file);
        if (id < 0)
            continue;
        ++count;
        const QStringList names = QFontDatabase::applicationFontFamilies(id);
        if (name.isEmpty() && !names.isEmpty())
            name = names.first();
    }
    // Without fontconfig (Windows) these are the system's own fonts.
    if (name.isEmpty() && QFontDatabase::hasFamily(family))
        name = family;
    return name;
}

} // namespace

namespace Fonts {

QStringList wineFontFolders() {
    return {QStringLiteral("/usr/share/wine/fonts"), QStringLiteral("/usr/lib/wine/fonts"),
            QStringLiteral("/opt/wine-stable/share/wine/fonts")};
}

QStringList familyFiles(const QString& family, const QStringList& folders) {
    if (folders.isEmpty())
        return FontList().files(family);
    return FontList(folders).files(family);
}

int load(const QStringList& fallbackFolders) {
    Families& f = families();
    if (f.loaded)
        return 0;
    f.loaded = true;
    QString* found[] = {&f.tahoma, &f.marlett, &f.fixedsys};
    const QString names[] = {QStringLiteral("Tahoma"), QStringLiteral("Marlett"), QStringLiteral("Fixedsys")};
    QStringList files[3];
    const FontList system;
    bool missing = false;
    for (int i = 0; i < 3; ++i) {
        files[i] = system.files(names[i]);
        missing = missing || files[i].isEmpty();
    }
    if (missing) {
        const FontList fallback(fallbackFolders);
        for (int i = 0; i < 3; ++i) {
            if (files[i].isEmpty())
                files[i] = fallback.files(names[i]);
        }
    }
    int count = 0;
    for (int i = 0; i < 3; ++i)
        *found[i] = addFamily(names[i], files[i], count);
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
