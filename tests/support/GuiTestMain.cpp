// Entry point of the GUI test programs: one QApplication on the offscreen platform for all tests, with
// the application-data folder in a temporary folder.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Application data (automatic backups) of the tests stays out of the user's own folders.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    qputenv("TARVEL_DATA_HOME", QFile::encodeName(dataHome.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName("TarvelTests");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
