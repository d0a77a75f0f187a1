// The about box: the program's icon, title and version, and the description
// the main window hands it before each showing.
#pragma once

#include "platform/stdctrls.h"

#include <QString>

class QLabel;
class QPushButton;
class QTabWidget;

class TAboutForm : public TForm {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget *AOwner = nullptr);
    ~TAboutForm() override;

    QPushButton *Button1;
    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    QLabel *Label1;
    QLabel *Label2;
    QWidget *TabSheet4;

    // Written by the main window before the form is shown.
    QString Description;

    void Button1Click(QObject *Sender);
    void FormShow(QObject *Sender);
};

extern TAboutForm *AboutForm;
