#include "Artwork.h"
#include "ArtworkPaint.h"

#include "core/Layout.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <vector>

namespace artwork {

namespace {

struct Partial {
    int Harmonic;
    double Amplitude;
    double Phase; // in turns
};

struct Recipe {
    std::vector<Partial> Partials;
    double Drive; // > 0: soft clipping, for the distorted guitar
};

std::vector<Partial> Saw(int count, double scale = 1.0)
{
    std::vector<Partial> out;
    for (int n = 1; n <= count; ++n)
        out.push_back({n, scale / n, 0.0});
    return out;
}

// One recipe per DW-8000 waveform, in the synthesizer's own order.
const std::vector<Recipe> &Recipes()
{
    static const std::vector<Recipe> recipes = {
        {Saw(14), 0},                                                                   // Brass&Str
        {{{1, 1.0, 0}, {3, 0.75, 0}, {5, 0.5, 0}, {7, 0.14, 0}, {9, 0.5, 0}, {11, 0.12, 0}}, 0}, // Clarinet
        {{{1, 1.0, 0}, {2, 0.65, 0.1}, {3, 0.4, 0.3}, {4, 0.3, 0.05}, {5, 0.18, 0.6}, {6, 0.12, 0.2}}, 0},
        {{{1, 1.0, 0}, {2, 0.25, 0.25}, {7, 0.22, 0}, {8, 0.1, 0.5}}, 0},                // Elec Piano
        {{{1, 1.0, 0}, {2, 0.45, 0.25}, {3, 0.3, 0}, {7, 0.35, 0}, {9, 0.2, 0.5}}, 0},    // E Pno(Hard)
        {{{1, 0.55, 0}, {2, 0.5, 0}, {3, 0.45, 0}, {4, 0.38, 0}, {5, 0.3, 0}, {6, 0.22, 0}, {7, 0.15, 0},
          {8, 0.1, 0}}, 0},                                                              // Clavinet
        {{{1, 1.0, 0}, {2, 0.8, 0}, {3, 0.6, 0}, {4, 0.5, 0}, {6, 0.4, 0}, {8, 0.35, 0}}, 0}, // Organ
        {{{1, 1.0, 0}, {2, 0.7, 0}, {3, 0.6, 0}, {4, 0.5, 0}, {5, 0.45, 0}, {6, 0.3, 0}, {7, 0.2, 0},
          {8, 0.12, 0}}, 0},                                                             // Brass
        {{{1, 1.0, 0}, {2, 0.9, 0.25}, {3, 0.6, 0.5}, {4, 0.45, 0.1}, {5, 0.35, 0.3}, {6, 0.2, 0}}, 0},
        {{{1, 1.0, 0}, {2, 0.5, 0.5}, {3, 0.33, 0}, {4, 0.25, 0.5}, {5, 0.2, 0}, {6, 0.17, 0.5},
          {7, 0.14, 0}, {8, 0.12, 0.5}, {9, 0.1, 0}}, 0},                                // Violin
        {{{1, 1.0, 0}, {2, 0.7, 0.15}, {3, 0.5, 0.4}, {4, 0.3, 0.1}, {5, 0.25, 0.7}, {6, 0.15, 0.3}}, 0},
        {{{1, 1.0, 0}, {2, 0.3, 0.1}, {3, 0.45, 0}, {5, 0.2, 0.2}}, 3.5},               // Guitar Dist
        {{{1, 1.0, 0}, {2, 0.5, 0.1}, {3, 0.2, 0.2}}, 0},                                // Elec.Bass
        {{{1, 1.0, 0}, {3, 0.33, 0}, {5, 0.2, 0}, {2, 0.4, 0.25}, {7, 0.14, 0}, {9, 0.11, 0}}, 0},
        {{{1, 1.0, 0}, {3, 0.6, 0.1}, {5, 0.5, 0.3}, {8, 0.45, 0}, {11, 0.3, 0.2}}, 0},  // Bell
        {{{1, 1.0, 0}}, 0},                                                              // Org Whistle: sine
    };
    return recipes;
}

double Sample(const Recipe &r, double t)
{
    double v = 0;
    for (const Partial &p : r.Partials)
        v += p.Amplitude * std::sin(2 * M_PI * (p.Harmonic * t + p.Phase));
    return r.Drive > 0 ? std::tanh(r.Drive * v) : v;
}

void DrawPlot(QPainter &p, int index, const QRect &cell)
{
    p.fillRect(cell, Qt::white);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int top = cell.top() + 10;
    const int bottom = cell.top() + 112;
    for (int y = top; y <= bottom; y += (bottom - top) / 6)
        p.fillRect(QRect(cell.left() + 4, y, cell.width() - 8, 1), QColor(0xe3e8ef));
    p.fillRect(QRect(cell.left() + 4, (top + bottom) / 2, cell.width() - 8, 1), QColor(0xc9d2de));

    const Recipe &recipe = Recipes()[std::size_t(index)];
    constexpr int steps = 240;
    std::vector<double> values(steps + 1);
    for (int i = 0; i <= steps; ++i)
        values[std::size_t(i)] = Sample(recipe, double(i) / steps);
    double peak = 0;
    for (double v : values)
        peak = std::max(peak, std::abs(v));
    const double half = (bottom - top) / 2.0 - 3;
    const double mid = (top + bottom) / 2.0 + 0.5;
    const double left = cell.left() + 6, width = cell.width() - 12;
    QPainterPath path;
    for (int i = 0; i <= steps; ++i) {
        const QPointF pt(left + width * i / steps, mid - values[std::size_t(i)] / peak * half);
        if (i == 0)
            path.moveTo(pt);
        else
            path.lineTo(pt);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x0b3d91), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);

    p.setFont(ArtFont(12, true));
    p.setPen(QColor(0x222222));
    p.drawText(QRect(cell.left() + 4, cell.bottom() - 19, 40, 18), Qt::AlignLeft | Qt::AlignBottom,
               QString::number(index + 1));
}

} // namespace

QImage RenderWaveforms()
{
    QImage image(layout::WaveStripWidth, layout::WaveStripHeight, QImage::Format_RGB32);
    const int glyph = layout::WaveStripWidth / layout::WaveGlyphs;
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    for (int i = 0; i < layout::WaveGlyphs; ++i)
        DrawPlot(p, i, QRect(i * glyph, 0, glyph, layout::WaveStripHeight));
    p.end();
    return image;
}

} // namespace artwork
