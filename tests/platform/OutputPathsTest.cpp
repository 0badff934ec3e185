// Output goes to the driver on the caller's thread when nothing waits before
// it, and through the delivery thread when something does (a backlog, wire
// pacing, a driver that may block). Whichever way, it leaves in the order
// sent and its done notices come from another thread in the same order.

#include "platform/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;

namespace {

struct Log {
    std::mutex mutex;
    std::vector<std::vector<std::uint8_t>> received;
    std::vector<std::thread::id> receivedOn;
    std::vector<MIDIHDR *> done;
    std::vector<std::thread::id> doneOn;

    static void Callback(void *, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t p1, std::uintptr_t)
    {
        auto *self = reinterpret_cast<Log *>(instance);
        if (msg != MOM_DONE)
            return;
        std::lock_guard<std::mutex> lock(self->mutex);
        self->done.push_back(reinterpret_cast<MIDIHDR *>(p1));
        self->doneOn.push_back(std::this_thread::get_id());
    }
};

struct Sysex {
    std::vector<std::uint8_t> data;
    MIDIHDR header{};
    explicit Sysex(int n) : data{0xF0, 0x7D, std::uint8_t(n & 0x7F), std::uint8_t(n >> 7), 0xF7}
    {
        header.lpData = data.data();
        header.dwBufferLength = std::uint32_t(data.size());
    }
};

std::uint32_t Controller(int n) { return 0xB0u | (std::uint32_t(n & 0x7F) << 8) | (std::uint32_t(n >> 7) << 16); }

} // namespace

// Pacing switched off while a paced backlog is still queued must not let the
// next message overtake it on the caller's thread; a device that stalls and
// comes back mixes the paths the same way.
TEST(OutputPaths, MessagesAndDoneNoticesKeepTheirOrderAcrossDirectAndQueuedSends)
{
    VirtualMidiService service;
    auto device = service.CreateDevice("Synth");
    Log log;
    device->SetReceiver([&](const SentMessage &m) {
        std::lock_guard<std::mutex> lock(log.mutex);
        log.received.push_back(m.bytes);
        log.receivedOn.push_back(std::this_thread::get_id());
    });
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &Log::Callback, reinterpret_cast<std::uintptr_t>(&log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);

    constexpr int kRounds = 24;
    std::vector<std::unique_ptr<Sysex>> longs;
    std::vector<std::vector<std::uint8_t>> expected;
    int n = 0;
    const auto send = [&] {
        if (n % 3 == 1) {
            longs.push_back(std::make_unique<Sysex>(n));
            MIDIHDR *header = &longs.back()->header;
            ASSERT_EQ(service.midiOutPrepareHeader(out, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(service.midiOutLongMsg(out, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
            expected.push_back(longs.back()->data);
        } else {
            ASSERT_EQ(service.midiOutShortMsg(out, Controller(n)), MMSYSERR_NOERROR);
            expected.push_back({0xB0, std::uint8_t(n & 0x7F), std::uint8_t(n >> 7)});
        }
        ++n;
    };
    for (int round = 0; round < kRounds; ++round) {
        const bool stall = round % 2 == 1;
        if (stall)
            device->SetSendsBlocked(true);
        else
            service.SetWirePacing(true);
        for (int i = 0; i < 1 + round % 3; ++i)
            send();
        if (stall)
            device->SetSendsBlocked(false);
        else
            service.SetWirePacing(false);
        for (int i = 0; i < 2; ++i) // these find the backlog still queued
            send();
        ASSERT_TRUE(service.WaitForSent(expected.size(), std::chrono::seconds(3)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the delivery thread goes idle
        for (int i = 0; i < 3; ++i)
            send();
    }
    ASSERT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);

    std::lock_guard<std::mutex> lock(log.mutex);
    EXPECT_EQ(log.received, expected);
    std::vector<MIDIHDR *> longOrder;
    for (const auto &s : longs)
        longOrder.push_back(&s->header);
    EXPECT_EQ(log.done, longOrder);
    const auto caller = std::this_thread::get_id();
    for (const auto id : log.doneOn)
        EXPECT_NE(id, caller) << "a done notice came from within the call";
    for (const auto &s : longs)
        EXPECT_EQ(s->header.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
    const auto direct = std::count(log.receivedOn.begin(), log.receivedOn.end(), caller);
    EXPECT_GT(direct, 0) << "nothing went to the driver on the caller's thread";
    EXPECT_LT(direct, std::ptrdiff_t(log.receivedOn.size())) << "nothing went through the delivery thread";
}

// The caller's thread hands the message over itself, so the device has it
// when the call returns.
TEST(OutputPaths, UnpacedSendWithNothingQueuedHasLeftWhenTheCallReturns)
{
    VirtualMidiService service;
    service.CreateDevice("Synth");
    Log log;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &Log::Callback, reinterpret_cast<std::uintptr_t>(&log), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutShortMsg(out, 0x6407B0), MMSYSERR_NOERROR);
    EXPECT_EQ(service.SentMessages().size(), 1u);
    Sysex change(1);
    ASSERT_EQ(service.midiOutPrepareHeader(out, &change.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutLongMsg(out, &change.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(service.SentMessages().size(), 2u);
    EXPECT_EQ(service.SentMessages()[1].bytes, change.data);
    ASSERT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_EQ(log.done, (std::vector<MIDIHDR *>{&change.header}));
}
