// Cropping the working bitmap to the rectangle dragged over the preview, with
// the mouse as the user drags it and against the real graphics library.
#include "appfixture.h"

#include "components/anyimage.h"
#include "components/dragshape.h"

#include <QCursor>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QScrollBar>
#include <QTest>
#include <sys/stat.h>

namespace {

// Pixels of a working bitmap (a BMP file under a .jpg name).
QImage ReadBitmap(const QString &path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

// Compares a picture with a region of another and names the first pixel that
// differs.
::testing::AssertionResult SameAsRegion(const QImage &actual, const QImage &source, const QRect &region) {
    if (actual.size() != region.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << " x " << actual.height()
                                             << ", expected " << region.width() << " x " << region.height();
    for (int y = 0; y < region.height(); ++y)
        for (int x = 0; x < region.width(); ++x) {
            const QRgb got = actual.pixel(x, y) & 0xffffff;
            const QRgb want = source.pixel(region.x() + x, region.y() + y) & 0xffffff;
            if (got != want)
                return ::testing::AssertionFailure()
                       << "first wrong pixel at column " << x << ", row " << y << ": 0x" << std::hex << got
                       << ", expected 0x" << want << " (source column " << std::dec << region.x() + x
                       << ", row " << region.y() + y << ")";
        }
    return ::testing::AssertionSuccess();
}

QRect Bounds(const TDragShape *s) { return QRect(s->Left(), s->Top(), s->Width(), s->Height()); }

// A drag of the rectangle: hover over a grip, press, move in two steps,
// release.
struct Drag {
    QPoint grip; // in the rectangle's own coordinates
    QPoint by;
};

class CropTest : public AppTest {
protected:
    // The window as the user sees it: shown, so hover moves reach the
    // rectangle under the pointer.
    TForm1 &Shown() {
        TForm1 &form = Form();
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    // Opens a PNG made by the test (exact pixels) through "Open Image".
    QImage Open(TForm1 &form, int width, int height) {
        const QString path = MakePicture(QStringLiteral("picture.png"), width, height, "PNG");
        Answer(true, path, 2);
        QTest::mouseClick(form.Button1, Qt::LeftButton);
        EXPECT_EQ(form.ImageWidth(), width);
        return QImage(path).convertToFormat(QImage::Format_RGB32);
    }

    static void Click(QPushButton *button) {
        ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Pointer positions while the button is held are in the scroll box's
    // content, converted to the rectangle's coordinates where it is now: the
    // rectangle moves under the pointer.
    static void DragShape(TForm1 &form, const Drag &drag) {
        TDragShape *shape = form.DragShape1;
        // Leave the window first, so the hover is a real move wherever it lands.
        QCursor::setPos(form.mapToGlobal(QPoint(-200, -200)));
        QCoreApplication::processEvents();
        QTest::mouseMove(shape, drag.grip);
        ASSERT_NE(shape->CurrentZone(), TDragShape::zNone) << "the hover did not reach the rectangle";
        const QPoint start = shape->pos() + drag.grip;
        QTest::mousePress(shape, Qt::LeftButton, {}, drag.grip);
        QTest::mouseMove(shape, start + drag.by / 2 - shape->pos());
        QTest::mouseMove(shape, start + drag.by - shape->pos());
        QTest::mouseRelease(shape, Qt::LeftButton, {}, start + drag.by - shape->pos());
    }

    static void ExpectNormalState(TForm1 &form) {
        EXPECT_TRUE(form.Button4->isEnabled());
        EXPECT_FALSE(form.crop->isEnabled());
        EXPECT_FALSE(form.Button5->isEnabled());
        EXPECT_TRUE(form.DragShape1->isHidden());
    }

    // Contents and file identity (inode, change time) of the ten working
    // files: equal only when no file was written again, even with the same
    // bytes.
    struct FileState {
        QByteArray bytes;
        ino_t inode = 0;
        struct timespec changed {};
        bool operator==(const FileState &o) const {
            return bytes == o.bytes && inode == o.inode && changed.tv_sec == o.changed.tv_sec &&
                   changed.tv_nsec == o.changed.tv_nsec;
        }
    };
    std::vector<FileState> AllWorkFiles() {
        std::vector<FileState> files;
        for (int i = 0; i < WorkFileCount; ++i) {
            FileState state;
            state.bytes = Bytes(Work(i));
            struct stat st {};
            if (stat(WorkFiles[i], &st) == 0) {
                state.inode = st.st_ino;
                state.changed = st.st_ctim;
            }
            files.push_back(state);
        }
        return files;
    }
};

constexpr QPoint Interior(60, 40); // of the 120 x 80 rectangle over a 240 x 160 picture

TEST_F(CropTest, RectangleInsideCropsExactlyToIt) {
    TForm1 &form = Shown();
    const QImage source = Open(form, 240, 160);
    ASSERT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, source.rect()));

    Click(form.Button4);
    EXPECT_EQ(Bounds(form.DragShape1), QRect(0, 0, 120, 80));
    EXPECT_TRUE(form.DragShape1->isVisible());
    EXPECT_FALSE(form.Button4->isEnabled());
    EXPECT_TRUE(form.crop->isEnabled());
    EXPECT_TRUE(form.Button5->isEnabled());

    DragShape(form, {Interior, {30, 20}});
    ASSERT_EQ(Bounds(form.DragShape1), QRect(30, 20, 120, 80));
    Click(form.crop);

    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, QRect(30, 20, 120, 80)));
    ExpectNormalState(form);
    // The variants and the preview are written again from the cropped bitmap.
    EXPECT_EQ(form.AnyImage1->Width(), 120);
    EXPECT_EQ(form.AnyImage1->Height(), 80);
    EXPECT_EQ(ReadBitmap(Work(0)).size(), QSize(120, 80));
    EXPECT_EQ(VariantSizes[0], SizeOf(Work(0)));
    EXPECT_EQ(form.Caption(0)->text(), QStringLiteral("10%  %1").arg(SizeOf(Work(0))));
    // The status line keeps the size of the picture as opened.
    EXPECT_EQ(form.StatusBar1->SimpleText(),
              QStringLiteral("Image 240x160   Jpeg Quality 50%  Filesize %1").arg(SizeOf(Work(PreviewFile))));
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();
}

struct ClipCase {
    const char *name;
    std::vector<Drag> drags;
    QRect rectangle; // where the drags leave it
    QRect crop;      // the part of the picture kept
};

void PrintTo(const ClipCase &c, std::ostream *os) { *os << c.name; }

class CropClip : public CropTest, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(CropClip, RectangleIsCutToThePicture) {
    const ClipCase &c = GetParam();
    TForm1 &form = Shown();
    const QImage source = Open(form, 240, 160);
    Click(form.Button4);
    for (const Drag &drag : c.drags)
        DragShape(form, drag);
    ASSERT_EQ(Bounds(form.DragShape1), c.rectangle);
    Click(form.crop);
    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, c.crop));
    ExpectNormalState(form);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CropClip,
    ::testing::Values(
        ClipCase{"PastRightAndBottom", {{Interior, {180, 120}}}, {180, 120, 120, 80}, {180, 120, 60, 40}},
        ClipCase{"LeftOfAndAbove", {{Interior, {-50, -30}}}, {-50, -30, 120, 80}, {0, 0, 70, 50}},
        // The right overhang is cut first, then the left one.
        ClipCase{"WiderOnBothSides", {{Interior, {-20, 10}}, {{118, 40}, {180, 0}}}, {-20, 10, 300, 80}, {0, 10, 240, 80}},
        ClipCase{"TallerOnBothSides", {{Interior, {10, -20}}, {{60, 78}, {0, 130}}}, {10, -20, 120, 210}, {10, 0, 120, 160}}),
    [](const ::testing::TestParamInfo<ClipCase> &info) { return std::string(info.param.name); });

struct OutsideCase {
    const char *name;
    QPoint by;
};

void PrintTo(const OutsideCase &c, std::ostream *os) { *os << c.name; }

class CropOutside : public CropTest, public ::testing::WithParamInterface<OutsideCase> {};

// Nothing of the picture lies under the rectangle: the crop leaves every
// working file as it was, neither asking the library for an empty picture nor
// writing the variants again.
TEST_P(CropOutside, LeavesTheWorkingBitmapIntact) {
    TForm1 &form = Shown();
    const QImage source = Open(form, 240, 160);
    const auto before = AllWorkFiles();
    Click(form.Button4);
    DragShape(form, {Interior, GetParam().by});
    Click(form.crop);

    EXPECT_TRUE(AllWorkFiles() == before);
    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, source.rect()));
    EXPECT_EQ(form.AnyImage1->Width(), 240);
    ExpectNormalState(form);
    EXPECT_TRUE(RecordedMessages().isEmpty()) << Messages().toStdString();

    // And the picture can still be cropped.
    Click(form.Button4);
    Click(form.crop);
    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, QRect(0, 0, 120, 80)));
}

INSTANTIATE_TEST_SUITE_P(
    Sides, CropOutside,
    ::testing::Values(OutsideCase{"Right", {250, 0}}, OutsideCase{"JustRight", {240, 30}},
                      OutsideCase{"Below", {20, 160}}, OutsideCase{"Left", {-130, 10}},
                      OutsideCase{"Above", {10, -85}}),
    [](const ::testing::TestParamInfo<OutsideCase> &info) { return std::string(info.param.name); });

TEST_F(CropTest, RectangleIsHalfTheView) {
    TForm1 &form = Shown();
    // Before any picture the view keeps its layout size.
    Click(form.Button4);
    EXPECT_EQ(Bounds(form.DragShape1), QRect(0, 0, 204, 184));
    // Cropping then finds no picture: nothing is made of nothing.
    Click(form.crop);
    ExpectNormalState(form);
    EXPECT_EQ(SizeOf(Work(WorkingBitmap)), -1);

    Open(form, 401, 200);
    ASSERT_EQ(form.AnyImage1->Width(), 401);
    Click(form.Button4);
    EXPECT_EQ(Bounds(form.DragShape1), QRect(0, 0, 200, 100));
}

TEST_F(CropTest, CancelChangesNoFile) {
    TForm1 &form = Shown();
    Open(form, 240, 160);
    const auto before = AllWorkFiles();
    Click(form.Button4);
    DragShape(form, {Interior, {30, 20}});
    Click(form.Button5);
    EXPECT_TRUE(AllWorkFiles() == before);
    EXPECT_EQ(form.AnyImage1->Width(), 240);
    ExpectNormalState(form);
}

TEST_F(CropTest, SecondCropCropsTheCroppedBitmap) {
    TForm1 &form = Shown();
    const QImage source = Open(form, 240, 160);
    Click(form.Button4);
    DragShape(form, {Interior, {30, 20}});
    Click(form.crop);

    // The rectangle is now half of the cropped view.
    Click(form.Button4);
    ASSERT_EQ(Bounds(form.DragShape1), QRect(0, 0, 60, 40));
    DragShape(form, {{30, 20}, {10, 5}});
    Click(form.crop);
    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, QRect(40, 25, 60, 40)));
    EXPECT_TRUE(form.StatusBar1->SimpleText().startsWith(QStringLiteral("Image 240x160   ")))
        << form.StatusBar1->SimpleText().toStdString();
}

// The rectangle and the preview lie in the same scroll box: scrolling moves
// both, and the crop is measured between them.
TEST_F(CropTest, CropAfterScrollingKeepsTheOffsetFromThePicture) {
    TForm1 &form = Shown();
    const QImage source = Open(form, 800, 600);
    ASSERT_EQ(form.AnyImage1->Width(), 800);
    ASSERT_EQ(form.AnyImage1->Height(), 600);
    EXPECT_EQ(form.DragShape1->parentWidget(), form.ScrollBox1->Content());
    EXPECT_EQ(form.AnyImage1->parentWidget(), form.ScrollBox1->Content());

    QScrollBar *across = form.ScrollBox1->horizontalScrollBar();
    QScrollBar *down = form.ScrollBox1->verticalScrollBar();
    ASSERT_GE(across->maximum(), 100);
    ASSERT_GE(down->maximum(), 50);
    across->setValue(100);
    down->setValue(50);
    ASSERT_EQ(form.AnyImage1->Left(), -100);
    ASSERT_EQ(form.AnyImage1->Top(), -50);

    // The rectangle starts at the top-left corner of the visible area.
    Click(form.Button4);
    EXPECT_EQ(Bounds(form.DragShape1), QRect(0, 0, 400, 300));
    DragShape(form, {{60, 40}, {20, 10}});

    // Scrolled elsewhere, both move alike; the crop is made from there.
    across->setValue(30);
    down->setValue(20);
    EXPECT_EQ(form.AnyImage1->Left(), -30);
    EXPECT_EQ(form.DragShape1->Left() - form.AnyImage1->Left(), 120);
    EXPECT_EQ(form.DragShape1->Top() - form.AnyImage1->Top(), 60);
    Click(form.crop);
    EXPECT_TRUE(SameAsRegion(ReadBitmap(Work(WorkingBitmap)), source, QRect(120, 60, 400, 300)));
}

} // namespace
