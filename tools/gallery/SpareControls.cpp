#include "Gallery.h"

#include "controls/Vxkeyf.h"
#include "controls/Vxpotbmp.h"
#include "controls/Vxpotlab.h"

#include <QPainter>

#include <cmath>

namespace {

// A stand-in knob strip: 64 frames of 40 x 40, a grey knob whose pointer
// turns from -135 to +135 degrees, with an orange arc for the value.
QImage KnobStrip()
{
    constexpr int kCount = 64, kSide = 40;
    QImage strip(kCount * kSide, kSide, QImage::Format_RGB32);
    strip.fill(QColor(40, 40, 48));
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < kCount; ++i) {
        const QPointF centre(i * kSide + kSide / 2.0, kSide / 2.0);
        const double sweep = 270.0 * i / (kCount - 1);
        p.setPen(QPen(QColor(255, 150, 30), 3));
        p.drawArc(QRectF(centre.x() - 17, centre.y() - 17, 34, 34), 225 * 16, int(-sweep * 16));
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(QColor(150, 150, 160));
        p.drawEllipse(centre, 12, 12);
        const double angle = (225.0 - sweep) * M_PI / 180.0;
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(centre, centre + QPointF(11 * std::cos(angle), -11 * std::sin(angle)));
    }
    return strip;
}

void RenderKnobs(const QString &dir, QStringList &written)
{
    const QImage strip = KnobStrip();
    for (int state : {0, 63, 127}) {
        Tvxpotbmp knob;
        knob.SetBitmap(strip);
        knob.SetGlyph(64);
        int w = knob.width(), h = knob.height();
        knob.OptimalSize(w, h);
        knob.resize(w, h);
        knob.SetState(state);
        Save(knob, dir, QString("Vxpotbmp_%1.png").arg(state), written);
    }
}

void RenderLabels(const QString &dir, QStringList &written)
{
    Tvxpotlab number;
    number.SetState(42);
    Save(number, dir, "Vxpotlab_number.png", written);

    Tvxpotlab named;
    named.SetStrValues(QStringList{"Sawtooth", "Square", "Piano", "Electric piano"});
    named.SetState(3);
    Save(named, dir, "Vxpotlab_names.png", written);
}

struct KeyfState {
    const char *name;
    int level, key, leftKind, rightKind, leftAmount, rightAmount;
    bool gradient, strips;
};

void RenderKeyfs(const QString &dir, QStringList &written)
{
    const KeyfState states[] = {
        {"Vxkeyf_linear.png", 50, 60, 3, 0, 33, 33, false, true},
        {"Vxkeyf_exponential.png", 40, 45, 2, 1, 89, 95, true, true},
        {"Vxkeyf_mixed_nostrips.png", 75, 25, 1, 3, 70, 60, true, false},
        {"Vxkeyf_new.png", 0, 0, 0, 0, 0, 0, false, true},
    };
    for (const KeyfState &s : states) {
        Tvxkeyf graph;
        graph.resize(200, 100);
        graph.SetGradientType(grkTopToBottom);
        graph.SetGradientColor(0x652828);
        graph.SetGradientEnabled(s.gradient);
        graph.SetRubberEnabled(s.strips);
        const int values[Tvxkeyf::kSlotCount] = {s.level,      s.leftKind,   s.key,
                                                 s.rightKind, s.leftAmount, s.rightAmount};
        for (int i = 0; i < Tvxkeyf::kSlotCount; ++i)
            graph.SetValue(values[i], i);
        Save(graph, dir, s.name, written);
    }
}

} // namespace

QStringList renderSpareControls(const QString &dir)
{
    QStringList written;
    RenderKnobs(dir, written);
    RenderLabels(dir, written);
    RenderKeyfs(dir, written);
    return written;
}
