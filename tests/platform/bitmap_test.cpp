// Bitmap files: round trip, load errors, a write that cannot complete, and
// the plain stretch of CopyImage.
#include "platform/application.h"
#include "platform/bitmap.h"

#include "pixels.h"
#include "testenv.h"

#include <QFile>
#include <QDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

QImage Pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixelColor(x, y, QColor((x * 37) % 256, (y * 53) % 256, (x + y) % 256));
    return image;
}

QString Path(const IsolatedEnv &env, const char *name) {
    return QString::fromStdString((env.tmp() / name).string());
}

void WriteBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray ReadBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class BitmapFile : public IsolatedTest {};

TEST_F(BitmapFile, SavesAWindowsBitmapThatLoadsBackPixelForPixel) {
    const QImage src = Pattern(13, 7);
    const QString path = Path(env_, "round.bmp");
    TBitmap(src).SaveToFile(path);
    EXPECT_TRUE(ReadBytes(path).startsWith("BM"));

    TBitmap back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Width(), 13);
    EXPECT_EQ(back.Height(), 7);
    EXPECT_TRUE(PixelsAre(back.Image(), [&](int x, int y) { return src.pixelColor(x, y); }));

    // Saving over an existing file replaces it and leaves nothing beside it.
    TBitmap(Pattern(3, 2)).SaveToFile(path);
    back.LoadFromFile(path);
    EXPECT_EQ(back.Width(), 3);
    EXPECT_EQ(QDir(Path(env_, "")).entryList(QDir::Files | QDir::Hidden), QStringList{"round.bmp"});
}

TEST_F(BitmapFile, LoadErrorsRaiseAndKeepThePicture) {
    const QString png = Path(env_, "really.bmp");
    ASSERT_TRUE(Pattern(4, 4).save(png, "PNG"));
    const QString garbage = Path(env_, "garbage.bmp");
    WriteBytes(garbage, "BM this is not a bitmap at all");
    const QString truncated = Path(env_, "truncated.bmp");
    TBitmap(Pattern(40, 40)).SaveToFile(truncated);
    WriteBytes(truncated, ReadBytes(truncated).left(60));

    for (const QString &name : {Path(env_, "missing.bmp"), png, garbage, truncated, Path(env_, "")}) {
        SCOPED_TRACE(name.toStdString());
        TBitmap bitmap(Pattern(5, 6));
        EXPECT_THROW(bitmap.LoadFromFile(name), EPlatformError);
        EXPECT_EQ(bitmap.Width(), 5);
        EXPECT_EQ(bitmap.Height(), 6);
    }
}

TEST_F(BitmapFile, SaveErrorsRaise) {
    EXPECT_THROW(TBitmap(Pattern(2, 2)).SaveToFile(Path(env_, "no/such/folder/x.bmp")), EPlatformError);
    EXPECT_THROW(TBitmap().SaveToFile(Path(env_, "empty.bmp")), EPlatformError);
    EXPECT_FALSE(QFile::exists(Path(env_, "empty.bmp")));
}

// A write cut short (here by a file size limit, as a full disk would) is an
// error, and the file that was there before survives whole.
TEST_F(BitmapFile, AShortWriteIsAnErrorAndKeepsTheOldFile) {
    const QString path = Path(env_, "keep.bmp");
    TBitmap(Pattern(4, 4)).SaveToFile(path);
    const QByteArray before = ReadBytes(path);

    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        TBitmap(Pattern(200, 200)).SaveToFile(path);
    } catch (const EPlatformError &) {
        threw = true;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(QDir(Path(env_, "")).entryList(QDir::Files | QDir::Hidden), QStringList{"keep.bmp"});
}

TEST(CopyImage, StretchesPlainlyAndASideOfZeroKeepsTheSourceLength) {
    const TBitmap src(Pattern(10, 4));
    struct Case {
        int w, h;
        QSize want;
    };
    for (const Case &k : {Case{20, 8, {20, 8}}, Case{0, 8, {10, 8}}, Case{5, 0, {5, 4}}, Case{0, 0, {10, 4}},
                          Case{3, 1, {3, 1}}}) {
        SCOPED_TRACE(testing::Message() << k.w << "x" << k.h);
        const TBitmap copy = CopyImage(src, k.w, k.h);
        EXPECT_EQ(copy.Image().size(), k.want);
    }
    // Doubling repeats every pixel: no smoothing.
    const TBitmap doubled = CopyImage(src, 20, 8);
    EXPECT_TRUE(PixelsAre(doubled.Image(), [&](int x, int y) { return src.Image().pixelColor(x / 2, y / 2); }));
    EXPECT_TRUE(CopyImage(TBitmap(), 5, 5).Empty());
}

TEST(Bitmap, SetSizeMakesAWhiteBitmapAndAssignCopies) {
    TBitmap b;
    EXPECT_TRUE(b.Empty());
    b.SetSize(3, 2);
    EXPECT_TRUE(PixelsAre(b.Image(), [](int, int) { return QColor(Qt::white); }));
    TBitmap c;
    c.Assign(b);
    EXPECT_EQ(c.Image().size(), QSize(3, 2));
    b.SetSize(0, 5);
    EXPECT_TRUE(b.Empty());
}
