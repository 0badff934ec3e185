// A bank received and a bank sent by the window's librarian against the
// simulated DW-8000 at MIDI wire speed, each as a ratio to its floor: the
// wire time of every message plus the simulator's set reply and write
// times. Bank transfers show no program on the way, so no display pacing
// adds to the floor.

#include "core/Library.h"
#include "core/Main.h"
#include "core/MessageBoxes.h"
#include "dw/SyxFile.h"
#include "platform/VirtualMidiService.h"
#include "setup/IniFile.h"
#include "setup/IniSettings.h"
#include "setup/MidiSetup.h"
#include "sim/SimRig.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include "QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kByteMs = 0.32;
constexpr int kReplyMs = 5;
constexpr int kWriteMs = 30;

class Rig {
public:
    Rig()
    {
        platform::SetCurrentMidiService(service);
        TSimRig::LoadDemoPrograms(rig.Synth());
        const QString ini = dir.filePath(QStringLiteral("tavrelk.INI"));
        TIniFile f(ini);
        f.WriteString("MidiDevices", "Input", QLatin1String(TSimRig::SynthDeviceName));
        f.WriteString("MidiDevices", "Output", QLatin1String(TSimRig::SynthDeviceName));
        SetMessageBoxResponder([](const TMessageBoxRequest &) { return TMsgResult::Ok; });
        main = std::make_unique<TfMain>(std::make_unique<TIniSettings>(ini));
        setup = std::make_unique<TfMidiSetup>(*main);
        RunUntil([&] { return main->Editor().HasPatch(); });
        rig.Synth().SetReplyTime(std::chrono::milliseconds(kReplyMs));
        rig.Synth().SetWriteTime(std::chrono::milliseconds(kWriteMs));
        service->SetWirePacing(true);
    }
    ~Rig()
    {
        setup.reset();
        main.reset();
        platform::SetCurrentMidiService(nullptr);
        SetMessageBoxResponder({});
    }
    static void RunUntil(const std::function<bool()> &done)
    {
        const Clock::time_point end = Clock::now() + std::chrono::seconds(60);
        while (!done() && Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
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

    QTemporaryDir dir;
    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
    TSimRig rig{*service};
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfMidiSetup> setup;
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
