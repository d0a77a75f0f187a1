// Pictures chosen by extension in any letter case; a failed load keeps the
// graphic that was there.
#include "platform/application.h"
#include "platform/image.h"
#include "platform/picture.h"

#include "pixels.h"
#include "testenv.h"

#include <QFile>
#include <QImageWriter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString Path(const IsolatedEnv &env, const QString &name) {
    return QString::fromStdString((env.tmp() / name.toStdString()).string());
}

QString MakeBmp(const IsolatedEnv &env, const QString &name, int w, int h, QColor color = Qt::blue) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    const QString path = Path(env, name);
    TBitmap(image).SaveToFile(path);
    return path;
}

QString MakeIco(const IsolatedEnv &env, const QString &name, int side) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(QColor(255, 0, 0));
    const QString path = Path(env, name);
    QImageWriter writer(path, "ico");
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return path;
}

} // namespace

class Picture : public IsolatedTest {};

TEST_F(Picture, ChoosesTheGraphicByExtensionInAnyCase) {
    int changes = 0;
    TPicture picture;
    picture.OnChange = [&] { ++changes; };
    for (const char *name : {"a.bmp", "b.BMP", "c.Bmp"}) {
        SCOPED_TRACE(name);
        picture.LoadFromFile(MakeBmp(env_, name, 7, 3));
        EXPECT_EQ(picture.kind(), TPicture::Bitmap);
        EXPECT_EQ(QSize(picture.Width(), picture.Height()), QSize(7, 3));
    }
    for (const char *name : {"a.ico", "b.ICO", "c.Ico"}) {
        SCOPED_TRACE(name);
        picture.LoadFromFile(MakeIco(env_, name, 24));
        EXPECT_EQ(picture.kind(), TPicture::Icon);
        EXPECT_EQ(QSize(picture.Width(), picture.Height()), QSize(24, 24));
        EXPECT_EQ(picture.ToImage().size(), QSize(24, 24));
        EXPECT_EQ(picture.ToImage().pixelColor(5, 5), QColor(255, 0, 0));
    }
    EXPECT_EQ(changes, 6);
    picture.Clear();
    EXPECT_EQ(picture.kind(), TPicture::None);
    EXPECT_EQ(picture.Width(), 0);
    EXPECT_EQ(picture.Height(), 0);
    EXPECT_TRUE(picture.ToImage().isNull());
}

TEST_F(Picture, AFailedLoadRaisesAndKeepsTheOldGraphic) {
    const QString bmp = MakeBmp(env_, "old.bmp", 9, 4);
    const QString fakeIco = Path(env_, "fake.ico");
    {
        QFile f(fakeIco);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not an icon");
    }
    QFile::copy(bmp, Path(env_, "pic.wmf"));
    QFile::copy(bmp, Path(env_, "pic.EMF"));
    QFile::copy(bmp, Path(env_, "pic.xyz"));
    QFile::copy(bmp, Path(env_, "noext"));

    struct Case {
        QString file;
        QString message;  // a part of the error's text
    };
    const std::vector<Case> cases = {
        {Path(env_, "pic.wmf"), "metafile"},
        {Path(env_, "pic.EMF"), "metafile"},
        {Path(env_, "pic.xyz"), "Unknown picture file extension (.xyz)"},
        {Path(env_, "noext"), "Unknown picture file extension"},
        {fakeIco, "Icon"},
        {Path(env_, "missing.bmp"), "missing.bmp"},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.file.toStdString());
        TPicture picture;
        picture.LoadFromFile(bmp);
        int changes = 0;
        picture.OnChange = [&] { ++changes; };
        try {
            picture.LoadFromFile(k.file);
            ADD_FAILURE() << "no error";
        } catch (const EPlatformError &e) {
            EXPECT_TRUE(e.Message().contains(k.message, Qt::CaseInsensitive)) << e.what();
        }
        EXPECT_EQ(picture.kind(), TPicture::Bitmap);
        EXPECT_EQ(QSize(picture.Width(), picture.Height()), QSize(9, 4));
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(Picture, IconScalesToAnyRequestedSize) {
    TIcon icon;
    icon.LoadFromFile(MakeIco(env_, "i.ico", 32));
    EXPECT_EQ(icon.Width(), 32);
    EXPECT_EQ(icon.ToImage(16).size(), QSize(16, 16));
    EXPECT_EQ(icon.ToImage(48).size(), QSize(48, 48));
    TIcon copy;
    copy.Assign(icon);
    EXPECT_FALSE(copy.Empty());
    EXPECT_EQ(copy.Height(), 32);
}

class Image : public IsolatedTest {};

TEST_F(Image, AutoSizeFitsTheControlToEveryNewPicture) {
    TImage image;
    image.SetBounds(5, 6, 100, 80);
    image.Picture()->LoadFromFile(MakeBmp(env_, "p.bmp", 30, 20));
    EXPECT_EQ(image.size(), QSize(100, 80)) << "AutoSize is off by default";

    image.SetAutoSize(true);
    EXPECT_EQ(image.geometry(), QRect(5, 6, 30, 20));
    image.Picture()->LoadFromFile(MakeBmp(env_, "q.bmp", 41, 17));
    EXPECT_EQ(image.geometry(), QRect(5, 6, 41, 17));
    image.Picture()->LoadFromFile(MakeIco(env_, "i.ico", 32));
    EXPECT_EQ(image.size(), QSize(32, 32));
    image.Picture()->Clear();  // an empty picture leaves the size alone
    EXPECT_EQ(image.size(), QSize(32, 32));
}

TEST_F(Image, DrawsAtTheOriginCentredOrStretched) {
    const QColor back(0, 255, 0), blue(0, 0, 255);
    TImage image;
    image.SetColor(back);
    image.resize(10, 8);
    image.Picture()->LoadFromFile(MakeBmp(env_, "p.bmp", 4, 2, blue));

    EXPECT_TRUE(PixelsAre(image.grab().toImage(), [&](int x, int y) { return x < 4 && y < 2 ? blue : back; }));
    image.SetCenter(true);
    EXPECT_TRUE(PixelsAre(image.grab().toImage(),
                          [&](int x, int y) { return x >= 3 && x < 7 && y >= 3 && y < 5 ? blue : back; }));
    image.SetStretch(true);
    EXPECT_TRUE(PixelsAre(image.grab().toImage(), [&](int, int) { return blue; }));
}
