#include "core/WindowPlace.h"

#include <algorithm>

namespace {

// The frame's top-left moved so that the frame lies on `screen` as far as it
// can; a frame larger than the screen keeps its top-left on it.
QPoint Clamp(const QPoint &at, const QSize &frame, const QRect &screen)
{
    const int x = std::max(screen.left(), std::min(at.x(), screen.right() + 1 - frame.width()));
    const int y = std::max(screen.top(), std::min(at.y(), screen.bottom() + 1 - frame.height()));
    return {x, y};
}

int ScreenOfTitle(const QPoint &at, const QSize &frame, const std::vector<QRect> &screens)
{
    const QRect strip(at, QSize(frame.width(), TitleStripHeight));
    int best = -1;
    int bestArea = 0;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const QRect on = strip.intersected(screens[i]);
        const int area = on.width() * on.height();
        if (on.width() >= std::min(TitleStripGrip, frame.width()) && area > bestArea) {
            best = int(i);
            bestArea = area;
        }
    }
    return best;
}

} // namespace

TWindowPlace PlaceWindow(const std::optional<QPoint> &saved, const QSize &frame, const std::vector<QRect> &screens,
                         int primary)
{
    if (screens.empty())
        return {saved.value_or(QPoint()), -1};
    if (saved) {
        const int screen = ScreenOfTitle(*saved, frame, screens);
        if (screen >= 0)
            return {Clamp(*saved, frame, screens[std::size_t(screen)]), screen};
    }
    const int screen = primary >= 0 && std::size_t(primary) < screens.size() ? primary : 0;
    const QRect &area = screens[std::size_t(screen)];
    const QPoint centred(area.left() + (area.width() - frame.width()) / 2,
                         area.top() + (area.height() - frame.height()) / 2);
    return {Clamp(centred, frame, area), screen};
}

QSize FitWindow(const QSize &content, const QSize &room) { return content.boundedTo(room.expandedTo(QSize(1, 1))); }
