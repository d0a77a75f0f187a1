// TCanvas: a thin drawing surface over QPainter with the old drawing rules:
// lines leave out their end point, pen width 1 in copy mode, TextOut fills
// its cell in the brush colour.
#pragma once

#include "platform/types.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

class QPainter;
class QPaintDevice;
class TBitmap;

enum TBrushStyle { bsSolid, bsClear };
enum TPenMode { pmCopy };

struct TPen {
    TColor Color = Qt::black;
    int Width = 1;
    TPenMode Mode = pmCopy;
};

struct TBrush {
    TColor Color = Qt::white;
    TBrushStyle Style = bsSolid;
};

class TCanvas {
public:
    TCanvas();
    ~TCanvas();
    TCanvas(const TCanvas &) = delete;
    TCanvas &operator=(const TCanvas &) = delete;

    // Binds the canvas to a painter for the duration of one paint; the
    // owner calls Begin in paintEvent and End after Paint().
    void Begin(QPainter *painter);
    void End();
    bool Active() const { return FPainter != nullptr; }

    TPen Pen;
    TBrush Brush;
    QFont Font;
    // Text colour; an invalid colour means clWindowText at the time of drawing.
    TColor FontColor;

    void MoveTo(int X, int Y);
    void LineTo(int X, int Y);              // draws from the pen position, end point left out
    QPoint PenPos() const { return FPenPos; }
    void Rectangle(int X1, int Y1, int X2, int Y2); // outline in Pen, filled in Brush unless bsClear; right/bottom exclusive
    void FillRect(const QRect &rect);       // in Brush.Color
    void TextOut(int X, int Y, const QString &text); // opaque cell in Brush.Color unless bsClear
    int TextWidth(const QString &text) const;
    int TextHeight(const QString &text) const;
    void Draw(int X, int Y, const TBitmap &bitmap);         // natural size
    void StretchDraw(const QRect &rect, const TBitmap &bitmap);
    // The same for a plain image (icons, pictures of other kinds).
    void DrawImage(int X, int Y, const QImage &image);
    void StretchDrawImage(const QRect &rect, const QImage &image);
    // The painter while a paint runs (null otherwise), for what the canvas
    // does not cover.
    QPainter *Painter() const { return FPainter; }

private:
    QPainter *FPainter = nullptr;
    QPoint FPenPos;
};
