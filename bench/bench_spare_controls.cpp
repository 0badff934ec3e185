// The spare controls' drawing routine: one Affiche of the keyboard-follow
// graph (gradient on) and of the bitmap knob.
#include "controls/Vxkeyf.h"
#include "controls/Vxpotbmp.h"

#include "QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

namespace {

void BM_KeyboardFollowAffiche(benchmark::State &state)
{
    Tvxkeyf graph;
    graph.resize(186, 121);
    graph.SetGradientEnabled(true);
    graph.SetRubberEnabled(true);
    const int values[] = {40, 90, 1, 60, 20, 2};
    for (int i = 0; i < 6; ++i)
        graph.SetValue(values[i], i);
    graph.Affiche(); // the gradient is built once
    for (auto _ : state)
        graph.Affiche();
}
BENCHMARK(BM_KeyboardFollowAffiche)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_KnobAffiche(benchmark::State &state)
{
    Tvxpotbmp knob;
    QImage strip(32 * 64, 32, QImage::Format_RGB32);
    strip.fill(Qt::darkGray);
    knob.SetBitmap(strip);
    knob.SetGlyph(64);
    knob.SetAutoSize(true);
    knob.SetMax(127);
    knob.SetState(50);
    for (auto _ : state) {
        benchmark::DoNotOptimize(knob.Affiche());
        benchmark::DoNotOptimize(knob.GlyphBuffer().constBits());
    }
}
BENCHMARK(BM_KnobAffiche)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
