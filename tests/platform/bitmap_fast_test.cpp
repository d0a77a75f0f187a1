// The direct loader for simple bitmaps (uncompressed 24 and 8 bits): the same
// pixels as Qt's reader for every row order, padding and colour table, lying
// headers and cut files refused, the other kinds still read by Qt with its
// checks, and loaded pictures that save, stretch and paint as before.
#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"

#include "pixels.h"
#include "testenv.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <gtest/gtest.h>
#include <utility>
#include <vector>

namespace {

// A bitmap built byte by byte. A negative height writes the rows top-down.
struct BmpLayout {
    int width = 7, height = 5;
    int bits = 24;               // 8 (palette), 16 (5-5-5), 24 or 32
    int headerSize = 40;         // 40, 108 or 124
    QList<QRgb> palette;         // 8 bits only
    qint64 colorsUsed = -1;      // -1: the palette's length
    qint64 offBits = -1;         // -1: right after header, palette and gap
    int gap = 0;                 // bytes between the colour table and the rows

    BmpLayout &Size(int w, int h) { width = w, height = h; return *this; }
    BmpLayout &Bits(int b) { bits = b; return *this; }
    BmpLayout &Header(int size) { headerSize = size; return *this; }
    BmpLayout &Palette(const QList<QRgb> &p) { bits = 8, palette = p; return *this; }
    BmpLayout &ColorsUsed(qint64 n) { colorsUsed = n; return *this; }
    BmpLayout &OffBits(qint64 o) { offBits = o; return *this; }
    BmpLayout &Gap(int g) { gap = g; return *this; }
};

void Put16(QByteArray &b, int at, quint32 v) {
    b[at] = char(v);
    b[at + 1] = char(v >> 8);
}

void Put32(QByteArray &b, int at, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char(v >> (8 * i));
}

QByteArray MakeBmp(const BmpLayout &s) {
    const int rows = s.height < 0 ? -s.height : s.height;
    const int stride = (s.width * s.bits + 31) / 32 * 4;
    const int paletteAt = 14 + s.headerSize;
    const int rowsAt = paletteAt + int(s.palette.size()) * 4 + s.gap;
    QByteArray b(rowsAt + stride * rows, char(0xEE));  // padding and gap hold junk, not zeros
    b.replace(0, paletteAt, QByteArray(paletteAt, '\0'));
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, quint32(b.size()));
    Put32(b, 10, quint32(s.offBits < 0 ? rowsAt : s.offBits));
    Put32(b, 14, quint32(s.headerSize));
    Put32(b, 18, quint32(s.width));
    Put32(b, 22, quint32(s.height));
    Put16(b, 26, 1);
    Put16(b, 28, quint32(s.bits));
    Put32(b, 34, quint32(stride * rows));
    Put32(b, 38, 2835);
    Put32(b, 42, 2835);
    Put32(b, 46, quint32(s.colorsUsed < 0 ? s.palette.size() : s.colorsUsed));
    for (int i = 0; i < s.palette.size(); ++i) {
        const QRgb c = s.palette[i];
        b[paletteAt + 4 * i] = char(qBlue(c));
        b[paletteAt + 4 * i + 1] = char(qGreen(c));
        b[paletteAt + 4 * i + 2] = char(qRed(c));
        b[paletteAt + 4 * i + 3] = 0;
    }
    const int colors = s.palette.isEmpty() ? 1 : int(s.palette.size());
    for (int r = 0; r < rows; ++r) {
        const int y = s.height < 0 ? r : rows - 1 - r;  // the picture's row stored r-th
        char *p = b.data() + rowsAt + r * stride;
        for (int x = 0; x < s.width; ++x) {
            const int red = (x * 5 + y * 101 + 7) % 256, green = (x * 13 + y * 71) % 256,
                      blue = (x * 37 + y * 11) % 256;
            switch (s.bits) {
            case 8: *p++ = char((x * 7 + y * 3) % (colors + 5) % 256); break;  // some past the table
            case 16: {
                const quint32 v = quint32(red >> 3) << 10 | quint32(green >> 3) << 5 | quint32(blue >> 3);
                *p++ = char(v);
                *p++ = char(v >> 8);
                break;
            }
            default:
                *p++ = char(blue);
                *p++ = char(green);
                *p++ = char(red);
                if (s.bits == 32)
                    *p++ = 0;
            }
        }
    }
    return b;
}

QList<QRgb> Colors(int n) {
    QList<QRgb> c;
    for (int i = 0; i < n; ++i)
        c << qRgb((i * 67) % 256, (i * 29 + 40) % 256, (255 - i * 13) % 256);
    return c;
}

QList<QRgb> GreyRamp() {
    QList<QRgb> c;
    for (int i = 0; i < 256; ++i)
        c << qRgb(i, i, i);
    return c;
}

// Qt's own reading of the same bytes, the reference for every pixel.
QImage QtRead(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    return reader.read();
}

class FastBitmap : public IsolatedTest {
protected:
    QString Write(const QByteArray &bytes, const char *name = "x.bmp") {
        const QString path = QString::fromStdString((env_.tmp() / name).string());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return path;
    }
};

::testing::AssertionResult SamePixels(const QImage &got, const QImage &want) {
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "size " << got.width() << "x" << got.height() << ", expected "
                                             << want.width() << "x" << want.height();
    const QImage w = want.convertToFormat(QImage::Format_RGB32);
    return PixelsAre(got, [&](int x, int y) { return w.pixelColor(x, y); });
}

} // namespace

TEST_F(FastBitmap, PixelsEqualQtsReader) {
    struct Case {
        const char *name;
        BmpLayout layout;
        QImage::Format format;  // what the load gives
    };
    const BmpLayout v5 = BmpLayout().Size(6, 3).Header(124).Palette(Colors(16));
    const Case cases[] = {
        {"24-bit bottom-up, rows without padding", BmpLayout().Size(8, 5), QImage::Format_BGR888},
        {"24-bit, 1 byte of padding", BmpLayout().Size(5, 5), QImage::Format_BGR888},
        {"24-bit, 2 bytes of padding", BmpLayout().Size(6, 5), QImage::Format_BGR888},
        {"24-bit, 3 bytes of padding", BmpLayout().Size(7, 5), QImage::Format_BGR888},
        {"24-bit top-down", BmpLayout().Size(7, -5), QImage::Format_BGR888},
        {"24-bit single pixel", BmpLayout().Size(1, 1), QImage::Format_BGR888},
        {"24-bit V4 header", BmpLayout().Size(5, -4).Header(108), QImage::Format_BGR888},
        {"24-bit rows after a gap", BmpLayout().Size(5, 5).Gap(37), QImage::Format_BGR888},
        {"8-bit, 16 colours, indices past the table", BmpLayout().Size(5, 5).Palette(Colors(16)),
         QImage::Format_Indexed8},
        {"8-bit top-down, 3 colours", BmpLayout().Size(9, -4).Palette(Colors(3)),
         QImage::Format_Indexed8},
        {"8-bit, colour count 0 means 256", BmpLayout().Size(6, 5).Palette(Colors(256)).ColorsUsed(0),
         QImage::Format_Indexed8},
        {"8-bit grey ramp", BmpLayout().Size(7, 5).Palette(GreyRamp()), QImage::Format_Grayscale8},
        {"8-bit grey ramp top-down", BmpLayout().Size(3, -2).Palette(GreyRamp()),
         QImage::Format_Grayscale8},
        {"8-bit V5 header", v5, QImage::Format_Indexed8},
        // Left to Qt's reader: other depths, and rows that overlap the header.
        {"32-bit", BmpLayout().Size(5, 5).Bits(32), QImage::Format_RGB32},
        {"16-bit", BmpLayout().Size(5, 5).Bits(16), QImage::Format_RGB32},
        {"offset 0: rows straight after the header", BmpLayout().Size(5, 5).OffBits(0), QImage::Format_RGB32},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        const QByteArray bytes = MakeBmp(k.layout);
        const QImage want = QtRead(bytes);
        ASSERT_FALSE(want.isNull());
        TBitmap b;
        b.LoadFromFile(Write(bytes));
        EXPECT_EQ(b.Image().format(), k.format);
        EXPECT_TRUE(SamePixels(b.Image(), want));
        if (k.format == QImage::Format_Indexed8) {
            EXPECT_EQ(b.Image().colorTable(), want.colorTable());
        }
        EXPECT_EQ(b.Image().dotsPerMeterX(), want.dotsPerMeterX());
    }

    // A ramp with one channel of one step off is a colour table, not grey.
    for (QRgb off : {qRgb(201, 200, 200), qRgb(200, 201, 200), qRgb(200, 200, 201)}) {
        QList<QRgb> almostGrey = GreyRamp();
        almostGrey[200] = off;
        TBitmap b;
        b.LoadFromFile(Write(MakeBmp(BmpLayout().Palette(almostGrey))));
        EXPECT_EQ(b.Image().format(), QImage::Format_Indexed8);
        EXPECT_EQ(b.Image().colorTable(), almostGrey);
    }
}

// Bitmaps as Qt writes them (what the thumbnail cache holds) load through the
// direct path with their pixels.
TEST_F(FastBitmap, BitmapsQtWritesLoadExactly) {
    QImage rgb(31, 9, QImage::Format_RGB32);
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            rgb.setPixelColor(x, y, QColor((x * 37) % 256, (y * 53) % 256, (x + y * 7) % 256));
    QImage grey(13, 5, QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x)
            grey.scanLine(y)[x] = uchar(x * 19 + y * 3);
    QImage indexed = rgb.convertToFormat(QImage::Format_Indexed8, Colors(40));

    for (const QImage &src : {rgb, grey, indexed}) {
        SCOPED_TRACE(int(src.format()));
        const QString path = Write(QByteArray(), "saved.bmp");
        ASSERT_TRUE(src.save(path, "BMP"));
        TBitmap b;
        b.LoadFromFile(path);
        EXPECT_NE(b.Image().format(), QImage::Format_RGB32);  // not through Qt's reader
        EXPECT_TRUE(SamePixels(b.Image(), src));

        // And what we loaded saves and loads back the same.
        b.SaveToFile(path);
        TBitmap again;
        again.LoadFromFile(path);
        EXPECT_TRUE(SamePixels(again.Image(), src));
    }
}

TEST_F(FastBitmap, LyingOrCutFilesAreRefused) {
    struct Case {
        const char *name;
        BmpLayout layout;
        std::vector<std::pair<int, quint32>> patches;  // 32-bit header fields overwritten
        int cut = 0;  // bytes taken off the end; negative: keep only that many
    };
    const Case cases[] = {
        {"24-bit, last row cut by a byte", {}, {}, 1},
        {"24-bit top-down, last row cut by a byte", BmpLayout().Size(7, -5), {}, 1},
        {"8-bit, last row cut by a byte", BmpLayout().Palette(Colors(16)), {}, 1},
        {"header only", {}, {}, -54},
        {"cut inside the colour table", BmpLayout().Palette(GreyRamp()), {}, -500},
        {"V5 header cut", BmpLayout().Header(124), {}, -100},
        {"offset past the end", {}, {{10, 4000}}},
        {"offset near 4 GiB", {}, {{10, 0xFFFFFFF0u}}},
        {"width past the library's limit", BmpLayout().Size(70000, 1), {}},
        {"height past the library's limit, top-down", BmpLayout().Size(1, -70000), {}},
        {"four gigapixels claimed", {}, {{18, 65535}, {22, 65535}}},
        {"width 2^31 - 1", {}, {{18, 0x7FFFFFFFu}}},
        {"negative width", {}, {{18, quint32(-7)}}},
        {"height INT_MIN", {}, {{22, 0x80000000u}}},
        {"height 0", {}, {{22, 0}}},
        {"more than 256 colours", BmpLayout().Palette(Colors(16)), {{46, 257}}},
        {"colour count 2^32 - 1", BmpLayout().Palette(Colors(16)), {{46, 0xFFFFFFFFu}}},
        {"32-bit cut by a byte (Qt's reader)", BmpLayout().Bits(32), {}, 1},
        {"16-bit cut by a byte (Qt's reader)", BmpLayout().Bits(16), {}, 1},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        QByteArray bytes = MakeBmp(k.layout);
        for (const auto &[at, value] : k.patches)
            Put32(bytes, at, value);
        if (k.cut > 0)
            bytes.chop(k.cut);
        else if (k.cut < 0)
            bytes.truncate(-k.cut);
        TBitmap b(QImage(3, 2, QImage::Format_RGB32));
        try {
            b.LoadFromFile(Write(bytes));
            ADD_FAILURE() << "loaded";
        } catch (const EPlatformError &e) {
            EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("Bitmap image is not valid"));
        }
        EXPECT_EQ(b.Image().size(), QSize(3, 2));
    }
}

// What the components do with a loaded picture: stretch it to a tile and
// paint it at natural size and stretched, on a plain image and on the
// premultiplied surface widgets paint on.
TEST_F(FastBitmap, LoadedPicturesStretchAndPaintAsQtsDo) {
    const QByteArray bytes = MakeBmp(BmpLayout().Size(7, 5));
    TBitmap fast;
    fast.LoadFromFile(Write(bytes));
    ASSERT_EQ(fast.Image().format(), QImage::Format_BGR888);
    const TBitmap qt(QtRead(bytes));

    EXPECT_TRUE(SamePixels(CopyImage(fast, 17, 3).Image(), CopyImage(qt, 17, 3).Image()));
    EXPECT_TRUE(SamePixels(CopyImage(fast, 3, 2).Image(), CopyImage(qt, 3, 2).Image()));

    for (QImage::Format surface : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        SCOPED_TRACE(int(surface));
        auto paint = [&](const TBitmap &b) {
            QImage out(30, 20, surface);
            out.fill(Qt::darkCyan);
            QPainter painter(&out);
            TCanvas canvas;
            canvas.Begin(&painter);
            canvas.Draw(2, 1, b);
            canvas.StretchDraw(QRect(9, 6, 21, 10), b);
            canvas.End();
            return out;
        };
        EXPECT_TRUE(SamePixels(paint(fast), paint(qt)));
    }
}

// Large pictures live in memory that is reused once freed: a picture still
// held keeps its pixels while others load and go, as the image view holds
// its picture while it loads the next.
TEST_F(FastBitmap, LargePicturesKeepTheirPixelsWhileOthersComeAndGo) {
    const BmpLayout layouts[] = {BmpLayout().Size(1001, 700), BmpLayout().Size(1001, -700), BmpLayout().Size(900, 800)};
    QStringList files;
    std::vector<QImage> want;
    for (const BmpLayout &layout : layouts) {
        const QByteArray bytes = MakeBmp(layout);
        files << Write(bytes, qPrintable(QStringLiteral("big%1.bmp").arg(files.size())));
        want.push_back(QtRead(bytes));
    }
    QImage held;
    {
        TBitmap first;
        first.LoadFromFile(files[0]);
        held = first.Image();
    }
    TBitmap shown;
    int shownIndex = -1;
    for (int round = 0; round < 3; ++round) {
        for (int i = 1; i < 3; ++i) {
            SCOPED_TRACE(testing::Message() << "round " << round << ", picture " << i);
            TBitmap next;
            next.LoadFromFile(files[i]);
            EXPECT_TRUE(SamePixels(next.Image(), want[i]));
            if (shownIndex >= 0) {
                EXPECT_TRUE(SamePixels(shown.Image(), want[shownIndex]));
            }
            shown.Assign(next);
            shownIndex = i;
        }
    }
    EXPECT_TRUE(SamePixels(held, want[0]));
}
