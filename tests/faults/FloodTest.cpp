// The controller input under load: 10,000 control changes a second for ten
// seconds, and a full ring with the window busy.

#include "EditorFixture.h"
#include "../../bench/PaintGaps.h"

#include "dw/Messages.h"
#include "midi/Midicallback.h"

#include <QApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The sanitizer builds run the editor several times slower: there the flood
// comes that much slower, so that the load on the program is the same.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSlowdown = 5;
#else
constexpr int kSlowdown = 1;
#endif

// The virtual backend, with every input callback counted: how many events
// the driver handed over, and how many of them the ring stored (the ring's
// write slot moves only for a stored one, and only the callback moves it).
class CountingService : public platform::VirtualMidiService {
public:
    std::atomic<long> delivered{0}, stored{0};

    platform::MMRESULT midiInOpen(platform::HMIDIIN &handle, std::uint32_t deviceId, platform::MidiCallback callback,
                                  std::uintptr_t instance, std::uint32_t flags) override
    {
        taps_.push_back(std::make_unique<Tap>(Tap{callback, instance, this}));
        return VirtualMidiService::midiInOpen(handle, deviceId, &Counted, reinterpret_cast<std::uintptr_t>(taps_.back().get()),
                                              flags);
    }

private:
    struct Tap {
        platform::MidiCallback callback;
        std::uintptr_t instance;
        CountingService *service;
    };
    static void Counted(void *handle, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t p1, std::uintptr_t p2)
    {
        const Tap &tap = *reinterpret_cast<const Tap *>(instance);
        auto *context = reinterpret_cast<TMidiCallbackContext *>(tap.instance);
        TCircularBuffer *ring = context->Ring.load(std::memory_order_acquire);
        const TMidiBufferItem *before = ring ? ring->WriteSlot : nullptr;
        tap.callback(handle, msg, tap.instance, p1, p2);
        if (msg == platform::MIM_DATA && ring) {
            tap.service->delivered.fetch_add(1, std::memory_order_relaxed);
            if (ring->WriteSlot != before)
                tap.service->stored.fetch_add(1, std::memory_order_relaxed);
        }
    }
    std::vector<std::unique_ptr<Tap>> taps_; // one per open, kept to the end
};

struct Move {
    std::uint8_t status, controller;
    int row, max;
};

} // namespace

class FloodTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        rig.reset();
        counting = std::make_shared<CountingService>();
        service = counting;
        platform::SetCurrentMidiService(service);
        rig = std::make_unique<TSimRig>(*service);
        TSimRig::LoadDemoPrograms(rig->Synth());
    }

    void StartWithPatch()
    {
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
        service->ClearSentMessages();
        main->MidiBCtoPC->OnOverflow = [this](QObject *) { ++overflows; };
        counting->delivered = 0;
        counting->stored = 0;
    }

    // One move for every controller that drives a row.
    std::vector<Move> Moves() const
    {
        std::vector<Move> moves;
        for (int cc = 0; cc < 128; ++cc) {
            const dw::TControllerAction a = dw::ClassifyControllerMessage(0xB0, std::uint8_t(cc), 0);
            if (a.kind == dw::TControllerAction::SetParameter)
                moves.push_back({0xB0, std::uint8_t(cc), a.row, main->Params[std::size_t(a.row)].RandomMax});
        }
        return moves;
    }

    bool SynthHolds(const std::vector<int> &last) const
    {
        for (std::size_t r = 0; r < last.size(); ++r) {
            if (last[r] >= 0 && rig->Synth().Parameter(int(r)) != SimDw8000::FitToParameter(int(r), last[r]))
                return false;
        }
        return true;
    }

    // Events lost on the controller input since start: handed to the
    // callback but not stored.
    long Lost() const { return counting->delivered - counting->stored; }

    std::shared_ptr<CountingService> counting;
    long overflows = 0;
};

TEST_F(FloodTest, TenThousandControlChangesASecondForTenSeconds)
{
    StartWithPatch();
    main->show();
    const std::vector<Move> moves = Moves();
    ASSERT_GE(moves.size(), 45u);

    constexpr int kRate = 10000 / kSlowdown;
    constexpr int kSeconds = 10;
    constexpr int kTotal = kRate * kSeconds;
    std::vector<int> last(ParamCount, -1);
    std::atomic<bool> done{false};
    platform::VirtualMidiDevice &cable = rig->ControllerDevice();
    TPaintGaps paints;
    paints.Restart();
    std::thread producer([&] {
        const Clock::time_point t0 = Clock::now();
        for (int i = 0; i < kTotal; ++i) {
            std::this_thread::sleep_until(t0 + std::chrono::microseconds(i * 1000000LL / kRate));
            const Move &m = moves[std::size_t(i) % moves.size()];
            const int value = (i / int(moves.size()) * 7 + m.controller) % (m.max + 1);
            cable.InjectShort(m.status, m.controller, std::uint8_t(value));
            last[std::size_t(m.row)] = value; // read by the UI thread only after join
        }
        done.store(true, std::memory_order_release);
    });
    const Clock::time_point floodStart = Clock::now();
    while (!done.load(std::memory_order_acquire))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    producer.join();
    const auto floodTime = Clock::now() - floodStart;
    const Clock::duration gapDuringFlood = paints.longest;
    const long paintsDuringFlood = paints.paints;

    const bool arrived = WaitFor([&] { return SynthHolds(last); }, 30000);
    // The marker: one more move behind the flood; once it is applied, nothing
    // of the flood is still to come.
    const Move &marker = moves.front();
    last[std::size_t(marker.row)] = (last[std::size_t(marker.row)] + 1) % (marker.max + 1);
    cable.InjectShort(marker.status, marker.controller, std::uint8_t(last[std::size_t(marker.row)]));
    EXPECT_TRUE(WaitFor([&] { return SynthHolds(last) && main->Params[std::size_t(marker.row)].Value == last[std::size_t(marker.row)]; }, 30000));
    int wrong = 0;
    for (std::size_t r = 0; r < last.size(); ++r) {
        if (last[r] < 0)
            continue;
        wrong += rig->Synth().Parameter(int(r)) != SimDw8000::FitToParameter(int(r), last[r]);
        EXPECT_EQ(main->Params[r].Value, last[r]) << "row " << r;
    }
    const auto ms = [](Clock::duration d) {
        return double(std::chrono::duration_cast<std::chrono::microseconds>(d).count()) / 1000.0;
    };
    std::printf("flood: %d events in %.0f ms, %ld lost, %ld overflow reports, %llu notices refused, "
                "%ld paints, longest paint gap %.1f ms, %zu changes sent, %d rows wrong at the end\n",
                kTotal, ms(floodTime), Lost(), overflows,
                static_cast<unsigned long long>(main->MidiBCtoPC->NotifyWindow()->Refused()), paintsDuringFlood,
                ms(gapDuringFlood), SentTo(Synth()).size(), wrong);

    EXPECT_TRUE(arrived);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(counting->delivered, kTotal + 1);
    EXPECT_EQ(overflows, Lost()) << "every lost event is reported once";
    // How smoothly it painted is the figure printed above; the window must
    // have painted while the flood went on at all.
    EXPECT_GT(paintsDuringFlood, 0);
    EXPECT_TRUE(boxes.empty());
}

// The window busy (no event handled) while far more arrives than the ring
// holds, so many overflow notices find the window's queue full as well: each
// lost event is still reported once through OnOverflow, and what the ring
// kept is applied in order.
TEST_F(FloodTest, OverflowsWhoseNoticeFoundTheQueueFullAreStillReported)
{
    StartWithPatch();
    const std::vector<Move> moves = Moves();
    const std::uint16_t capacity = main->MidiBCtoPC->Capacity();
    constexpr int kTotal = 10000;
    platform::VirtualMidiDevice &cable = rig->ControllerDevice();
    const Move &m = moves.front();
    for (int i = 0; i < kTotal; ++i)
        cable.InjectShort(m.status, m.controller, std::uint8_t(i < capacity ? i % (m.max + 1) : 0));
    EXPECT_EQ(main->MidiBCtoPC->GetEventCount(), capacity);
    EXPECT_GT(main->MidiBCtoPC->NotifyWindow()->Refused(), 0u);
    EXPECT_EQ(Lost(), kTotal - capacity);

    const int keptLast = (capacity - 1) % (m.max + 1);
    ASSERT_TRUE(WaitFor([&] { return overflows == Lost() && main->MidiBCtoPC->GetEventCount() == 0; }))
        << overflows << " reports for " << Lost() << " lost events";
    EXPECT_EQ(main->Params[std::size_t(m.row)].Value, keptLast);
    EXPECT_TRUE(WaitFor([&] { return rig->Synth().Parameter(m.row) == SimDw8000::FitToParameter(m.row, keptLast); }));
    // The marker: a move on another row, taken after every report that was due.
    const Move &next = moves.back();
    const int value = (main->Params[std::size_t(next.row)].Value + 1) % (next.max + 1);
    cable.InjectShort(next.status, next.controller, std::uint8_t(value));
    ASSERT_TRUE(WaitFor([&] { return main->Params[std::size_t(next.row)].Value == value; }));
    EXPECT_EQ(overflows, kTotal - capacity);
}
