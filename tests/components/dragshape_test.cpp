// TDragShape: the hover zones and their cursors, and the drag steps with their
// anchors and size limits, driven by mouse events as a user's pointer sends
// them.
#include "components/dragshape.h"
#include "platform/component.h"

#include "testenv.h"

#include <QCursor>
#include <QRect>
#include <QTest>
#include <QWidget>
#include <memory>
#include <vector>

namespace {

// Counts the bounds updates, so a drag step can be checked to set them once.
class CountingShape : public TDragShape {
public:
    using TDragShape::TDragShape;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override {
        ++BoundsCalls;
        TDragShape::SetBounds(ALeft, ATop, AWidth, AHeight);
    }
    int BoundsCalls = 0;
};

QRect Bounds(const TDragShape &s) { return QRect(s.Left(), s.Top(), s.Width(), s.Height()); }

class DragShapeTest : public IsolatedTest {
protected:
    void SetUp() override {
        host_ = std::make_unique<QWidget>();
        host_->setGeometry(0, 0, 500, 400);
        shape_ = new CountingShape(host_.get());
        shape_->SetBounds(100, 100, 100, 80);
        shape_->BoundsCalls = 0;
        host_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(host_.get()));
    }

    // A pointer move with no button held, at a point of the shape. The pointer
    // first leaves to a spot away from the window, so every hover is a real
    // move even when it lands where the last one did.
    void Hover(QPoint local) {
        QCursor::setPos(host_->mapToGlobal(QPoint(-50, -50)));
        QCoreApplication::processEvents();
        QTest::mouseMove(shape_, local);
    }
    // Pointer positions while a button is held are given in the host's
    // coordinates: the shape moves under the pointer, so the event's own
    // coordinates follow from where the shape is now.
    void Press(QPoint hostPoint, Qt::MouseButton button = Qt::LeftButton) {
        button_ = button;
        QTest::mousePress(shape_, button, {}, hostPoint - shape_->pos());
    }
    void DragTo(QPoint hostPoint) { QTest::mouseMove(shape_, hostPoint - shape_->pos()); }
    void Release(QPoint hostPoint) { QTest::mouseRelease(shape_, button_, {}, hostPoint - shape_->pos()); }

    std::unique_ptr<QWidget> host_;
    CountingShape *shape_ = nullptr;
    Qt::MouseButton button_ = Qt::LeftButton;
};

TEST_F(DragShapeTest, NewShapeHasItsDefaultsAndIsRegistered) {
    TDragShape s;
    EXPECT_EQ(s.MinWidth, 16);
    EXPECT_EQ(s.MinHeight, 16);
    EXPECT_EQ(s.MaxWidth, 0);
    EXPECT_EQ(s.MaxHeight, 0);
    EXPECT_TRUE(s.AllowLeft && s.AllowRight && s.AllowTop && s.AllowBottom && s.AllowMove);
    EXPECT_EQ(s.Border, 6);
    EXPECT_EQ(s.MoveCursor, crCross);
    EXPECT_EQ(s.Brush().Style, bsClear); // an outline only
    EXPECT_EQ(s.CurrentZone(), TDragShape::zNone);
    EXPECT_FALSE(s.Dragging());

    dragshape::Register();
    EXPECT_TRUE(RegisteredComponents("QZ").contains("TDragShape"));
}

struct HoverCase {
    const char *name;
    int width, height;
    void (*setup)(TDragShape &);
    QPoint at;
    TDragShape::Zone zone;
    TCursor cursor;
    Qt::CursorShape shape;
};

void Defaults(TDragShape &) {}

void PrintTo(const HoverCase &c, std::ostream *os) { *os << c.name; }

class DragShapeHover : public DragShapeTest, public ::testing::WithParamInterface<HoverCase> {};

TEST_P(DragShapeHover, FindsZoneAndShowsItsCursor) {
    const HoverCase &c = GetParam();
    shape_->SetBounds(100, 100, c.width, c.height);
    c.setup(*shape_);
    Hover(c.at);
    EXPECT_EQ(shape_->CurrentZone(), c.zone);
    EXPECT_EQ(shape_->Cursor(), c.cursor);
    EXPECT_EQ(shape_->cursor().shape(), c.shape);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, DragShapeHover,
    ::testing::Values(
        // The examples on a 100 x 80 shape with all defaults.
        HoverCase{"TopLeftCorner", 100, 80, Defaults, {2, 3}, TDragShape::zTopLeft, crSizeNWSE, Qt::SizeFDiagCursor},
        HoverCase{"RightEdge", 100, 80, Defaults, {97, 40}, TDragShape::zRight, crSizeWE, Qt::SizeHorCursor},
        HoverCase{"BottomEdge", 100, 80, Defaults, {50, 75}, TDragShape::zBottom, crSizeNS, Qt::SizeVerCursor},
        HoverCase{"Interior", 100, 80, Defaults, {50, 74}, TDragShape::zMove, crCross, Qt::CrossCursor},
        // The other corners and edges, and the band limits.
        HoverCase{"BottomLeftCorner", 100, 80, Defaults, {0, 79}, TDragShape::zBottomLeft, crSizeNESW, Qt::SizeBDiagCursor},
        HoverCase{"TopRightCorner", 100, 80, Defaults, {99, 0}, TDragShape::zTopRight, crSizeNESW, Qt::SizeBDiagCursor},
        HoverCase{"BottomRightCorner", 100, 80, Defaults, {99, 79}, TDragShape::zBottomRight, crSizeNWSE, Qt::SizeFDiagCursor},
        HoverCase{"LeftBandIsFourWide", 100, 80, Defaults, {3, 40}, TDragShape::zLeft, crSizeWE, Qt::SizeHorCursor},
        HoverCase{"PastLeftBand", 100, 80, Defaults, {4, 40}, TDragShape::zMove, crCross, Qt::CrossCursor},
        HoverCase{"PastRightBand", 100, 80, Defaults, {96, 40}, TDragShape::zMove, crCross, Qt::CrossCursor},
        HoverCase{"TopBandIsBorderHigh", 100, 80, Defaults, {50, 5}, TDragShape::zTop, crSizeNS, Qt::SizeVerCursor},
        HoverCase{"PastTopBand", 100, 80, Defaults, {50, 6}, TDragShape::zMove, crCross, Qt::CrossCursor},
        HoverCase{"WiderBorder", 100, 80, [](TDragShape &s) { s.Border = 10; }, {50, 9}, TDragShape::zTop, crSizeNS, Qt::SizeVerCursor},
        HoverCase{"BorderLeavesSidesAlone", 100, 80, [](TDragShape &s) { s.Border = 10; }, {4, 40}, TDragShape::zMove, crCross, Qt::CrossCursor},
        // AllowRight governs the left side and AllowLeft the right side.
        HoverCase{"AllowRightOffLeavesLeftEdge", 100, 80, [](TDragShape &s) { s.AllowRight = false; }, {2, 40}, TDragShape::zMove, crCross, Qt::CrossCursor},
        HoverCase{"AllowLeftOffKeepsLeftEdge", 100, 80, [](TDragShape &s) { s.AllowLeft = false; }, {2, 40}, TDragShape::zLeft, crSizeWE, Qt::SizeHorCursor},
        HoverCase{"AllowLeftOffLeavesRightEdge", 100, 80, [](TDragShape &s) { s.AllowLeft = false; }, {97, 40}, TDragShape::zMove, crCross, Qt::CrossCursor},
        // A side found keeps the top band from giving the top edge.
        HoverCase{"AllowTopOffCornerIsSide", 100, 80, [](TDragShape &s) { s.AllowTop = false; }, {2, 3}, TDragShape::zLeft, crSizeWE, Qt::SizeHorCursor},
        HoverCase{"SideOffTopStillTop", 100, 80, [](TDragShape &s) { s.AllowRight = false; }, {2, 3}, TDragShape::zTop, crSizeNS, Qt::SizeVerCursor},
        HoverCase{"OwnMoveCursor", 100, 80, [](TDragShape &s) { s.MoveCursor = crSizeNS; }, {50, 40}, TDragShape::zMove, crSizeNS, Qt::SizeVerCursor},
        // Overlapping bands: the right side beats the left, the bottom the top.
        HoverCase{"NarrowShapeRightWins", 6, 80, Defaults, {3, 40}, TDragShape::zRight, crSizeWE, Qt::SizeHorCursor},
        HoverCase{"LowShapeBottomWins", 100, 10, Defaults, {50, 5}, TDragShape::zBottom, crSizeNS, Qt::SizeVerCursor}),
    [](const ::testing::TestParamInfo<HoverCase> &info) { return std::string(info.param.name); });

TEST_F(DragShapeTest, WithoutMoveTheInteriorKeepsTheLastCursor) {
    shape_->AllowMove = false;
    Hover({97, 40});
    ASSERT_EQ(shape_->Cursor(), crSizeWE);
    Hover({50, 40});
    EXPECT_EQ(shape_->CurrentZone(), TDragShape::zNone);
    EXPECT_EQ(shape_->Cursor(), crSizeWE);

    // And dragging the interior moves nothing.
    const QPoint start(150, 140);
    Press(start);
    DragTo(start + QPoint(30, 20));
    Release(start + QPoint(30, 20));
    EXPECT_EQ(Bounds(*shape_), QRect(100, 100, 100, 80));
}

struct DragCase {
    const char *name;
    QPoint grip; // where the hover and the press happen, in the shape
    TDragShape::Zone zone;
    QRect after; // bounds after the pointer moved by (15, 11) in two steps
};

void PrintTo(const DragCase &c, std::ostream *os) { *os << c.name; }

class DragShapeDrag : public DragShapeTest, public ::testing::WithParamInterface<DragCase> {};

// Two steps, so an anchor that is kept where it must follow (or follows where
// it must stay) shows as a wrong size after the second.
TEST_P(DragShapeDrag, EdgeFollowsThePointer) {
    const DragCase &c = GetParam();
    Hover(c.grip);
    ASSERT_EQ(shape_->CurrentZone(), c.zone);
    const QPoint start = QPoint(100, 100) + c.grip;
    Press(start);
    EXPECT_TRUE(shape_->Dragging());
    DragTo(start + QPoint(10, 7));
    DragTo(start + QPoint(15, 11));
    EXPECT_EQ(Bounds(*shape_), c.after);
    EXPECT_EQ(shape_->BoundsCalls, 2); // one bounds update per step
    EXPECT_EQ(shape_->CurrentZone(), c.zone);
    Release(start + QPoint(15, 11));
    EXPECT_FALSE(shape_->Dragging());
}

INSTANTIATE_TEST_SUITE_P(
    Zones, DragShapeDrag,
    ::testing::Values(
        DragCase{"TopLeft", {2, 2}, TDragShape::zTopLeft, {115, 111, 85, 69}},
        DragCase{"BottomLeft", {2, 78}, TDragShape::zBottomLeft, {115, 100, 85, 91}},
        DragCase{"TopRight", {98, 2}, TDragShape::zTopRight, {100, 111, 115, 69}},
        DragCase{"BottomRight", {98, 78}, TDragShape::zBottomRight, {100, 100, 115, 91}},
        DragCase{"Left", {1, 40}, TDragShape::zLeft, {115, 100, 85, 80}},
        DragCase{"Right", {98, 40}, TDragShape::zRight, {100, 100, 115, 80}},
        DragCase{"Top", {50, 2}, TDragShape::zTop, {100, 111, 100, 69}},
        DragCase{"Bottom", {50, 78}, TDragShape::zBottom, {100, 100, 100, 91}},
        DragCase{"Move", {50, 40}, TDragShape::zMove, {115, 111, 100, 80}}),
    [](const ::testing::TestParamInfo<DragCase> &info) { return std::string(info.param.name); });

struct PushCase {
    const char *name;
    QPoint grip;
    QPoint by;
    QRect after;
};

void PrintTo(const PushCase &c, std::ostream *os) { *os << c.name; }

class DragShapePush : public DragShapeTest, public ::testing::WithParamInterface<PushCase> {};

// Past the minimum the left or top edge keeps following the pointer while the
// size stays at the minimum, so the opposite edge is pushed along.
TEST_P(DragShapePush, MinimumPushesTheRectangleAlong) {
    const PushCase &c = GetParam();
    Hover(c.grip);
    const QPoint start = QPoint(100, 100) + c.grip;
    Press(start);
    DragTo(start + c.by);
    EXPECT_EQ(Bounds(*shape_), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, DragShapePush,
    ::testing::Values(
        PushCase{"Left", {1, 40}, {120, 0}, {220, 100, 16, 80}},
        PushCase{"Top", {50, 1}, {0, 100}, {100, 200, 100, 16}},
        PushCase{"TopLeft", {1, 1}, {120, 100}, {220, 200, 16, 16}},
        PushCase{"BottomLeft", {1, 79}, {120, -100}, {220, 100, 16, 16}}),
    [](const ::testing::TestParamInfo<PushCase> &info) { return std::string(info.param.name); });

TEST_F(DragShapeTest, RightEdgeAnchorFollowsThePointerPastALimit) {
    shape_->MaxWidth = 120;
    Hover({98, 40});
    const QPoint start(198, 140);
    Press(start);
    DragTo(start + QPoint(40, 0));
    EXPECT_EQ(shape_->Width(), 120); // stopped at the maximum
    // The anchor went on with the pointer: moving back 10 narrows at once,
    // and the edge no longer sits under the pointer.
    DragTo(start + QPoint(30, 0));
    EXPECT_EQ(shape_->Width(), 110);

    // The same below the minimum.
    DragTo(start + QPoint(-200, 0));
    EXPECT_EQ(shape_->Width(), 16);
    DragTo(start + QPoint(-190, 0));
    EXPECT_EQ(shape_->Width(), 26);
    EXPECT_EQ(shape_->Left(), 100);
}

TEST_F(DragShapeTest, MaximumBelowMinimumWins) {
    // The minimum is applied first, so a maximum below it has the last word.
    shape_->SetBounds(100, 100, 8, 8);
    shape_->MaxWidth = 10;
    shape_->MaxHeight = 12;
    Press({104, 104});
    DragTo({106, 105});
    EXPECT_EQ(Bounds(*shape_), QRect(100, 100, 10, 12));
}

TEST_F(DragShapeTest, PressWithoutHoverOnlyEnforcesTheLimits) {
    // Never hovered: the zone is none, nothing moves, but the first step
    // still sets the bounds, which brings a small shape up to the minimum.
    shape_->SetBounds(100, 100, 10, 40);
    shape_->BoundsCalls = 0;
    Press({105, 120});
    DragTo({135, 150});
    EXPECT_EQ(Bounds(*shape_), QRect(100, 100, 16, 40));
    DragTo({140, 160});
    EXPECT_EQ(Bounds(*shape_), QRect(100, 100, 16, 40));
    EXPECT_EQ(shape_->BoundsCalls, 2);
}

class DragShapeButton : public DragShapeTest, public ::testing::WithParamInterface<Qt::MouseButton> {};

TEST_P(DragShapeButton, AnyButtonStartsADrag) {
    Hover({50, 40});
    Press({150, 140}, GetParam());
    DragTo({170, 150});
    EXPECT_EQ(Bounds(*shape_), QRect(120, 110, 100, 80));
    Release({170, 150});
    EXPECT_FALSE(shape_->Dragging());
    // Released: a further move is a hover and moves nothing.
    Hover({60, 40});
    EXPECT_EQ(Bounds(*shape_), QRect(120, 110, 100, 80));
}

INSTANTIATE_TEST_SUITE_P(Buttons, DragShapeButton,
                         ::testing::Values(Qt::LeftButton, Qt::RightButton, Qt::MiddleButton));

TEST_F(DragShapeTest, OnlyTheMoveIsPassedOn) {
    int downs = 0, ups = 0;
    std::vector<QRect> seen; // the bounds OnMouseMove saw
    shape_->OnMouseDown = [&](QObject *, TMouseButton, TShiftState, int, int) { ++downs; };
    shape_->OnMouseUp = [&](QObject *, TMouseButton, TShiftState, int, int) { ++ups; };
    shape_->OnMouseMove = [&](QObject *, TShiftState, int, int) { seen.push_back(Bounds(*shape_)); };
    Hover({50, 40});
    Press({150, 140});
    DragTo({160, 145});
    Release({160, 145});
    EXPECT_EQ(downs, 0);
    EXPECT_EQ(ups, 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], QRect(110, 105, 100, 80)); // raised after the step
}

TEST_F(DragShapeTest, NothingKeepsTheRectangleInsideItsParent) {
    Hover({50, 40});
    Press({150, 140});
    DragTo({-100, -80});
    EXPECT_EQ(Bounds(*shape_), QRect(-150, -120, 100, 80));
}

} // namespace
