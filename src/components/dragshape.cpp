// TDragShape: a rectangle outline moved by its interior and sized by its
// edges and corners. The zone is found while hovering and kept for the whole
// drag, so a fast pointer that leaves the band does not change what is dragged.
#include "components/dragshape.h"

#include "platform/component.h"

namespace {

// The side bands are fixed: 4 pixels on the left (x < 4), 3 on the right
// (x > Width - 4). Only the top and bottom bands follow Border.
constexpr int SideBand = 4;

} // namespace

TDragShape::TDragShape(QWidget *AParent) : TShape(AParent) {
    // A new shape is an outline only.
    TBrush brush = Brush();
    brush.Style = bsClear;
    SetBrush(brush);
}

TDragShape::~TDragShape() = default;

void TDragShape::MouseDown(TMouseButton, TShiftState, int X, int Y) {
    // Any button starts a drag, with the zone of the last hover; the press is
    // not passed on.
    FDragging = true;
    FAnchorX = X;
    FAnchorY = Y;
}

void TDragShape::MouseMove(TShiftState Shift, int X, int Y) {
    if (FDragging) {
        DragStep(X, Y);
        TShape::MouseMove(Shift, X, Y);
    } else {
        TShape::MouseMove(Shift, X, Y);
        HoverTest(X, Y);
    }
}

void TDragShape::MouseUp(TMouseButton, TShiftState, int, int) {
    FDragging = false;
}

void TDragShape::HoverTest(int X, int Y) {
    Zone zone = AllowMove ? zMove : zNone;
    const bool top = Y < Border && AllowTop;
    const bool bottom = Y > Height() - Border && AllowBottom;
    bool side = false;
    // Later assignments win where bands overlap: right beats left, bottom
    // beats top.
    if (X < SideBand && AllowRight) {
        zone = zLeft;
        if (top)
            zone = zTopLeft;
        if (bottom)
            zone = zBottomLeft;
        side = true;
    }
    if (X > Width() - SideBand && AllowLeft) {
        zone = zRight;
        if (top)
            zone = zTopRight;
        if (bottom)
            zone = zBottomRight;
        side = true;
    }
    if (!side) {
        if (top)
            zone = zTop;
        if (bottom)
            zone = zBottom;
    }
    FZone = zone;

    TCursor cursor = Cursor();
    switch (zone) {
    case zNone: break;
    case zTopLeft:
    case zBottomRight: cursor = crSizeNWSE; break;
    case zBottomLeft:
    case zTopRight: cursor = crSizeNESW; break;
    case zLeft:
    case zRight: cursor = crSizeWE; break;
    case zTop:
    case zBottom: cursor = crSizeNS; break;
    case zMove: cursor = MoveCursor; break;
    }
    if (cursor != Cursor())
        SetCursor(cursor);
}

void TDragShape::DragStep(int X, int Y) {
    int left = Left();
    int top = Top();
    int width = Width();
    int height = Height();
    const int dx = X - FAnchorX;
    const int dy = Y - FAnchorY;

    // Where the left or top edge follows the pointer the control moves with
    // it and the anchor stays; where the right or bottom edge follows, the
    // origin stays and the anchor moves to the pointer.
    switch (FZone) {
    case zNone: break;
    case zTopLeft:
        left += dx; top += dy; width -= dx; height -= dy;
        break;
    case zBottomLeft:
        left += dx; width -= dx; height += dy;
        FAnchorY = Y;
        break;
    case zTopRight:
        top += dy; width += dx; height -= dy;
        FAnchorX = X;
        break;
    case zBottomRight:
        width += dx; height += dy;
        FAnchorX = X;
        FAnchorY = Y;
        break;
    case zLeft:
        left += dx; width -= dx;
        break;
    case zRight:
        width += dx;
        FAnchorX = X;
        break;
    case zTop:
        top += dy; height -= dy;
        break;
    case zBottom:
        height += dy;
        FAnchorY = Y;
        break;
    case zMove:
        left += dx; top += dy;
        break;
    }

    // Size only, minimum first: a non-zero maximum below the minimum wins.
    // The left and top stay where the pointer put them, so a left or top edge
    // dragged past the minimum pushes the whole rectangle along.
    if (width < MinWidth)
        width = MinWidth;
    if (height < MinHeight)
        height = MinHeight;
    if (MaxWidth != 0 && width > MaxWidth)
        width = MaxWidth;
    if (MaxHeight != 0 && height > MaxHeight)
        height = MaxHeight;

    SetBounds(left, top, width, height);
}

namespace dragshape {
void Register() {
    RegisterComponents("QZ", {"TDragShape"});
}
} // namespace dragshape
