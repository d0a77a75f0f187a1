#include "platform/application.h"

#include "platform/messages.h"

#include <cstdio>

namespace {
TApplication *GApplication = nullptr;
}

EPlatformError::EPlatformError(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    GApplication = this;
}

TApplication::~TApplication()
{
    if (GApplication == this)
        GApplication = nullptr;
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    // Qt cannot unwind through its event loop, so an exception is stopped at
    // the delivery of the one event; the program goes on with the next.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowException(e);
    } catch (...) {
        ShowException(std::runtime_error("Unknown exception"));
    }
    return false;
}

void TApplication::ShowException(const std::exception &error)
{
    // A message box runs a nested loop; an exception raised while it is up
    // is shown after it, never inside it.
    MessageBox(nullptr, QString::fromUtf8(error.what()), Title(), MB_ICONERROR);
}

QString TApplication::ExeName()
{
    return QCoreApplication::applicationFilePath();
}

TApplication *Application()
{
    return GApplication;
}

void ShowExceptionMessage(const std::exception &error)
{
    if (TApplication *app = Application()) {
        app->ShowException(error);
        return;
    }
    if (qobject_cast<QApplication *>(QCoreApplication::instance())) {
        MessageBox(nullptr, QString::fromUtf8(error.what()), QApplication::applicationDisplayName(), MB_ICONERROR);
        return;
    }
    std::fprintf(stderr, "%s\n", error.what());
}
