#include "Gallery.h"

#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "controls/Wall.h"

#include <QPainter>

#include <cmath>
#include <utility>

namespace {

// The envelope graphs as the main window configures them, with its start
// values (attack 5, peak 31, decay 1, break point 20, slope 31, sustain 10,
// release 10, base 0).
void ConfigureGraph(Tvxadsr2 &g, QSize size, TColor line, TColor gradient)
{
    g.resize(size);
    g.SetMax(32);
    g.SetLineColor(line);
    g.SetGradientColor(gradient);
    g.SetGradientEnabled(true);
    g.SetFillEnabled(true);
    g.SetAlwayDetect(true);
    g.SetShowVLines(true);
    g.SetGradientNbOfColors(64);
    g.SetGradientType(gr2TopToBottom);
    g.SetMarkerColor(clAqua);
    g.SetMarkerSize(3);
    g.SetColor(clBlack);
    const int start[Tvxadsr2::kSlotCount] = {5, 31, 1, 20, 31, 10, 10, 0};
    for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
        g.SetValue(start[i], i);
}

// A stand-in waveform strip: sixteen 122 x 136 plots on white, each with
// faint grid lines, a trace whose shape varies with its index, and a
// number bar in the lower-left corner (one tick per picture number, so the
// strip reads without fonts).
QImage TestStrip()
{
    constexpr int kCount = 16, kW = 122, kH = 136;
    QImage strip(kCount * kW, kH, QImage::Format_RGB32);
    strip.fill(Qt::white);
    QPainter p(&strip);
    for (int i = 0; i < kCount; ++i) {
        const int left = i * kW;
        p.setPen(QColor(220, 220, 220));
        for (int y = 17; y < kH; y += 17)
            p.drawLine(left, y, left + kW - 1, y);
        p.setPen(QPen(Qt::black, 1));
        QPoint prev;
        for (int x = 0; x < kW; ++x) {
            const double phase = 2.0 * M_PI * x / kW;
            double v = std::sin(phase);
            for (int h = 2; h <= 16 - i; ++h) // fewer harmonics further right
                v += std::sin(h * phase) / (h * 1.5);
            const QPoint pt(left + x, kH / 2 - int(v * 40));
            if (x > 0)
                p.drawLine(prev, pt);
            prev = pt;
        }
        for (int n = 0; n <= i; ++n)
            p.fillRect(left + 4 + n * 3, kH - 10, 2, 6, QColor(200, 0, 0));
    }
    return strip;
}

QImage SmallTile()
{
    QImage tile(24, 16, QImage::Format_RGB32);
    QPainter p(&tile);
    p.fillRect(0, 0, 24, 16, QColor(60, 90, 140));
    p.fillRect(0, 0, 12, 8, QColor(230, 200, 90));
    p.fillRect(12, 8, 12, 8, QColor(230, 200, 90));
    p.setPen(Qt::white);
    p.drawLine(0, 15, 23, 0);
    return tile;
}

} // namespace

QStringList renderPanelControls(const QString &dir)
{
    QStringList written;

    Tvxadsr2 vcf;
    ConfigureGraph(vcf, {186, 121}, clTeal, 0x652828);
    Save(vcf, dir, "VCFadsr.png", written);

    Tvxadsr2 vca;
    ConfigureGraph(vca, {188, 118}, 0x05B157, 0x236845);
    Save(vca, dir, "VCAadsr.png", written);

    const QImage strip = TestStrip();
    for (const auto &[state, name] : {std::pair<int, const char *>{5, "gOsc1.png"}, {15, "gOsc2.png"}}) {
        Tvxgrafsw osc;
        osc.SetBitmap(strip);
        osc.SetGlyph(16);
        osc.SetState(state);
        osc.resize(122, 136);
        Save(osc, dir, name, written);
    }

    TWallpaper wall;
    wall.SetAlign(alNone);
    wall.resize(200, 130);
    wall.SetBevelInner(bvLowered);
    wall.SetBevelWidth(2);
    wall.SetBorderWidth(3);
    wall.SetWallpaper(SmallTile());
    Save(wall, dir, "Wallpaper.png", written);

    return written;
}
