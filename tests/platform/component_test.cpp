// Ownership, tags, the palette registry, system colours and the busy cursor.
#include "platform/component.h"
#include "platform/cursor.h"
#include "platform/types.h"

#include <QApplication>
#include <QPalette>
#include <QPointer>
#include <gtest/gtest.h>

TEST(Component, TheOwnerDestroysWhatItOwns) {
    auto *owner = new TComponent(nullptr);
    QPointer<TComponent> owned = new TComponent(owner);
    owned->SetName("TempFolder1");
    owned->SetTag(7);
    EXPECT_EQ(owned->Name(), "TempFolder1");
    EXPECT_EQ(owned->Tag(), 7);
    EXPECT_EQ(TagOf(owned), 7);
    EXPECT_EQ(TagOf(nullptr), 0);
    delete owner;
    EXPECT_TRUE(owned.isNull());
}

TEST(Component, RegisterKeepsOneListPerPage) {
    RegisterComponents("QZTest", {"TThumbnail"});
    RegisterComponents("QZTest", {"TDragShape", "TThumbnail"});
    RegisterComponents("Other", {"TButton"});
    EXPECT_EQ(RegisteredComponents("QZTest"), (QStringList{"TThumbnail", "TDragShape"}));
    EXPECT_EQ(RegisteredComponents("Other"), QStringList{"TButton"});
    EXPECT_TRUE(RegisteredComponents("Nothing").isEmpty());
}

TEST(SystemColours, ComeFromTheApplicationPalette) {
    const QPalette pal = QApplication::palette();
    EXPECT_EQ(clBtnFace(), pal.color(QPalette::Button));
    EXPECT_EQ(clWindow(), pal.color(QPalette::Base));
    EXPECT_EQ(clWindowText(), pal.color(QPalette::Text));
    EXPECT_EQ(cl3DLight(), pal.color(QPalette::Midlight));
    EXPECT_EQ(cl3DDkShadow(), pal.color(QPalette::Shadow));
    EXPECT_NE(cl3DLight(), cl3DDkShadow());
}

TEST(BusyCursor, ShowsTheWaitCursorForItsScope) {
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    {
        TBusyCursor busy;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}
