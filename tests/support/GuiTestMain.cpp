// Entry point of the GUI test programs: one QApplication on the offscreen platform for all tests.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("TarvelTests");
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
