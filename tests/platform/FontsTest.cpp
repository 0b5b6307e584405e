#include "Fonts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// fontconfig reads each file's family, so the program finds its fonts whatever the files are called.
TEST(Fonts, FindsAFamilyInAFolderByItsNameWhateverItsFilesAreCalled) {
#ifdef _WIN32
    GTEST_SKIP()
        << "Windows has these fonts as system fonts and needs no fontconfig; the Linux build runs this";
#endif
    const QString wine = "/usr/share/wine/fonts";
    if (!QFile::exists(wine + "/tahoma.ttf"))
        GTEST_SKIP() << "fonts-wine is not installed";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toUtf8()); // fontconfig's cache of the test folder

    const QString fonts = dir.filePath("fonts");
    QDir().mkpath(fonts);
    ASSERT_TRUE(QFile::copy(wine + "/tahoma.ttf", fonts + "/a.ttf"));
    ASSERT_TRUE(QFile::copy(wine + "/tahomabd.ttf", fonts + "/b.ttf"));
    ASSERT_TRUE(QFile::copy(wine + "/fixedsys.ttf", fonts + "/c.ttf"));
    ASSERT_TRUE(QFile::copy(wine + "/fixedsys_jp.ttf", fonts + "/d.ttf")); // family "FixedSys"
    ASSERT_TRUE(QFile::copy(wine + "/vgafix.fon", fonts + "/e.fon"));      // a bitmap "Fixedsys"

    EXPECT_EQ(Fonts::familyFiles("Tahoma", {fonts}), QStringList({fonts + "/a.ttf", fonts + "/b.ttf"}));
    EXPECT_EQ(Fonts::familyFiles("Fixedsys", {fonts}), QStringList({fonts + "/c.ttf"}));
    EXPECT_EQ(Fonts::familyFiles("Marlett", {fonts}), QStringList());
    EXPECT_EQ(Fonts::familyFiles("Tahoma", {dir.filePath("missing")}), QStringList());
    EXPECT_TRUE(Fonts::wineFontFolders().contains(wine));

    qputenv("XDG_CACHE_HOME", oldCache);
    if (oldCache.isNull())
        qunsetenv("XDG_CACHE_HOME");
}
