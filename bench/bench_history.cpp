// The memory of the undo history: 10,000 steps of the largest kind (random
// patches, every row changed) and of the smallest (single controller moves),
// as the steps' own bytes and as resident memory; and the same history after
// 20,000 more steps, which the cap keeps where it was.

#include "engine/History.h"
#include "ResidentMemory.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

dw::TPatch RandomPatch(std::mt19937 &gen)
{
    dw::TPatch p;
    for (int row = 0; row < dw::ParamCount; ++row)
        p[row] = std::uniform_int_distribution<int>(0, dw::ParamDef(row).MaxValue)(gen);
    return p;
}

void BM_HistoryMemory(benchmark::State &state)
{
    constexpr int kSteps = 10000;
    for (auto _ : state) {
        std::mt19937 gen(1);
        const double start = ResidentMb();
        engine::THistory random;
        dw::TPatch current = RandomPatch(gen);
        for (int i = 0; i < kSteps; ++i) {
            const dw::TPatch next = RandomPatch(gen);
            random.Record(engine::TStepKind::Random, current, next);
            current = next;
        }
        const double afterRandom = ResidentMb();
        const std::size_t randomBytes = random.Bytes();
        for (int i = 0; i < 2 * kSteps; ++i) {
            const dw::TPatch next = RandomPatch(gen);
            random.Record(engine::TStepKind::Random, current, next);
            current = next;
        }
        const double afterMore = ResidentMb();

        engine::THistory moves;
        for (int i = 0; i < kSteps; ++i)
            moves.RecordMove(i % 50, i % 100, (i + 1) % 100); // another row each time: a step each
        state.counters["steps"] = double(random.UndoCount());
        state.counters["random_steps_kb"] = double(randomBytes) / 1024.0;
        state.counters["random_rss_mb"] = afterRandom - start;
        state.counters["after_30000_rss_mb"] = afterMore - start;
        state.counters["move_steps_kb"] = double(moves.Bytes()) / 1024.0;
    }
}
BENCHMARK(BM_HistoryMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
