// The slider's change event, the status bar's panel, and the form's bounds,
// events and modal showing.
#include "platform/stdctrls.h"

#include <QCloseEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Gives the tests the style's idea of where the groove and the handle are.
class TestBar : public TTrackBar {
public:
    QRect Part(QStyle::SubControl part) const {
        QStyleOptionSlider opt;
        initStyleOption(&opt);
        return style()->subControlRect(QStyle::CC_Slider, &opt, part, this);
    }
};

struct Slider {
    TestBar bar;
    int changes = 0;
    std::vector<int> seen;  // the position each OnChange saw
    Slider() {
        bar.SetMin(5);
        bar.SetMax(95);
        bar.SetPosition(50);
        bar.SetPageSize(10);
        bar.resize(300, 40);
        bar.OnChange = [this](QObject *sender) {
            EXPECT_EQ(sender, &bar);
            ++changes;
            seen.push_back(bar.Position());
        };
        bar.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&bar));
    }
};

} // namespace

TEST(TrackBar, TheProgramSettingThePositionRunsNoOnChange) {
    Slider s;
    s.bar.SetPosition(70);
    s.bar.setValue(20);
    s.bar.setSliderPosition(30);
    s.bar.SetMax(25);  // clamps the value
    EXPECT_EQ(s.bar.Position(), 25);
    EXPECT_EQ(s.changes, 0);
}

TEST(TrackBar, EveryKeyRunsOnChangeWithTheNewPosition) {
    Slider s;
    QTest::keyClick(&s.bar, Qt::Key_Right);
    QTest::keyClick(&s.bar, Qt::Key_PageUp);
    QTest::keyClick(&s.bar, Qt::Key_End);
    QTest::keyClick(&s.bar, Qt::Key_End);  // already at the end: still a notification
    QTest::keyClick(&s.bar, Qt::Key_A);    // no slider action
    EXPECT_EQ(s.seen, (std::vector<int>{51, 61, 95, 95}));
}

TEST(TrackBar, ClicksOnTheGrooveAndDragsRunOnChange) {
    Slider s;
    const QRect groove = s.bar.Part(QStyle::SC_SliderGroove);
    QTest::mouseClick(&s.bar, Qt::LeftButton, Qt::NoModifier, QPoint(groove.right() - 5, groove.center().y()));
    ASSERT_GE(s.changes, 1);
    EXPECT_GT(s.bar.Position(), 50);
    EXPECT_EQ(s.seen.back(), s.bar.Position());

    // Drag the handle from where it is now to the left end.
    s.bar.SetPosition(50);
    s.changes = 0;
    s.seen.clear();
    const QPoint handle = s.bar.Part(QStyle::SC_SliderHandle).center();
    QTest::mousePress(&s.bar, Qt::LeftButton, Qt::NoModifier, handle);
    QTest::mouseMove(&s.bar, handle - QPoint(40, 0));
    QTest::mouseMove(&s.bar, QPoint(-50, handle.y()));
    QTest::mouseRelease(&s.bar, Qt::LeftButton, Qt::NoModifier, QPoint(-50, handle.y()));
    EXPECT_GE(s.changes, 2);
    EXPECT_EQ(s.bar.Position(), 5);
    EXPECT_EQ(s.seen.back(), 5);
}

TEST(StatusBar, OneSimplePanel) {
    TStatusBar bar;
    bar.SetSimpleText("Width: 640  Height: 480");
    EXPECT_EQ(bar.SimpleText(), "Width: 640  Height: 480");
    const auto labels = bar.findChildren<QLabel *>();
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0]->text(), bar.SimpleText());
}

TEST(Form, BoundsAreTheOuterRectangle) {
    TForm form;
    form.SetLeft(30);
    form.SetTop(40);
    form.SetWidth(320);
    form.SetHeight(240);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(QRect(form.Left(), form.Top(), form.Width(), form.Height()), form.frameGeometry());
    EXPECT_EQ(QRect(form.Left(), form.Top(), form.Width(), form.Height()), QRect(30, 40, 320, 240));
    form.SetWidth(200);
    EXPECT_EQ(form.Width(), 200);
    EXPECT_EQ(form.Left(), 30);
}

TEST(Form, OnShowAndOnCloseRunAndCaNoneKeepsTheFormOpen) {
    TForm form;
    int shows = 0;
    TForm::TCloseAction answer = TForm::caNone;
    int closes = 0;
    form.OnShow = [&](QObject *) { ++shows; };
    form.OnClose = [&](QObject *, TForm::TCloseAction &action) {
        EXPECT_EQ(action, TForm::caHide);
        ++closes;
        action = answer;
    };
    form.show();
    EXPECT_EQ(shows, 1);
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    answer = TForm::caHide;
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closes, 2);
}

TEST(Form, ShowModalReturnsWhenClosedWithItsResult) {
    TForm form;
    bool wasModal = false;
    QTimer::singleShot(0, &form, [&] {
        wasModal = form.isVisible() && form.isModal();
        form.SetModalResult(TForm::mrOk);
    });
    EXPECT_EQ(form.ShowModal(), TForm::mrOk);
    EXPECT_TRUE(wasModal);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.isModal());

    QTimer::singleShot(0, &form, [&] { form.Close(); });
    EXPECT_EQ(form.ShowModal(), TForm::mrCancel);

    form.show();
    EXPECT_THROW(form.ShowModal(), std::exception);
}
