#include "platform/cursor.h"

#include <QApplication>
#include <QCursor>

TBusyCursor::TBusyCursor() {
    if (qApp)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

TBusyCursor::~TBusyCursor() {
    if (qApp)
        QApplication::restoreOverrideCursor();
}
