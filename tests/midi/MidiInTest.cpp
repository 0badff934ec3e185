#include "MidiTestSupport.h"
#include "midi/MidiIn.h"
#include "platform/FixedBlock.h"

#include <QPointer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace platform;

namespace {
class MidiInputTest : public TwoDevicePortTest<EMidiInputError> {
protected:
    // Takes every waiting event.
    static std::vector<std::unique_ptr<TMyMidiEvent>> DrainAll(TMidiInput &port)
    {
        std::vector<std::unique_ptr<TMyMidiEvent>> events;
        while (port.GetEventCount() > 0)
            events.push_back(port.GetMidiEvent());
        return events;
    }
};
} // namespace

TEST_F(MidiInputTest, NewPortSelectsDeviceZeroWithDefaults)
{
    TMidiInput port(nullptr);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "DW-8000");
    EXPECT_EQ(port.Capacity(), 1024);
    EXPECT_EQ(port.SysexBufferSize(), 4096);
    EXPECT_EQ(port.SysexBufferCount(), 16);
    EXPECT_FALSE(port.SysexOnly());
    EXPECT_EQ(port.FilteredMessages(), (TMidiMsgFilter{msgActiveSensing, msgMidiTimeCode}));
    EXPECT_EQ(port.DeviceCount(), 2u);
    EXPECT_EQ(port.NotifyWindow()->Dispatch(WM_QUERYENDSESSION), 1);

    SetCurrentMidiService(std::make_shared<VirtualMidiService>());
    TMidiInput lonely(nullptr);
    EXPECT_EQ(lonely.ProductName(), "");
    EXPECT_EQ(ThrownText([&] { lonely.SetProductName("DW-8000"); }), "MIDI Input Device DW-8000 not installed ");
}

TEST_F(MidiInputTest, DeviceSelectionByNumberAndExactName)
{
    TMidiInput port(nullptr);
    int changes = 0;
    port.OnDeviceChanged = [&](QObject *sender) {
        EXPECT_EQ(sender, &port);
        ++changes;
    };
    EXPECT_EQ(ThrownText([&] { port.SetDeviceID(2); }), "Invalid device ID");
    EXPECT_EQ(port.DeviceID(), 0u);
    port.SetDeviceID(1);
    EXPECT_EQ(port.ProductName(), "BCR2000");
    port.SetDeviceID(1); // the same device again still reports
    EXPECT_EQ(changes, 2);
    port.SetProductName("DW-8000");
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(ThrownText([&] { port.SetProductName("dw-8000"); }), "MIDI Input Device dw-8000 not installed ");
    // The mapper number passes the range check; this service has no input mapper.
    EXPECT_EQ(ThrownText([&] { port.SetDeviceID(MIDI_MAPPER); }), ErrorText(MMSYSERR_BADDEVICEID));
    EXPECT_EQ(port.Error(), MMSYSERR_BADDEVICEID);

    service->InjectFault(MidiCall::InCaps, MMSYSERR_NODRIVER);
    EXPECT_EQ(ThrownText([&] { port.SetProductName("BCR2000"); }), ErrorText(MMSYSERR_NODRIVER));
}

TEST_F(MidiInputTest, SettingsRefusedWhileOpen)
{
    TMidiInput port(nullptr);
    port.Open();
    EXPECT_EQ(ThrownText([&] { port.SetDeviceID(1); }), "Change to DeviceID while device was open");
    EXPECT_EQ(ThrownText([&] { port.SetProductName("BCR2000"); }), "Change to ProductName while device was open");
    EXPECT_EQ(ThrownText([&] { port.SetSysexBufferSize(10); }), "Change to SysexBufferSize while device was open");
    EXPECT_EQ(ThrownText([&] { port.SetSysexBufferCount(1); }), "Change to SysexBufferCount while device was open");
    port.SetCapacity(8); // allowed; used at the next open
    EXPECT_EQ(port.Capacity(), 8);
    EXPECT_EQ(port.DeviceID(), 0u);
}

TEST_F(MidiInputTest, ShortMessagesFlowOnlyAfterStartAndRaiseOnMidiInput)
{
    TMidiInput port(nullptr);
    int raised = 0;
    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    port.OnMidiInput = [&](QObject *) {
        ++raised;
        auto more = DrainAll(port);
        for (auto &e : more)
            events.push_back(std::move(e));
    };
    port.Open();
    EXPECT_EQ(port.State(), misOpen);
    synth->InjectShort(0x90, 60, 100);
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(raised, 0);

    port.Start();
    synth->InjectShort(0xB0, 7, 100);
    synth->InjectShort(0xC3, 5);
    synth->InjectShort(0xF8); // filtered by default
    synth->InjectShort(0xF1, 0x20);
    ASSERT_TRUE(PumpUntil([&] { return events.size() == 3; }));
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(raised, 1); // the later notices found the ring empty
    EXPECT_EQ(events[0]->StatusByte, 0xB0);
    EXPECT_EQ(events[0]->FirstDataByte, 7);
    EXPECT_EQ(events[0]->SecondDataByte, 100);
    EXPECT_EQ(events[0]->SysexSize, 0);
    EXPECT_EQ(events[0]->SysexBytes, nullptr);
    EXPECT_EQ(events[1]->StatusByte, 0xC3);
    EXPECT_EQ(events[1]->SecondDataByte, 0);
    EXPECT_EQ(events[2]->StatusByte, 0xF1);
    EXPECT_LT(events[0]->ReceivedTime, 1000u);

    port.StopAndClose();
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_FALSE(synth->IsInputOpen());
}

TEST_F(MidiInputTest, ClosedPortReturnsNothingEvenIfEventsWereWaiting)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    synth->InjectShort(0x90, 1, 2);
    EXPECT_EQ(port.GetEventCount(), 1);
    port.Close();
    EXPECT_EQ(port.GetEventCount(), 0);
    EXPECT_EQ(port.GetMidiEvent(), nullptr);
    port.Start(); // no effect while closed
    port.Stop();
    port.Close();
    EXPECT_EQ(port.State(), misClosed);
}

TEST_F(MidiInputTest, LongSysexArrivesSplitIntoBuffersByteExact)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    const auto message = MakeSysex(6000);
    synth->InjectSysex(message);
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]->StatusByte, 0xF0);
    EXPECT_EQ(events[0]->FirstDataByte, 0);
    EXPECT_EQ(events[0]->SysexSize, 4096);
    EXPECT_EQ(events[1]->SysexSize, 1904);
    std::vector<std::uint8_t> joined(events[0]->SysexBytes.get(), events[0]->SysexBytes.get() + 4096);
    joined.insert(joined.end(), events[1]->SysexBytes.get(), events[1]->SysexBytes.get() + 1904);
    EXPECT_EQ(joined, message);

    // Every buffer went back to the driver: many more dumps still arrive.
    const auto dump = MakeSysex(57);
    for (int i = 0; i < 40; ++i) {
        synth->InjectSysex(dump);
        auto got = DrainAll(port);
        ASSERT_EQ(got.size(), 1u);
        ASSERT_EQ(std::vector<std::uint8_t>(got[0]->SysexBytes.get(), got[0]->SysexBytes.get() + 57), dump);
    }
}

TEST_F(MidiInputTest, EmptyBufferGivesEmptySysexEventAndIsRequeued)
{
    TMidiInput port(nullptr);
    port.SetSysexBufferCount(1);
    port.OpenAndStart();
    synth->InjectBufferFlush();
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->StatusByte, 0xF0);
    EXPECT_EQ(events[0]->SysexSize, 0);
    EXPECT_EQ(events[0]->SysexBytes, nullptr);
    synth->InjectSysex(MakeSysex(10)); // the single buffer is back in the queue
    EXPECT_EQ(DrainAll(port).size(), 1u);
}

TEST_F(MidiInputTest, NoSysexBuffersMeansShortMessagesOnly)
{
    TMidiInput port(nullptr);
    port.SetSysexBufferCount(0);
    port.OpenAndStart();
    synth->InjectSysex(MakeSysex(20));
    synth->InjectShort(0x80, 60, 0);
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->StatusByte, 0x80);
}

TEST_F(MidiInputTest, SysexFindingNoBufferIsLostUntilOneIsTaken)
{
    TMidiInput port(nullptr);
    port.SetSysexBufferCount(2);
    port.OpenAndStart();
    for (int i = 0; i < 3; ++i)
        synth->InjectSysex(MakeSysex(8));
    EXPECT_EQ(port.GetEventCount(), 2);
    DrainAll(port);
    synth->InjectSysex(MakeSysex(8));
    EXPECT_EQ(port.GetEventCount(), 1);
}

TEST_F(MidiInputTest, FilterAndSysexOnlyChangesReachARunningDevice)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    synth->InjectShort(0xFE);
    EXPECT_EQ(port.GetEventCount(), 0);
    port.SetMsgFilter(TMidiMsgFilter{msgMidiTimeCode});
    synth->InjectShort(0xFE);
    synth->InjectShort(0xF8);
    EXPECT_EQ(port.GetEventCount(), 1);
    port.SetMsgFilter(TMidiMsgFilter{});
    synth->InjectShort(0xF8);
    EXPECT_EQ(port.GetEventCount(), 2);
    port.SetSysexOnly(true);
    synth->InjectShort(0x90, 1, 1);
    synth->InjectSysex(MakeSysex(5));
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[2]->StatusByte, 0xF0);
}

TEST_F(MidiInputTest, FullRingRaisesOnOverflowPerLostEvent)
{
    TMidiInput port(nullptr);
    port.SetCapacity(2);
    int overflows = 0;
    port.OnOverflow = [&](QObject *) { ++overflows; };
    port.OpenAndStart();
    for (int i = 0; i < 5; ++i)
        synth->InjectShort(0x90, std::uint8_t(i), 1);
    ASSERT_TRUE(PumpUntil([&] { return overflows == 3; }));
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1]->FirstDataByte, 1);
}

TEST_F(MidiInputTest, SysexBufferLostToAFullRingGoesBackIntoCirculation)
{
    TMidiInput port(nullptr);
    port.SetCapacity(1);
    port.SetSysexBufferCount(2);
    int overflows = 0;
    port.OnOverflow = [&](QObject *) { ++overflows; };
    port.OpenAndStart();
    synth->InjectShort(0x90, 1, 1); // fills the ring
    synth->InjectSysex(MakeSysex(9));
    synth->InjectSysex(MakeSysex(9));
    ASSERT_TRUE(PumpUntil([&] { return overflows == 2; }));
    DrainAll(port);
    const auto dump = MakeSysex(57);
    synth->InjectSysex(dump);
    auto events = DrainAll(port);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0]->SysexSize, 57);
}

TEST_F(MidiInputTest, ChangeDeviceRules)
{
    TMidiInput port(nullptr);
    port.ChangeDevice(0, true); // current device: nothing, not even an open
    EXPECT_EQ(port.State(), misClosed);
    port.OpenAndStart();
    port.ChangeDevice(1, true);
    EXPECT_EQ(port.State(), misOpen);
    EXPECT_EQ(port.ProductName(), "BCR2000");
    EXPECT_FALSE(synth->IsInputOpen());
    controller->InjectShort(0xB0, 1, 2);
    EXPECT_EQ(port.GetEventCount(), 1);
    port.ChangeDevice(0, false);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.DeviceID(), 0u);
}

TEST_F(MidiInputTest, FailedOpenReportsTheCallAndGivesEverythingBack)
{
    struct Case {
        MidiCall call;
        unsigned skip;
    };
    for (const Case c : {Case{MidiCall::InOpen, 0}, Case{MidiCall::InPrepare, 3}, Case{MidiCall::InAddBuffer, 5}}) {
        TMidiInput port(nullptr);
        const long before = FixedBlock::LiveBlocks();
        service->InjectFault(c.call, MMSYSERR_NOMEM, 1, c.skip);
        EXPECT_EQ(ThrownText([&] { port.Open(); }), ErrorText(MMSYSERR_NOMEM));
        EXPECT_EQ(port.Error(), MMSYSERR_NOMEM);
        EXPECT_EQ(port.State(), misClosed);
        EXPECT_FALSE(synth->IsInputOpen());
        EXPECT_EQ(FixedBlock::LiveBlocks(), before);
        port.OpenAndStart(); // the port is usable afterwards
        synth->InjectSysex(MakeSysex(9));
        EXPECT_EQ(port.GetEventCount(), 1);
    }
}

TEST_F(MidiInputTest, OpenFailsWhenRingOrContextCannotBeAllocated)
{
    for (const unsigned skip : {0u, 1u, 2u}) { // ring record, ring slots, context
        TMidiInput port(nullptr);
        const long before = FixedBlock::LiveBlocks();
        FixedBlock::InjectAllocationFailures(skip, 1);
        const std::string text = ThrownText([&] { port.Open(); });
        FixedBlock::InjectAllocationFailures(0, 0);
        EXPECT_EQ(text, ErrorText(MMSYSERR_NOMEM));
        EXPECT_EQ(port.State(), misClosed);
        EXPECT_EQ(FixedBlock::LiveBlocks(), before);
        EXPECT_FALSE(synth->IsInputOpen());
    }
}

TEST_F(MidiInputTest, StartFailureLeavesPortOpen)
{
    TMidiInput port(nullptr);
    port.Open();
    service->InjectFault(MidiCall::InStart, MMSYSERR_NOTENABLED);
    EXPECT_EQ(ThrownText([&] { port.Start(); }), ErrorText(MMSYSERR_NOTENABLED));
    EXPECT_EQ(port.State(), misOpen);
    service->InjectFault(MidiCall::InStop, MMSYSERR_INVALHANDLE);
    EXPECT_EQ(ThrownText([&] { port.Stop(); }), ErrorText(MMSYSERR_INVALHANDLE));
}

TEST_F(MidiInputTest, CloseReleasesEverythingDespiteFailedStepsAndRaisesTheFirst)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    port.Close();
    const long baseline = FixedBlock::LiveBlocks(); // the context stays allocated

    port.OpenAndStart();
    service->InjectFault(MidiCall::InUnprepare, MMSYSERR_INVALPARAM, 2);
    EXPECT_EQ(ThrownText([&] { port.Close(); }), ErrorText(MMSYSERR_INVALPARAM));
    EXPECT_EQ(port.Error(), MMSYSERR_INVALPARAM);
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_FALSE(synth->IsInputOpen());
    EXPECT_EQ(FixedBlock::LiveBlocks(), baseline);

    // A failed reset leaves buffers queued, so the close is refused too: the
    // first failure is the one reported, and the ring is gone all the same.
    port.OpenAndStart();
    service->InjectFault(MidiCall::InReset, MMSYSERR_ERROR);
    EXPECT_EQ(ThrownText([&] { port.Close(); }), ErrorText(MMSYSERR_ERROR));
    EXPECT_EQ(port.State(), misClosed);
    EXPECT_EQ(port.GetMidiEvent(), nullptr);
    synth->InjectShort(0x90, 1, 1); // the device is still there but has no ring to fill
    PumpFor(std::chrono::milliseconds(10));
}

TEST_F(MidiInputTest, RequeueFailureKeepsTheEventForARetry)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    const auto dump = MakeSysex(57);
    synth->InjectSysex(dump);
    service->InjectFault(MidiCall::InAddBuffer, MIDIERR_STILLPLAYING);
    EXPECT_EQ(ThrownText([&] { port.GetMidiEvent(); }), ErrorText(MIDIERR_STILLPLAYING));
    EXPECT_EQ(port.GetEventCount(), 1);
    auto event = port.GetMidiEvent();
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(std::vector<std::uint8_t>(event->SysexBytes.get(), event->SysexBytes.get() + event->SysexSize), dump);
}

TEST_F(MidiInputTest, DestroyingAPortNeverThrowsOrCallsBackLater)
{
    int raised = 0;
    {
        auto port = std::make_unique<TMidiInput>(nullptr);
        port->OnMidiInput = [&](QObject *) { ++raised; };
        port->OpenAndStart();
        synth->InjectShort(0x90, 1, 1); // a notice is queued for the port
        service->InjectFault(MidiCall::InReset, MMSYSERR_ERROR);
        EXPECT_NO_THROW(port.reset());
    }
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(raised, 0);
}

TEST_F(MidiInputTest, OpenOnAnOpenPortKeepsTheDeviceAndItsBuffers)
{
    TMidiInput port(nullptr);
    port.OpenAndStart();
    const long blocks = FixedBlock::LiveBlocks();
    port.Open();
    EXPECT_EQ(FixedBlock::LiveBlocks(), blocks);
    synth->InjectSysex(MakeSysex(30));
    EXPECT_EQ(port.GetEventCount(), 1);
    port.Close();
    EXPECT_FALSE(synth->IsInputOpen());
}

TEST_F(MidiInputTest, UnknownCodeHasTheOutOfRangeText)
{
    TMidiInput port(nullptr);
    EXPECT_EQ(port.MidiInErrorString(999), "Specified error number is out of range");
    EXPECT_EQ(port.MidiInErrorString(MMSYSERR_ALLOCATED), ErrorText(MMSYSERR_ALLOCATED));
}

TEST_F(MidiInputTest, OwnerDestroysThePort)
{
    auto owner = std::make_unique<QObject>();
    QPointer<TMidiInput> port = new TMidiInput(owner.get());
    port->OpenAndStart();
    owner.reset();
    EXPECT_TRUE(port.isNull());
    EXPECT_FALSE(synth->IsInputOpen());
}

// Close with the ring full: the reset hands the queued buffers back, each
// lost-buffer notice names a buffer that is then freed, and the next open's
// buffers take those addresses. The old notices then handed a buffer that
// held a dump back to the driver (the dump lost), and every later
// GetMidiEvent failed with the buffer still queued.
TEST_F(MidiInputTest, StaleLostBufferNoticeFromEarlierOpenIsDropped)
{
    TMidiInput port(nullptr);
    port.SetCapacity(1);
    port.OpenAndStart();
    synth->InjectShort(0x90, 1, 1); // fills the ring
    port.Close();                   // every buffer's notice is now waiting
    port.SetCapacity(16);
    port.OpenAndStart();
    const auto dump = MakeSysex(57);
    synth->InjectSysex(dump); // before the old notices are handled
    PumpFor(std::chrono::milliseconds(20));
    for (int round = 0; round < 2; ++round) {
        std::unique_ptr<TMyMidiEvent> event;
        ASSERT_NO_THROW(event = port.GetMidiEvent()) << "round " << round;
        ASSERT_NE(event, nullptr);
        EXPECT_EQ(std::vector<std::uint8_t>(event->SysexBytes.get(), event->SysexBytes.get() + event->SysexSize),
                  dump);
        EXPECT_EQ(port.Error(), MMSYSERR_NOERROR);
        synth->InjectSysex(dump);
    }
}

// When reset and close both fail the device goes on calling back; the ring
// was freed at once, under a callback that had just loaded it.
TEST_F(MidiInputTest, RingOfAPortWhoseCloseFailedIsNotFreedUnderARunningCallback)
{
    TMidiInput port(nullptr);
    port.SetCapacity(4);
    port.SetSysexBufferCount(0);
    std::atomic<bool> stop{false};
    std::thread device([&] {
        while (!stop.load(std::memory_order_acquire))
            synth->InjectShort(0x90, 1, 1);
    });
    // The race is narrow: many rounds, bounded in time for the slower
    // sanitizer builds.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int cycles = 0;
    for (; cycles < 100000 && std::chrono::steady_clock::now() < until; ++cycles) {
        port.OpenAndStart(); // closes the device left open by the last round first
        service->InjectFault(MidiCall::InReset, MMSYSERR_ERROR);
        service->InjectFault(MidiCall::InClose, MMSYSERR_ERROR);
        EXPECT_THROW(port.Close(), EMidiInputError);
        if (cycles % 64 == 0)
            PumpFor(std::chrono::milliseconds(0));
    }
    stop.store(true, std::memory_order_release);
    device.join();
    port.OpenAndStart();
    port.FlushQueue();
    synth->InjectShort(0x90, 2, 2);
    EXPECT_EQ(port.GetEventCount(), 1);
    port.Close();
    EXPECT_FALSE(synth->IsInputOpen());
    RecordProperty("cycles", cycles);
}
