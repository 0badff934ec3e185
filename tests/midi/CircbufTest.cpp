#include "MidiTestSupport.h"
#include "midi/Circbuf.h"
#include "midi/Midicallback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace platform;

namespace {
TMidiBufferItem Item(std::uint32_t n)
{
    TMidiBufferItem item;
    item.ItemTime = n;
    item.ShortMessage = 0x90 | (n << 8);
    return item;
}
} // namespace

TEST(Circbuf, CapacityOneAcceptsOneRefusesSecondAcceptsAfterRemove)
{
    TCircularBufferPtr ring(CircbufAlloc(1));
    ASSERT_TRUE(ring);
    EXPECT_TRUE(CircbufPutEvent(ring.get(), Item(1)));
    EXPECT_FALSE(CircbufPutEvent(ring.get(), Item(2)));
    EXPECT_EQ(ring->Count.load(), 1);
    EXPECT_TRUE(CircbufRemoveEvent(ring.get()));
    EXPECT_FALSE(CircbufRemoveEvent(ring.get()));
    EXPECT_TRUE(CircbufPutEvent(ring.get(), Item(3)));
}

TEST(Circbuf, WrapsAroundInOrderAndReadDoesNotRemove)
{
    constexpr std::uint16_t kCap = 5;
    TCircularBufferPtr ring(CircbufAlloc(kCap));
    TMidiBufferItem item;
    item.ItemTime = 77;
    EXPECT_FALSE(CircbufReadEvent(ring.get(), item));
    EXPECT_EQ(item.ItemTime, 77u); // untouched when empty

    std::uint32_t next = 0, expected = 0;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(CircbufPutEvent(ring.get(), Item(next++)));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(CircbufReadEvent(ring.get(), item));
            TMidiBufferItem again;
            ASSERT_TRUE(CircbufReadEvent(ring.get(), again));
            EXPECT_EQ(again.ItemTime, item.ItemTime);
            EXPECT_EQ(item.ItemTime, expected++);
            ASSERT_TRUE(CircbufRemoveEvent(ring.get()));
        }
    }
    // Capacity puts and removes bring both ends back to the start.
    TCircularBufferPtr full(CircbufAlloc(kCap));
    for (std::uint32_t i = 0; i < kCap; ++i)
        ASSERT_TRUE(CircbufPutEvent(full.get(), Item(i)));
    EXPECT_FALSE(CircbufPutEvent(full.get(), Item(99)));
    for (std::uint32_t i = 0; i < kCap; ++i)
        ASSERT_TRUE(CircbufRemoveEvent(full.get()));
    EXPECT_EQ(full->WriteSlot, full->FirstSlot);
    EXPECT_EQ(full->ReadSlot, full->FirstSlot);
}

TEST(Circbuf, AnySixteenBitCapacityAndFailedAllocationGivesNull)
{
    TCircularBufferPtr big(CircbufAlloc(65535));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->EndSlot - big->FirstSlot, 65535);
    TCircularBufferPtr none(CircbufAlloc(0));
    ASSERT_TRUE(none);
    EXPECT_FALSE(CircbufPutEvent(none.get(), Item(1)));

    const long before = FixedBlock::LiveBlocks();
    FixedBlock::InjectAllocationFailures(1, 1); // the slot array fails
    EXPECT_EQ(CircbufAlloc(16), nullptr);
    FixedBlock::InjectAllocationFailures(0, 0);
    EXPECT_EQ(FixedBlock::LiveBlocks(), before);
    CircbufFree(nullptr);
}

namespace {
// A callback context with a ring and a window recording what was posted.
struct HandlerRig {
    std::vector<std::uint32_t> posted;
    TCircularBufferPtr ring{CircbufAlloc(4)};
    TMidiCallbackContextPtr context{CallbackContextAlloc()};
    TNotifyWindow window{[this](TMessage &m) { posted.push_back(m.Msg); }};
    HandlerRig()
    {
        context->Ring = ring.get();
        context->NotifyWindow = &window;
    }
    void Send(std::uint32_t msg, std::uintptr_t p1, std::uintptr_t p2 = 0)
    {
        midiHandler(nullptr, msg, reinterpret_cast<std::uintptr_t>(context.get()), p1, p2);
    }
    std::vector<std::uint32_t> Drain()
    {
        PumpFor(std::chrono::milliseconds(20));
        return std::exchange(posted, {});
    }
};
} // namespace

TEST(MidiHandler, RealTimeFilterLooksAtTheWholeParameter)
{
    HandlerRig rig;
    rig.context->DropClock = true;
    rig.Send(MIM_DATA, 0xF8);
    rig.Send(MIM_DATA, 0xF1 | (0x23 << 8)); // quarter frame passes
    rig.Send(MIM_DATA, 0xFE);               // sensing passes while not dropped
    EXPECT_EQ(rig.ring->Count.load(), 2);
    rig.context->DropActiveSensing = true;
    rig.Send(MIM_DATA, 0xFE);
    EXPECT_EQ(rig.ring->Count.load(), 2);
    EXPECT_EQ(rig.Drain(), (std::vector<std::uint32_t>{MIM_DATA, MIM_DATA}));
    TMidiBufferItem item;
    CircbufReadEvent(rig.ring.get(), item);
    EXPECT_EQ(item.ShortMessage, 0x23F1u);
}

TEST(MidiHandler, SysexOnlyDropsShortMessagesButStoresBuffers)
{
    HandlerRig rig;
    rig.context->SysexOnly = true;
    MIDIHDR header{};
    rig.Send(MIM_DATA, 0x6407B0);
    rig.Send(MIM_LONGDATA, reinterpret_cast<std::uintptr_t>(&header), 42);
    rig.Send(MIM_LONGERROR, reinterpret_cast<std::uintptr_t>(&header), 43);
    ASSERT_EQ(rig.ring->Count.load(), 2);
    TMidiBufferItem item;
    CircbufReadEvent(rig.ring.get(), item);
    EXPECT_EQ(item.LongHeader, &header);
    EXPECT_EQ(item.ShortMessage, 0u);
    EXPECT_EQ(item.ItemTime, 42u);
}

TEST(MidiHandler, FullRingPostsOverflowOnlyAndDoneIsForwardedWithoutRing)
{
    HandlerRig rig;
    for (int i = 0; i < 4; ++i)
        rig.Send(MIM_DATA, 0x90);
    rig.Drain();
    rig.Send(MIM_DATA, 0x90);
    rig.Send(MIM_DATA, 0x90);
    EXPECT_EQ(rig.Drain(), (std::vector<std::uint32_t>{WM_USER, WM_USER}));

    rig.context->Ring = nullptr;
    rig.Send(MIM_DATA, 0x90);
    MIDIHDR header{};
    std::uintptr_t forwarded = 0;
    TNotifyWindow window([&](TMessage &m) {
        if (m.Msg == MOM_DONE)
            forwarded = m.LParam;
    });
    rig.context->NotifyWindow = &window;
    rig.Send(MOM_DONE, reinterpret_cast<std::uintptr_t>(&header));
    rig.Send(MIM_OPEN, 0);
    EXPECT_TRUE(PumpUntil([&] { return forwarded != 0; }));
    EXPECT_EQ(forwarded, reinterpret_cast<std::uintptr_t>(&header));
    midiHandler(nullptr, MIM_DATA, 0, 0x90, 0); // no context: nothing happens
}

// One million events from a producer thread through midiHandler while the
// UI thread drains: each arrives once and in order, except those reported
// as overflow.
TEST(MidiHandler, MillionEventStressKeepsOrderAndCountsEveryLoss)
{
    constexpr std::uint32_t kEvents = 1000000;
    TCircularBufferPtr ring(CircbufAlloc(1024));
    TMidiCallbackContextPtr context(CallbackContextAlloc());
    std::uint32_t received = 0, overflows = 0, gaps = 0;
    std::uint32_t last = 0;
    bool ordered = true, first = true;
    TNotifyWindow window(
        [&](TMessage &m) {
            if (m.Msg == WM_USER) {
                ++overflows;
                return;
            }
            TMidiBufferItem item;
            while (CircbufReadEvent(ring.get(), item)) {
                const std::uint32_t n = item.ItemTime;
                if (!first && n <= last)
                    ordered = false;
                gaps += first ? n : n - last - 1;
                first = false;
                last = n;
                ++received;
                CircbufRemoveEvent(ring.get());
            }
        },
        kEvents); // room for every notice, so no overflow report can be refused
    context->Ring = ring.get();
    context->NotifyWindow = &window;

    std::atomic<bool> done{false};
    std::thread producer([&] {
        for (std::uint32_t i = 0; i < kEvents; ++i)
            midiHandler(nullptr, MIM_DATA, reinterpret_cast<std::uintptr_t>(context.get()), 0x90 | ((i & 0x7F) << 8), i);
        done = true;
    });
    const bool finished = PumpUntil([&] { return done && received + overflows == kEvents; },
                                    std::chrono::milliseconds(60000));
    producer.join();
    ASSERT_TRUE(finished) << received << " received, " << overflows << " overflows";
    EXPECT_TRUE(ordered);
    EXPECT_EQ(window.Refused(), 0u);
    EXPECT_EQ(gaps + (kEvents - 1 - last), overflows);
}
