// The whole editor on the virtual backend with the simulated DW-8000 and
// BCR2000: the road of one controller move, a patch fetch, start-up, and the
// resident memory. Times are taken from the driver's side (the moment a
// message is handed to the input callback) to the moment a message is handed
// to the device (on the editor's thread, or on the output's delivery thread
// when it had to wait). Latencies are also given as shares of the time their
// message takes on a MIDI cable, which a slower or busier machine does not
// change.

#include "BenchRig.h"
#include "PaintGaps.h"
#include "ResidentMemory.h"
#include "dw/Messages.h"
#include "midi/MidiIn.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include "QtBenchMain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Micro(Clock::duration d) { return double(std::chrono::duration_cast<std::chrono::nanoseconds>(d).count()) / 1000.0; }

// On the wire at 31,250 baud: a parameter change (8 bytes) and a controller
// message such as an echo (3 bytes).
constexpr double kParameterChangeWireUs = 8 * 320.0;
constexpr double kControllerMessageWireUs = 3 * 320.0;

double Percent(double part, double whole) { return part / whole * 100.0; }

double Percentile(std::vector<double> v, int p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, v.size() * std::size_t(p) / 100)];
}

// The editor as the demonstration runs it, with its settings in a temporary folder.
class Editor : public TBenchRig {
public:
    Editor()
    {
        startedAt = Clock::now();
        Open();
        windowsMadeAt = Clock::now();
        service->WaitForSent(1, std::chrono::seconds(5));
        firstRequestAt = service->SentMessages().front().time;
        RunUntil([&] { return rig.Controller().Value(0, 44).has_value(); }, std::chrono::seconds(10)); // the start-up fetch is shown
        Run(100);
        service->ClearSentMessages();
    }

    // Runs the event loop while `work` runs on a driver-side thread.
    static void WhileRunning(const std::function<void()> &work)
    {
        QEventLoop loop;
        std::thread t([&] {
            work();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        t.join();
    }
    static void Run(int ms)
    {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    Clock::time_point startedAt, windowsMadeAt, firstRequestAt;
};

// Window creation (the settings read, the four ports opened, the controls
// drawn) until the dump request leaves for the synthesizer; the first start
// in the process, so fonts, pictures and plug-ins load within it.
void BM_StartUpToFirstDumpRequest(benchmark::State &state)
{
    double first = 0, windows = 0;
    for (auto _ : state) {
        Editor editor;
        first = Micro(editor.firstRequestAt - editor.startedAt) / 1000.0;
        windows = Micro(editor.windowsMadeAt - editor.startedAt) / 1000.0;
    }
    state.counters["to_request_ms"] = first;
    state.counters["windows_ms"] = windows;
}
BENCHMARK(BM_StartUpToFirstDumpRequest)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Driver callback to the editor's handler, and controller move to the
// parameter change leaving for the synthesizer. The 1 ms pause that follows
// each change is not on this road: it comes after the change has been sent.
void BM_ControllerMoveToParameterChange(benchmark::State &state)
{
    constexpr int kMoves = 3000;
    Editor editor;
    TfMain &main = *editor.main;
    std::atomic<Clock::rep> handlerAt{0};
    main.MidiBCtoPC->OnMidiInput = [&](QObject *sender) {
        handlerAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        main.MidiBCtoPCMidiInput(sender);
    };
    std::vector<double> toHandler, toChange;
    for (auto _ : state) {
        toHandler.clear();
        toChange.clear();
        Editor::WhileRunning([&] {
            for (int i = 0; i < kMoves; ++i) {
                editor.service->ClearSentMessages();
                handlerAt.store(0, std::memory_order_release);
                const Clock::time_point t0 = Clock::now();
                editor.rig.ControllerDevice().InjectShort(0xB0, 44, std::uint8_t(i % 100));
                if (!editor.service->WaitForSent(1, std::chrono::seconds(2)))
                    continue;
                const platform::SentMessage sent = editor.service->SentMessages().front();
                toChange.push_back(Micro(sent.time - t0));
                toHandler.push_back(Micro(Clock::time_point(Clock::duration(handlerAt.load())) - t0));
                std::this_thread::sleep_for(std::chrono::milliseconds(2)); // past the pause
            }
        });
    }
    state.counters["handler_median_us"] = Percentile(toHandler, 50);
    state.counters["handler_p99_us"] = Percentile(toHandler, 99);
    state.counters["handler_p99_wire_pct"] = Percent(Percentile(toHandler, 99), kControllerMessageWireUs);
    state.counters["change_median_us"] = Percentile(toChange, 50);
    state.counters["change_p99_us"] = Percentile(toChange, 99);
    state.counters["change_median_wire_pct"] = Percent(Percentile(toChange, 50), kParameterChangeWireUs);
    state.counters["change_p99_wire_pct"] = Percent(Percentile(toChange, 99), kParameterChangeWireUs);
    state.counters["samples"] = double(toChange.size());
}
BENCHMARK(BM_ControllerMoveToParameterChange)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The window's repainting while the controller floods it: the longest gap
// between two paints of a value field, at 10,000 moves a second for five
// seconds, against the same at 100 moves a second in the same run (the floor:
// the window's own paint cadence when it has little to do).
double LongestPaintGapMs(Editor &editor, int movesPerSecond, int seconds)
{
    std::vector<std::uint8_t> encoders; // every controller that moves a row
    for (int cc = 0; cc < 128; ++cc) {
        if (dw::ClassifyControllerMessage(0xB0, std::uint8_t(cc), 0).kind == dw::TControllerAction::SetParameter)
            encoders.push_back(std::uint8_t(cc));
    }
    TPaintGaps gaps;
    Editor::WhileRunning([&] {
        const Clock::time_point t0 = Clock::now();
        const int total = movesPerSecond * seconds;
        for (int i = 0; i < total; ++i) {
            std::this_thread::sleep_until(t0 + std::chrono::microseconds(i * 1000000LL / movesPerSecond));
            editor.rig.ControllerDevice().InjectShort(0xB0, encoders[std::size_t(i) % encoders.size()], std::uint8_t(i % 64));
        }
    });
    return Micro(gaps.longest) / 1000.0;
}

void BM_FloodPaintGap(benchmark::State &state)
{
    Editor editor;
    editor.main->show();
    for (auto _ : state) {
        const double floor = LongestPaintGapMs(editor, 100, 5);
        const double flood = LongestPaintGapMs(editor, 10000, 5);
        state.counters["floor_gap_ms"] = floor;
        state.counters["flood_gap_ms"] = flood;
        state.counters["ratio"] = flood / floor;
    }
}
BENCHMARK(BM_FloodPaintGap)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 57-byte dump handed to the synthesizer input until the first and the
// 50th echo leave for the controller. 51 rows with a 1 ms pause each make a
// 51 ms floor for the last.
void BM_DumpToLastEcho(benchmark::State &state)
{
    constexpr int kDumps = 100;
    constexpr double kFloorMs = 51;
    Editor editor;
    const std::vector<std::uint8_t> dump = editor.rig.Synth().DumpMessage();
    std::vector<double> times, firstEcho;
    for (auto _ : state) {
        Editor::WhileRunning([&] {
            for (int i = 0; i < kDumps; ++i) {
                editor.service->ClearSentMessages();
                const Clock::time_point t0 = Clock::now();
                editor.rig.SynthDevice().InjectSysex(dump);
                if (!editor.service->WaitForSent(50, std::chrono::seconds(2)))
                    continue;
                const auto sent = editor.service->SentMessages();
                times.push_back(Micro(sent.back().time - t0) / 1000.0);
                const auto echo = std::find_if(sent.begin(), sent.end(), [](const platform::SentMessage &m) {
                    return m.device == TSimRig::ControllerDeviceName;
                });
                if (echo != sent.end())
                    firstEcho.push_back(Micro(echo->time - t0));
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    state.counters["median_ms"] = Percentile(times, 50);
    state.counters["p99_ms"] = Percentile(times, 99);
    state.counters["floor_ms"] = kFloorMs;
    state.counters["over_floor_pct"] = Percent(Percentile(times, 50), kFloorMs) - 100.0;
    state.counters["p99_over_floor_pct"] = Percent(Percentile(times, 99), kFloorMs) - 100.0;
    state.counters["first_echo_median_us"] = Percentile(firstEcho, 50);
    state.counters["first_echo_p99_us"] = Percentile(firstEcho, 99);
    state.counters["first_echo_p99_wire_pct"] = Percent(Percentile(firstEcho, 99), kControllerMessageWireUs);
    state.counters["samples"] = double(times.size());
}
BENCHMARK(BM_DumpToLastEcho)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resident memory after start-up, and after 10,000 controller moves (each
// waited for until its change has left).
void BM_ResidentMemory(benchmark::State &state)
{
    constexpr int kMoves = 10000;
    for (auto _ : state) {
        Editor editor;
        Editor::Run(200);
        const double afterStart = ResidentMb();
        Editor::WhileRunning([&] {
            for (int i = 0; i < kMoves; ++i) {
                editor.service->ClearSentMessages();
                editor.rig.ControllerDevice().InjectShort(0xB0, std::uint8_t(44 + i % 4), std::uint8_t(i % 100));
                editor.service->WaitForSent(1, std::chrono::seconds(2));
                if (i % 1000 == 999) {
                    editor.rig.Synth().ClearReceived(); // the simulator's own log
                    editor.rig.Controller().ClearReceived();
                }
            }
        });
        Editor::Run(200);
        const double afterMoves = ResidentMb();
        state.counters["after_start_mb"] = afterStart;
        state.counters["after_10000_moves_mb"] = afterMoves;
        state.counters["growth_mb"] = afterMoves - afterStart;
    }
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
