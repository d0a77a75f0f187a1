// TAnyImage driven through its properties: with the real graphics library
// where the picture matters, and with stand-in libraries (tests/components/
// standin) that log every call where the calls themselves, or a fault, are
// the point.
#include "components/anyimage.h"

#include "platform/application.h"
#include "platform/component.h"
#include "platform/messages.h"
#include "platform/stdctrls.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QWidget>

#include <dlfcn.h>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

QString StandinFolder(const char *variant)
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/standin/") + QLatin1String(variant);
}

// Whether the process still has the stand-in mapped: proves FreeLibrary ran,
// not just that the control forgot its handle.
bool StandinMapped(const char *variant)
{
    const QByteArray path = QFile::encodeName(StandinFolder(variant) + QStringLiteral("/libqzgfx.so"));
    void *handle = dlopen(path.constData(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

QRect Bounds(const TAnyImage &image)
{
    return QRect(image.Left(), image.Top(), image.Width(), image.Height());
}

class AnyImageTest : public IsolatedTest {
protected:
    void SetUp() override
    {
        FPictures = QString::fromStdString((env_.root() / "pictures").string());
        QDir().mkpath(FPictures);
        FLog = QString::fromStdString((env_.root() / "standin.log").string());
        setenv("QZ_STANDIN_LOG", FLog.toLocal8Bit().constData(), 1);
        unsetenv("QZ_STANDIN_INVALID");
        unsetenv("QZ_STANDIN_FAIL");
        SetLibrarySearchPath({});
        ClearRecordedMessages();
        StartRecordingMessages();
    }
    void TearDown() override
    {
        StopRecordingMessages();
        ClearRecordedMessages();
        SetLibrarySearchPath({});
        unsetenv("QZ_STANDIN_LOG");
        unsetenv("QZ_STANDIN_INVALID");
        unsetenv("QZ_STANDIN_FAIL");
    }

    // A picture file of w x h in the given format under name (relative to
    // the pictures folder). BMP content under any name is what the
    // stand-in "converts" by copying.
    QString Picture(const QString &name, int w, int h, const char *format = "BMP", QColor color = Qt::red)
    {
        const QString path = FPictures + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(color);
        EXPECT_TRUE(image.save(path, format)) << path.toStdString();
        return path;
    }
    void UseStandin(const char *variant) { SetLibrarySearchPath({StandinFolder(variant)}); }
    QStringList Log() const
    {
        QFile file(FLog);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The conversion lines of the log (everything but _Pic_Valid).
    QStringList Conversions() const
    {
        QStringList lines = Log();
        lines.removeIf([](const QString &line) { return line.startsWith(QStringLiteral("_Pic_Valid")); });
        return lines;
    }
    void ClearLog() { QFile::remove(FLog); }
    QString TempFolder() const { return QString::fromStdString(env_.tmp().string()) + QLatin1Char('/'); }
    QStringList TempFiles() const { return QDir(TempFolder()).entryList(QDir::Files | QDir::Hidden); }

    QString FPictures;
    QString FLog;
};

// ---- with the real library -------------------------------------------------

TEST_F(AnyImageTest, PreviewAsTheMainWindowUsesIt)
{
    // The main window: in a scroll box, AutoSize on, CenterOnParent off,
    // everything else at its default.
    TScrollBox box;
    box.resize(300, 200);
    TAnyImage image(box.Content());
    image.SetAutoSize(true);
    image.WriteCenterOnParent(false);
    EXPECT_EQ(image.JpegScale(), jsFull);
    EXPECT_EQ(image.PCDSize(), p768x512);
    EXPECT_TRUE(image.TruColor());
    EXPECT_TRUE(image.AutoFlush());
    EXPECT_TRUE(image.Proportional());

    const QString jpeg = Picture(QStringLiteral("preview.jpg"), 64, 48, "JPG");
    image.WriteFileName(QString());
    image.WriteFileName(jpeg);
    EXPECT_EQ(image.Picture()->Width(), 64);
    EXPECT_EQ(image.Picture()->Height(), 48);
    EXPECT_EQ(Bounds(image), QRect(0, 0, 64, 48));
    EXPECT_EQ(image.Info()->Width, 64);
    EXPECT_EQ(image.Info()->Height, 48);
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
    EXPECT_FALSE(image.LibraryLoaded());
    EXPECT_TRUE(RecordedMessages().isEmpty());

    // The proportional fit after AutoSize leaves the width one pixel short
    // where the ratio times the height falls just below the picture's width.
    const QString narrow = Picture(QStringLiteral("narrow.png"), 49, 11, "PNG");
    image.WriteFileName(QString());
    image.WriteFileName(narrow);
    EXPECT_EQ(image.Picture()->Width(), 49);
    EXPECT_EQ(Bounds(image), QRect(0, 0, 48, 11));
}

TEST_F(AnyImageTest, JpegScaleDecodesSmallerWithTheRealLibrary)
{
    const QString jpeg = Picture(QStringLiteral("scaled.Jpg"), 64, 48, "JPG");
    TAnyImage image;
    image.WriteProportional(false);
    image.WriteFileName(jpeg);
    ASSERT_EQ(image.Picture()->Width(), 64);
    image.WriteJpegScale(jsHalf);
    EXPECT_EQ(image.Picture()->Width(), 32);
    EXPECT_EQ(image.Picture()->Height(), 24);
    image.WriteJpegScale(jsQuarter);
    EXPECT_EQ(image.Picture()->Width(), 16);
    EXPECT_EQ(image.Picture()->Height(), 12);
}

TEST_F(AnyImageTest, FitsPictureRatioAndCentres)
{
    // 300 x 200 in 400 x 400: 600 is wider than 400, so the width stays and
    // the height is cut from 266.67. Centred in 500 x 300: left 50, top 17.
    const QString png = Picture(QStringLiteral("wide.png"), 300, 200, "PNG");
    struct Case {
        const char *what;
        bool parent;
        bool proportional;
        bool center;
        QRect expected;
        int height = 400;
    } cases[] = {
        {"fitted, not centred", true, true, false, QRect(7, 9, 400, 266)},
        // 267 x 1.5 = 400.5 truncates to 400, which is not wider than 400:
        // the height stays.
        {"a width that truncates to the control's keeps the height", true, true, false, QRect(7, 9, 400, 267), 267},
        {"fitted and centred", true, true, true, QRect(50, 17, 400, 266)},
        {"without Proportional CenterOnParent does nothing", true, false, true, QRect(7, 9, 400, 400)},
        {"without a parent the position stays", false, true, true, QRect(7, 9, 400, 266)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        QWidget parent;
        parent.resize(500, 300);
        TAnyImage image(c.parent ? &parent : nullptr);
        image.SetBounds(7, 9, 400, c.height);
        if (!c.proportional)
            image.WriteProportional(false);
        image.WriteCenterOnParent(c.center);
        image.WriteFileName(png);
        EXPECT_EQ(image.Picture()->Width(), 300);
        EXPECT_EQ(Bounds(image), c.expected);
    }
}

TEST_F(AnyImageTest, CentresInTheVisibleAreaOfAScrollBox)
{
    const QString png = Picture(QStringLiteral("wide.png"), 300, 200, "PNG");
    TScrollBox box;
    box.resize(640, 480);
    // Another child far out makes the scrolled area much larger than the
    // visible one; the visible area is what the image is centred in.
    QWidget far(box.Content());
    far.setGeometry(1500, 1200, 10, 10);
    box.UpdateRange();
    ASSERT_GT(box.Content()->width(), 1500);
    TAnyImage image(box.Content());
    image.SetBounds(0, 0, 400, 400);
    image.WriteFileName(png);
    EXPECT_EQ(image.Width(), 400);
    EXPECT_EQ(image.Height(), 266);
    EXPECT_EQ(image.Left(), (box.ClientWidth() - 400) / 2);
    EXPECT_EQ(image.Top(), (box.ClientHeight() - 266) / 2);
}

TEST_F(AnyImageTest, MissingLibraryReportedOnceAndOldPictureStays)
{
    const QString first = Picture(QStringLiteral("first.png"), 30, 20, "PNG");
    const QString second = Picture(QStringLiteral("second.png"), 50, 10, "PNG");
    TAnyImage image;
    image.WriteProportional(false);
    image.WriteFileName(first);
    ASSERT_EQ(image.Picture()->Width(), 30);

    // The first file found is the one loaded: a broken one hides the real one.
    const QString broken = QString::fromStdString((env_.root() / "broken").string());
    QDir().mkpath(broken);
    QFile lib(broken + QStringLiteral("/libqzgfx.so"));
    ASSERT_TRUE(lib.open(QIODevice::WriteOnly));
    lib.write("not a library");
    lib.close();
    SetLibrarySearchPath({broken});

    image.WriteFileName(second);
    ASSERT_EQ(RecordedMessages().size(), 1);
    EXPECT_EQ(RecordedMessages()[0].Text, QStringLiteral("Cannot find qzgfx.dll"));
    EXPECT_EQ(RecordedMessages()[0].Caption, QStringLiteral("AnyImage"));
    EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
    EXPECT_EQ(image.Picture()->Width(), 30);
    EXPECT_EQ(image.FileName(), second);
    EXPECT_FALSE(image.LibraryLoaded());
}

// ---- with the stand-ins ----------------------------------------------------

TEST_F(AnyImageTest, ReloadRulesAndCallOrder)
{
    UseStandin("recording");
    const QString photo = Picture(QStringLiteral("photo.jpg"), 30, 20);
    TAnyImage image;
    image.WriteProportional(false);
    const QString bitmap = TempFolder() + QStringLiteral("xphoto.bmp");

    image.WriteFileName(photo);
    EXPECT_EQ(Log(), QStringList({QStringLiteral("_Pic_Valid ") + photo,
                                  QStringLiteral("_anytobmps %1 %2 0 3 0").arg(photo, bitmap)}));
    EXPECT_EQ(image.Picture()->Width(), 30);
    EXPECT_FALSE(QFile::exists(bitmap));

    // The same name again does nothing, even though the file changed.
    Picture(QStringLiteral("photo.jpg"), 40, 10);
    ClearLog();
    image.WriteFileName(photo);
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(image.Picture()->Width(), 30);

    // The empty name first makes the same name load again. The stand-in set
    // the record's word at 892 after the first read: it is cleared again.
    image.WriteFileName(QString());
    EXPECT_EQ(Log(), QStringList({QStringLiteral("_Pic_Valid ")}));
    EXPECT_EQ(image.Picture()->Width(), 30);
    image.WriteFileName(photo);
    EXPECT_EQ(Conversions(), QStringList({QStringLiteral("_anytobmps %1 %2 0 3 0").arg(photo, bitmap)}));
    EXPECT_EQ(image.Picture()->Width(), 40);
    EXPECT_TRUE(RecordedMessages().isEmpty());
}

TEST_F(AnyImageTest, ScaleAndPhotoCdSizeReloadOnlyTheirExtension)
{
    UseStandin("recording");
    struct Case {
        const char *name;
        bool jpegReloads;
        bool pcdReloads;
    } cases[] = {
        {"a.jpg", true, false}, {"b.Jpg", true, false}, {"c.JPG", true, false},
        {"d.jpeg", false, false}, {"e.pcd", false, true}, {"f.PCD", false, true},
        {"g.png", false, false}, {"h", false, false}, {"dir.jpg/i", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Picture(QLatin1String(c.name), 8, 8);
        TAnyImage image;
        image.WriteFileName(path);
        ClearLog();
        image.WriteJpegScale(jsHalf);
        ASSERT_EQ(Conversions().size(), c.jpegReloads ? 1 : 0);
        if (c.jpegReloads) {
            EXPECT_TRUE(Conversions()[0].endsWith(QStringLiteral(" 3 1")));
        }
        ClearLog();
        image.WritePCDSize(p192x128);
        ASSERT_EQ(Conversions().size(), c.pcdReloads ? 1 : 0);
        if (c.pcdReloads) {
            EXPECT_TRUE(Conversions()[0].endsWith(QStringLiteral(" 1 1")));
        }
        // Either way the new values apply to the next load.
        ClearLog();
        image.WriteFileName(QString());
        image.WriteFileName(path);
        ASSERT_EQ(Conversions().size(), 1);
        EXPECT_TRUE(Conversions()[0].endsWith(QStringLiteral(" 1 1"))) << Conversions()[0].toStdString();
    }
}

TEST_F(AnyImageTest, ScaleAndPhotoCdSizeAreClamped)
{
    UseStandin("recording");
    TAnyImage image;
    image.WriteFileName(Picture(QStringLiteral("x.jpg"), 8, 8));
    struct Step {
        int value;
        Jpegscale stored;
        const char *reload; // the logged "pcd scale" codes, or null: no reload
    } steps[] = {
        {5, jsQuarter, " 3 2"},
        {7, jsQuarter, " 3 2"}, // differs from the stored 2, so it reloads
        {2, jsQuarter, nullptr},
        {-3, jsFull, " 3 0"},
        {0, jsFull, nullptr},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.value);
        ClearLog();
        image.WriteJpegScale(s.value);
        EXPECT_EQ(image.JpegScale(), s.stored);
        ASSERT_EQ(Conversions().size(), s.reload ? 1 : 0);
        if (s.reload) {
            EXPECT_TRUE(Conversions()[0].endsWith(QLatin1String(s.reload)));
        }
    }

    TAnyImage cd;
    cd.WriteFileName(Picture(QStringLiteral("x.pcd"), 8, 8));
    ClearLog();
    cd.WritePCDSize(9); // differs from p768x512 (2), stored as 2
    EXPECT_EQ(cd.PCDSize(), p768x512);
    ASSERT_EQ(Conversions().size(), 1);
    EXPECT_TRUE(Conversions()[0].endsWith(QStringLiteral(" 3 0")));
    ClearLog();
    cd.WritePCDSize(-1);
    EXPECT_EQ(cd.PCDSize(), p192x128);
    ASSERT_EQ(Conversions().size(), 1);
    EXPECT_TRUE(Conversions()[0].endsWith(QStringLiteral(" 1 0")));
}

TEST_F(AnyImageTest, TemporaryBitmapNameAndDeletion)
{
    UseStandin("recording");
    struct Case {
        const char *name;
        const char *bitmap;
    } cases[] = {
        {"photo.jpg", "xphoto.bmp"},
        {"noext", "xnoext.bmp"},
        {"dir.d/noext", "xnoext.bmp"},
        {"photo.tar.gz", "xphoto.tar.bmp"},
        {"c:photo.jpg", "xc:photo.bmp"}, // a colon is an ordinary character
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Picture(QLatin1String(c.name), 12, 6);
        TAnyImage image;
        image.WriteProportional(false);
        ClearLog();
        image.WriteFileName(path);
        ASSERT_EQ(Conversions().size(), 1);
        EXPECT_EQ(Conversions()[0].section(QLatin1Char(' '), 2, 2), TempFolder() + QLatin1String(c.bitmap));
        EXPECT_EQ(image.Picture()->Width(), 12);
        EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
    }

    // The empty name's temporary path is the folder and x.bmp; it is deleted
    // although nothing was converted.
    TAnyImage image;
    image.WriteFileName(Picture(QStringLiteral("p.jpg"), 4, 4));
    QFile stale(TempFolder() + QStringLiteral("x.bmp"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    image.WriteFileName(QString());
    EXPECT_FALSE(stale.exists());
}

TEST_F(AnyImageTest, RefusedOrFailedConversionKeepsOldPicture)
{
    UseStandin("recording");
    const QString first = Picture(QStringLiteral("first.jpg"), 30, 20);
    const QString second = Picture(QStringLiteral("second.jpg"), 50, 10);
    for (const char *fault : {"QZ_STANDIN_INVALID", "QZ_STANDIN_FAIL"}) {
        SCOPED_TRACE(fault);
        TAnyImage image;
        image.WriteProportional(false);
        image.WriteFileName(first);
        setenv(fault, "1", 1);
        ClearLog();
        image.WriteFileName(second);
        unsetenv(fault);
        EXPECT_EQ(Log().first(), QStringLiteral("_Pic_Valid ") + second);
        EXPECT_EQ(Conversions().size(), std::string(fault) == "QZ_STANDIN_FAIL" ? 1 : 0);
        EXPECT_EQ(image.Picture()->Width(), 30);
        EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
        EXPECT_TRUE(RecordedMessages().isEmpty());
        EXPECT_FALSE(StandinMapped("recording"));
    }
}

TEST_F(AnyImageTest, UnreadableBitmapPassesErrorOnAndCleansUp)
{
    UseStandin("recording");
    TAnyImage image;
    image.WriteProportional(false);
    image.WriteFileName(Picture(QStringLiteral("good.jpg"), 30, 20));
    QFile bad(FPictures + QStringLiteral("/bad.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is no bitmap");
    bad.close();

    EXPECT_THROW(image.WriteFileName(bad.fileName()), EPlatformError);
    EXPECT_EQ(image.Picture()->Width(), 30);
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
    EXPECT_FALSE(StandinMapped("recording"));
}

TEST_F(AnyImageTest, MissingRoutineReportedOnceAndOldPictureStays)
{
    UseStandin("recording");
    const QString first = Picture(QStringLiteral("first.jpg"), 30, 20);
    const QString second = Picture(QStringLiteral("second.jpg"), 50, 10);
    for (bool autoFlush : {true, false}) {
        SCOPED_TRACE(autoFlush);
        UseStandin("recording");
        TAnyImage image;
        image.WriteProportional(false);
        image.WriteFileName(first);
        image.WriteAutoFlush(autoFlush);
        UseStandin("no_picvalid");
        ClearLog();
        ClearRecordedMessages();
        image.WriteFileName(second);
        ASSERT_EQ(RecordedMessages().size(), 1);
        EXPECT_EQ(RecordedMessages()[0].Text, QStringLiteral("Cannot find Routine"));
        EXPECT_EQ(RecordedMessages()[0].Caption, QStringLiteral("QZGfx"));
        EXPECT_EQ(RecordedMessages()[0].Flags, MB_ICONERROR);
        EXPECT_TRUE(Log().isEmpty()) << "nothing is converted";
        EXPECT_EQ(image.Picture()->Width(), 30);
        EXPECT_EQ(image.FileName(), second);
        EXPECT_EQ(image.LibraryLoaded(), !autoFlush);
        EXPECT_EQ(StandinMapped("no_picvalid"), !autoFlush);
    }
    EXPECT_FALSE(StandinMapped("no_picvalid")) << "the destructor releases it";
}

TEST_F(AnyImageTest, RoutinesLookedUpOnEveryLoadAndAutoFlushReleasesAtOnce)
{
    UseStandin("recording");
    const QString photo = Picture(QStringLiteral("photo.png"), 10, 10);
    auto image = std::make_unique<TAnyImage>();
    image->WriteFileName(photo);
    EXPECT_FALSE(StandinMapped("recording")) << "released after the load by default";

    image->WriteAutoFlush(false);
    image->WriteFileName(QString());
    image->WriteFileName(photo);
    EXPECT_TRUE(image->LibraryLoaded());
    EXPECT_TRUE(StandinMapped("recording"));

    // With the library held, a load still looks the conversion up by name.
    ClearLog();
    image->WriteTruColor(false);
    EXPECT_EQ(Conversions().size(), 1);
    EXPECT_TRUE(Conversions()[0].startsWith(QStringLiteral("_anyto256 ")));
    ClearLog();
    image->WriteTruColor(false);
    EXPECT_TRUE(Log().isEmpty());
    image->WriteTruColor(true);
    ASSERT_EQ(Conversions().size(), 1);
    EXPECT_TRUE(Conversions()[0].startsWith(QStringLiteral("_anytobmps ")));
    EXPECT_TRUE(StandinMapped("recording"));

    // Assigning AutoFlush releases at once, whatever the value.
    image->WriteAutoFlush(false);
    EXPECT_FALSE(image->LibraryLoaded());
    EXPECT_FALSE(StandinMapped("recording"));
    image->WriteFileName(QString());
    image->WriteFileName(photo);
    EXPECT_TRUE(StandinMapped("recording"));
    image->WriteAutoFlush(true);
    EXPECT_FALSE(StandinMapped("recording"));

    image->WriteAutoFlush(false);
    image->WriteFileName(QString());
    image->WriteFileName(photo);
    ASSERT_TRUE(StandinMapped("recording"));
    image.reset();
    EXPECT_FALSE(StandinMapped("recording")) << "the destructor releases it";
}

TEST_F(AnyImageTest, IconsShownAtTheirOwnSizeWithoutTheLibrary)
{
    UseStandin("recording");
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    for (const char *name : {"app.ico", "APP.ICO"}) {
        SCOPED_TRACE(name);
        const QString path = FPictures + QLatin1Char('/') + QLatin1String(name);
        ASSERT_TRUE(icon.save(path, "ICO"));
        QWidget parent;
        parent.resize(500, 300);
        TAnyImage image(&parent);
        image.SetBounds(3, 4, 100, 30);
        image.SetAutoSize(true);
        ClearLog();
        image.WriteFileName(path);
        EXPECT_EQ(image.Picture()->kind(), TPicture::Icon);
        EXPECT_EQ(Bounds(image), QRect(3, 4, 48, 48)) << "neither fitted nor centred";
        EXPECT_TRUE(Log().isEmpty());
    }

    // Metafiles go the same way; this platform has no reader for them.
    TAnyImage image;
    ClearLog();
    EXPECT_THROW(image.WriteFileName(FPictures + QStringLiteral("/drawing.WMF")), EPlatformError);
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(AnyImageTest, ProportionalAndCenterOnParentWriters)
{
    UseStandin("recording");
    // On an empty control there is no ratio to fit: bounds stay.
    TAnyImage empty;
    empty.SetBounds(0, 0, 120, 80);
    empty.SetAutoSize(true);
    empty.WriteProportional(true);
    EXPECT_FALSE(empty.AutoSize());
    EXPECT_TRUE(empty.Stretch());
    EXPECT_EQ(Bounds(empty), QRect(0, 0, 120, 80));

    QWidget parent;
    parent.resize(500, 300);
    TAnyImage image(&parent);
    image.SetBounds(7, 9, 400, 400);
    image.WriteCenterOnParent(false);
    image.WriteFileName(Picture(QStringLiteral("wide.jpg"), 300, 200));
    ASSERT_EQ(Bounds(image), QRect(7, 9, 400, 266));

    // True reloads the file, and the fit centres it.
    ClearLog();
    image.WriteCenterOnParent(true);
    EXPECT_EQ(Conversions().size(), 1);
    EXPECT_EQ(image.Left(), 50);
    EXPECT_EQ(image.Top(), 17);
    // False neither reloads nor moves.
    ClearLog();
    image.SetLeft(1);
    image.WriteCenterOnParent(false);
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(image.Left(), 1);
}

TEST_F(AnyImageTest, TemporaryFolderFromTempThenTmp)
{
    const std::string fits(249, 'a'); // 250 characters are offered
    const std::string tooLong(250, 'b');
    struct Case {
        const char *what;
        std::optional<std::string> temp, tmp;
        QString folder;
    } cases[] = {
        {"temp", "/w/t", "/w/u", "/w/t/"},
        {"temp with separator", "/w/t/", std::nullopt, "/w/t/"},
        {"tmp when temp unset", std::nullopt, "/w/u", "/w/u/"},
        {"neither", std::nullopt, std::nullopt, "%tmp%/"},
        {"empty temp counts as unset", "", "/w/u", "/w/u/"},
        {"empty both", "", "", "%tmp%/"},
        {"too long counts as unset", "/" + tooLong, "/w/u", "/w/u/"},
        {"the longest that fits", fits, std::nullopt, QString::fromStdString(fits) + "/"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.temp ? setenv("TEMP", c.temp->c_str(), 1) : unsetenv("TEMP");
        c.tmp ? setenv("TMP", c.tmp->c_str(), 1) : unsetenv("TMP");
        TAnyImage image;
        EXPECT_EQ(image.TempFolder().toStdString(), c.folder.toStdString());
    }
}

TEST_F(AnyImageTest, RegistersOnPaletteQZ)
{
    anyimage::Register();
    EXPECT_TRUE(RegisteredComponents(QStringLiteral("QZ")).contains(QStringLiteral("TAnyImage")));
}

} // namespace
