// main() for test programs that use real widgets: one QApplication for all tests, off screen unless the
// caller chose a platform.
#include "core/program.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(core::kProductName)); // as the program names itself
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
