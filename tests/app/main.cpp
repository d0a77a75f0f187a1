// The main window's tests run on the offscreen platform with the Fusion style
// and its palette, inside the program's own application object, so an
// exception that escapes a handler is reported as the program reports it.
//
// "app_tests --save-as-child PICTURE TARGET" runs one save as the calling
// process, for the tests that need an unprivileged user.
#include "appfixture.h"
#include "platform/application.h"

#include <QStyle>
#include <QStyleFactory>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    TApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(QApplication::style()->standardPalette());
    if (argc == 4 && std::strcmp(argv[1], "--save-as-child") == 0)
        return RunSaveAsChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
