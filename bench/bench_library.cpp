// A bank received and a bank sent by the window's librarian against the
// simulated DW-8000 at MIDI wire speed, each as a ratio to its floor: the
// wire time of every message plus the simulator's set reply and write
// times. Bank transfers show no program on the way, so no display pacing
// adds to the floor.

#include "BenchRig.h"
#include "core/Library.h"
#include "dw/SyxFile.h"

#include "QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteMs = 0.32;
constexpr int kReplyMs = 5;
constexpr int kWriteMs = 30;

class Rig : public TBenchRig {
public:
    Rig() : TBenchRig(false)
    {
        Open();
        RunUntil([&] { return main->Editor().HasPatch(); }, std::chrono::seconds(60));
        rig.Synth().SetReplyTime(std::chrono::milliseconds(kReplyMs));
        rig.Synth().SetWriteTime(std::chrono::milliseconds(kWriteMs));
        service->SetWirePacing(true);
    }
    // Milliseconds from the start to the librarian's end.
    double Run(const std::function<bool(engine::TLibrarian &)> &start, bool &ok)
    {
        engine::TLibrarian &lib = main->Library->Librarian();
        bool done = false;
        const auto c = QObject::connect(&lib, &engine::TLibrarian::finished, [&](const engine::TTransferResult &r) {
            ok = r.Ok();
            done = true;
        });
        const Clock::time_point t0 = Clock::now();
        start(lib);
        RunUntil([&] { return done; });
        const double ms = double(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - t0).count()) / 1000.0;
        QObject::disconnect(c);
        return ms;
    }

};

// Program change, data save request, dump, and the reply time, per program;
// then the data load that gives the edit buffer the editor's values again.
void BM_ReceiveBankAtWireSpeed(benchmark::State &state)
{
    Rig rig;
    double ms = 0;
    bool ok = false;
    for (auto _ : state)
        ms = rig.Run([](engine::TLibrarian &l) { return l.ReceiveBank(); }, ok);
    const double floor = 64 * ((2 + 6 + 57) * kByteMs + kReplyMs) + 57 * kByteMs;
    state.counters["ms"] = ms;
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = ms / floor;
    state.counters["ok"] = ok ? 1 : 0;
}
BENCHMARK(BM_ReceiveBankAtWireSpeed)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Data load, write request, the write time and write completed, per program;
// then the data load as above.
void BM_SendBankAtWireSpeed(benchmark::State &state)
{
    Rig rig;
    std::vector<dw::TFileProgram> bank;
    for (int p = 0; p < 64; ++p) {
        dw::TFileProgram program{p, {}};
        program.Data[15] = std::uint8_t(p % 64);
        bank.push_back(program);
    }
    double ms = 0;
    bool ok = false;
    for (auto _ : state)
        ms = rig.Run([&](engine::TLibrarian &l) { return l.SendBank(bank); }, ok);
    const double floor = 64 * ((57 + 7 + 6) * kByteMs + kWriteMs) + 57 * kByteMs;
    state.counters["ms"] = ms;
    state.counters["floor_ms"] = floor;
    state.counters["ratio"] = ms / floor;
    state.counters["ok"] = ok ? 1 : 0;
}
BENCHMARK(BM_SendBankAtWireSpeed)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
