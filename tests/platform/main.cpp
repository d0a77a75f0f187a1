// Platform tests run on the offscreen platform with the Fusion style and its
// palette, so grabbed pixels are the same on every machine. The application
// object is the program's own, so its exception handling is what is tested.
#include "platform/application.h"

#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setPalette(QApplication::style()->standardPalette());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
