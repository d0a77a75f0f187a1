// TDragShape: a rectangle outline the user moves and resizes with the mouse.
#pragma once

#include "platform/shape.h"

class TDragShape : public TShape {
    Q_OBJECT
public:
    explicit TDragShape(QWidget *AParent = nullptr);
    ~TDragShape() override;

    int MinWidth = 16;
    int MinHeight = 16;
    int MaxWidth = 0;
    int MaxHeight = 0;
    bool AllowLeft = true;   // governs the right-edge zones
    bool AllowRight = true;  // governs the left-edge zones
    bool AllowTop = true;
    bool AllowBottom = true;
    bool AllowMove = true;
    int Border = 6;
    TCursor MoveCursor = crCross;

    enum Zone { zNone, zTopLeft, zBottomLeft, zTopRight, zBottomRight, zLeft, zRight, zTop, zBottom, zMove };
    Zone CurrentZone() const { return FZone; }
    bool Dragging() const { return FDragging; }

protected:
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

private:
    // Finds the zone under (X, Y) and shows its cursor.
    void HoverTest(int X, int Y);
    // Moves the dragged zone to (X, Y), clamps the size, sets the bounds once.
    void DragStep(int X, int Y);

    int FAnchorX = 0;
    int FAnchorY = 0;
    bool FDragging = false;
    Zone FZone = zNone;
};

// Puts the class on the component palette page "QZ".
namespace dragshape {
void Register();
}
