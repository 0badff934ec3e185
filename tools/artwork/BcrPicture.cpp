#include "Artwork.h"
#include "ArtworkGeometry.h"
#include "ArtworkPaint.h"

#include "core/Layout.h"
#include "dw/Params.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace artwork {

namespace {

const QColor kPage(0xc3c9d0);
const QColor kBody(0x3a3d42);
const QColor kBodyEdge(0x1e2023);
const QColor kLedOn(0xff8c1a);
const QColor kLedOff(0x4a3525);
const QColor kName(0xe6e8ea);

void DrawBody(QPainter &p)
{
    QPainterPath body;
    body.addRoundedRect(QRectF(BcrMainBody()).adjusted(0.5, 0.5, 0.5, 0.5), 10, 10);
    QPainterPath keys;
    keys.addRoundedRect(QRectF(BcrKeyColumn()).adjusted(0.5, 0.5, 0.5, 0.5), 10, 10);
    body = body.united(keys);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x8d939a));
    p.drawPath(body.translated(3, 3));
    QLinearGradient g(0, 0, 0, BcrMainBody().bottom());
    g.setColorAt(0, kBody.lighter(118));
    g.setColorAt(1, kBody);
    p.setBrush(g);
    p.setPen(QPen(kBodyEdge, 1.5));
    p.drawPath(body);
    // Recessed strips behind the rows, as on the unit's face plate.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x33363a));
    const int pushTop = BcrRowTop(12);
    p.drawRoundedRect(QRectF(14, pushTop - 4, BcrMainBody().right() - 26, BcrRowTop(20) + 20 - pushTop + 8), 6, 6);
    p.drawRoundedRect(QRectF(14, BcrRowTop(28) - 6, BcrMainBody().right() - 26, BcrRowTop(36) + 24 - BcrRowTop(28) + 10),
                      6, 6);
}

// A ring of 13 LEDs round an encoder, a few lit (a fixed, made-up value per
// controller, so the picture looks alive and stays the same every run).
void DrawLedRing(QPainter &p, QPointF centre, qreal radius, int controller)
{
    constexpr int leds = 13;
    const int lit = 1 + (controller * 5) % leds;
    for (int i = 0; i < leds; ++i) {
        const qreal angle = qDegreesToRadians(225.0 - i * 270.0 / (leds - 1));
        const QPointF pt(centre.x() + radius * std::cos(angle), centre.y() - radius * std::sin(angle));
        p.setPen(Qt::NoPen);
        p.setBrush(i < lit ? kLedOn : kLedOff);
        p.drawEllipse(pt, 2.2, 2.2);
    }
}

void DrawKnob(QPainter &p, QPointF centre, qreal radius, int controller)
{
    DrawLedRing(p, centre, radius + LedRingMargin - 2.5, controller);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x111214));
    p.drawEllipse(centre + QPointF(1.5, 2), radius, radius);
    QRadialGradient g(centre - QPointF(radius / 3, radius / 3), radius * 1.4);
    g.setColorAt(0, QColor(0x6a6d72));
    g.setColorAt(1, QColor(0x1f2023));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x0c0c0d), 1));
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(0x2a2b2e));
    p.drawEllipse(centre, radius * 0.62, radius * 0.62);
    // Pointer at the lit end of the ring.
    const int lit = 1 + (controller * 5) % 13;
    const qreal angle = qDegreesToRadians(225.0 - (lit - 1) * 270.0 / 12);
    const QPointF dir(std::cos(angle), -std::sin(angle));
    p.setPen(QPen(QColor(0xd8d8d8), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + dir * radius * 0.3, centre + dir * radius * 0.9);
}

void DrawButton(QPainter &p, const QRectF &face, QColor top = QColor(0x74777d), QColor bottom = QColor(0x4b4e53))
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x151618));
    p.drawRoundedRect(face.translated(1.5, 2), 4, 4);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setBrush(g);
    p.setPen(QPen(QColor(0x1a1b1d), 1));
    p.drawRoundedRect(face, 4, 4);
}

void DrawControls(QPainter &p)
{
    for (const TBcrControl &c : BcrControls()) {
        const QPointF centre = QPointF(c.Centre) + QPointF(0.5, 0.5);
        switch (c.Kind) {
        case TBcrKind::PushEncoder:
        case TBcrKind::Encoder:
            DrawKnob(p, centre, c.Body.width() / 2 - LedRingMargin, c.Controller);
            break;
        case TBcrKind::Button:
            if (c.Controller == dw::RandomPatchController) // the editor's own button stands out
                DrawButton(p, QRectF(c.Body).adjusted(0.5, 0.5, 0.5, 0.5), QColor(0xb0483a), QColor(0x7a2a20));
            else
                DrawButton(p, QRectF(c.Body).adjusted(0.5, 0.5, 0.5, 0.5));
            break;
        }
    }
}

void DrawTexts(QPainter &p, const std::vector<TArtText> &texts, const QColor &colour);

void DrawRightKeys(QPainter &p)
{
    for (const QRect &key : BcrRightKeys())
        DrawButton(p, QRectF(key).adjusted(0.5, 0.5, 0.5, 0.5));
    DrawTexts(p, BcrRightKeyTexts(), kName);
}

void DrawTexts(QPainter &p, const std::vector<TArtText> &texts, const QColor &colour)
{
    p.setPen(colour);
    for (const TArtText &t : texts) {
        p.setFont(t.Font);
        p.drawText(t.Rect, Qt::AlignHCenter | Qt::AlignVCenter, t.Text);
    }
}

void DrawFrames(QPainter &p)
{
    for (const QRect &frame : {OscillatorFrame(), EnvelopeFrame()}) {
        const QRectF r = QRectF(frame).adjusted(0.5, 0.5, 0.5, 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x8d939a));
        p.drawRoundedRect(r.translated(3, 3), 8, 8);
        p.setBrush(QColor(0x1f2b38));
        p.setPen(QPen(QColor(0x8fb3c9), 2));
        p.drawRoundedRect(r, 8, 8);
    }
    DrawTexts(p, BcrFrameTexts(), QColor(0xf0f4f8));
}

} // namespace

QImage RenderBcr2000()
{
    QImage image(layout::BcrPictureWidth, layout::BcrPictureHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.translate(-PictureOrigin, -PictureOrigin);
    p.fillRect(QRect(0, 0, layout::BcrPictureWidth + 1, layout::BcrPictureHeight + 1), kPage);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    DrawBody(p);
    DrawControls(p);
    DrawRightKeys(p);
    DrawFrames(p);
    DrawTexts(p, BcrNameTexts(), kName);
    DrawTexts(p, BcrLogoTexts(), QColor(0xd9dde2));
    p.end();
    return image;
}

} // namespace artwork
