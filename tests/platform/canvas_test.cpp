// The drawing rules on a plain image: exact pixels, lines without their end
// point, opaque text cells, natural and stretched drawing.
#include "platform/bitmap.h"
#include "platform/canvas.h"

#include "pixels.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QColor kBack(10, 20, 30);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// Runs draw on a canvas bound to a fresh w x h image filled with kBack.
QImage DrawOn(int w, int h, const std::function<void(TCanvas &)> &draw) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kBack);
    QPainter painter(&image);
    TCanvas canvas;
    canvas.Begin(&painter);
    draw(canvas);
    canvas.End();
    return image;
}

} // namespace

// The tile frame as the thumbnail and the buttons draw it: first colour left
// and top, second right and bottom, each line without its end point.
TEST(Canvas, FrameLinesLeaveOutTheirEndPoints) {
    const int W = 9, H = 7;
    const QImage image = DrawOn(W, H, [&](TCanvas &c) {
        c.Pen.Color = kRed;
        c.MoveTo(0, H);
        c.LineTo(0, 0);
        c.LineTo(W - 1, 0);
        c.Pen.Color = kBlue;
        c.LineTo(W - 1, H - 1);
        c.LineTo(0, H - 1);
        EXPECT_EQ(c.PenPos(), QPoint(0, H - 1));
    });
    EXPECT_TRUE(PixelsAre(image, [&](int x, int y) {
        if (x == 0)
            return kRed;                      // the whole left column, (0, H-1) included
        if (y == 0)
            return x < W - 1 ? kRed : kBlue;  // the top row but its last pixel
        if (x == W - 1 || y == H - 1)
            return kBlue;
        return kBack;
    }));
}

TEST(Canvas, LinesInEveryDirectionLeaveOutTheEndPoint) {
    struct Case {
        QPoint from, to;
        std::vector<QPoint> pixels;
    };
    const std::vector<Case> cases = {
        {{1, 1}, {4, 1}, {{1, 1}, {2, 1}, {3, 1}}},
        {{4, 1}, {1, 1}, {{4, 1}, {3, 1}, {2, 1}}},
        {{2, 0}, {2, 3}, {{2, 0}, {2, 1}, {2, 2}}},
        {{2, 3}, {2, 0}, {{2, 3}, {2, 2}, {2, 1}}},
        {{0, 0}, {3, 3}, {{0, 0}, {1, 1}, {2, 2}}},
        {{3, 0}, {0, 3}, {{3, 0}, {2, 1}, {1, 2}}},
        {{2, 2}, {2, 2}, {}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(testing::Message() << "line " << k.from.x() << "," << k.from.y() << " -> " << k.to.x() << ","
                                        << k.to.y());
        const QImage image = DrawOn(6, 6, [&](TCanvas &c) {
            c.Pen.Color = kRed;
            c.MoveTo(k.from.x(), k.from.y());
            c.LineTo(k.to.x(), k.to.y());
        });
        EXPECT_TRUE(PixelsAre(image, [&](int x, int y) {
            for (const QPoint &p : k.pixels)
                if (p == QPoint(x, y))
                    return kRed;
            return kBack;
        }));
    }
}

TEST(Canvas, RectangleOutlinesItsRightAndBottomExclusiveBoundsAndFillsUnlessClear) {
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "clear brush" : "solid brush");
        const QImage image = DrawOn(8, 8, [&](TCanvas &c) {
            c.Pen.Color = kRed;
            c.Brush.Color = kBlue;
            c.Brush.Style = clear ? bsClear : bsSolid;
            c.Rectangle(1, 2, 6, 7);
        });
        EXPECT_TRUE(PixelsAre(image, [&](int x, int y) {
            if (x < 1 || x > 5 || y < 2 || y > 6)
                return kBack;
            if (x == 1 || x == 5 || y == 2 || y == 6)
                return kRed;
            return clear ? kBack : kBlue;
        }));
    }
}

TEST(Canvas, TextOutFillsItsCellInTheBrushColourUnlessClear) {
    for (bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "clear brush" : "solid brush");
        TCanvas measure;
        const int tw = measure.TextWidth("Wg"), th = measure.TextHeight("Wg");
        ASSERT_GT(tw, 0);
        ASSERT_GT(th, 0);
        const QImage image = DrawOn(tw + 6, th + 6, [&](TCanvas &c) {
            c.Brush.Color = kBlue;
            c.Brush.Style = clear ? bsClear : bsSolid;
            c.FontColor = kRed;
            c.TextOut(3, 3, "Wg");
        });
        // Outside the cell nothing is touched; inside, every pixel is either
        // the cell colour or text (never the old background when opaque).
        int text = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor got = image.pixelColor(x, y);
                const bool inCell = x >= 3 && x < 3 + tw && y >= 3 && y < 3 + th;
                if (!inCell) {
                    ASSERT_EQ(got, kBack) << "outside the cell at x=" << x << " y=" << y;
                } else if (got != (clear ? kBack : kBlue)) {
                    ++text;
                    ASSERT_GT(got.red(), 0) << "cell pixel at x=" << x << " y=" << y << " is " << got.name().toStdString();
                }
            }
        EXPECT_GT(text, 0) << "no text drawn";
    }
}

TEST(Canvas, TextMetricsComeFromTheFont) {
    TCanvas c;
    QFont big = c.Font;
    big.setPixelSize(40);
    const int small = c.TextHeight("x");
    c.Font = big;
    EXPECT_GT(c.TextHeight("x"), small);
    EXPECT_EQ(c.TextWidth(""), 0);
    EXPECT_LT(c.TextWidth("i"), c.TextWidth("iiii"));
}

TEST(Canvas, DrawIsAtNaturalSizeAndStretchDrawScalesWithoutSmoothing) {
    QImage src(2, 1, QImage::Format_RGB32);
    src.setPixelColor(0, 0, kRed);
    src.setPixelColor(1, 0, kBlue);
    const TBitmap bitmap(src);

    const QImage drawn = DrawOn(5, 3, [&](TCanvas &c) { c.Draw(2, 1, bitmap); });
    EXPECT_TRUE(PixelsAre(drawn, [&](int x, int y) {
        if (y == 1 && x == 2)
            return kRed;
        if (y == 1 && x == 3)
            return kBlue;
        return kBack;
    }));

    const QImage stretched = DrawOn(6, 3, [&](TCanvas &c) { c.StretchDraw(QRect(1, 0, 4, 2), bitmap); });
    EXPECT_TRUE(PixelsAre(stretched, [&](int x, int y) {
        if (y < 2 && (x == 1 || x == 2))
            return kRed;
        if (y < 2 && (x == 3 || x == 4))
            return kBlue;
        return kBack;
    }));
}

TEST(Canvas, DrawingOutsideAPaintDoesNothingButMovesThePen) {
    TCanvas c;
    EXPECT_FALSE(c.Active());
    c.MoveTo(3, 4);
    c.LineTo(7, 8);
    c.Rectangle(0, 0, 5, 5);
    c.TextOut(1, 1, "x");
    EXPECT_EQ(c.PenPos(), QPoint(1 + c.TextWidth("x"), 1));
}
