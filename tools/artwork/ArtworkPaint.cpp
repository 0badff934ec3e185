#include "ArtworkPaint.h"

#include <QLineF>
#include <QPolygonF>
#include <algorithm>
#include <cmath>

namespace artwork {

void DrawPolylineArrow(QPainter &p, const std::vector<QPoint> &points, bool arrow, const QColor &colour,
                       qreal width)
{
    if (points.size() < 2)
        return;
    constexpr qreal headLength = 8.0;
    constexpr qreal headHalf = 4.0;
    std::vector<QPointF> pts;
    for (const QPoint &pt : points)
        pts.push_back(QPointF(pt) + QPointF(0.5, 0.5));
    const QPointF tip = pts.back();
    const QLineF last(pts[pts.size() - 2], tip);
    const QPointF unit = last.length() > 0 ? (tip - last.p1()) / last.length() : QPointF(1, 0);
    // Short stubs keep a bit of shaft, so two heads meeting still read as arrows.
    const qreal head = std::min(headLength, std::max(last.length() - 3.0, last.length() * 0.6));
    if (arrow) // the shaft stops where the head begins, so the tip stays sharp
        pts.back() = tip - unit * head;
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(pts.data(), int(pts.size()));
    if (!arrow)
        return;
    const QPointF base = tip - unit * head;
    const QPointF normal(-unit.y(), unit.x());
    const qreal half = headHalf * head / headLength;
    const QPolygonF shape({tip, base + normal * half, base - normal * half});
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(shape);
}

QFont ArtFont(int pixels, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

} // namespace artwork
