#pragma once
// Small drawing helpers shared by the renderers.
// Thread: the user-interface thread.

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPoint>
#include <vector>

namespace artwork {

// A polyline through pixel centres, with a filled arrowhead at its end.
void DrawPolylineArrow(QPainter &p, const std::vector<QPoint> &points, bool arrow, const QColor &colour,
                       qreal width);

QFont ArtFont(int pixels, bool bold);

} // namespace artwork
