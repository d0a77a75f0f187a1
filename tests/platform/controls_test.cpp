// The custom-drawn control base: erase before Paint, the mouse handler order,
// ParentColor, bounds inside a scroll box, cursors.
#include "platform/controls.h"
#include "platform/stdctrls.h"

#include "pixels.h"

#include <QPalette>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Records the order of its handlers and draws one pixel in Paint.
class Probe : public TCustomControl {
public:
    explicit Probe(QWidget *parent = nullptr) : TCustomControl(parent) {
        OnClick = [this](QObject *) { log.push_back("click"); };
        OnMouseDown = [this](QObject *, TMouseButton b, TShiftState s, int x, int y) {
            log.push_back("OnMouseDown " + std::to_string(b));
            lastShift = s;
            lastPos = QPoint(x, y);
        };
        OnMouseMove = [this](QObject *, TShiftState s, int x, int y) {
            ++moves;
            lastShift = s;
            lastPos = QPoint(x, y);
        };
    }
    std::vector<std::string> log;
    int moves = 0;
    TShiftState lastShift = 0;
    QPoint lastPos;
    int paints = 0;

protected:
    void Paint() override {
        ++paints;
        Canvas()->Pen.Color = Qt::red;
        Canvas()->MoveTo(1, 1);
        Canvas()->LineTo(2, 1);
    }
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
        log.push_back("down " + std::to_string(b));
        TCustomControl::MouseDown(b, s, x, y);
    }
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
        log.push_back("up " + std::to_string(b));
        TCustomControl::MouseUp(b, s, x, y);
    }
};

// A shown parent with room around the probe, so releases can land outside it.
struct Stage {
    QWidget parent;
    Probe *probe;
    Stage() : probe(new Probe(&parent)) {
        parent.resize(200, 200);
        probe->SetBounds(50, 50, 40, 30);
        parent.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
};

} // namespace

TEST(CustomControl, BackgroundIsErasedInColorBeforePaint) {
    Probe probe;
    probe.resize(6, 4);
    probe.SetColor(QColor(0, 128, 0));
    const QImage image = probe.grab().toImage();
    EXPECT_EQ(probe.paints, 1);
    EXPECT_TRUE(PixelsAre(image, [](int x, int y) { return x == 1 && y == 1 ? QColor(Qt::red) : QColor(0, 128, 0); }));
}

TEST(CustomControl, RepaintRunsPaintBeforeItReturns) {
    Stage s;
    const int before = s.probe->paints;
    s.probe->Repaint();
    EXPECT_EQ(s.probe->paints, before + 1);
}

TEST(CustomControl, LeftClickInsideRunsOnClickBeforeMouseUp) {
    Stage s;
    QTest::mouseClick(s.probe, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(s.probe->log, (std::vector<std::string>{"down 0", "OnMouseDown 0", "click", "up 0"}));
    EXPECT_EQ(s.probe->lastPos, QPoint(10, 10));
}

TEST(CustomControl, OnlyALeftReleaseInsideTheClientAreaClicks) {
    struct Case {
        const char *name;
        Qt::MouseButton button;
        QPoint release;
        std::vector<std::string> log;
    };
    const std::vector<Case> cases = {
        {"right inside", Qt::RightButton, {10, 10}, {"down 1", "OnMouseDown 1", "up 1"}},
        {"middle inside", Qt::MiddleButton, {10, 10}, {"down 2", "OnMouseDown 2", "up 2"}},
        {"left released right of it", Qt::LeftButton, {40, 10}, {"down 0", "OnMouseDown 0", "up 0"}},
        {"left released above it", Qt::LeftButton, {10, -1}, {"down 0", "OnMouseDown 0", "up 0"}},
        {"left released on its last pixel", Qt::LeftButton, {39, 29}, {"down 0", "OnMouseDown 0", "click", "up 0"}},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.name);
        Stage s;
        QTest::mousePress(s.probe, k.button, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseRelease(s.probe, k.button, Qt::NoModifier, k.release);
        EXPECT_EQ(s.probe->log, k.log);
    }
}

TEST(CustomControl, MovesWithoutAButtonReachMouseMove) {
    Stage s;
    QTest::mouseMove(s.probe, QPoint(5, 6));
    QTest::mouseMove(s.probe, QPoint(7, 8));
    EXPECT_GE(s.probe->moves, 1);
    EXPECT_EQ(s.probe->lastPos, QPoint(7, 8));
    EXPECT_EQ(s.probe->lastShift & (ssLeft | ssRight | ssMiddle), 0);
}

TEST(CustomControl, ShiftStateCarriesModifiersAndHeldButtons) {
    EXPECT_EQ(ShiftStateOf(Qt::ShiftModifier | Qt::ControlModifier, Qt::LeftButton), ssShift | ssCtrl | ssLeft);
    EXPECT_EQ(ShiftStateOf(Qt::AltModifier, Qt::RightButton | Qt::MiddleButton), ssAlt | ssRight | ssMiddle);
    EXPECT_EQ(ShiftStateOf(Qt::NoModifier, Qt::NoButton), 0);
}

TEST(CustomControl, ParentColorFollowsTheParentUntilAColorWriteChangesIt) {
    QWidget parent;
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(1, 2, 3));
    parent.setPalette(pal);
    Probe probe(&parent);
    EXPECT_TRUE(probe.ParentColor());
    EXPECT_EQ(probe.Color(), QColor(1, 2, 3));

    probe.SetColor(QColor(1, 2, 3));  // the same value: no change
    EXPECT_TRUE(probe.ParentColor());

    probe.SetColor(QColor(9, 9, 9));
    EXPECT_FALSE(probe.ParentColor());
    EXPECT_EQ(probe.Color(), QColor(9, 9, 9));
    pal.setColor(QPalette::Window, QColor(4, 5, 6));
    parent.setPalette(pal);
    EXPECT_EQ(probe.Color(), QColor(9, 9, 9));

    probe.SetParentColor(true);
    EXPECT_EQ(probe.Color(), QColor(4, 5, 6));
    probe.resize(3, 3);
    EXPECT_TRUE(PixelsAre(probe.grab().toImage(), [](int x, int y) {
        return x == 1 && y == 1 ? QColor(Qt::red) : QColor(4, 5, 6);
    }));
}

TEST(CustomControl, ParentColorOfACustomControlChildIsTheParentsColor) {
    Probe outer;
    outer.SetColor(QColor(200, 100, 50));
    Probe inner(&outer);
    EXPECT_EQ(inner.Color(), QColor(200, 100, 50));
}

TEST(CustomControl, BoundsAndTag) {
    QWidget parent;
    Probe probe(&parent);
    probe.SetBounds(3, 4, 50, 60);
    EXPECT_EQ(QRect(probe.Left(), probe.Top(), probe.Width(), probe.Height()), QRect(3, 4, 50, 60));
    probe.SetLeft(-7);
    probe.SetTop(8);
    probe.SetWidth(11);
    probe.SetHeight(12);
    EXPECT_EQ(probe.geometry(), QRect(-7, 8, 11, 12));
    probe.SetTag(5);
    EXPECT_EQ(probe.Tag(), 5);
    EXPECT_EQ(probe.property("Tag").toInt(), 5);
}

TEST(CustomControl, CursorIdentifiersMapToQtShapes) {
    const std::vector<std::pair<TCursor, Qt::CursorShape>> table = {
        {crDefault, Qt::ArrowCursor},        {crCross, Qt::CrossCursor},         {crSizeNESW, Qt::SizeBDiagCursor},
        {crSizeNS, Qt::SizeVerCursor},       {crSizeNWSE, Qt::SizeFDiagCursor},  {crSizeWE, Qt::SizeHorCursor},
        {crHourGlass, Qt::WaitCursor},       {crArrow, Qt::ArrowCursor},
    };
    Probe probe;
    for (const auto &[id, shape] : table) {
        probe.SetCursor(id);
        EXPECT_EQ(probe.Cursor(), id);
        EXPECT_EQ(probe.cursor().shape(), shape) << "cursor " << id;
    }
}

// Children of a scroll box measure their bounds from its visible area, so two
// children scrolled together keep their offset, and the box's range grows to
// hold them.
TEST(ScrollBox, ChildBoundsAreRelativeToTheVisibleArea) {
    TScrollBox box;
    box.resize(200, 150);
    auto *a = new Probe(box.Content());
    auto *b = new Probe(box.Content());
    a->SetBounds(100, 50, 50, 40);
    b->SetBounds(400, 300, 30, 20);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QCoreApplication::processEvents();

    EXPECT_GE(box.Content()->width(), 430);
    EXPECT_GE(box.Content()->height(), 320);
    ASSERT_GE(box.horizontalScrollBar()->maximum(), 60);
    ASSERT_GE(box.verticalScrollBar()->maximum(), 40);

    box.horizontalScrollBar()->setValue(60);
    box.verticalScrollBar()->setValue(40);
    EXPECT_EQ(QPoint(a->Left(), a->Top()), QPoint(40, 10));
    EXPECT_EQ(QPoint(b->Left(), b->Top()), QPoint(340, 260));
    EXPECT_EQ(b->Left() - a->Left(), 300);

    // Setting a bound places the child relative to what is visible now.
    a->SetLeft(0);
    a->SetTop(0);
    EXPECT_EQ(a->geometry().topLeft(), QPoint(60, 40));
    box.horizontalScrollBar()->setValue(0);
    box.verticalScrollBar()->setValue(0);
    EXPECT_EQ(QPoint(a->Left(), a->Top()), QPoint(60, 40));
    EXPECT_EQ(a->mapTo(&box, QPoint(0, 0)), box.viewport()->mapTo(&box, QPoint(60, 40)));
}

TEST(ScrollBox, RangeFollowsChildrenThatMoveResizeOrHide) {
    TScrollBox box;
    box.resize(200, 150);
    auto *a = new Probe(box.Content());
    a->SetBounds(0, 0, 50, 50);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QCoreApplication::processEvents();
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);

    a->SetWidth(600);
    EXPECT_GT(box.horizontalScrollBar()->maximum(), 0);
    EXPECT_GE(box.Content()->width(), 600);

    a->SetWidth(50);
    EXPECT_EQ(box.horizontalScrollBar()->maximum(), 0);

    a->SetTop(500);
    EXPECT_GT(box.verticalScrollBar()->maximum(), 0);
    a->hide();
    EXPECT_EQ(box.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(box.ClientWidth(), box.viewport()->width());
}
