// The shape: an outline exactly on the border pixels, the inside left to
// what lies below with a clear brush, and still answering the mouse.
#include "platform/shape.h"

#include "pixels.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

const QColor kGround(0, 128, 0);

struct Scene {
    QWidget ground;
    TShape *shape;
    Scene() : shape(new TShape(&ground)) {
        ground.setAutoFillBackground(true);
        QPalette pal = ground.palette();
        pal.setColor(QPalette::Window, kGround);
        ground.setPalette(pal);
        ground.resize(40, 30);
        shape->SetBounds(5, 4, 12, 9);
    }
};

} // namespace

TEST(Shape, ClearBrushDrawsOnlyTheOutlineOnTheBorderPixels) {
    Scene s;
    TBrush brush = s.shape->Brush();
    brush.Style = bsClear;
    s.shape->SetBrush(brush);
    TPen pen = s.shape->Pen();
    pen.Color = Qt::white;
    s.shape->SetPen(pen);

    const QImage image = s.ground.grab().toImage();
    const QRect r(5, 4, 12, 9);
    EXPECT_TRUE(PixelsAre(image, [&](int x, int y) {
        if (!r.contains(x, y))
            return kGround;
        if (x == r.left() || x == r.right() || y == r.top() || y == r.bottom())
            return QColor(Qt::white);
        return kGround;  // the inside shows what lies below
    }));
}

TEST(Shape, SolidBrushFillsTheInside) {
    Scene s;
    const QImage image = s.shape->grab().toImage();
    EXPECT_TRUE(PixelsAre(image, [&](int x, int y) {
        return x == 0 || y == 0 || x == 11 || y == 8 ? QColor(Qt::black) : QColor(Qt::white);
    }));
}

TEST(Shape, TheClearInsideStillReceivesTheMouse) {
    Scene s;
    TBrush brush;
    brush.Style = bsClear;
    s.shape->SetBrush(brush);
    s.ground.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&s.ground));
    QPoint pressed(-1, -1);
    s.shape->OnMouseDown = [&](QObject *, TMouseButton, TShiftState, int x, int y) { pressed = QPoint(x, y); };
    // Through the window, so Qt finds the widget under the point.
    QTest::mousePress(s.ground.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(11, 8));
    QTest::mouseRelease(s.ground.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(11, 8));
    EXPECT_EQ(pressed, QPoint(6, 4));
}
