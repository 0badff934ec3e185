// The demonstration panel lands fully on the screen, beside or below the
// main window, whatever the screen.

#include "app/DemoPanel.h"

#include <gtest/gtest.h>

namespace {

bool Inside(const QRect &screen, const QPoint &at, const QSize &size) { return screen.contains(QRect(at, size)); }

bool Overlap(const QPoint &a, const QSize &as, const QPoint &b, const QSize &bs)
{
    return QRect(a, as).intersects(QRect(b, bs));
}

} // namespace

TEST(DemoPlacement, PanelOffTheRightOfACentredWindowOnA1280Screen)
{
    const QRect screen(0, 0, 1280, 1024);
    const QSize mainSize(960, 820), panel(300, 420); // the editor's window with a frame
    const QRect main(QPoint(160, 102), mainSize);    // centred
    const TDemoPlacement at = PlaceDemoPanel(screen, main, panel);
    EXPECT_TRUE(Inside(screen, at.Panel, panel));
    EXPECT_TRUE(Inside(screen, at.Main, mainSize));
    EXPECT_FALSE(Overlap(at.Main, mainSize, at.Panel, panel));
}

TEST(DemoPlacement, KeepsTheMainWindowWhereThereIsRoomAndOtherwiseMovesItAsLittleAsNeeded)
{
    const QSize panel(300, 420);
    // Room on the right: the panel beside, at the window's top.
    TDemoPlacement at = PlaceDemoPanel(QRect(0, 0, 1920, 1080), QRect(100, 100, 1000, 720), panel);
    EXPECT_EQ(at.Main, QPoint(100, 100));
    EXPECT_EQ(at.Panel, QPoint(1108, 100));
    // Room on the left only.
    at = PlaceDemoPanel(QRect(0, 0, 1920, 1080), QRect(800, 100, 1000, 720), panel);
    EXPECT_EQ(at.Main, QPoint(800, 100));
    EXPECT_EQ(at.Panel, QPoint(492, 100));
    // Narrow but tall: below.
    at = PlaceDemoPanel(QRect(0, 0, 1100, 1300), QRect(50, 20, 1000, 720), panel);
    EXPECT_EQ(at.Main, QPoint(50, 20));
    EXPECT_EQ(at.Panel, QPoint(50, 748));
    // A screen with an offset (a second monitor, a panel bar): the window moves left, just enough.
    const QRect second(1920, 30, 1400, 1000);
    at = PlaceDemoPanel(second, QRect(2120, 100, 1000, 900), panel);
    EXPECT_EQ(at.Main, QPoint(1920 + 1400 - 1000 - 8 - 300, 100));
    EXPECT_TRUE(Inside(second, at.Panel, panel));
}

TEST(DemoPlacement, ScreenTooSmallForBothStillShowsTheWholePanel)
{
    const QRect screen(0, 0, 1024, 768);
    const QSize panel(300, 420);
    const TDemoPlacement at = PlaceDemoPanel(screen, QRect(12, 24, 1000, 720), panel);
    EXPECT_TRUE(Inside(screen, at.Panel, panel));
}
