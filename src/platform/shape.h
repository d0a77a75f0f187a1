// TShape: a rectangle outline drawn with Pen, filled with Brush unless the
// brush is clear. With a clear brush the interior is not painted but still
// receives the mouse.
#pragma once

#include "platform/controls.h"

class TShape : public TCustomControl {
    Q_OBJECT
public:
    explicit TShape(QWidget *AParent = nullptr);
    ~TShape() override;

    const TPen &Pen() const { return FPen; }
    void SetPen(const TPen &pen);
    const TBrush &Brush() const { return FBrush; }
    void SetBrush(const TBrush &brush);

protected:
    void Paint() override;
    void paintEvent(QPaintEvent *event) override; // no background erase

private:
    TPen FPen;
    TBrush FBrush;
};
