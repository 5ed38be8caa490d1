// Entry point of the offscreen widget tests: one QApplication for the run.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
    // ctest sets the platform; this lets the binary run by hand as well.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
