// The standard controls that need the old semantics. Buttons, labels and
// panels are plain Qt widgets (QPushButton, QLabel, QFrame) placed with
// setGeometry; only these differ from Qt's behaviour.
#pragma once

#include "platform/types.h"

class QEventLoop;

#include <QLabel>
#include <QScrollArea>
#include <QSlider>
#include <QStatusBar>
#include <QWidget>
#include <functional>

// A scroll box: children are added to Content() and placed with the control
// bounds of TCustomControl, which stay relative to the visible area: when the
// box scrolls, Left/Top of every child change by the scroll offset, and
// setting them places the child relative to the visible area.
class TScrollBox : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollBox(QWidget *parent = nullptr);
    ~TScrollBox() override;

    // The widget the children live in; grows to hold every child.
    QWidget *Content() const;
    // The box's visible client size.
    int ClientWidth() const;
    int ClientHeight() const;
    // Recomputes the scrolled area from the children's extents (called
    // automatically when a child moves or resizes).
    void UpdateRange();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool FRangePending = false;
};

// The slider: OnChange runs on every user scroll notification (drag, keys,
// clicks on the groove) but never when the program sets the position.
class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget *parent = nullptr);
    ~TTrackBar() override;

    int Position() const { return value(); }
    void SetPosition(int value);     // does not run OnChange
    int Min() const { return minimum(); }
    int Max() const { return maximum(); }
    void SetMin(int value) { setMinimum(value); }
    void SetMax(int value) { setMaximum(value); }
    void SetFrequency(int value) { setTickInterval(value); }
    void SetPageSize(int value) { setPageStep(value); }

    TNotifyEvent OnChange;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    template <typename Fn>
    void UserInput(Fn &&handler);
    int FUserInput = 0;      // depth of user input handlers running
    bool FUserActed = false; // one of them triggered a slider action
};

// The status bar with one simple panel.
class TStatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBar(QWidget *parent = nullptr);
    ~TStatusBar() override;

    QString SimpleText() const;
    void SetSimpleText(const QString &text);

private:
    QLabel *FPanel;
};

// A window of the old kind: a top-level widget with a caption, an OnClose
// handler run when it closes, and Left/Top/Width/Height of its outer
// (frame) rectangle in screen coordinates.
class TForm : public QWidget {
    Q_OBJECT
public:
    explicit TForm(QWidget *parent = nullptr);
    ~TForm() override;

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value);
    void SetHeight(int value);
    int ClientWidth() const { return width(); }
    int ClientHeight() const { return height(); }

    // Shows the form modally; returns its ModalResult (mrCancel when it was
    // closed without one) when it is closed.
    int ShowModal();
    enum { mrNone = 0, mrOk = 1, mrCancel = 2 };
    int ModalResult() const { return FModalResult; }
    // A result other than mrNone closes a modally shown form.
    void SetModalResult(int value);
    void Close() { close(); }

    enum TCloseAction { caNone, caHide, caFree, caMinimize };
    std::function<void(QObject *Sender, TCloseAction &Action)> OnClose;
    TNotifyEvent OnShow;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool event(QEvent *event) override;

private:
    bool FrameKnown() const;
    void ApplyPendingFrame();
    int FPendingWidth = -1;   // outer sizes set before the frame was known
    int FPendingHeight = -1;
    QEventLoop *FModalLoop = nullptr;
    int FModalResult = mrNone;
};
