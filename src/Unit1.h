// Unit1: the main window TForm1 and the data the window keeps for the whole
// run: the ten working-file names, the quality ladder and the measured sizes.
#pragma once

#include "graphics.h"
#include "platform/dialogs.h"
#include "platform/settings.h"
#include "platform/stdctrls.h"

#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

class QFrame;
class QLabel;
class QPushButton;
class TAnyImage;
class TDragShape;
class TTempFolder;
class TThumbnail;

// The program's name; the settings section of every value.
extern const QString AppName;

// Working files: 0..7 the JPEG variants, 8 the working bitmap, 9 the preview.
constexpr int WorkFileCount = 10;
constexpr int WorkFileNameSize = 256;  // at most 255 characters and the zero
constexpr int VariantCount = 8;
constexpr int WorkingBitmap = 8;
constexpr int PreviewFile = 9;
extern char WorkFiles[WorkFileCount][WorkFileNameSize];

// The quality ladder, one entry per variant and thumbnail.
extern const int32_t Qualities[VariantCount];
// Sizes in bytes as last measured (0 when the file did not open).
extern int32_t VariantSizes[VariantCount];
extern int32_t PreviewSize;
// The window's one record for the graphics library.
extern ImageInfo CurrentInfo;

// The longest temporary-folder path (separator included) that leaves room
// for "temp00.jpg" in a 256-character name.
constexpr int MaxWorkFolderLength = WorkFileNameSize - 1 - 10;

class TForm1 : public TForm {
    Q_OBJECT
public:
    explicit TForm1(QWidget *AOwner = nullptr);
    ~TForm1() override;

    // The controls, in the order of the stored layout.
    TOpenDialog *load;
    TSaveDialog *save;
    QFrame *Panel3;
    TScrollBox *ScrollBox1;
    TAnyImage *AnyImage1;
    QFrame *Panel1;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button3;
    TTrackBar *TrackBar1;
    TScrollBox *ScrollBox2;
    TThumbnail *Thumbnail1;
    QLabel *Label1;
    TThumbnail *Thumbnail2;
    QLabel *Label2;
    TThumbnail *Thumbnail3;
    TThumbnail *Thumbnail4;
    TThumbnail *Thumbnail5;
    TThumbnail *Thumbnail6;
    TThumbnail *Thumbnail7;
    TThumbnail *Thumbnail8;
    QLabel *Label3;
    QLabel *Label4;
    QLabel *Label5;
    QLabel *Label6;
    QLabel *Label7;
    QLabel *Label8;
    TDragShape *DragShape1;
    QPushButton *crop;
    QPushButton *Button4;
    QPushButton *Button5;
    TStatusBar *StatusBar1;
    TTempFolder *TempFolder1;

    // Event handlers.
    void FormClose(QObject *Sender, TCloseAction &Action);
    void loaditClick(QObject *Sender);
    void saveitClick(QObject *Sender);
    void SaveAs1Click(QObject *Sender);
    void About1Click(QObject *Sender);
    void Thumbnail1Click(QObject *Sender);
    void TrackBar1Change(QObject *Sender);
    void cropClick(QObject *Sender);
    void Button4Click(QObject *Sender);
    void Button5Click(QObject *Sender);

    // Opens a picture as "Open Image" does once its dialog returned the
    // file (the command line uses it too).
    void OpenPicture(const QString &fileName);

    // For tests and the headless run: what the window reports.
    int ImageWidth() const { return FImageWidth; }
    int ImageHeight() const { return FImageHeight; }
    TThumbnail *Thumb(int i) const { return FThumbs[i]; }
    QLabel *Caption(int i) const { return FLabels[i]; }

private:
    std::unique_ptr<TRegIniFile> FSettings;
    std::array<TThumbnail *, VariantCount> FThumbs{};
    std::array<QLabel *, VariantCount> FLabels{};
    int32_t FImageWidth = 0;
    int32_t FImageHeight = 0;
    // The outer bounds read from the settings, applied again when the window
    // is first shown: only then is its frame known.
    QRect FRestoredBounds;
    bool FBoundsPending = true;

    void BuildVariants();
    void FollowSaveName(const QString &target);
    void RestoreBounds();
    void BuildControls();
    void FormatWorkFiles();
    void DeleteWorkFiles();
    // Size of a file as the window measures it: 0 when it does not open.
    static int32_t MeasureFile(const char *fileName);
};

extern TForm1 *Form1;

// Makes the program's icons available (":/vantrel/..."); safe to call often.
void InitResources();
