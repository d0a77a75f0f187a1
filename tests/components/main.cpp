// Component tests run on the offscreen platform with the Fusion style and its
// palette, so grabbed pixels are the same on every machine.
#include <QApplication>
#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    QApplication::setPalette(QApplication::style()->standardPalette());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
