// MIDI port speed: ring throughput, and the editor's share of the road of one
// incoming message (driver callback -> post -> UI thread wakes -> GetMidiEvent).
// A byte takes 320 microseconds on a MIDI cable; our share should be far below.

#include "midi/Circbuf.h"
#include "midi/Midicallback.h"
#include "midi/MidiIn.h"
#include "platform/VirtualMidiService.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

void BM_RingPutReadRemove(benchmark::State &state)
{
    TCircularBufferPtr ring(CircbufAlloc(1024));
    TMidiBufferItem item;
    item.ShortMessage = 0x6407B0;
    TMidiBufferItem out;
    for (auto _ : state) {
        CircbufPutEvent(ring.get(), item);
        CircbufReadEvent(ring.get(), out);
        CircbufRemoveEvent(ring.get());
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RingPutReadRemove);

// Producer and consumer on two threads, as driver and UI thread use it.
void BM_RingTwoThreads(benchmark::State &state)
{
    constexpr std::uint32_t kBatch = 1u << 20;
    TCircularBufferPtr ring(CircbufAlloc(1024));
    for (auto _ : state) {
        std::thread producer([&] {
            TMidiBufferItem item;
            for (std::uint32_t i = 0; i < kBatch; ++i) {
                item.ItemTime = i;
                while (!CircbufPutEvent(ring.get(), item))
                    std::this_thread::yield();
            }
        });
        TMidiBufferItem out;
        std::uint32_t taken = 0;
        while (taken < kBatch) {
            if (CircbufReadEvent(ring.get(), out)) {
                CircbufRemoveEvent(ring.get());
                ++taken;
            } else {
                std::this_thread::yield();
            }
        }
        producer.join();
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RingTwoThreads)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the moment the driver thread hands a message to the callback until
// GetMidiEvent has returned it on the UI thread, through the real port, the
// notify window and the Qt event loop.
void BM_CallbackToGetMidiEvent(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kSamples = 20000;
    auto service = std::make_shared<platform::VirtualMidiService>();
    platform::SetCurrentMidiService(service);
    auto device = service->CreateDevice("Controller");
    std::vector<double> latencies;
    latencies.reserve(kSamples);
    {
        TMidiInput port(nullptr);
        std::atomic<Clock::rep> sentAt{0};
        std::atomic<int> acknowledged{0};
        QEventLoop loop;
        port.OnMidiInput = [&](QObject *) {
            while (auto event = port.GetMidiEvent()) {
                const auto now = Clock::now().time_since_epoch().count();
                latencies.push_back(double(now - sentAt.load(std::memory_order_acquire)) / 1000.0);
                acknowledged.fetch_add(1, std::memory_order_release);
            }
            if (int(latencies.size()) >= kSamples)
                loop.quit();
        };
        port.OpenAndStart();
        for (auto _ : state) {
            latencies.clear();
            acknowledged = 0;
            std::thread driver([&] {
                for (int i = 0; i < kSamples; ++i) {
                    sentAt.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
                    device->InjectShort(0xB0, 7, std::uint8_t(i & 0x7F));
                    while (acknowledged.load(std::memory_order_acquire) <= i)
                        std::this_thread::yield();
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                }
            });
            loop.exec();
            driver.join();
        }
        port.StopAndClose();
    }
    platform::SetCurrentMidiService(nullptr);
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["p99_wire_pct"] = latencies[latencies.size() * 99 / 100] / (3 * 320.0) * 100.0;
    state.counters["max_us"] = latencies.back();
}
BENCHMARK(BM_CallbackToGetMidiEvent)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// From the message call to the device having the bytes, for an 8-byte
// parameter change on an idle output: the send path without the editor.
void BM_LongMessageCallToDevice(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kSamples = 20000;
    platform::VirtualMidiService service;
    auto device = service.CreateDevice("Synth");
    std::atomic<Clock::rep> arrivedAt{0};
    device->SetReceiver([&](const platform::SentMessage &m) {
        arrivedAt.store(m.time.time_since_epoch().count(), std::memory_order_release);
    });
    std::atomic<int> done{0};
    const platform::MidiCallback onDone = [](void *, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t,
                                             std::uintptr_t) {
        if (msg == platform::MOM_DONE)
            reinterpret_cast<std::atomic<int> *>(instance)->fetch_add(1, std::memory_order_release);
    };
    platform::HMIDIOUT out = nullptr;
    service.midiOutOpen(out, 0, onDone, reinterpret_cast<std::uintptr_t>(&done), platform::CALLBACK_FUNCTION);
    std::uint8_t change[8] = {0xF0, 0x42, 0x30, 0x03, 0x41, 0x10, 0x1F, 0xF7};
    platform::MIDIHDR header{};
    header.lpData = change;
    header.dwBufferLength = sizeof change;
    service.midiOutPrepareHeader(out, &header, sizeof header);
    std::vector<double> latencies;
    latencies.reserve(kSamples);
    for (auto _ : state) {
        latencies.clear();
        for (int i = 0; i < kSamples; ++i) {
            const Clock::time_point t0 = Clock::now();
            service.midiOutLongMsg(out, &header, sizeof header);
            while (done.load(std::memory_order_acquire) <= i) // the header is free again
                std::this_thread::yield();
            latencies.push_back(double(arrivedAt.load(std::memory_order_acquire) - t0.time_since_epoch().count()) /
                                1000.0);
        }
    }
    service.midiOutClose(out);
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
    state.counters["p99_wire_pct"] = latencies[latencies.size() * 99 / 100] / (8 * 320.0) * 100.0;
}
BENCHMARK(BM_LongMessageCallToDevice)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
