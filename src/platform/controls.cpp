// The custom-drawn control base: erase in Color, Paint with a canvas, and the
// mouse handlers in the order the components were written for.
#include "platform/controls.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QVariant>

#include "platform/component.h"

namespace {

// Children of a scroll box's content widget keep their bounds relative to the
// box's visible area: the content widget sits at minus the scroll offset in
// the viewport, so its position is what separates the two coordinate systems.
QPoint ClientOffset(const QWidget *control) {
    const QWidget *parent = control->parentWidget();
    if (parent && parent->property("TScrollBoxContent").toBool())
        return parent->pos();
    return QPoint();
}

TMouseButton ButtonOf(Qt::MouseButton button, bool *known) {
    *known = true;
    switch (button) {
    case Qt::LeftButton: return mbLeft;
    case Qt::RightButton: return mbRight;
    case Qt::MiddleButton: return mbMiddle;
    default: *known = false; return mbLeft;
    }
}

} // namespace

Qt::CursorShape CursorShapeOf(TCursor cursor) {
    switch (cursor) {
    case crDefault: return Qt::ArrowCursor;
    case -1: return Qt::BlankCursor;           // crNone
    case crArrow: return Qt::ArrowCursor;
    case crCross: return Qt::CrossCursor;
    case -4: return Qt::IBeamCursor;           // crIBeam
    case -5: return Qt::SizeAllCursor;         // crSize
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case -10: return Qt::UpArrowCursor;        // crUpArrow
    case crHourGlass: return Qt::WaitCursor;
    case -12: return Qt::DragMoveCursor;       // crDrag
    case -18: return Qt::ForbiddenCursor;      // crNo
    case -19: return Qt::BusyCursor;           // crAppStart
    case -20: return Qt::WhatsThisCursor;      // crHelp
    case -21: return Qt::PointingHandCursor;   // crHandPoint
    case -22: return Qt::SizeAllCursor;        // crSizeAll
    default: return Qt::ArrowCursor;
    }
}

TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons) {
    TShiftState s = 0;
    if (modifiers & Qt::ShiftModifier)
        s |= ssShift;
    if (modifiers & Qt::AltModifier)
        s |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        s |= ssCtrl;
    if (buttons & Qt::LeftButton)
        s |= ssLeft;
    if (buttons & Qt::RightButton)
        s |= ssRight;
    if (buttons & Qt::MiddleButton)
        s |= ssMiddle;
    return s;
}

TCustomControl::TCustomControl(QWidget *AParent) : QWidget(AParent), FCanvas(std::make_unique<TCanvas>()) {
    // Hover moves reach MouseMove without a button held.
    setMouseTracking(true);
    // The whole widget is painted by paintEvent; Qt need not clear it first.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setAutoFillBackground(false);
    FCanvas->Font = font();
}

TCustomControl::~TCustomControl() = default;

int TCustomControl::Left() const { return x() + ClientOffset(this).x(); }
int TCustomControl::Top() const { return y() + ClientOffset(this).y(); }

void TCustomControl::SetLeft(int value) { SetBounds(value, Top(), width(), height()); }
void TCustomControl::SetTop(int value) { SetBounds(Left(), value, width(), height()); }
void TCustomControl::SetWidth(int value) { SetBounds(Left(), Top(), value, height()); }
void TCustomControl::SetHeight(int value) { SetBounds(Left(), Top(), width(), value); }

void TCustomControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    const QPoint offset = ClientOffset(this);
    setGeometry(ALeft - offset.x(), ATop - offset.y(), qMax(0, AWidth), qMax(0, AHeight));
}

int TCustomControl::Tag() const { return TagOf(this); }
void TCustomControl::SetTag(int value) { SetTagOf(this, value); }

void TCustomControl::SetCursor(TCursor value) {
    FCursor = value;
    setCursor(QCursor(CursorShapeOf(value)));
}

TColor TCustomControl::Color() const {
    if (!FParentColor)
        return FColor;
    const QWidget *parent = parentWidget();
    if (!parent)
        return FColor.isValid() ? FColor : clBtnFace();
    if (const auto *control = qobject_cast<const TCustomControl *>(parent))
        return control->Color();
    return parent->palette().color(parent->backgroundRole());
}

void TCustomControl::SetColor(const TColor &value) {
    if (value == Color())
        return;
    FColor = value;
    FParentColor = false;
    update();
}

void TCustomControl::SetParentColor(bool value) {
    if (value == FParentColor)
        return;
    if (!value)
        FColor = Color();  // keep showing the colour it had
    FParentColor = value;
    update();
}

void TCustomControl::Paint() {}

void TCustomControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown)
        OnMouseDown(this, Button, Shift, X, Y);
}

void TCustomControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove)
        OnMouseMove(this, Shift, X, Y);
}

void TCustomControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp)
        OnMouseUp(this, Button, Shift, X, Y);
}

void TCustomControl::Click() {
    if (OnClick)
        OnClick(this);
}

void TCustomControl::DblClick() {
    if (OnDblClick)
        OnDblClick(this);
}

void TCustomControl::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), Color());
    // The canvas is bound only while Paint runs; End also when Paint throws.
    struct Binding {
        TCanvas *canvas;
        ~Binding() { canvas->End(); }
    } binding{FCanvas.get()};
    FCanvas->Begin(&painter);
    Paint();
}

void TCustomControl::mousePressEvent(QMouseEvent *event) {
    bool known;
    const TMouseButton button = ButtonOf(event->button(), &known);
    if (!known) {
        QWidget::mousePressEvent(event);
        return;
    }
    if (button == mbLeft)
        FClicked = true;
    const QPoint p = event->position().toPoint();
    MouseDown(button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomControl::mouseMoveEvent(QMouseEvent *event) {
    const QPoint p = event->position().toPoint();
    MouseMove(ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomControl::mouseReleaseEvent(QMouseEvent *event) {
    bool known;
    const TMouseButton button = ButtonOf(event->button(), &known);
    if (!known) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    // A click is a left press on this control released inside its client
    // area; it runs before the control's own release handling.
    if (button == mbLeft) {
        const bool clicked = FClicked;
        FClicked = false;
        if (clicked && rect().contains(p))
            Click();
    }
    MouseUp(button, ShiftStateOf(event->modifiers(), event->buttons()), p.x(), p.y());
}

void TCustomControl::mouseDoubleClickEvent(QMouseEvent *event) {
    bool known;
    const TMouseButton button = ButtonOf(event->button(), &known);
    if (!known) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // The second press of a double click: OnDblClick, then a press with
    // ssDouble; its release is no second click.
    if (button == mbLeft)
        DblClick();
    const QPoint p = event->position().toPoint();
    MouseDown(button, ShiftStateOf(event->modifiers(), event->buttons()) | ssDouble, p.x(), p.y());
}
