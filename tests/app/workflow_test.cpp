// Opening a picture, the eight variants, the preview, the slider and the
// thumbnails, against the real graphics library.
#include "appfixture.h"

#include "components/anyimage.h"
#include "components/thumb.h"
#include "platform/files.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

QString StatusOf(TForm1 &form) { return form.StatusBar1->SimpleText(); }

} // namespace

using WorkflowTest = AppTest;

TEST_F(WorkflowTest, OpenWritesEightVariantsCaptionedWithTheirMeasuredSizes) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    Answer(true, picture);
    form.Button1->click();

    ASSERT_EQ(Calls.size(), 1u);
    EXPECT_EQ(Calls[0].Kind, TFileDialog::Open);
    EXPECT_EQ(form.ImageWidth(), 640);
    EXPECT_EQ(form.ImageHeight(), 480);
    qint64 previous = 0;
    for (int i = 0; i < VariantCount; ++i) {
        SCOPED_TRACE(i);
        const qint64 size = SizeOf(Work(i));
        ASSERT_GT(size, 0);
        EXPECT_EQ(VariantSizes[i], size);
        EXPECT_EQ(form.Caption(i)->text(), QStringLiteral("%1%  %2").arg(Qualities[i]).arg(size));
        EXPECT_EQ(form.Thumb(i)->FileName(), Work(i));
        EXPECT_TRUE(form.Thumb(i)->HasPicture());
        EXPECT_GT(size, previous) << "a higher quality should give a bigger file";
        previous = size;
    }
    const qint64 preview = SizeOf(Work(PreviewFile));
    EXPECT_EQ(PreviewSize, preview);
    EXPECT_EQ(StatusOf(form), QStringLiteral("Image 640x480   Jpeg Quality 50%  Filesize %1").arg(preview));
    // The preview at 50 is the 50 variant, byte for byte.
    EXPECT_EQ(Bytes(Work(PreviewFile)), Bytes(Work(4)));
    // Shown at its pixel size.
    EXPECT_EQ(form.AnyImage1->FileName(), Work(PreviewFile));
    EXPECT_EQ(form.AnyImage1->Width(), 640);
    EXPECT_EQ(form.AnyImage1->Height(), 480);
    // Both dialogs move to the picture's folder.
    EXPECT_EQ(form.load->InitialDir(), ExtractFileDir(picture));
    EXPECT_EQ(form.save->InitialDir(), ExtractFileDir(picture));
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();
}

TEST_F(WorkflowTest, WorkingFilesLieInTheTemporaryFolder) {
    Form();
    const QString folder = QString::fromStdString(env_.tmp().string()) + QLatin1Char('/');
    for (int i = 0; i < WorkFileCount; ++i)
        EXPECT_EQ(Work(i), folder + QStringLiteral("temp%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
}

TEST_F(WorkflowTest, OtherFormatsAreOpenedToo) {
    const QString picture = MakePicture(QStringLiteral("drawing.png"), 200, 120, "PNG");
    TForm1 &form = Form();
    Answer(true, picture, 2);
    form.loaditClick(nullptr);
    EXPECT_EQ(form.ImageWidth(), 200);
    EXPECT_EQ(form.ImageHeight(), 120);
    EXPECT_GT(SizeOf(Work(PreviewFile)), 0);
}

TEST_F(WorkflowTest, ThumbnailClickMovesTheSliderAndRebuildsThePreviewOnce) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    Answer(true, picture);
    form.loaditClick(nullptr);

    // Count the preview's loads: one explicit preview step is the unit.
    int loads = 0;
    TPicture *shown = form.AnyImage1->Picture();
    const auto previous = shown->OnChange;
    shown->OnChange = [&] {
        ++loads;
        if (previous)
            previous();
    };
    form.TrackBar1Change(nullptr);
    const int perPreview = loads;
    ASSERT_GT(perPreview, 0);

    loads = 0;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.ScrollBox2->ensureWidgetVisible(form.Thumbnail4);
    QTest::mouseClick(form.Thumbnail4, Qt::LeftButton, Qt::NoModifier, QPoint(64, 64));

    EXPECT_EQ(form.TrackBar1->Position(), 40);
    EXPECT_EQ(loads, perPreview);
    EXPECT_EQ(Bytes(Work(PreviewFile)), Bytes(Work(3)));
    EXPECT_EQ(StatusOf(form),
              QStringLiteral("Image 640x480   Jpeg Quality 40%  Filesize %1").arg(SizeOf(Work(PreviewFile))));
}

TEST_F(WorkflowTest, SliderRewritesThePreviewAtItsQuality) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"));
    TForm1 &form = Form();
    Answer(true, picture);
    form.loaditClick(nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    // A key press is a user scroll: the handler runs by itself.
    form.TrackBar1->setFocus();
    QTest::keyClick(form.TrackBar1, Qt::Key_Right);
    EXPECT_EQ(form.TrackBar1->Position(), 51);
    const qint64 at51 = SizeOf(Work(PreviewFile));
    EXPECT_EQ(StatusOf(form), QStringLiteral("Image 640x480   Jpeg Quality 51%  Filesize %1").arg(at51));
    EXPECT_NE(Bytes(Work(PreviewFile)), Bytes(Work(4)));

    // Setting the position from the program does not run it.
    form.TrackBar1->SetPosition(95);
    EXPECT_EQ(SizeOf(Work(PreviewFile)), at51);
    form.TrackBar1Change(nullptr);
    EXPECT_GT(SizeOf(Work(PreviewFile)), at51);
}

TEST_F(WorkflowTest, SliderBeforeAnyPictureShowsZeros) {
    TForm1 &form = Form();
    EXPECT_EQ(StatusOf(form), QStringLiteral("..."));
    form.TrackBar1Change(nullptr);
    EXPECT_EQ(StatusOf(form), QStringLiteral("Image 0x0   Jpeg Quality 50%  Filesize 0"));
    EXPECT_EQ(SizeOf(Work(PreviewFile)), -1);
}

TEST_F(WorkflowTest, CancelledOpenChangesNothingNotEvenTheFolders) {
    TForm1 &form = Form();
    const QString loadDir = form.load->InitialDir();
    const QString saveDir = form.save->InitialDir();
    Answer(false);
    form.loaditClick(nullptr);
    EXPECT_EQ(form.load->InitialDir(), loadDir);
    EXPECT_EQ(form.save->InitialDir(), saveDir);
    EXPECT_EQ(StatusOf(form), QStringLiteral("..."));
    for (int i = 0; i < VariantCount; ++i)
        EXPECT_EQ(form.Caption(i)->text(), QStringLiteral("..."));
    for (int i = 0; i < WorkFileCount; ++i)
        EXPECT_EQ(SizeOf(Work(i)), -1) << i;
}

TEST_F(WorkflowTest, UnreadablePictureIsReportedAndThePreviousOneStays) {
    const QString good = MakePicture(QStringLiteral("photo.jpg"), 320, 200);
    const QString broken = Folder("pictures") + QStringLiteral("/broken.jpg");
    ASSERT_TRUE(WriteBytes(broken, Bytes(good).left(100)));
    TForm1 &form = Form();
    Answer(true, good);
    form.loaditClick(nullptr);
    const QString status = StatusOf(form);
    const QByteArray bitmap = Bytes(Work(WorkingBitmap));

    Answer(true, broken);
    form.loaditClick(nullptr);
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Flags & MB_ICONERROR, MB_ICONERROR);
    EXPECT_TRUE(RecordedMessages()[0].Text.contains(broken)) << Messages().toStdString();
    EXPECT_EQ(StatusOf(form), status);
    EXPECT_EQ(form.ImageWidth(), 320);
    EXPECT_EQ(Bytes(Work(WorkingBitmap)), bitmap);
}

TEST_F(WorkflowTest, OpenWithFilterIndexZeroProposesTheNameForSaving) {
    const QString picture = MakePicture(QStringLiteral("photo.jpg"), 64, 48);
    TForm1 &form = Form();
    Answer(true, picture, 0);
    form.loaditClick(nullptr);
    EXPECT_EQ(form.save->FileName(), picture);

    const QString other = MakePicture(QStringLiteral("other.jpg"), 64, 48);
    form.save->SetFileName(QString());
    Answer(true, other, 1);
    form.loaditClick(nullptr);
    EXPECT_EQ(form.save->FileName(), QString());
}
