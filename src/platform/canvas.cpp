// Drawing with the old rules: exact pixels (no antialiasing), lines that
// leave out their end point, text cells filled in the brush colour.
#include "platform/canvas.h"

#include "platform/bitmap.h"

#include <QFontMetrics>
#include <QPainter>
#include <cstdlib>

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;

void TCanvas::Begin(QPainter *painter) {
    FPainter = painter;
    if (FPainter) {
        FPainter->setRenderHint(QPainter::Antialiasing, false);
        FPainter->setRenderHint(QPainter::SmoothPixmapTransform, false);
        FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
}

void TCanvas::End() { FPainter = nullptr; }

void TCanvas::MoveTo(int X, int Y) { FPenPos = QPoint(X, Y); }

// Bresenham from the pen position to (X, Y), the end pixel excluded. Pixels
// are filled one by one rather than with QPainter::drawLine, whose end-point
// and cap handling differ from the rule the components were drawn for.
void TCanvas::LineTo(int X, int Y) {
    const QPoint from = FPenPos;
    FPenPos = QPoint(X, Y);
    if (!FPainter || from == FPenPos)
        return;
    const QColor color = Pen.Color;
    const int x0 = from.x(), y0 = from.y();
    if (y0 == Y) {
        // Horizontal run: one rectangle.
        const int left = X > x0 ? x0 : X + 1;
        FPainter->fillRect(QRect(left, y0, std::abs(X - x0), 1), color);
        return;
    }
    if (x0 == X) {
        const int top = Y > y0 ? y0 : Y + 1;
        FPainter->fillRect(QRect(x0, top, 1, std::abs(Y - y0)), color);
        return;
    }
    int x = x0, y = y0;
    const int dx = std::abs(X - x0), sx = x0 < X ? 1 : -1;
    const int dy = -std::abs(Y - y0), sy = y0 < Y ? 1 : -1;
    int err = dx + dy;
    while (!(x == X && y == Y)) {
        FPainter->fillRect(QRect(x, y, 1, 1), color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void TCanvas::Rectangle(int X1, int Y1, int X2, int Y2) {
    if (!FPainter)
        return;
    const QRect r = QRect(QPoint(X1, Y1), QPoint(X2 - 1, Y2 - 1)).normalized();
    if (r.isEmpty())
        return;
    if (Brush.Style != bsClear && r.width() > 2 && r.height() > 2)
        FPainter->fillRect(r.adjusted(1, 1, -1, -1), Brush.Color);
    // The outline is Pen.Width pixels thick, inside the rectangle.
    const int w = qMax(1, Pen.Width);
    const QColor c = Pen.Color;
    const int tw = qMin(w, r.width()), th = qMin(w, r.height());
    FPainter->fillRect(QRect(r.left(), r.top(), r.width(), th), c);
    FPainter->fillRect(QRect(r.left(), r.bottom() - th + 1, r.width(), th), c);
    FPainter->fillRect(QRect(r.left(), r.top(), tw, r.height()), c);
    FPainter->fillRect(QRect(r.right() - tw + 1, r.top(), tw, r.height()), c);
}

void TCanvas::FillRect(const QRect &rect) {
    if (FPainter)
        FPainter->fillRect(rect, Brush.Color);
}

// Like the old canvas, the pen ends up after the text.
void TCanvas::TextOut(int X, int Y, const QString &text) {
    const QFontMetrics fm(Font);
    const int w = fm.horizontalAdvance(text);
    FPenPos = QPoint(X + w, Y);
    if (!FPainter)
        return;
    if (Brush.Style != bsClear)
        FPainter->fillRect(QRect(X, Y, w, fm.height()), Brush.Color);
    FPainter->setFont(Font);
    FPainter->setPen(FontColor.isValid() ? FontColor : clWindowText());
    FPainter->drawText(QPoint(X, Y + fm.ascent()), text);
}

int TCanvas::TextWidth(const QString &text) const {
    return QFontMetrics(Font).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString &text) const {
    Q_UNUSED(text);
    return QFontMetrics(Font).height();
}

void TCanvas::Draw(int X, int Y, const TBitmap &bitmap) {
    if (FPainter && !bitmap.Empty())
        FPainter->drawImage(QPoint(X, Y), bitmap.Image());
}

void TCanvas::StretchDraw(const QRect &rect, const TBitmap &bitmap) {
    if (!FPainter || bitmap.Empty() || rect.isEmpty())
        return;
    FPainter->drawImage(rect, bitmap.Image());
}

void TCanvas::DrawImage(int X, int Y, const QImage &image) {
    if (FPainter && !image.isNull())
        FPainter->drawImage(QPoint(X, Y), image);
}

void TCanvas::StretchDrawImage(const QRect &rect, const QImage &image) {
    if (FPainter && !image.isNull() && !rect.isEmpty())
        FPainter->drawImage(rect, image);
}
