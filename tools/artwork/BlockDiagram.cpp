#include "Artwork.h"
#include "ArtworkGeometry.h"
#include "ArtworkPaint.h"

#include "core/Layout.h"

#include <QPainter>
#include <QPainterPath>

namespace artwork {

namespace {

// Calm navy/teal panels: yellow-on-navy value labels and the white-on-black
// headers stay readable on every one of them.
QColor SectionColour(const QString &section)
{
    static const std::pair<const char *, QRgb> colours[] = {
        {"Oscillator 1", 0x1d4d63}, {"Oscillator 2", 0x1d4d63}, {"Modulation generator", 0x33406e},
        {"Mixer", 0x22574f},        {"Filter", 0x1f5a6a},       {"Filter envelope", 0x284866},
        {"Amplifier", 0x3e3f6c},    {"Amplifier envelope", 0x2e4670}, {"Bend", 0x4b4a63},
        {"Auto Bend", 0x4b4a63},    {"Delay", 0x24584a},        {"Voice", 0x363c4e},
    };
    for (const auto &c : colours) {
        if (section == QLatin1String(c.first))
            return QColor(c.second);
    }
    return QColor(0x333333);
}

const QColor kBackground(0x141d28);
const QColor kLine(0xcfe3ea);

void DrawBackground(QPainter &p)
{
    p.fillRect(QRect(0, 0, layout::BlockPictureWidth + PictureOrigin, layout::BlockPictureHeight + PictureOrigin),
               kBackground);
    // A faint grid, like a drawing board.
    p.setPen(QPen(QColor(0x1a2633), 1));
    for (int x = 0; x < layout::BlockPictureWidth + PictureOrigin; x += 24)
        p.drawLine(x, 0, x, layout::BlockPictureHeight + PictureOrigin);
    for (int y = 0; y < layout::BlockPictureHeight + PictureOrigin; y += 24)
        p.drawLine(0, y, layout::BlockPictureWidth + PictureOrigin, y);
}

void DrawBoxes(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const TSectionBox &box : SectionBoxes()) {
        const QColor fill = SectionColour(box.Section);
        const QRectF r = QRectF(box.Rect).adjusted(0.5, 0.5, 0.5, 0.5);
        // A soft drop shadow, then the panel.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x0b1118));
        p.drawRoundedRect(r.translated(3, 3), 7, 7);
        p.setBrush(fill);
        p.setPen(QPen(fill.lighter(170), 1.2));
        p.drawRoundedRect(r, 7, 7);
    }
}

void DrawLines(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const TSignalLine &line : SignalLines())
        DrawPolylineArrow(p, line.Points, line.Arrow, kLine, 1.6);
    p.setPen(Qt::NoPen);
    p.setBrush(kLine);
    for (const QPoint &dot : SignalJunctions())
        p.drawEllipse(QPointF(dot) + QPointF(0.5, 0.5), 3.0, 3.0);
}

void DrawTexts(QPainter &p)
{
    for (const TArtText &t : BlockTexts()) {
        p.setFont(t.Font);
        if (t.Boxed) {
            p.fillRect(t.Rect, Qt::white);
            p.setPen(Qt::black);
        } else {
            p.setPen(t.Text == QLatin1String("OUT") ? kLine : QColor(0x9fb6c8));
        }
        p.drawText(t.Rect, Qt::AlignLeft | Qt::AlignVCenter, t.Text);
    }
}

} // namespace

QImage RenderBlockDiagram()
{
    QImage image(layout::BlockPictureWidth, layout::BlockPictureHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.translate(-PictureOrigin, -PictureOrigin);
    DrawBackground(p);
    DrawBoxes(p);
    DrawLines(p);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    DrawTexts(p);
    p.end();
    return image;
}

} // namespace artwork
