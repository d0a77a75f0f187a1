#include "platform/shape.h"

#include <QPaintEvent>
#include <QPainter>

TShape::TShape(QWidget *AParent) : TCustomControl(AParent) {
    // Not opaque: with a clear brush what lies below shows through.
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(65, 65);
}

TShape::~TShape() = default;

void TShape::SetPen(const TPen &pen) {
    FPen = pen;
    update();
}

void TShape::SetBrush(const TBrush &brush) {
    FBrush = brush;
    update();
}

void TShape::Paint() {
    TCanvas *canvas = Canvas();
    canvas->Pen = FPen;
    canvas->Brush = FBrush;
    // The outline lies on the control's own border pixels; a wider pen grows inwards.
    canvas->Rectangle(0, 0, width(), height());
}

void TShape::paintEvent(QPaintEvent *event) {
    Q_UNUSED(event);
    QPainter painter(this);
    TCanvas *canvas = Canvas();
    struct Binding {
        TCanvas *canvas;
        ~Binding() { canvas->End(); }
    } binding{canvas};
    canvas->Begin(&painter);
    Paint();
}
