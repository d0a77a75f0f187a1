// Message boxes. Tests record messages instead of showing them.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

constexpr int MB_OK = 0x0;
constexpr int MB_ICONERROR = 0x10;
constexpr int MB_ICONWARNING = 0x30;
constexpr int MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;

// Shows a message box owned by owner (may be null: the focus window is
// used); returns IDOK. MB_ICONERROR gives QMessageBox::critical.
int MessageBox(QWidget *owner, const QString &text, const QString &caption, int flags);

struct TRecordedMessage {
    QString Text;
    QString Caption;
    int Flags;
};
// While recording, MessageBox appends to the record and shows nothing.
void StartRecordingMessages();
void StopRecordingMessages();
const QList<TRecordedMessage> &RecordedMessages();
void ClearRecordedMessages();
