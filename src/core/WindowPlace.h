#pragma once
// Where the main window goes and how big it is: pure rules over rectangles,
// so that a screen that is gone, or one smaller than the window, can be
// tried without one.
// Thread: any (pure functions).

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>
#include <vector>

// Height of the strip at the top of a frame that must stay on a screen for
// the window to be moved by its title bar.
constexpr int TitleStripHeight = 32;
// How much of that strip must be on one screen for a saved place to count.
constexpr int TitleStripGrip = 64;

struct TWindowPlace {
    QPoint TopLeft;  // of the frame
    int Screen = -1; // index into the screens given; -1 when there are none
};

// A frame of `frame` size goes at `saved` (its top-left as last left) when
// its title strip lies on one of the `screens` (available areas) by at least
// TitleStripGrip pixels across; it is then moved only as far as needed to lie
// wholly on that screen (top-left first, when it is larger). Otherwise (no
// saved place, or its screen is gone) it is centred on screens[primary].
TWindowPlace PlaceWindow(const std::optional<QPoint> &saved, const QSize &frame, const std::vector<QRect> &screens,
                         int primary);

// The window's size where `room` is what a screen leaves for it inside the
// frame: `content` itself when it fits, else cut to the room.
QSize FitWindow(const QSize &content, const QSize &room);
