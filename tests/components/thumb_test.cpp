// TThumbnail: the codes it asks the library for, the scaling and placing of
// the picture, the cache file, the frame and the label as drawn, the export,
// and the tile's behaviour when the library or the files let it down.
#include "components/thumb.h"
#include "platform/application.h"
#include "platform/component.h"
#include "platform/dynlib.h"
#include "platform/messages.h"

#include "testenv.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QStringList>
#include <QTest>
#include <QWidget>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

QString Q(const fs::path &p) { return QString::fromStdString(p.string()); }

QImage Solid(int w, int h, QColor c) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

// The tile as the screen shows it. The first paint may set the tile's size,
// so the picture is taken from the second.
QImage Grab(TThumbnail &tile) {
    tile.grab();
    return tile.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box of the pixels that match.
template <typename Pred>
QRect Extent(const QImage &image, Pred match) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(QColor(image.pixel(x, y))))
                box |= QRect(x, y, 1, 1);
    return box;
}

// Colours as a paint leaves them: 8 bits a channel.
QRgb Rgb(const QColor &c) { return c.rgb(); }

bool IsRed(QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; }
bool IsBlue(QColor c) { return c.blue() > 200 && c.red() < 60 && c.green() < 60; }

// "" when equal, else the first differing pixel.
std::string FirstDifference(const QImage &a, const QImage &b) {
    if (a.size() != b.size())
        return "sizes differ";
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                return "first difference at (" + std::to_string(x) + ", " + std::to_string(y) + ")";
    return "";
}

class ThumbTest : public IsolatedTest {
protected:
    void TearDown() override {
        SetLibrarySearchPath({});
        unsetenv("QZ_STANDIN_LOG");
        unsetenv("QZ_STANDIN_INVALID");
        unsetenv("QZ_STANDIN_FAIL");
    }

    fs::path Pics() {
        fs::create_directories(env_.root() / "Photos");
        return env_.root() / "Photos";
    }
    QString SavePicture(const QImage &image, const std::string &name, const char *format = nullptr,
                        int quality = -1) {
        const fs::path file = Pics() / name;
        EXPECT_TRUE(image.save(Q(file), format, quality)) << file;
        return Q(file);
    }

    static QString StandinFolder(const char *variant) {
        return QCoreApplication::applicationDirPath() + "/standin/" + variant;
    }
    // Loads the recording stand-in (or another variant) instead of the real
    // library; its calls go to a log of this test.
    void UseStandin(const char *variant = "recording") {
        SetLibrarySearchPath({StandinFolder(variant)});
        setenv("QZ_STANDIN_LOG", (env_.root() / "standin.log").c_str(), 1);
    }
    QStringList StandinCalls() {
        QFile log(Q(env_.root() / "standin.log"));
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    void ClearStandinCalls() { fs::remove(env_.root() / "standin.log"); }

    // A library file that exists but does not load: the loader takes the
    // first file found, so the real one beside the tests is not reached.
    void BreakLibrary() {
        fs::create_directories(env_.root() / "broken");
        std::ofstream(env_.root() / "broken" / "libqzgfx.so") << "not a library";
        SetLibrarySearchPath({Q(env_.root() / "broken")});
    }
};

// ---------------------------------------------------------------- codes

TEST_F(ThumbTest, ScaleAndPhotoCdCodesFollowSizeFullSizeAndExport) {
    struct Case {
        int size;
        bool fullSize;
        bool exporting;
        int pcd;
        int scale;
    } cases[] = {
        {101, false, false, 1, 1}, {100, false, false, 1, 2}, {80, false, false, 1, 2},
        {79, false, false, 1, 3},  {120, true, false, 1, 0},  {80, true, false, 1, 0},
        {79, true, false, 1, 0},   {120, false, true, 2, 2},  {79, false, true, 2, 2},
        {120, true, true, 2, 0},
    };
    UseStandin();
    // The stand-in copies bytes, so the "JPEG" is a bitmap under that name.
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "codes.jpg", "BMP");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "size " << c.size << " fullSize " << c.fullSize
                                        << " export " << c.exporting);
        TThumbnail tile;
        tile.WriteBitmapSize(c.size);
        tile.FullSize = c.fullSize;
        tile.WriteFileName(picture);
        ASSERT_TRUE(tile.HasPicture());
        if (c.exporting) {
            ClearStandinCalls();
            ASSERT_TRUE(tile.ExportThumbnail(Q(env_.root() / "export.bmp"), 200));
        }
        const QStringList calls = StandinCalls();
        ASSERT_EQ(calls.size(), 2) << calls.join(" | ").toStdString();
        EXPECT_EQ(calls[0], "_Pic_Valid " + picture);
        const QStringList convert = calls[1].split(' ');
        ASSERT_EQ(convert.size(), 6);
        EXPECT_EQ(convert[0], "_anytobmps");
        EXPECT_EQ(convert[4].toInt(), c.pcd);
        EXPECT_EQ(convert[5].toInt(), c.scale);
        ClearStandinCalls();
    }
}

// The main window's tile: a 640 x 480 JPEG decoded at half size by the real
// library before it is stretched.
TEST_F(ThumbTest, TileOf120DecodesAJpegAtHalfSize) {
    const QString picture = SavePicture(Solid(640, 480, Qt::red), "half.jpg", "JPG", 90);
    TThumbnail tile;
    tile.WriteBitmapSize(120);
    tile.WriteFileName(picture);
    ASSERT_TRUE(tile.HasPicture());
    EXPECT_EQ(tile.Info()->Width, 320);
    EXPECT_EQ(tile.Info()->Height, 240);
    EXPECT_EQ(tile.TileBitmap().Width(), 120);
    EXPECT_EQ(tile.TileBitmap().Height(), 90);
}

TEST_F(ThumbTest, GreyscaleConvertsThroughAnyToGrey) {
    const QString picture = SavePicture(Solid(60, 40, Qt::red), "grey.png");
    TThumbnail tile;
    tile.Greyscale = true;
    tile.WriteFileName(picture);
    ASSERT_TRUE(tile.HasPicture());
    const QColor c = tile.TileBitmap().Image().pixelColor(10, 10);
    EXPECT_EQ(c.red(), c.green());
    EXPECT_EQ(c.green(), c.blue());
}

// ---------------------------------------------------------------- scaling

TEST_F(ThumbTest, LongerSideBecomesBitmapSizeAndPictureIsCentred) {
    struct Case {
        int W, H, S;
        QRect drawn;  // where the picture lands in the tile
        QSize bitmap; // the tile bitmap's size
    } cases[] = {
        {640, 480, 120, {4, 19, 120, 90}, {120, 90}},
        {480, 640, 120, {19, 4, 90, 120}, {90, 120}},
        {641, 480, 120, {4, 19, 120, 89}, {120, 89}},
        // 100 / 300 rounds below one third: 39, not 40.
        {300, 100, 120, {4, 44, 120, 39}, {120, 39}},
        {100, 300, 120, {44, 4, 39, 120}, {39, 120}},
        {1024, 768, 80, {4, 14, 80, 60}, {80, 60}},
        // The short side truncates to 0: the converted length is kept, the
        // offset still comes from 0.
        {1000, 3, 120, {4, 64, 120, 3}, {120, 3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.W << " x " << c.H << " at " << c.S);
        const QString picture = SavePicture(Solid(c.W, c.H, Qt::red), "scale.png");
        TThumbnail tile;
        tile.WriteShowLabel(false);
        tile.FullSize = true; // the picture's own size, whatever the reader does with codes
        tile.WriteBitmapSize(c.S);
        tile.WriteFileName(picture);
        ASSERT_TRUE(tile.HasPicture());
        EXPECT_EQ(QSize(tile.TileBitmap().Width(), tile.TileBitmap().Height()), c.bitmap);
        const QImage shown = Grab(tile);
        EXPECT_EQ(shown.size(), QSize(c.S + 8, c.S + 8));
        EXPECT_EQ(Extent(shown, IsRed), c.drawn);
    }
}

// ---------------------------------------------------------------- cache

TEST_F(ThumbTest, CacheIsWrittenThenReadWithoutTheLibrary) {
    UseStandin();
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.jpg", "BMP");
    const QString cache = Q(Pics() / "beach._tm");

    TThumbnail first;
    first.WriteUseCache(true);
    first.WriteFileName(picture);
    ASSERT_TRUE(first.HasPicture());
    EXPECT_FALSE(first.WasCached());
    EXPECT_EQ(first.CacheFile(), cache);
    ASSERT_TRUE(QFile::exists(cache));
    EXPECT_EQ(StandinCalls().size(), 2);
    TBitmap written;
    written.LoadFromFile(cache);
    EXPECT_EQ(written.Width(), 80);
    EXPECT_EQ(written.Height(), 60);

    ClearStandinCalls();
    TThumbnail second;
    second.WriteUseCache(true);
    second.WriteFileName(picture);
    EXPECT_TRUE(second.HasPicture());
    EXPECT_TRUE(second.WasCached());
    EXPECT_TRUE(StandinCalls().isEmpty()) << StandinCalls().join(" | ").toStdString();
    EXPECT_EQ(FirstDifference(Grab(second), Grab(first)), "");

    // The same tile after an empty name reads it too.
    first.WriteFileName("");
    EXPECT_FALSE(first.HasPicture());
    first.WriteFileName(picture);
    EXPECT_TRUE(first.WasCached());
    EXPECT_TRUE(StandinCalls().isEmpty());
}

// A cached 120 x 90 picture read by a tile of 80 keeps its size and is placed
// by the same halving: at (-16, -1).
TEST_F(ThumbTest, CachedPictureIsDrawnAtItsOwnSize) {
    QImage cached = Solid(120, 90, Qt::red);
    cached.setPixelColor(16, 1, Qt::blue);  // lands on the tile's (0, 0)
    cached.setPixelColor(20, 10, Qt::blue); // lands on (4, 9)
    TBitmap(cached).SaveToFile(Q(Pics() / "old._tm"));

    BreakLibrary(); // the cache alone must do
    TThumbnail tile;
    tile.WriteShowLabel(false);
    tile.WriteUseCache(true);
    tile.WriteFileName(Q(Pics() / "old.jpg"));
    ASSERT_TRUE(tile.WasCached());
    EXPECT_EQ(tile.TileBitmap().Width(), 120);
    const QImage shown = Grab(tile);
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_EQ(shown.pixelColor(4, 9), QColor(Qt::blue));
    EXPECT_EQ(shown.pixelColor(5, 9), QColor(Qt::red));
}

TEST_F(ThumbTest, CacheFileNames) {
    struct Case {
        QString cacheDirectory;
        QString picture;
        QString cache;
    } cases[] = {
        {"", "/data/Photos/beach.jpg", "/data/Photos/beach._tm"},
        {"/cache/", "/data/Photos/beach.jpg", "/cache/Photosbeach._tm"},
        // Without the final separator the folder and the name run together.
        {"/cache", "/data/Photos/beach.jpg", "/cachePhotosbeach._tm"},
        {"/cache/", "/beach.jpg", "/cache/beach._tm"},
        {"/cache/", "beach.jpg", "/cache/beach._tm"},
        {"", "/data/Photos/name", "/data/Photos/name._tm"},
        {"", "/data/a.b/name", "/data/a.b/name._tm"},
        {"", "/data/c:d/x.tar.gz", "/data/c:d/x.tar._tm"},
        {"/cache/", "/data/c:d/x.png", "/cache/c:dx._tm"},
        // No name, no cache file (never "._tm" in the current folder).
        {"", "", ""},
        // A folder name past 255 characters is taken whole.
        {"/cache/", "/data/" + QString(300, 'f') + "/x.jpg", "/cache/" + QString(300, 'f') + "x._tm"},
    };
    BreakLibrary();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.picture.toStdString());
        TThumbnail tile;
        tile.CacheDirectory = c.cacheDirectory;
        tile.WriteFileName("x"); // so that "" below is a change
        tile.WriteFileName(c.picture);
        EXPECT_EQ(tile.CacheFile(), c.cache);
    }
}

TEST_F(ThumbTest, CacheDirectoryWithAndWithoutTrailingSeparator) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.png");
    fs::create_directories(env_.root() / "cache");
    for (const QString &dir : {Q(env_.root() / "cache") + "/", Q(env_.root() / "cache")}) {
        TThumbnail tile;
        tile.WriteUseCache(true);
        tile.CacheDirectory = dir;
        tile.WriteFileName(picture);
        EXPECT_TRUE(tile.HasPicture());
        EXPECT_TRUE(QFile::exists(dir + "Photosbeach._tm")) << dir.toStdString();
    }
    EXPECT_TRUE(fs::exists(env_.root() / "cache" / "Photosbeach._tm"));
    EXPECT_TRUE(fs::exists(env_.root() / "cachePhotosbeach._tm"));
}

TEST_F(ThumbTest, CacheThatCannotBeWrittenStillShowsThePicture) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.png");
    TThumbnail tile;
    tile.WriteUseCache(true);
    tile.CacheDirectory = Q(env_.root() / "missing") + "/";
    tile.WriteFileName(picture);
    EXPECT_TRUE(tile.HasPicture());
    EXPECT_FALSE(QFile::exists(tile.CacheFile()));
}

// A new size with the cache on converts afresh and rewrites the cache file.
TEST_F(ThumbTest, NewBitmapSizeRewritesTheCache) {
    const QString picture = SavePicture(Solid(640, 480, Qt::red), "beach.png");
    TThumbnail tile;
    tile.WriteUseCache(true);
    tile.WriteBitmapSize(120);
    tile.WriteFileName(picture);
    ASSERT_TRUE(tile.HasPicture());
    tile.WriteBitmapSize(80);
    EXPECT_FALSE(tile.WasCached());
    EXPECT_TRUE(tile.UseCache());
    TBitmap cache;
    cache.LoadFromFile(tile.CacheFile());
    EXPECT_EQ(cache.Width(), 80);
    EXPECT_EQ(cache.Height(), 60);
    EXPECT_EQ(tile.TileBitmap().Width(), 80);

    tile.DeleteCacheFile();
    EXPECT_FALSE(QFile::exists(tile.CacheFile()));
}

TEST_F(ThumbTest, UnreadableCacheFileRaisesAndLeavesNoPicture) {
    std::ofstream(Pics() / "bad._tm") << "not a bitmap";
    TThumbnail tile;
    tile.WriteUseCache(true);
    EXPECT_THROW(tile.WriteFileName(Q(Pics() / "bad.jpg")), EPlatformError);
    EXPECT_FALSE(tile.HasPicture());
    EXPECT_FALSE(tile.WasCached());
}

// A picture whose name is already a cache name would be its own cache file:
// neither a refresh nor DeleteCacheFile may touch it.
TEST_F(ThumbTest, PictureNamedLikeACacheFileIsLeftAlone) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "shot._tm", "BMP");
    const QByteArray before = [&] { QFile f(picture); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    TThumbnail tile;
    tile.WriteUseCache(true);
    tile.WriteFileName(picture);
    EXPECT_TRUE(tile.CacheFile().isEmpty());
    tile.RefreshThumbnail();
    tile.DeleteCacheFile();
    EXPECT_FALSE(tile.SaveThumbnail(""));
    QFile after(picture);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
}

// ---------------------------------------------------------------- painting

TEST_F(ThumbTest, FrameColoursForBorderAndDown) {
    const QColor down(10, 200, 30);
    struct Case {
        bool border, isDown;
        QColor first, second, face;
    } cases[] = {
        {true, false, cl3DLight(), cl3DDkShadow(), clBtnFace()},
        {true, true, cl3DDkShadow(), cl3DLight(), down},
        {false, false, clBtnFace(), clBtnFace(), clBtnFace()},
        {false, true, cl3DDkShadow(), cl3DDkShadow(), down},
    };
    ASSERT_NE(cl3DLight(), cl3DDkShadow());
    ASSERT_NE(cl3DLight(), clBtnFace());
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "Border " << c.border << " Down " << c.isDown);
        TThumbnail tile;
        tile.WriteShowLabel(false);
        tile.WriteBitmapSize(20);
        tile.ColorDown = down;
        tile.WriteBorder(c.border);
        tile.WriteDown(c.isDown);
        const QImage shown = Grab(tile);
        const int W = shown.width(), H = shown.height();
        ASSERT_EQ(QSize(W, H), QSize(28, 28));
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                // Left column and top row but its last pixel: first colour;
                // right column and bottom row but its first pixel: second.
                QColor want = c.face;
                if (x == 0 || (y == 0 && x < W - 1))
                    want = c.first;
                else if (x == W - 1 || y == H - 1)
                    want = c.second;
                ASSERT_EQ(shown.pixel(x, y), Rgb(want)) << "at (" << x << ", " << y << ")";
            }
    }
}

TEST_F(ThumbTest, DownChoosesColorUpOrColorDownAndAlwaysRepaints) {
    TThumbnail tile;
    tile.ColorUp = QColor(1, 2, 3);
    tile.ColorDown = QColor(4, 5, 6);
    EXPECT_EQ(tile.Color(), clBtnFace()); // the colours alone change nothing
    EXPECT_TRUE(tile.ParentColor());
    tile.WriteDown(true);
    EXPECT_EQ(tile.Color(), QColor(4, 5, 6));
    EXPECT_FALSE(tile.ParentColor());
    tile.WriteDown(false);
    EXPECT_EQ(tile.Color(), QColor(1, 2, 3));

    // The same value again still repaints: a size set behind its back is
    // undone by that paint.
    tile.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tile));
    tile.SetWidth(50);
    tile.WriteDown(false);
    EXPECT_EQ(tile.Width(), 88);
}

TEST_F(ThumbTest, TileSizeIsRestoredAtEveryPaint) {
    TThumbnail tile;
    tile.SetWidth(50);
    tile.SetHeight(10);
    Grab(tile);
    EXPECT_EQ(QSize(tile.Width(), tile.Height()), QSize(88, 100));
    tile.WriteShowLabel(false);
    Grab(tile);
    EXPECT_EQ(QSize(tile.Width(), tile.Height()), QSize(88, 88));
}

// photograph.jpg, cut round by round: photograph..., photograph.., photograp..
TEST_F(ThumbTest, LongLabelIsCutByTheFittingRule) {
    const QStringList rounds = {"photograph.jpg", "photograph...", "photograph..", "photograp..",
                                "photogra..", "photogr..", "photog..", "photo..", "phot..",
                                "pho..", "pho.", "pho", "ph", "p", ""};
    BreakLibrary(); // labels only
    TThumbnail probe;
    const QFontMetrics metrics(probe.Font());
    for (int expected : {4, 9, 10}) { // a middle round, "pho..", "pho."
        const int S = metrics.horizontalAdvance(rounds[expected]) + 4;
        // Widths shrink round by round: the first text that fits is the one.
        int want = 0;
        while (metrics.horizontalAdvance(rounds[want]) + 4 > S)
            ++want;
        if (want != expected)
            continue; // two rounds of equal width in this font
        SCOPED_TRACE(rounds[want].toStdString());

        TThumbnail cut, reference;
        cut.WriteBitmapSize(S);
        reference.WriteBitmapSize(S);
        cut.WriteFileName("/nowhere/photograph.jpg");
        reference.WriteFileName("/nowhere/" + rounds[want]);
        const QImage shown = Grab(cut);
        EXPECT_EQ(FirstDifference(shown, Grab(reference)), "");
        // Something was written, inside the tile's picture column.
        const QRect ink = Extent(shown.copy(1, S + 4, S + 6, 15),
                                 [](QColor c) { return c.lightness() < 100; });
        EXPECT_FALSE(ink.isEmpty());
    }
}

TEST_F(ThumbTest, LabelThatFitsIsCentredOverThePicture) {
    BreakLibrary();
    TThumbnail tile;
    tile.WriteBitmapSize(120);
    tile.WriteFileName("/nowhere/a.jpg");
    const int tw = QFontMetrics(tile.Font()).horizontalAdvance("a.jpg");
    const int x = (120 - tw) / 2 + 4;
    const QImage shown = Grab(tile);
    const QRect ink = Extent(shown.copy(1, 1, 126, 138), [](QColor c) { return c.lightness() < 100; })
                          .translated(1, 1);
    ASSERT_FALSE(ink.isEmpty());
    EXPECT_GE(ink.left(), x);
    EXPECT_LE(ink.right(), x + tw);

    tile.WriteShowLabel(false);
    const QImage bare = Grab(tile);
    EXPECT_EQ(bare.height(), 128);
    EXPECT_TRUE(Extent(bare.copy(1, 1, 126, 126), [](QColor c) { return c.lightness() < 100; }).isEmpty());
}

// ---------------------------------------------------------------- failures

TEST_F(ThumbTest, MissingLibraryShowsFrameAndLabelWithoutMessage) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.png");
    BreakLibrary();
    StartRecordingMessages();
    TThumbnail tile;
    tile.WriteBitmapSize(120);
    tile.WriteFileName(picture);
    StopRecordingMessages();
    EXPECT_TRUE(RecordedMessages().isEmpty());
    EXPECT_FALSE(tile.HasPicture());
    const QImage shown = Grab(tile);
    EXPECT_EQ(shown.pixel(0, 0), Rgb(cl3DLight()));
    EXPECT_EQ(shown.pixel(127, 139), Rgb(cl3DDkShadow()));
    EXPECT_TRUE(Extent(shown, IsRed).isEmpty());
    EXPECT_FALSE(Extent(shown.copy(1, 124, 126, 15), [](QColor c) { return c.lightness() < 100; }).isEmpty());
}

// No entry point, an invalid picture, a failed conversion: no picture, the
// temporary file gone, the library released.
TEST_F(ThumbTest, LibraryFailuresLeaveNoPictureAndNoTemporaryFile) {
    struct Case {
        const char *variant;
        const char *env;
    } cases[] = {{"no_picvalid", nullptr}, {"recording", "QZ_STANDIN_INVALID"},
                 {"recording", "QZ_STANDIN_FAIL"}};
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.jpg", "BMP");
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.variant << " " << (c.env ? c.env : ""));
        UseStandin(c.variant);
        if (c.env)
            setenv(c.env, "1", 1);
        TThumbnail tile;
        tile.WriteFileName(picture);
        EXPECT_FALSE(tile.HasPicture());
        EXPECT_FALSE(fs::exists(env_.tmp() / "beach.bmp"));
        const QByteArray lib = (StandinFolder(c.variant) + "/libqzgfx.so").toLocal8Bit();
        EXPECT_EQ(dlopen(lib.constData(), RTLD_LAZY | RTLD_NOLOAD), nullptr);
        if (c.env)
            unsetenv(c.env);
    }
}

// The converted file does not load: the loader's error reaches the caller,
// and the build still removes its temporary file and releases the library.
TEST_F(ThumbTest, UnloadableTemporaryBitmapRaisesAndCleansUp) {
    UseStandin();
    std::ofstream(Pics() / "garbage.jpg") << "not a picture at all";
    TThumbnail tile;
    EXPECT_THROW(tile.WriteFileName(Q(Pics() / "garbage.jpg")), EPlatformError);
    EXPECT_FALSE(tile.HasPicture());
    EXPECT_EQ(tile.TempFile(), Q(env_.tmp() / "garbage.bmp"));
    EXPECT_FALSE(fs::exists(env_.tmp() / "garbage.bmp"));
    const QByteArray lib = (StandinFolder("recording") + "/libqzgfx.so").toLocal8Bit();
    EXPECT_EQ(dlopen(lib.constData(), RTLD_LAZY | RTLD_NOLOAD), nullptr);
}

// A bitmap in the temporary folder names itself as the temporary bitmap; it
// must come through a build unharmed.
TEST_F(ThumbTest, PictureThatIsTheTemporaryBitmapSurvives) {
    const QString picture = Q(env_.tmp() / "beach.bmp");
    ASSERT_TRUE(Solid(64, 48, Qt::red).save(picture, "BMP"));
    const QByteArray before = [&] { QFile f(picture); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    TThumbnail tile;
    tile.WriteFileName(picture);
    EXPECT_TRUE(tile.HasPicture());
    EXPECT_NE(tile.TempFile(), picture);
    QFile after(picture);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), before);
    EXPECT_FALSE(QFile::exists(tile.TempFile()));
}

TEST_F(ThumbTest, TemporaryBitmapFolderFromTempThenTmp) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "beach.png");
    const fs::path other = env_.root() / "other";
    fs::create_directories(other);
    // A folder too long for the 256-character buffer is used whole.
    fs::path deep = env_.root();
    while (deep.string().size() <= 300)
        deep /= std::string(60, 'd');
    fs::create_directories(deep);

    struct Case {
        const char *temp; // null: unset
        fs::path tmp;
        QString folder;
        bool picture;
    } cases[] = {
        {nullptr, other, Q(other), true},
        {"", other, Q(other), true}, // an empty TEMP is no folder
        {deep.c_str(), other, Q(deep), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.folder.toStdString());
        if (c.temp)
            setenv("TEMP", c.temp, 1);
        else
            unsetenv("TEMP");
        setenv("TMP", c.tmp.c_str(), 1);
        TThumbnail tile;
        tile.WriteFileName(picture);
        EXPECT_EQ(tile.TempFile(), c.folder + "/beach.bmp");
        EXPECT_EQ(tile.HasPicture(), c.picture);
        EXPECT_FALSE(QFile::exists(tile.TempFile()));
    }

    // A name without extension just gains ".bmp".
    setenv("TEMP", env_.tmp().c_str(), 1);
    {
        const QString bare = SavePicture(Solid(64, 48, Qt::red), "noext", "PNG");
        TThumbnail tile;
        tile.WriteFileName(bare);
        EXPECT_EQ(tile.TempFile(), Q(env_.tmp() / "noext.bmp"));
        EXPECT_TRUE(tile.HasPicture());
    }

    // Neither set: the reference stays as written, a relative folder that
    // does not exist, and no picture.
    unsetenv("TEMP");
    unsetenv("TMP");
    TThumbnail tile;
    tile.WriteFileName(picture);
    EXPECT_EQ(tile.TempFile(), "%tmp%/beach.bmp");
    EXPECT_FALSE(tile.HasPicture());
}

TEST_F(ThumbTest, SameNameBuildsOnceEmptyThenNameBuildsAgain) {
    const QString picture = SavePicture(Solid(64, 48, Qt::red), "variant.png");
    TThumbnail tile;
    tile.WriteShowLabel(false);
    tile.WriteFileName(picture);
    EXPECT_FALSE(Extent(Grab(tile), IsRed).isEmpty());

    SavePicture(Solid(64, 48, Qt::blue), "variant.png");
    tile.WriteFileName(picture);
    EXPECT_FALSE(Extent(Grab(tile), IsRed).isEmpty()) << "an equal name rebuilt";

    tile.WriteFileName("");
    EXPECT_FALSE(tile.HasPicture());
    EXPECT_TRUE(Extent(Grab(tile), IsRed).isEmpty());
    tile.WriteFileName(picture);
    const QImage shown = Grab(tile);
    EXPECT_TRUE(Extent(shown, IsRed).isEmpty());
    EXPECT_EQ(Extent(shown, IsBlue), QRect(4, 14, 80, 60));
}

// ---------------------------------------------------------------- export

TEST_F(ThumbTest, ExportWritesThePictureAtSizeAndKeepsTheTile) {
    const QString picture = SavePicture(Solid(640, 480, Qt::red), "beach.jpg", "JPG", 90);
    TThumbnail tile;
    tile.WriteFileName(picture); // BitmapSize 80
    ASSERT_TRUE(tile.HasPicture());
    const QImage before = Grab(tile);

    const QString target = Q(env_.root() / "export.bmp");
    EXPECT_FALSE(tile.ExportThumbnail(target, 0));
    EXPECT_FALSE(QFile::exists(target));

    ASSERT_TRUE(tile.ExportThumbnail(target, 200));
    TBitmap exported;
    exported.LoadFromFile(target);
    EXPECT_EQ(exported.Width(), 200);
    EXPECT_EQ(exported.Height(), 150);
    EXPECT_EQ(tile.Info()->Width, 160); // decoded at a quarter
    EXPECT_EQ(tile.TileBitmap().Width(), 80);
    EXPECT_EQ(FirstDifference(Grab(tile), before), "");

    // Later builds update the tile again.
    const QString other = SavePicture(Solid(480, 640, Qt::blue), "other.png");
    tile.WriteFileName(other);
    EXPECT_EQ(tile.TileBitmap().Width(), 60);
    EXPECT_EQ(tile.TileBitmap().Height(), 80);
}

// An export from a tile whose picture came from the cache leaves that
// picture where it was drawn.
TEST_F(ThumbTest, ExportKeepsACachedPictureInPlace) {
    const QString picture = SavePicture(Solid(640, 480, Qt::red), "beach.png");
    TBitmap(Solid(120, 90, Qt::blue)).SaveToFile(Q(Pics() / "beach._tm"));
    TThumbnail tile;
    tile.WriteShowLabel(false);
    tile.WriteUseCache(true);
    tile.WriteFileName(picture);
    ASSERT_TRUE(tile.WasCached());
    const QImage before = Grab(tile);
    ASSERT_TRUE(tile.ExportThumbnail(Q(env_.root() / "export.bmp"), 200));
    EXPECT_EQ(FirstDifference(Grab(tile), before), "");
    EXPECT_TRUE(tile.UseCache());
    TBitmap cache;
    cache.LoadFromFile(Q(Pics() / "beach._tm"));
    EXPECT_EQ(cache.Width(), 120); // neither read nor written by the export
}

TEST_F(ThumbTest, ExportWithoutPictureWritesNothingAndWriteErrorsPropagate) {
    TThumbnail tile;
    tile.WriteFileName(Q(Pics() / "missing.jpg"));
    const QString target = Q(env_.root() / "export.bmp");
    EXPECT_FALSE(tile.ExportThumbnail(target, 200));
    EXPECT_FALSE(QFile::exists(target));

    const QString picture = SavePicture(Solid(640, 480, Qt::red), "beach.png");
    tile.WriteUseCache(true);
    tile.WriteFileName(picture);
    EXPECT_THROW(tile.ExportThumbnail(Q(env_.root() / "no" / "such" / "folder.bmp"), 200), EPlatformError);
    // The failed export left its state: the next one and the cache work.
    EXPECT_TRUE(tile.UseCache());
    ASSERT_TRUE(tile.ExportThumbnail(target, 100));
    TBitmap exported;
    exported.LoadFromFile(target);
    EXPECT_EQ(exported.Width(), 100);
    tile.WriteFileName("");
    tile.WriteFileName(picture);
    EXPECT_TRUE(tile.WasCached());
}

// ---------------------------------------------------------------- sizes

TEST_F(ThumbTest, BitmapSizeBelowFourIsRaisedToFour) {
    const QString picture = SavePicture(Solid(640, 480, Qt::red), "a-rather-long-picture-name.png");
    for (int size : {3, 0, -7}) {
        SCOPED_TRACE(size);
        TThumbnail tile;
        tile.WriteFileName(picture);
        tile.WriteBitmapSize(size);
        EXPECT_EQ(tile.BitmapSize(), 4);
        const QImage shown = Grab(tile); // the label never fits: no hang
        EXPECT_EQ(shown.size(), QSize(12, 24));
        EXPECT_EQ(tile.TileBitmap().Width(), 4);
        EXPECT_EQ(tile.TileBitmap().Height(), 3);
        const QString target = Q(env_.root() / "export.bmp");
        ASSERT_TRUE(tile.ExportThumbnail(target, 200));
        TBitmap exported;
        exported.LoadFromFile(target);
        EXPECT_EQ(QSize(exported.Width(), exported.Height()), QSize(200, 150));
        EXPECT_FALSE(tile.ExportThumbnail(target, -1));
    }
}

TEST_F(ThumbTest, RegisterPutsTheTileOnThePalette) {
    thumb::Register();
    EXPECT_TRUE(RegisteredComponents("QZ").contains("TThumbnail"));
}

} // namespace
