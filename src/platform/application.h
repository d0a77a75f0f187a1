// The application object: QApplication with the standard exception dialog.
// An exception that escapes an event handler is shown in an error message
// box and the program goes on.
#pragma once

#include <QApplication>
#include <QIcon>
#include <stdexcept>
#include <string>

// The platform's exception class.
class EPlatformError : public std::runtime_error {
public:
    explicit EPlatformError(const QString &message);
    QString Message() const { return QString::fromUtf8(what()); }
};

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    ~TApplication() override;

    // Delivers events; exceptions from handlers go to ShowException.
    bool notify(QObject *receiver, QEvent *event) override;

    // The standard exception dialog (through MessageBox, so tests record it).
    void ShowException(const std::exception &error);

    QString Title() const { return applicationDisplayName(); }
    void SetTitle(const QString &title) { setApplicationDisplayName(title); }
    QIcon Icon() const { return windowIcon(); }
    void SetIcon(const QIcon &icon) { setWindowIcon(icon); }
    // Full path of the running program.
    static QString ExeName();
};

// The running application object, or null.
TApplication *Application();

// Runs fn; an exception that escapes it is shown with the standard
// exception dialog. Returns false when one did.
template <typename Fn>
bool GuardedCall(Fn &&fn);

void ShowExceptionMessage(const std::exception &error);

template <typename Fn>
bool GuardedCall(Fn &&fn) {
    try {
        fn();
        return true;
    } catch (const std::exception &e) {
        ShowExceptionMessage(e);
    }
    return false;
}
