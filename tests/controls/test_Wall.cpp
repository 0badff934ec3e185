#include "controls/Wall.h"
#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>

#include <memory>

namespace {

constexpr TColor kPanel = 0x404040;

// A w x h tile whose pixel (x, y) encodes its own position.
QImage Tile(int w, int h)
{
    QImage tile(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            tile.setPixel(x, y, qRgb(200, x * 10, y * 10));
    return tile;
}

QRgb TilePixel(int x, int y)
{
    return qRgb(200, x * 10, y * 10);
}

std::unique_ptr<TWallpaper> Panel(int w, int h)
{
    auto panel = std::make_unique<TWallpaper>();
    panel->resize(w, h);
    panel->SetColor(kPanel);
    return panel;
}

// Every pixel of the inner rectangle shows the tile laid from its corner;
// every pixel outside it does not carry the tile's red marker (200).
void ExpectTiled(TWallpaper &panel, int frame, int tw, int th)
{
    const QImage shot = panel.grab().toImage();
    ASSERT_EQ(shot.size(), panel.size());
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const bool inside = x >= frame && y >= frame && x < shot.width() - frame
                                && y < shot.height() - frame;
            const QRgb p = shot.pixel(x, y);
            if (inside)
                ASSERT_EQ(p, TilePixel((x - frame) % tw, (y - frame) % th)) << x << "," << y;
            else
                ASSERT_NE(qRed(p), 200) << x << "," << y;
        }
    }
}

} // namespace

TEST(Wall, NewPanelDocksToTheTopAndFollowsItsParent)
{
    QWidget parent;
    parent.resize(300, 200);
    TWallpaper panel(&parent);
    EXPECT_EQ(panel.FrameWidth(), 1); // raised outer bevel of width 1
    EXPECT_EQ(panel.geometry().topLeft(), QPoint(0, 0));
    EXPECT_EQ(panel.width(), 300);
    panel.SetAlign(alClient);
    parent.show(); // a hidden parent delivers its resize only when shown
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&parent));
    parent.resize(944, 759);
    EXPECT_EQ(panel.geometry(), QRect(0, 0, 944, 759));
}

TEST(Wall, TilingStartsAtTheInnerCornerForFrameWidthsZeroOneAndSeven)
{
    struct Frame {
        TPanelBevel outer, inner;
        int bevel, border, expected;
    };
    for (const Frame f : {Frame{bvNone, bvNone, 1, 0, 0}, Frame{bvRaised, bvNone, 1, 0, 1},
                          Frame{bvRaised, bvLowered, 2, 3, 7}}) {
        SCOPED_TRACE(f.expected);
        auto panel = Panel(47, 33);
        panel->SetBevelOuter(f.outer);
        panel->SetBevelInner(f.inner);
        panel->SetBevelWidth(f.bevel);
        panel->SetBorderWidth(f.border);
        panel->SetWallpaper(Tile(10, 8));
        EXPECT_EQ(panel->FrameWidth(), f.expected);
        ExpectTiled(*panel, f.expected, 10, 8);
    }
}

TEST(Wall, ExactMultipleAndOversizedPictures)
{
    auto exact = Panel(42, 34); // inner 40 x 32 = 4 x 4 tiles of 10 x 8
    exact->SetWallpaper(Tile(10, 8));
    ExpectTiled(*exact, 1, 10, 8);
    auto large = Panel(30, 20); // drawn once, cut at the right and bottom
    large->SetWallpaper(Tile(25, 25));
    ExpectTiled(*large, 1, 25, 25);
}

TEST(Wall, NoPictureLeavesTheRaisedPanel)
{
    auto panel = Panel(20, 10);
    panel->SetWallpaper(QImage(0, 5, QImage::Format_RGB32)); // zero width: no picture
    const QImage shot = panel->grab().toImage();
    const QRgb light = ToQColor(clBtnHighlight).rgb();
    const QRgb shadow = ToQColor(clBtnShadow).rgb();
    EXPECT_EQ(shot.pixel(0, 8), light);
    EXPECT_EQ(shot.pixel(18, 0), light);
    EXPECT_EQ(shot.pixel(0, 9), shadow); // the bottom row runs the full width
    EXPECT_EQ(shot.pixel(19, 5), shadow);
    for (int y = 1; y < 9; ++y)
        for (int x = 1; x < 19; ++x)
            ASSERT_EQ(shot.pixel(x, y), ToQColor(kPanel).rgb()) << x << "," << y;
}

TEST(Wall, PictureChangeOnlySchedulesARepaint)
{
    auto panel = Panel(60, 40);
    panel->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    QCoreApplication::processEvents();
    PaintCounter paints(panel.get());

    panel->SetWallpaper(Tile(10, 8));
    EXPECT_EQ(paints.count, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > 0; }, 2000));

    // A change through the picture object itself is noticed the same way.
    const int before = paints.count;
    panel->Wallpaper().SetGraphic(Tile(4, 4));
    EXPECT_EQ(paints.count, before);
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints.count > before; }, 2000));
}
