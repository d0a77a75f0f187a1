#include "platform/messages.h"

#include <QApplication>
#include <QMessageBox>
#include <QWidget>

namespace {
bool GRecording = false;
QList<TRecordedMessage> GRecorded;
}

int MessageBox(QWidget *owner, const QString &text, const QString &caption, int flags)
{
    if (GRecording) {
        GRecorded.append({text, caption, flags});
        return IDOK;
    }
    if (!owner) {
        if (QWidget *focus = QApplication::focusWidget())
            owner = focus->window();
        else
            owner = QApplication::activeWindow();
    }
    // The icon bits are a field of their own (0x70), not independent flags.
    switch (flags & 0x70) {
    case MB_ICONERROR:
        QMessageBox::critical(owner, caption, text);
        break;
    case MB_ICONWARNING:
        QMessageBox::warning(owner, caption, text);
        break;
    case MB_ICONINFORMATION:
        QMessageBox::information(owner, caption, text);
        break;
    default: {
        QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
        box.exec();
        break;
    }
    }
    return IDOK;
}

void StartRecordingMessages()
{
    GRecording = true;
}

void StopRecordingMessages()
{
    GRecording = false;
}

const QList<TRecordedMessage> &RecordedMessages()
{
    return GRecorded;
}

void ClearRecordedMessages()
{
    GRecorded.clear();
}
