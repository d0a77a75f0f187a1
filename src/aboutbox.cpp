// The about box. Shown modally; each showing takes the description the main
// window left in Description.
#include "aboutbox.h"

#include "Unit1.h"
#include "platform/application.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

TAboutForm *AboutForm = nullptr;

TAboutForm::TAboutForm(QWidget *AOwner) : TForm(AOwner) {
    InitResources();
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About "));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));
    setWindowFlag(Qt::Dialog);
    setWindowModality(Qt::ApplicationModal);
    // A fixed dialog of the layout's client size.
    setFixedSize(471, 315);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, 471, 315);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet4 = new QWidget;
    TabSheet4->setObjectName(QStringLiteral("TabSheet4"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Program"));
    PageControl1->addTab(TabSheet2, QStringLiteral("QZ Graphics"));
    PageControl1->addTab(TabSheet4, QStringLiteral("DLLs"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Copyrights"));
    PageControl1->setCurrentIndex(0);

    // The program's icon and title where the launcher button will stand.
    auto *title = new QLabel(TabSheet1);
    title->setObjectName(QStringLiteral("Title"));
    title->setGeometry(24, 24, 104, 40);
    title->setText(QStringLiteral("<img src=\":/vantrel/vantrel.png\" width=32 height=32 "
                                  "align=middle>&nbsp;%1")
                       .arg(QStringLiteral("Vantrel")));

    Label2 = new QLabel(TabSheet1);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(136, 36, 130, 17);

    Label1 = new QLabel(TabSheet1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 80, 225, 185);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Button1 = new QPushButton(QStringLiteral("Close"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(296, 240, 105, 25);
    Button1->raise();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(Button1); });

    OnShow = [this](QObject *Sender) { FormShow(Sender); };
}

TAboutForm::~TAboutForm() {
    if (AboutForm == this)
        AboutForm = nullptr;
}

void TAboutForm::Button1Click(QObject *) { Close(); }

void TAboutForm::FormShow(QObject *) {
    if (QScreen *display = screen())
        move(display->availableGeometry().center() - frameGeometry().center() + pos());
    Label2->setText(QStringLiteral("Version ") + QCoreApplication::applicationVersion());
    Label1->setText(Description);
}
