#include "core/WindowPlace.h"

#include <gtest/gtest.h>

namespace {

struct PlaceCase {
    const char *Name;
    std::optional<QPoint> Saved;
    std::vector<QRect> Screens;
    QPoint Expected;
    int Screen;
};

const QSize kFrame(960, 824);
const QRect kLeft(0, 0, 1920, 1050);       // primary, a task bar below
const QRect kRight(1920, 0, 2560, 1410);   // a second screen to its right
const QRect kLaptop(0, 0, 1366, 738);

TEST(WindowPlace, ASavedPlaceCountsWhileItsTitleBarIsOnAScreen)
{
    const PlaceCase cases[] = {
        {"no saved place: centred", std::nullopt, {kLeft}, {480, 113}, 0},
        {"saved on the primary screen", QPoint(100, 60), {kLeft, kRight}, {100, 60}, 0},
        {"saved on the second screen", QPoint(2200, 300), {kLeft, kRight}, {2200, 300}, 1},
        {"the second screen is gone", QPoint(2200, 300), {kLeft}, {480, 113}, 0},
        {"title bar above every screen", QPoint(100, -200), {kLeft}, {480, 113}, 0},
        {"only a sliver of the title bar left on", QPoint(1900, 10), {kLeft}, {480, 113}, 0},
        {"partly off the right edge: pulled in", QPoint(1500, 10), {kLeft}, {960, 10}, 0},
        {"hanging below the task bar: pulled up", QPoint(100, 900), {kLeft}, {100, 226}, 0},
        {"across both screens: the one with more title", QPoint(1700, 0), {kLeft, kRight}, {1920, 0}, 1},
        {"larger than the screen: top-left kept on it", QPoint(300, 200), {kLaptop}, {300, 0}, 0},
        {"no saved place, laptop: top-left on screen", std::nullopt, {kLaptop}, {203, 0}, 0},
    };
    for (const PlaceCase &c : cases) {
        SCOPED_TRACE(c.Name);
        const TWindowPlace at = PlaceWindow(c.Saved, kFrame, c.Screens, 0);
        EXPECT_EQ(at.TopLeft, c.Expected);
        EXPECT_EQ(at.Screen, c.Screen);
    }
}

TEST(WindowPlace, CentresOnThePrimaryScreenWhateverItsIndex)
{
    const TWindowPlace at = PlaceWindow(std::nullopt, kFrame, {kLeft, kRight}, 1);
    EXPECT_EQ(at.Screen, 1);
    EXPECT_EQ(at.TopLeft, QPoint(1920 + (2560 - 960) / 2, (1410 - 824) / 2));
    EXPECT_EQ(PlaceWindow(QPoint(5, 5), kFrame, {}, 0).Screen, -1);
}

} // namespace
