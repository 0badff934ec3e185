// The preset upload and the device search, on the virtual backend with the
// simulated devices: the editor's own preset sent waiting for each
// line's answer and, in the same run, with the fixed 10 ms pacing; and one
// whole search for both devices among two decoy ports.

#include "BenchRig.h"
#include "PresetGen.h"
#include "engine/BcrUpload.h"
#include "engine/DeviceSearch.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include "QtBenchMain.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return double(std::chrono::duration_cast<std::chrono::microseconds>(d).count()) / 1000.0; }

// The editor's own preset, line for line, as the build writes it.
std::vector<engine::TUploadLine> Script()
{
    const std::vector<std::string> text = presetgen::PresetScript();
    std::vector<engine::TUploadLine> lines;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::vector<std::uint8_t> b = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, std::uint8_t(i >> 7),
                                       std::uint8_t(i & 0x7F)};
        b.insert(b.end(), text[i].begin(), text[i].end());
        b.push_back(0xF7);
        lines.push_back({std::move(b), int(i) + 1});
    }
    return lines;
}

class Rig : public TBenchRig {
public:
    Rig() : TBenchRig(true, TMsgResult::No)
    {
        Open();
        RunUntil([&] { return rig.Controller().Value(0, 44).has_value(); });
    }

    double Upload(bool listen)
    {
        engine::TBcrUpload upload(main->Ports(), main->Editor(), listen);
        const Clock::time_point start = Clock::now();
        upload.Start(Script());
        RunUntil([&] { return !upload.Busy(); });
        const double ms = Ms(Clock::now() - start);
        if (upload.Report().End != engine::TUploadReport::TEnd::Done || !upload.Report().Errors.empty())
            throw std::runtime_error("upload failed");
        return ms;
    }

};

void BM_UploadAnsweredAgainstFixedPacing(benchmark::State &state)
{
    double answered = 0, fixed = 0;
    for (auto _ : state) {
        Rig r;
        answered = r.Upload(true);
        fixed = r.Upload(false);
    }
    state.counters["lines"] = double(Script().size());
    state.counters["answered_ms"] = answered;
    state.counters["fixed_ms"] = fixed;
    state.counters["answered_share"] = fixed > 0 ? answered / fixed : 0;
}
BENCHMARK(BM_UploadAnsweredAgainstFixedPacing)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeviceSearch(benchmark::State &state)
{
    auto service = std::make_shared<platform::VirtualMidiService>();
    platform::SetCurrentMidiService(service);
    double ms = 0;
    std::size_t outputs = 0;
    {
        TSimRig rig(*service);
        rig.Synth().SetChannel(15);
        const auto decoy1 = service->CreateDevice("decoy 1");
        const auto decoy2 = service->CreateDevice("decoy 2");
        for (auto _ : state) {
            const Clock::time_point start = Clock::now();
            const engine::TSearchResult r = engine::FindDevices();
            ms = Ms(Clock::now() - start);
            outputs = r.OutputNames.size();
            if (!r.BothFound())
                throw std::runtime_error("not found");
        }
    }
    platform::SetCurrentMidiService(nullptr);
    state.counters["search_ms"] = ms;
    state.counters["outputs"] = double(outputs);
}
BENCHMARK(BM_DeviceSearch)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
