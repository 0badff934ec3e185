#include "MidiTestSupport.h"
#include "midi/MidiOut.h"
#include "platform/FixedBlock.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {
class MidiOutputTest : public TwoDevicePortTest<EMidiOutputError> {
protected:
    std::vector<std::vector<std::uint8_t>> SentBytes()
    {
        std::vector<std::vector<std::uint8_t>> all;
        for (const auto &m : service->SentMessages())
            all.push_back(m.bytes);
        return all;
    }
    // Short messages are delivered in order by the output's own thread.
    std::vector<std::vector<std::uint8_t>> WaitSent(std::size_t count)
    {
        EXPECT_TRUE(service->WaitForSent(count, std::chrono::seconds(3)));
        return SentBytes();
    }
};

using Bytes = std::vector<std::uint8_t>;
} // namespace

TEST_F(MidiOutputTest, NewPortIsClosedWithNoDeviceSelected)
{
    TMidiOutput port(nullptr);
    EXPECT_EQ(port.State(), mosClosed);
    EXPECT_EQ(port.DeviceID(), 0u);
    EXPECT_EQ(port.ProductName(), "");
    EXPECT_EQ(port.DeviceCount(), 2u);
    EXPECT_FALSE(port.Close());
}

TEST_F(MidiOutputTest, SendingWhileClosedRaisesAndSendsNothing)
{
    TMidiOutput port(nullptr);
    const Bytes dump = MakeSysex(8);
    EXPECT_EQ(ThrownText([&] { port.PutShort(0x90, 60, 100); }), "(Short Msg) Device not opened.");
    EXPECT_EQ(ThrownText([&] { port.NoteOn(0, 60, 100); }), "(Short Msg) Device not opened.");
    EXPECT_EQ(ThrownText([&] { port.PutLong(dump.data(), 8); }), "(Long Msg) Device not opened.");
    EXPECT_EQ(ThrownText([&] { port.PutMidiEvent(TMyMidiEvent{}); }), "MIDI Output device not open");
    PumpFor(std::chrono::milliseconds(10));
    EXPECT_TRUE(service->SentMessages().empty());
}

TEST_F(MidiOutputTest, ChannelMessagesPackStatusChannelAndData)
{
    TMidiOutput port(nullptr);
    port.SetDeviceID(0);
    ASSERT_TRUE(port.Open());
    port.ControllerChange(2, 7, 100);
    port.NoteOn(17, 60, 1); // channel masked to 1
    port.NoteOff(3, 60, 0);
    port.NoteAftertouch(4, 61, 5);
    port.ProgramChange(3, 5);
    port.ChannelAftertouch(5, 9);
    port.ChangeInstrument(6, gmiGunshot);
    port.PutShort(0xF8, 0, 0);
    const auto sent = WaitSent(8);
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xB2, 7, 100},
                                        {0x91, 60, 1},
                                        {0x83, 60, 0},
                                        {0xA4, 61, 5},
                                        {0xC3, 5},
                                        {0xD5, 9},
                                        {0xC6, 127},
                                        {0xF8}}));
    EXPECT_EQ(service->SentMessages()[0].device, "DW-8000");
}

TEST_F(MidiOutputTest, PutLongReturnsAtOnceThenReleasesCopyBeforeOnMidiOutput)
{
    service->SetWirePacing(true);
    TMidiOutput port(nullptr);
    port.SetDeviceID(1);
    std::vector<std::size_t> pendingAtNotice;
    port.OnMidiOutput = [&](QObject *sender) {
        EXPECT_EQ(sender, &port);
        pendingAtNotice.push_back(port.PendingLongMessages());
    };
    ASSERT_TRUE(port.Open());
    Bytes message = MakeSysex(100); // 32 ms on the wire
    const Bytes original = message;
    port.PutLong(message.data(), std::uint16_t(message.size()));
    EXPECT_TRUE(service->SentMessages().empty());
    std::fill(message.begin(), message.end(), 0); // the caller's bytes are free at once
    const Bytes second = MakeSysex(8);
    port.PutLong(second.data(), 8);
    EXPECT_EQ(port.PendingLongMessages(), 2u);

    ASSERT_TRUE(PumpUntil([&] { return pendingAtNotice.size() == 2; }));
    EXPECT_EQ(pendingAtNotice, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(SentBytes(), (std::vector<Bytes>{original, second}));
    EXPECT_TRUE(service->SentMessages()[0].isLong);
}

TEST_F(MidiOutputTest, EmptyPutLongIsRefusedAndFailedPutLongReleasesItsCopy)
{
    TMidiOutput port(nullptr);
    ASSERT_TRUE(port.Open());
    const Bytes dump = MakeSysex(57);
    const long before = FixedBlock::LiveBlocks();

    EXPECT_EQ(ThrownText([&] { port.PutLong(dump.data(), 0); }),
              "(Long Msg) The specified pointer or structure is invalid.");
    EXPECT_EQ(port.Error(), MMSYSERR_INVALPARAM);

    service->InjectFault(MidiCall::OutPrepare, MMSYSERR_NOMEM);
    EXPECT_EQ(ThrownText([&] { port.PutLong(dump.data(), 57); }),
              "(Prep Header) The system is unable to allocate or lock memory.");
    service->InjectFault(MidiCall::OutLong, MIDIERR_NOTREADY);
    EXPECT_EQ(ThrownText([&] { port.PutLong(dump.data(), 57); }), "(Long Msg) The hardware is busy with other data.");
    EXPECT_EQ(port.Error(), MIDIERR_NOTREADY);
    FixedBlock::InjectAllocationFailures(0, 1);
    EXPECT_EQ(ThrownText([&] { port.PutLong(dump.data(), 57); }),
              "(Prep Header) The system is unable to allocate or lock memory.");
    FixedBlock::InjectAllocationFailures(0, 0);

    EXPECT_EQ(port.PendingLongMessages(), 0u);
    EXPECT_EQ(FixedBlock::LiveBlocks(), before);
    PumpFor(std::chrono::milliseconds(10));
    EXPECT_TRUE(service->SentMessages().empty());
    EXPECT_EQ(port.State(), mosOpen);
}

TEST_F(MidiOutputTest, PutShortFailureUsesShortMessageTexts)
{
    TMidiOutput port(nullptr);
    ASSERT_TRUE(port.Open());
    service->InjectFault(MidiCall::OutShort, MIDIERR_NOTREADY);
    EXPECT_EQ(ThrownText([&] { port.PutShort(0x90, 1, 1); }), "(Short Msg) The hardware is busy with other data.");
    service->InjectFault(MidiCall::OutShort, MMSYSERR_NOMEM);
    EXPECT_EQ(ThrownText([&] { port.ControllerChange(0, 1, 1); }), ErrorText(MMSYSERR_NOMEM));
    EXPECT_EQ(port.Error(), MMSYSERR_NOMEM);
}

TEST_F(MidiOutputTest, PutMidiEventChoosesByPresenceOfSysexBytes)
{
    TMidiOutput port(nullptr);
    ASSERT_TRUE(port.Open());
    TMyMidiEvent shortEvent;
    shortEvent.StatusByte = 0xF0; // still short: it has no bytes
    port.PutMidiEvent(shortEvent);
    TMyMidiEvent longEvent;
    longEvent.StatusByte = 0xF0;
    longEvent.SysexSize = 3;
    longEvent.SysexBytes.reset(new std::uint8_t[3]{0xF0, 0x01, 0xF7});
    port.PutMidiEvent(longEvent);
    const auto sent = WaitSent(2);
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xF0}, {0xF0, 0x01, 0xF7}}));
}

TEST_F(MidiOutputTest, SelectionByNameTechnologyAndMapper)
{
    VirtualDeviceInfo fm;
    fm.name = "FM";
    fm.technology = MOD_FMSYNTH;
    fm.voices = 8;
    fm.notes = 16;
    fm.manufacturerId = 1;
    fm.productId = 2;
    service->CreateDevice(fm);
    TMidiOutput port(nullptr);
    int changes = 0;
    port.OnDeviceChanged = [&](QObject *) { ++changes; };

    port.SetProductName("MIDI Mapper");
    EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
    EXPECT_EQ(port.Technology(), opt_Mapper);
    port.SetProductName("BCR2000");
    EXPECT_EQ(port.DeviceID(), 1u);
    EXPECT_EQ(ThrownText([&] { port.SetProductName("bcr2000"); }), "MIDI output Device bcr2000 not installed");

    port.SetTechnology(opt_FMSynth);
    EXPECT_EQ(port.DeviceID(), 2u);
    EXPECT_EQ(port.ProductName(), "FM");
    EXPECT_EQ(port.Voices(), 8);
    EXPECT_EQ(port.Notes(), 16);
    EXPECT_EQ(port.ManufacturerId(), 1);
    EXPECT_EQ(port.ProductId(), 2);
    EXPECT_EQ(ThrownText([&] { port.SetTechnology(opt_SQSynth); }),
              "MIDI output technology Square Wave Synth not installed");
    EXPECT_EQ(changes, 3);

    EXPECT_EQ(ThrownText([&] { port.SetDeviceID(3); }), "Invalid device ID");
    port.SetDeviceID(MIDI_MAPPER);
    ASSERT_TRUE(port.Open()); // the mapper plays on device 0
    EXPECT_TRUE(synth->IsOutputOpen());
    EXPECT_EQ(ThrownText([&] { port.SetDeviceID(0); }), "Change to DeviceID while device was open");
    EXPECT_EQ(ThrownText([&] { port.SetProductName("FM"); }), "Change to ProductName while device was open");
    EXPECT_EQ(ThrownText([&] { port.SetTechnology(opt_MidiPort); }),
              "Change to Product Technology while device was open");
}

TEST_F(MidiOutputTest, OpenAndCloseResults)
{
    TMidiOutput first(nullptr), second(nullptr);
    service->InjectFault(MidiCall::OutOpen, MMSYSERR_NODRIVER);
    EXPECT_FALSE(first.Open());
    EXPECT_EQ(first.Error(), MMSYSERR_NODRIVER);
    EXPECT_EQ(first.State(), mosClosed);
    EXPECT_TRUE(first.Open());
    EXPECT_FALSE(second.Open()); // the device is taken
    EXPECT_EQ(second.Error(), MMSYSERR_ALLOCATED);

    service->InjectFault(MidiCall::OutClose, MMSYSERR_HANDLEBUSY);
    EXPECT_EQ(ThrownText([&] { first.Close(); }), ErrorText(MMSYSERR_HANDLEBUSY));
    EXPECT_EQ(first.State(), mosOpen);
    first.PutShort(0x90, 1, 1); // still usable
    EXPECT_TRUE(first.Close());
    EXPECT_FALSE(first.Close());
    EXPECT_TRUE(second.Open());
}

TEST_F(MidiOutputTest, ChangeDeviceClosesAndReopensEvenTheSameDevice)
{
    TMidiOutput port(nullptr);
    int changes = 0;
    port.OnDeviceChanged = [&](QObject *) { ++changes; };
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.ChangeDevice(0, true));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(port.State(), mosOpen);
    EXPECT_FALSE(port.ChangeDevice(1, false));
    EXPECT_EQ(port.State(), mosClosed);
    EXPECT_FALSE(synth->IsOutputOpen());
    EXPECT_EQ(port.ProductName(), "BCR2000");

    ASSERT_TRUE(port.Open());
    service->InjectFault(MidiCall::OutClose, MMSYSERR_ERROR);
    EXPECT_THROW(port.ChangeDevice(0, true), EMidiOutputError);
    EXPECT_EQ(port.DeviceID(), 1u);
}

TEST_F(MidiOutputTest, VolumeFollowsTheDevicesFeatures)
{
    VirtualDeviceInfo mono;
    mono.name = "Mono";
    mono.support = MIDICAPS_VOLUME | MIDICAPS_CACHE;
    VirtualDeviceInfo stereo;
    stereo.name = "Stereo";
    stereo.support = MIDICAPS_VOLUME | MIDICAPS_LRVOLUME | MIDICAPS_STREAM;
    service->CreateDevice(mono);
    service->CreateDevice(stereo);
    TMidiOutput port(nullptr);

    port.SetProductName("Mono");
    EXPECT_EQ(port.GetFeaturesAsSet(), (TFeatureSet{ftVolume, ftCaching}));
    EXPECT_TRUE(port.GetSupportsCaching());
    EXPECT_FALSE(port.GetSupportsLRVolCtrl());
    port.SetVolume(0x1111, 0x2222);
    std::uint32_t word = 0;
    service->midiOutGetVolume(port.DeviceID(), word);
    EXPECT_EQ(word, 0x11111111u);
    std::uint16_t a = 0, b = 0;
    port.GetVolume(a, b);
    EXPECT_EQ(a, 0x1111);
    EXPECT_EQ(b, 0x1111);

    port.SetProductName("Stereo");
    EXPECT_TRUE(port.GetSupportsStreaming());
    port.SetVolume(0x1111, 0x2222);
    port.GetVolume(a, b);
    EXPECT_EQ(a, 0x1111);
    EXPECT_EQ(b, 0x2222);
    EXPECT_EQ(port.GetVolume(), 0x1111);
    port.SetVolume(0x3333);
    port.GetVolume(a);
    EXPECT_EQ(a, 0x3333);

    port.SetProductName("DW-8000");
    EXPECT_EQ(ThrownText([&] { port.GetVolume(); }), ErrorText(MMSYSERR_NOTSUPPORTED));
    EXPECT_EQ(port.DriverMidiMessage(0x800, 0, 0), MMSYSERR_NOTSUPPORTED);
}

TEST_F(MidiOutputTest, CachingReportsByResultAndTextsFallBackToGeneric)
{
    TMidiOutput port(nullptr);
    TKeyPatchArray patches{};
    EXPECT_FALSE(port.CachePatches(0, patches, 0)); // not open
    EXPECT_EQ(port.MidiOutErrorString(port.Error(), ecCaching), "(Caching) The specified device handle is invalid.");
    ASSERT_TRUE(port.Open());
    EXPECT_FALSE(port.CacheDrumPatches(0, patches, 0));
    EXPECT_EQ(port.MidiOutErrorString(port.Error(), ecCaching),
              "(Caching) The specified device does not support patch caching.");

    EXPECT_EQ(port.MidiOutErrorString(5, ecGeneric), ErrorText(5));
    EXPECT_EQ(port.MidiOutErrorString(64, ecPutShort), ErrorText(64));
    EXPECT_EQ(port.MidiOutErrorString(12345, ecPutLong), "Specified error number is out of range");
}

TEST_F(MidiOutputTest, DoneNoticesAfterCloseStillReleaseCopies)
{
    service->SetWirePacing(true);
    TMidiOutput port(nullptr);
    int notices = 0;
    port.OnMidiOutput = [&](QObject *) { ++notices; };
    ASSERT_TRUE(port.Open());
    const Bytes dump = MakeSysex(57);
    port.PutLong(dump.data(), 57);
    EXPECT_TRUE(port.Close()); // the message still goes out first
    EXPECT_EQ(port.PendingLongMessages(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return notices == 1; }));
    EXPECT_EQ(port.PendingLongMessages(), 0u);
    EXPECT_EQ(SentBytes(), (std::vector<Bytes>{dump}));
}

TEST_F(MidiOutputTest, DestroyingAPortWithMessagesInFlightFreesThemAndNeverCallsBack)
{
    service->SetWirePacing(true);
    const long before = FixedBlock::LiveBlocks();
    int notices = 0;
    {
        TMidiOutput port(nullptr);
        port.OnMidiOutput = [&](QObject *) { ++notices; };
        ASSERT_TRUE(port.Open());
        const Bytes dump = MakeSysex(57);
        port.PutLong(dump.data(), 57);
        port.PutLong(dump.data(), 57);
    }
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(notices, 0);
    EXPECT_EQ(FixedBlock::LiveBlocks(), before);
    EXPECT_EQ(service->SentMessages().size(), 2u);
}

TEST_F(MidiOutputTest, OpenOnAnOpenPortKeepsTheDeviceAndItsNotices)
{
    TMidiOutput port(nullptr);
    int notices = 0;
    port.OnMidiOutput = [&](QObject *) { ++notices; };
    ASSERT_TRUE(port.Open());
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.State(), mosOpen);
    const Bytes dump = MakeSysex(57);
    port.PutLong(dump.data(), 57);
    ASSERT_TRUE(PumpUntil([&] { return notices == 1; }));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(synth->IsOutputOpen());
}

// With a stalled JACK server the send never returns, and Close waited for it
// on the UI thread for ever.
TEST_F(MidiOutputTest, HungDriverFailsTheCloseWithinTheLimitInsteadOfHanging)
{
    service->SetDriverWaitLimit(std::chrono::milliseconds(200));
    TMidiOutput port(nullptr);
    int notices = 0;
    port.OnMidiOutput = [&](QObject *) { ++notices; };
    ASSERT_TRUE(port.Open());
    synth->SetSendsBlocked(true);
    const Bytes dump = MakeSysex(57);
    port.PutLong(dump.data(), 57);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(ThrownText([&] { port.Close(); }), ErrorText(MIDIERR_NOTREADY));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(port.State(), mosOpen);
    EXPECT_EQ(port.Error(), MIDIERR_NOTREADY);

    synth->SetSendsBlocked(false); // the server comes back: the next try closes
    ASSERT_TRUE(PumpUntil([&] { return notices == 1; }));
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(synth->IsOutputOpen());
    EXPECT_EQ(SentBytes(), (std::vector<Bytes>{dump}));
}

// The port leaves its callback context to a driver that would not close,
// but the context still led to the port's window, which was destroyed: the
// done notice that came later was posted into freed memory.
TEST_F(MidiOutputTest, PortDestroyedAfterAFailedCloseNeverPostsToItsGoneWindow)
{
    int notices = 0;
    {
        TMidiOutput port(nullptr);
        port.OnMidiOutput = [&](QObject *) { ++notices; };
        ASSERT_TRUE(port.Open());
        synth->SetSendsBlocked(true);
        const Bytes dump = MakeSysex(57);
        port.PutLong(dump.data(), 57);
        service->InjectFault(MidiCall::OutClose, MMSYSERR_ERROR);
    }
    synth->SetSendsBlocked(false);
    ASSERT_TRUE(service->WaitForSent(1, std::chrono::seconds(3)));
    // Ending the service joins the delivery thread, so its done notice has
    // been handed to the callback by then.
    platform::SetCurrentMidiService(nullptr);
    service.reset();
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(notices, 0);
    EXPECT_FALSE(synth->IsOutputOpen());
}
