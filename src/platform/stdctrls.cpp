#include "platform/stdctrls.h"

#include "platform/application.h"

#include <QChildEvent>
#include <QCloseEvent>
#include <QEvent>
#include <QEventLoop>
#include <QScrollBar>
#include <QShowEvent>
#include <QWindow>
#include <QVariant>

// ---- TScrollBox --------------------------------------------------------

TScrollBox::TScrollBox(QWidget *parent) : QScrollArea(parent) {
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("TScrollBoxContent"));
    // Marks the widget whose children measure their bounds from the visible area.
    content->setProperty("TScrollBoxContent", true);
    // The content fills the visible area and grows to the children's extents
    // through its minimum size, like the old automatic scroll range.
    setWidget(content);
    setWidgetResizable(true);
    content->installEventFilter(this);
}

TScrollBox::~TScrollBox() {
    // The content outlives this part of the object; stop watching it first.
    if (QWidget *content = widget()) {
        content->removeEventFilter(this);
        for (QObject *child : content->children())
            child->removeEventFilter(this);
    }
}

QWidget *TScrollBox::Content() const { return widget(); }

int TScrollBox::ClientWidth() const { return viewport()->width(); }
int TScrollBox::ClientHeight() const { return viewport()->height(); }

void TScrollBox::UpdateRange() {
    QWidget *content = widget();
    if (!content)
        return;
    int right = 0, bottom = 0;
    for (QObject *object : content->children()) {
        auto *child = qobject_cast<QWidget *>(object);
        if (!child || child->isWindow() || !child->isVisibleTo(content))
            continue;
        right = qMax(right, child->geometry().right() + 1);
        bottom = qMax(bottom, child->geometry().bottom() + 1);
    }
    const QSize extent(right, bottom);
    if (content->minimumSize() == extent)
        return;
    content->setMinimumSize(extent);
    // Lays the content out again against the new minimum and updates the bars.
    setWidgetResizable(true);
}

bool TScrollBox::eventFilter(QObject *watched, QEvent *event) {
    QWidget *content = widget();
    if (content && watched == content) {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildRemoved) {
            auto *child = static_cast<QChildEvent *>(event)->child();
            if (child->isWidgetType()) {
                if (event->type() == QEvent::ChildAdded)
                    child->installEventFilter(this);
                else
                    child->removeEventFilter(this);
                FRangePending = true;
                // The child is not yet (or no longer) fully a child: measure later.
                QMetaObject::invokeMethod(this, [this] {
                    if (FRangePending) {
                        FRangePending = false;
                        UpdateRange();
                    }
                }, Qt::QueuedConnection);
            }
        }
    } else if (content && watched->parent() == content) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Hide:
            UpdateRange();
            break;
        default:
            break;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

// ---- TTrackBar ---------------------------------------------------------

TTrackBar::TTrackBar(QWidget *parent) : QSlider(Qt::Horizontal, parent) {
    setRange(0, 10);
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(1);
    setPageStep(2);
    // Every action the user triggers is a scroll notification, also one that
    // leaves the value where it was (a key at the end of the range).
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
        if (FUserInput > 0 && action != QAbstractSlider::SliderNoAction)
            FUserActed = true;
    });
}

TTrackBar::~TTrackBar() = default;

void TTrackBar::SetPosition(int value) { setValue(value); }

// Runs a base handler; when it triggered a user action, OnChange runs once
// afterwards, with the new value already in place.
template <typename Fn>
void TTrackBar::UserInput(Fn &&handler) {
    const bool outer = FUserInput == 0;
    if (outer)
        FUserActed = false;
    ++FUserInput;
    struct Depth {
        int &depth;
        ~Depth() { --depth; }
    } depth{FUserInput};
    handler();
    if (outer && FUserActed) {
        FUserActed = false;
        if (OnChange)
            OnChange(this);
    }
}

void TTrackBar::keyPressEvent(QKeyEvent *event) { UserInput([&] { QSlider::keyPressEvent(event); }); }
void TTrackBar::mousePressEvent(QMouseEvent *event) { UserInput([&] { QSlider::mousePressEvent(event); }); }
void TTrackBar::mouseMoveEvent(QMouseEvent *event) { UserInput([&] { QSlider::mouseMoveEvent(event); }); }
void TTrackBar::mouseReleaseEvent(QMouseEvent *event) { UserInput([&] { QSlider::mouseReleaseEvent(event); }); }

void TTrackBar::wheelEvent(QWheelEvent *event) { UserInput([&] { QSlider::wheelEvent(event); }); }
// The repeat of a held press on the groove arrives as timer events.
void TTrackBar::timerEvent(QTimerEvent *event) { UserInput([&] { QSlider::timerEvent(event); }); }

// ---- TStatusBar --------------------------------------------------------

TStatusBar::TStatusBar(QWidget *parent) : QStatusBar(parent), FPanel(new QLabel(this)) {
    FPanel->setObjectName(QStringLiteral("SimplePanel"));
    addWidget(FPanel, 1);
}

TStatusBar::~TStatusBar() = default;

QString TStatusBar::SimpleText() const { return FPanel->text(); }

void TStatusBar::SetSimpleText(const QString &text) { FPanel->setText(text); }

// ---- TForm -------------------------------------------------------------

TForm::TForm(QWidget *parent) : QWidget(parent, Qt::Window) {}

TForm::~TForm() {
    if (FModalLoop)
        FModalLoop->quit();
}

// The outer rectangle is frameGeometry. Before the window is shown its frame
// is not known (the window manager adds it), so a size set then is kept and
// applied again once the frame is known; otherwise a window whose stored
// outer size is restored at start would grow by its frame on every run.
int TForm::Left() const { return frameGeometry().x(); }
int TForm::Top() const { return frameGeometry().y(); }
int TForm::Width() const { return frameGeometry().width(); }
int TForm::Height() const { return frameGeometry().height(); }

void TForm::SetLeft(int value) { move(value, Top()); }
void TForm::SetTop(int value) { move(Left(), value); }

bool TForm::FrameKnown() const {
    const QWindow *window = windowHandle();
    return window && !window->frameMargins().isNull();
}

void TForm::SetWidth(int value) {
    value = qMax(0, value);
    if (FrameKnown()) {
        FPendingWidth = -1;
        resize(qMax(0, value - (frameGeometry().width() - width())), height());
    } else {
        FPendingWidth = value;
        resize(value, height());
    }
}

void TForm::SetHeight(int value) {
    value = qMax(0, value);
    if (FrameKnown()) {
        FPendingHeight = -1;
        resize(width(), qMax(0, value - (frameGeometry().height() - height())));
    } else {
        FPendingHeight = value;
        resize(width(), value);
    }
}

void TForm::ApplyPendingFrame() {
    if ((FPendingWidth < 0 && FPendingHeight < 0) || !FrameKnown())
        return;
    const int w = FPendingWidth, h = FPendingHeight;
    FPendingWidth = FPendingHeight = -1;
    const QSize frame = frameGeometry().size() - size();
    resize(w >= 0 ? qMax(0, w - frame.width()) : width(), h >= 0 ? qMax(0, h - frame.height()) : height());
}

bool TForm::event(QEvent *event) {
    const bool result = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
        ApplyPendingFrame();
        break;
    default:
        break;
    }
    return result;
}

void TForm::SetModalResult(int value) {
    FModalResult = value;
    if (value != mrNone && FModalLoop)
        close();
}

int TForm::ShowModal() {
    if (isVisible())
        throw EPlatformError(QStringLiteral("Cannot make a visible window modal"));
    if (FModalLoop)
        throw EPlatformError(QStringLiteral("The window is already shown modally"));
    FModalResult = mrNone;
    const Qt::WindowModality oldModality = windowModality();
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    FModalLoop = &loop;
    show();
    if (isVisible())
        loop.exec(QEventLoop::DialogExec);
    FModalLoop = nullptr;
    if (isVisible())
        hide();
    setWindowModality(oldModality);
    if (FModalResult == mrNone)
        FModalResult = mrCancel;
    return FModalResult;
}

void TForm::closeEvent(QCloseEvent *event) {
    TCloseAction action = caHide;
    if (OnClose)
        OnClose(this, action);
    switch (action) {
    case caNone:
        event->ignore();
        if (FModalLoop)
            FModalResult = mrNone;
        return;
    case caMinimize:
        event->ignore();
        showMinimized();
        return;
    case caFree:
        event->accept();
        deleteLater();
        break;
    case caHide:
        event->accept();
        break;
    }
    if (FModalLoop)
        FModalLoop->quit();
}

void TForm::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!event->spontaneous() && OnShow)
        OnShow(this);
}

void TForm::hideEvent(QHideEvent *event) {
    QWidget::hideEvent(event);
    // A modal form hidden by other means than closing ends its modal run too.
    if (FModalLoop && !event->spontaneous())
        FModalLoop->quit();
}
