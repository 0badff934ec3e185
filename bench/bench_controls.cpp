// Panel controls: one composition of the filter envelope graph (gradient
// and fill on), and one picture change of the waveform switch.
#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"

#include "QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

namespace {

void ConfigureFilterGraph(Tvxadsr2 &g)
{
    g.resize(186, 121);
    g.SetMax(32);
    g.SetGradientColor(0x652828);
    g.SetGradientEnabled(true);
    g.SetFillEnabled(true);
    g.SetGradientType(gr2TopToBottom);
    const int start[Tvxadsr2::kSlotCount] = {5, 31, 1, 20, 31, 10, 10, 0};
    for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
        g.SetValue(start[i], i);
}

// Composition only: background copy, fill, guide lines, markers.
void BM_EnvelopeAffiche(benchmark::State &state)
{
    Tvxadsr2 graph;
    ConfigureFilterGraph(graph);
    graph.Affiche(); // builds the cached gradient once
    for (auto _ : state) {
        graph.Affiche();
        benchmark::DoNotOptimize(graph.DrawingBuffer().constBits());
    }
}
BENCHMARK(BM_EnvelopeAffiche)->Repetitions(5)->ReportAggregatesOnly(true);

// What a value change costs on screen: SetValue's synchronous repaint,
// composition and the block copy to the window included.
void BM_EnvelopeSetValueRedraw(benchmark::State &state)
{
    Tvxadsr2 graph;
    ConfigureFilterGraph(graph);
    graph.show();
    QApplication::processEvents();
    int v = 0;
    for (auto _ : state) {
        graph.SetValue(v, 5);
        v = (v + 1) % 32;
    }
}
BENCHMARK(BM_EnvelopeSetValueRedraw)->Repetitions(5)->ReportAggregatesOnly(true);

QImage Strip()
{
    QImage strip(1952, 136, QImage::Format_RGB888);
    strip.fill(Qt::white);
    return strip;
}

// SetState with a new picture on a visible switch: repaint included.
void BM_SwitchStateChange(benchmark::State &state)
{
    Tvxgrafsw sw;
    sw.SetBitmap(Strip());
    sw.SetGlyph(16);
    sw.show();
    QApplication::processEvents();
    int s = 0;
    for (auto _ : state) {
        s = (s + 1) % 16;
        sw.SetState(s);
    }
}
BENCHMARK(BM_SwitchStateChange)->Repetitions(5)->ReportAggregatesOnly(true);

// The picture copy alone.
void BM_SwitchAffiche(benchmark::State &state)
{
    Tvxgrafsw sw;
    sw.SetBitmap(Strip());
    sw.SetGlyph(16);
    sw.SetState(5);
    for (auto _ : state) {
        sw.Affiche();
        benchmark::DoNotOptimize(sw.GlyphBuffer().constBits());
    }
}
BENCHMARK(BM_SwitchAffiche)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
