// The main window: opens one picture, writes it at the eight qualities of the
// ladder, shows the variants and a preview at the slider's quality, crops the
// working bitmap and saves the preview the user looked at.
#include "Unit1.h"

#include "aboutbox.h"
#include "components/TempFolder.h"
#include "components/anyimage.h"
#include "components/dragshape.h"
#include "components/thumb.h"
#include "platform/application.h"
#include "platform/cursor.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/messages.h"

#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>
#include <cstdio>
#include <cstring>

const QString AppName = QStringLiteral("Vantrel");

char WorkFiles[WorkFileCount][WorkFileNameSize];
const int32_t Qualities[VariantCount] = {10, 20, 30, 40, 50, 60, 70, 80};
int32_t VariantSizes[VariantCount];
int32_t PreviewSize;
ImageInfo CurrentInfo;

TForm1 *Form1 = nullptr;

void InitResources() {
    // The icons are compiled into this static library; a linker keeps them
    // only when asked to.
    static const bool registered = [] {
        Q_INIT_RESOURCE(vantrel);
        return true;
    }();
    (void)registered;
}

namespace {

const char *const SettingsKey = "\\Software\\QZ";
constexpr int JpegFormat = 2;

// The folder the dialogs start in when nothing is stored yet.
QString DefaultFolder() { return QDir::homePath(); }

// The temporary folder as the environment names it, without the 255-character
// limit of the component's buffer, so an over-long one is seen as such.
QString FullTempFolder() {
    std::string folder = ExpandEnvironment("%temp%");
    if (folder == "%temp%")
        folder = ExpandEnvironment("%tmp%");
    QString path = QString::fromStdString(folder);
    return IncludeTrailingPathDelimiter(path);
}

} // namespace

TForm1::TForm1(QWidget *AOwner) : TForm(AOwner) {
    BuildControls();

    FSettings = std::make_unique<TRegIniFile>(QString::fromLatin1(SettingsKey));
    FSettings->WriteString(AppName, QStringLiteral("Program"), TApplication::ExeName());
    FRestoredBounds.setWidth(FSettings->ReadInteger(AppName, QStringLiteral("Width"), 512));
    FRestoredBounds.setHeight(FSettings->ReadInteger(AppName, QStringLiteral("Height"), 360));
    FRestoredBounds.moveTop(FSettings->ReadInteger(AppName, QStringLiteral("Top"), 40));
    FRestoredBounds.moveLeft(FSettings->ReadInteger(AppName, QStringLiteral("Left"), 60));
    RestoreBounds();
    load->SetInitialDir(FSettings->ReadString(AppName, QStringLiteral("Load"), DefaultFolder()));
    save->SetInitialDir(FSettings->ReadString(AppName, QStringLiteral("Save"), DefaultFolder()));

    FThumbs = {Thumbnail1, Thumbnail2, Thumbnail3, Thumbnail4,
               Thumbnail5, Thumbnail6, Thumbnail7, Thumbnail8};
    FLabels = {Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8};

    FormatWorkFiles();
}

TForm1::~TForm1() = default;

void TForm1::RestoreBounds() {
    SetWidth(FRestoredBounds.width());
    SetHeight(FRestoredBounds.height());
    SetTop(FRestoredBounds.top());
    SetLeft(FRestoredBounds.left());
}

void TForm1::BuildControls() {
    InitResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Vantrel"));
    setWindowIcon(QIcon(QStringLiteral(":/vantrel/vantrel.png")));
    // The layout's own bounds; the settings replace them.
    SetLeft(354);
    SetTop(177);
    SetWidth(669);
    SetHeight(551);

    load = new TOpenDialog(this);
    load->setObjectName(QStringLiteral("load"));
    load->SetDefaultExt(QStringLiteral("jpg"));
    load->SetFilter(QStringLiteral("Jpeg File|*.jpg|Any File|*.*"));
    save = new TSaveDialog(this);
    save->setObjectName(QStringLiteral("save"));
    save->SetDefaultExt(QStringLiteral("jpg"));
    save->SetFilter(QStringLiteral("JPeg File|*.jpg"));

    Panel3 = new QFrame(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFrameShape(QFrame::NoFrame);
    Panel3->setAccessibleName(QStringLiteral("Panel3"));

    ScrollBox1 = new TScrollBox(Panel3);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    AnyImage1 = new TAnyImage(ScrollBox1->Content());
    AnyImage1->setObjectName(QStringLiteral("AnyImage1"));
    AnyImage1->SetBounds(0, 0, 409, 369);
    AnyImage1->SetAutoSize(true);
    AnyImage1->WriteCenterOnParent(false);

    DragShape1 = new TDragShape(ScrollBox1->Content());
    DragShape1->setObjectName(QStringLiteral("DragShape1"));
    DragShape1->SetBounds(0, 0, 305, 249);
    TBrush clearBrush;
    clearBrush.Style = bsClear;
    DragShape1->SetBrush(clearBrush);
    TPen whitePen;
    whitePen.Color = Qt::white;
    DragShape1->SetPen(whitePen);
    DragShape1->SetVisible(false);

    Panel1 = new QFrame(Panel3);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);

    auto makeButton = [this](const char *name, const QString &caption, QRect bounds,
                             void (TForm1::*handler)(QObject *)) {
        auto *button = new QPushButton(caption, Panel1);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(bounds);
        connect(button, &QPushButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
        return button;
    };
    Button1 = makeButton("Button1", QStringLiteral("Open Image"), QRect(16, 48, 129, 25), &TForm1::loaditClick);
    Button2 = makeButton("Button2", QStringLiteral("Save Image"), QRect(320, 48, 137, 25), &TForm1::saveitClick);
    Button3 = makeButton("Button3", QStringLiteral("About"), QRect(184, 48, 105, 25), &TForm1::About1Click);

    TrackBar1 = new TTrackBar(Panel1);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setGeometry(8, 4, 257, 41);
    TrackBar1->setOrientation(Qt::Horizontal);
    TrackBar1->SetMin(5);
    TrackBar1->SetMax(95);
    TrackBar1->SetPosition(50);
    TrackBar1->SetFrequency(5);
    TrackBar1->SetPageSize(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->OnChange = [this](QObject *Sender) { TrackBar1Change(Sender); };

    ScrollBox2 = new TScrollBox(this);
    ScrollBox2->setObjectName(QStringLiteral("ScrollBox2"));
    static const int thumbTops[VariantCount] = {0, 150, 300, 450, 600, 752, 904, 1056};
    static const int labelTops[VariantCount] = {128, 280, 432, 576, 728, 880, 1032, 1184};
    TThumbnail *thumbs[VariantCount];
    QLabel *labels[VariantCount];
    auto makeThumb = [&](int i) {
        auto *thumb = new TThumbnail(ScrollBox2->Content());
        thumb->setObjectName(QStringLiteral("Thumbnail%1").arg(i + 1));
        thumb->SetBounds(0, thumbTops[i], 128, 128);
        thumb->WriteBitmapSize(120);
        thumb->WriteShowLabel(false);
        thumb->SetTag(i);
        thumb->OnClick = [this](QObject *Sender) { Thumbnail1Click(Sender); };
        thumbs[i] = thumb;
    };
    auto makeLabel = [&](int i) {
        auto *label = new QLabel(QStringLiteral("..."), ScrollBox2->Content());
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setGeometry(i == 1 ? -3 : 0, labelTops[i], 129, 17);
        label->setAlignment(Qt::AlignCenter);
        labels[i] = label;
    };
    // Created in the stored order: the first two pairs, then the other
    // thumbnails, then the other captions.
    makeThumb(0);
    makeLabel(0);
    makeThumb(1);
    makeLabel(1);
    for (int i = 2; i < VariantCount; ++i)
        makeThumb(i);
    for (int i = 2; i < VariantCount; ++i)
        makeLabel(i);
    ScrollBox2->UpdateRange();
    Thumbnail1 = thumbs[0];
    Thumbnail2 = thumbs[1];
    Thumbnail3 = thumbs[2];
    Thumbnail4 = thumbs[3];
    Thumbnail5 = thumbs[4];
    Thumbnail6 = thumbs[5];
    Thumbnail7 = thumbs[6];
    Thumbnail8 = thumbs[7];
    Label1 = labels[0];
    Label2 = labels[1];
    Label3 = labels[2];
    Label4 = labels[3];
    Label5 = labels[4];
    Label6 = labels[5];
    Label7 = labels[6];
    Label8 = labels[7];

    crop = makeButton("crop", QStringLiteral("Crop"), QRect(352, 8, 49, 25), &TForm1::cropClick);
    crop->setEnabled(false);
    Button4 = makeButton("Button4", QStringLiteral("Crop Image"), QRect(272, 8, 73, 25), &TForm1::Button4Click);
    Button5 = makeButton("Button5", QStringLiteral("Cancel"), QRect(408, 8, 49, 25), &TForm1::Button5Click);
    Button5->setEnabled(false);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(23);
    StatusBar1->SetSimpleText(QStringLiteral("..."));

    TempFolder1 = new TTempFolder(this);
    TempFolder1->SetName(QStringLiteral("TempFolder1"));

    // Alignment: the status bar along the bottom, the thumbnail strip along
    // the right edge above it, Panel3 in the rest; inside Panel3 the button
    // panel along the bottom and the preview's scroll box above it.
    auto *panelLayout = new QVBoxLayout(Panel3);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    panelLayout->addWidget(ScrollBox1, 1);
    Panel1->setFixedHeight(82);
    panelLayout->addWidget(Panel1);

    auto *row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    row->addWidget(Panel3, 1);
    ScrollBox2->setFixedWidth(149);
    row->addWidget(ScrollBox2);

    auto *formLayout = new QVBoxLayout(this);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->setSpacing(0);
    formLayout->addLayout(row, 1);
    formLayout->addWidget(StatusBar1);

    OnClose = [this](QObject *Sender, TCloseAction &Action) { FormClose(Sender, Action); };
    // Before the first showing the window has no frame, so the outer bounds
    // set by the constructor were the client's; set them once more now, or
    // the window would grow by its frame at every start.
    OnShow = [this](QObject *) {
        if (!FBoundsPending)
            return;
        FBoundsPending = false;
        QTimer::singleShot(0, this, [this] { RestoreBounds(); });
    };
}

void TForm1::FormatWorkFiles() {
    std::memset(WorkFiles, 0, sizeof WorkFiles);
    if (!TempFolder1->Valid())
        throw EPlatformError(QStringLiteral("No temporary folder: neither TEMP nor TMP is set."));
    // The names must fit their 256-character buffers; a truncated name
    // would put the working files somewhere else entirely.
    const QByteArray folder = TempFolder1->Path().toUtf8();
    const QString full = FullTempFolder();
    if (folder.size() > MaxWorkFolderLength || full.toUtf8().size() > MaxWorkFolderLength)
        throw EPlatformError(QStringLiteral("The temporary folder \"%1\" is too long for the working files "
                                            "(at most %2 characters). Set TEMP to a shorter folder.")
                                 .arg(full)
                                 .arg(MaxWorkFolderLength));
    for (int i = 0; i < WorkFileCount; ++i)
        std::snprintf(WorkFiles[i], WorkFileNameSize, "%stemp%02d.jpg", folder.constData(), i);
}

void TForm1::DeleteWorkFiles() {
    for (int i = 0; i < WorkFileCount; ++i) {
        if (WorkFiles[i][0] != '\0')
            DeleteFile(QString::fromUtf8(WorkFiles[i]));  // one never written is passed over
    }
}

int32_t TForm1::MeasureFile(const char *fileName) {
    const int64_t size = FileSizeOf(QString::fromUtf8(fileName));
    if (size < 0)
        return 0;
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

void TForm1::FormClose(QObject *, TCloseAction &) {
    // The working files go whatever happens to the settings.
    auto cleanup = qScopeGuard([this] {
        FSettings.reset();
        DeleteWorkFiles();
    });
    if (!FSettings)
        return;
    FSettings->WriteInteger(AppName, QStringLiteral("Width"), Width());
    FSettings->WriteInteger(AppName, QStringLiteral("Height"), Height());
    FSettings->WriteInteger(AppName, QStringLiteral("Top"), Top());
    FSettings->WriteInteger(AppName, QStringLiteral("Left"), Left());
    FSettings->WriteString(AppName, QStringLiteral("Load"), load->InitialDir());
    FSettings->WriteString(AppName, QStringLiteral("Save"), save->InitialDir());
    // Reports a settings file that cannot be written.
    FSettings->Flush();
}

void TForm1::loaditClick(QObject *) {
    if (!load->Execute(this))
        return;
    OpenPicture(load->FileName());
}

void TForm1::OpenPicture(const QString &fileName) {
    load->SetFileName(fileName);
    load->SetInitialDir(ExtractFileDir(fileName));
    save->SetInitialDir(load->InitialDir());
    if (load->FilterIndex() == 0)
        save->SetFileName(fileName);

    TBusyCursor busy;
    const QByteArray source = fileName.toUtf8();
    if (!_anytobmps(source.constData(), WorkFiles[WorkingBitmap], &CurrentInfo, 0, 0)) {
        // A picture that cannot be read must not pass for the one still
        // shown: say so and keep the previous picture as it is.
        const QString reason = QString::fromUtf8(_qz_last_error());
        MessageBox(this, QStringLiteral("Cannot open \"%1\".\n%2").arg(fileName, reason), AppName, MB_ICONERROR);
        return;
    }
    FImageWidth = CurrentInfo.Width;
    FImageHeight = CurrentInfo.Height;
    BuildVariants();
}

void TForm1::BuildVariants() {
    for (int i = 0; i < VariantCount; ++i) {
        FThumbs[i]->WriteFileName(QString());
        VariantSizes[i] = 0;
        _bmptoanys(WorkFiles[WorkingBitmap], WorkFiles[i], &CurrentInfo, JpegFormat, Qualities[i]);
        FThumbs[i]->WriteFileName(QString::fromUtf8(WorkFiles[i]));
        VariantSizes[i] = MeasureFile(WorkFiles[i]);
        FLabels[i]->setText(QString::number(Qualities[i]) + QStringLiteral("%  ") +
                            QString::number(VariantSizes[i]));
    }
    TrackBar1Change(nullptr);
}

void TForm1::TrackBar1Change(QObject *) {
    AnyImage1->WriteFileName(QString());
    const int quality = TrackBar1->Position();
    _bmptoanys(WorkFiles[WorkingBitmap], WorkFiles[PreviewFile], &CurrentInfo, JpegFormat, quality);
    AnyImage1->WriteFileName(QString::fromUtf8(WorkFiles[PreviewFile]));
    PreviewSize = 0;
    PreviewSize = MeasureFile(WorkFiles[PreviewFile]);
    StatusBar1->SetSimpleText(QStringLiteral("Image ") + QString::number(FImageWidth) + QStringLiteral("x") +
                              QString::number(FImageHeight) + QStringLiteral("   Jpeg Quality ") +
                              QString::number(quality) + QStringLiteral("%  Filesize ") +
                              QString::number(PreviewSize));
}

void TForm1::Thumbnail1Click(QObject *Sender) {
    const int tag = TagOf(Sender);
    if (tag < 0 || tag >= VariantCount)
        return;
    TrackBar1->SetPosition(Qualities[tag]);
    TrackBar1Change(nullptr);
}

void TForm1::saveitClick(QObject *) {
    if (!save->Execute(this))
        return;
    const QString target = save->FileName();
    FollowSaveName(target);

    // A byte copy of the preview, so the file saved is the one looked at.
    // The copy replaces the target only once complete; a failure leaves any
    // existing file as it was and is reported.
    const QString preview = QString::fromUtf8(WorkFiles[PreviewFile]);
    QString reason;
    if (FileSizeOf(preview) < 0)
        reason = QStringLiteral("There is no picture to save yet: open one first.");
    else if (CopyFile(preview, target, false, &reason))
        return;
    MessageBox(this, QStringLiteral("Cannot save \"%1\".\n%2").arg(target, reason), AppName, MB_ICONERROR);
}

void TForm1::SaveAs1Click(QObject *) {
    save->SetFileName(QString());
    if (!save->Execute(this))
        return;
    FollowSaveName(save->FileName());
}

// Both dialogs move to the folder of the name chosen for saving, and the
// open dialog proposes that name.
void TForm1::FollowSaveName(const QString &target) {
    save->SetInitialDir(ExtractFileDir(target));
    load->SetInitialDir(save->InitialDir());
    load->SetFileName(target);
}

void TForm1::About1Click(QObject *) {
    if (!AboutForm)
        AboutForm = new TAboutForm(this);
    AboutForm->Description = QStringLiteral(
        "Program to display the results of various Jpeg Quality Settings and allow the saving of a "
        "selected filesize/quality compromise");
    AboutForm->ShowModal();
}

void TForm1::Button4Click(QObject *) {
    DragShape1->SetLeft(0);
    DragShape1->SetTop(0);
    DragShape1->SetWidth(AnyImage1->Width() / 2);
    DragShape1->SetHeight(AnyImage1->Height() / 2);
    DragShape1->SetVisible(true);
    DragShape1->raise();
    crop->setEnabled(true);
    Button4->setEnabled(false);
    Button5->setEnabled(true);
}

void TForm1::cropClick(QObject *Sender) {
    int x = DragShape1->Left() - AnyImage1->Left();
    int y = DragShape1->Top() - AnyImage1->Top();
    int w = DragShape1->Width();
    int h = DragShape1->Height();
    if (AnyImage1->Width() < w + x)
        w = AnyImage1->Width() - x;
    if (AnyImage1->Height() < h + y)
        h = AnyImage1->Height() - y;
    if (x < 0) {
        w += x;
        x = 0;
    }
    if (y < 0) {
        h += y;
        y = 0;
    }
    // A rectangle wholly outside the picture leaves nothing to crop; the
    // working bitmap stays as it is.
    if (w > 0 && h > 0) {
        TBusyCursor busy;
        _bmpcrop(WorkFiles[WorkingBitmap], WorkFiles[WorkingBitmap], &CurrentInfo, x, y, w, h);
        BuildVariants();
    }
    Button5Click(Sender);
}

void TForm1::Button5Click(QObject *) {
    Button4->setEnabled(true);
    crop->setEnabled(false);
    Button5->setEnabled(false);
    DragShape1->SetVisible(false);
}
