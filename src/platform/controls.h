// TCustomControl: the custom-drawn control base. A QWidget whose background
// is erased in Color before Paint() runs with a TCanvas, with the old mouse
// handler order and events.
#pragma once

#include "platform/canvas.h"
#include "platform/types.h"

#include <QFont>
#include <QWidget>
#include <memory>

class TCustomControl : public QWidget {
    Q_OBJECT
public:
    explicit TCustomControl(QWidget *AParent = nullptr);
    ~TCustomControl() override;

    // Bounds in the parent's client coordinates. Inside a TScrollBox these are
    // relative to the box's visible area, so siblings scrolled together keep
    // their offset (see TScrollBox).
    int Left() const;
    int Top() const;
    int Width() const { return width(); }
    int Height() const { return height(); }
    int ClientWidth() const { return width(); }
    int ClientHeight() const { return height(); }
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);
    // All four at once: one geometry change.
    virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);

    bool Visible() const { return isVisible() || !isHidden(); }
    void SetVisible(bool value) { setVisible(value); }
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool value) { setEnabled(value); }

    int Tag() const;
    void SetTag(int value);

    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor value);

    // The erase colour; a write that changes it clears ParentColor.
    TColor Color() const;
    void SetColor(const TColor &value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);

    QFont Font() const { return font(); }
    void SetFont(const QFont &value) { setFont(value); }

    TCanvas *Canvas() { return FCanvas.get(); }

    // Synchronous repaint: Paint has run when it returns.
    void Repaint() { repaint(); }
    void Invalidate() { update(); }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

protected:
    // Runs inside paintEvent with Canvas() bound to the widget, after the
    // background was erased in Color().
    virtual void Paint();
    // The base handlers raise OnMouseDown / OnMouseMove / OnMouseUp.
    virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
    virtual void MouseMove(TShiftState Shift, int X, int Y);
    virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
    // Raises OnClick. Run on a left release inside the client area, before
    // MouseUp.
    virtual void Click();
    // Raises OnDblClick on the second press of a left double click.
    virtual void DblClick();

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    std::unique_ptr<TCanvas> FCanvas;
    TCursor FCursor = crDefault;
    TColor FColor;
    bool FParentColor = true;
    bool FClicked = false;  // a left press on this control awaits its release
};

// Qt cursor shape for a cursor identifier (crDefault gives Qt::ArrowCursor).
Qt::CursorShape CursorShapeOf(TCursor cursor);
// Shift state of a Qt mouse event (modifiers and held buttons).
TShiftState ShiftStateOf(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons);
