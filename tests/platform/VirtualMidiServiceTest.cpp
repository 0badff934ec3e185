#include "platform/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;

namespace {
struct Notice {
    std::uint32_t msg;
    std::uintptr_t p1;
    std::uintptr_t p2;
    std::thread::id thread;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Notice> notices;
    static void Callback(void *, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t p1, std::uintptr_t p2)
    {
        auto *self = reinterpret_cast<Recorder *>(instance);
        std::lock_guard<std::mutex> lock(self->mutex);
        self->notices.push_back(Notice{msg, p1, p2, std::this_thread::get_id()});
    }
    std::vector<Notice> Take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return std::exchange(notices, {});
    }
};

struct Buffer {
    std::vector<std::uint8_t> data;
    MIDIHDR header{};
    explicit Buffer(std::uint32_t size) : data(size)
    {
        header.lpData = data.data();
        header.dwBufferLength = size;
    }
};

std::vector<std::uint8_t> Sysex(std::size_t size)
{
    std::vector<std::uint8_t> m(size);
    m.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < size; ++i)
        m[i] = std::uint8_t(i & 0x7F);
    m.back() = 0xF7;
    return m;
}

class VirtualInput : public ::testing::Test {
protected:
    void SetUp() override
    {
        device = service.CreateDevice("Synth", true, true);
        ASSERT_EQ(service.midiInOpen(handle, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder),
                                     CALLBACK_FUNCTION),
                  MMSYSERR_NOERROR);
    }
    void Queue(Buffer &b)
    {
        ASSERT_EQ(service.midiInPrepareHeader(handle, &b.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(service.midiInAddBuffer(handle, &b.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    VirtualMidiService service;
    std::shared_ptr<VirtualMidiDevice> device;
    Recorder recorder;
    HMIDIIN handle = nullptr;
};
} // namespace

TEST_F(VirtualInput, NothingArrivesBeforeStartAndTimesCountFromStart)
{
    device->InjectShort(0x90, 60, 100);
    EXPECT_TRUE(recorder.Take().empty());
    ASSERT_EQ(service.midiInStart(handle), MMSYSERR_NOERROR);
    device->InjectShort(0xB0, 7, 100);
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, MIM_DATA);
    EXPECT_EQ(notices[0].p1, 0x6407B0u);
    EXPECT_LT(notices[0].p2, 1000u);
}

TEST_F(VirtualInput, LongSysexFillsBuffersInOrderAndTheRestIsLost)
{
    Buffer a(4096), b(4096);
    Queue(a);
    Queue(b);
    service.midiInStart(handle);
    const auto message = Sysex(6000);
    device->InjectSysex(message);
    auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(notices[0].p1, reinterpret_cast<std::uintptr_t>(&a.header));
    EXPECT_EQ(a.header.dwBytesRecorded, 4096u);
    EXPECT_EQ(b.header.dwBytesRecorded, 1904u);
    EXPECT_TRUE(std::equal(message.begin(), message.begin() + 4096, a.data.begin()));
    EXPECT_TRUE(std::equal(message.begin() + 4096, message.end(), b.data.begin()));

    // No buffer queued now: the whole next message is lost, and a short
    // message after it still arrives.
    device->InjectSysex(Sysex(10));
    device->InjectShort(0xC0, 5);
    notices = recorder.Take();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, MIM_DATA);
}

TEST_F(VirtualInput, RealTimeInsideSysexArrivesAsShortAndCutOffSysexIsLongError)
{
    Buffer a(64), b(64);
    Queue(a);
    Queue(b);
    service.midiInStart(handle);
    const std::vector<std::uint8_t> cut{0xF0, 0x42, 0xF8, 0x30};
    device->InjectSysex(cut);
    device->InjectSysex(std::vector<std::uint8_t>{0xF0, 0x01, 0xF7});
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].msg, MIM_DATA);
    EXPECT_EQ(notices[0].p1, 0xF8u);
    EXPECT_EQ(notices[1].msg, MIM_LONGERROR);
    EXPECT_EQ(a.header.dwBytesRecorded, 3u);
    EXPECT_EQ(notices[2].msg, MIM_LONGDATA);
    EXPECT_EQ(b.header.dwBytesRecorded, 3u);
}

TEST_F(VirtualInput, ResetReturnsEveryQueuedBufferEmptyAndCloseNeedsIt)
{
    Buffer a(16), b(16);
    Queue(a);
    Queue(b);
    service.midiInStart(handle);
    device->InjectSysex(std::vector<std::uint8_t>{0xF0, 0x01}); // partly filled
    EXPECT_EQ(service.midiInClose(handle), MIDIERR_STILLPLAYING);
    EXPECT_EQ(service.midiInUnprepareHeader(handle, &a.header, sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
    ASSERT_EQ(service.midiInReset(handle), MMSYSERR_NOERROR);
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 2u);
    for (const auto &n : notices)
        EXPECT_EQ(n.msg, MIM_LONGDATA);
    EXPECT_EQ(a.header.dwBytesRecorded, 0u);
    EXPECT_EQ(service.midiInUnprepareHeader(handle, &a.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(service.midiInClose(handle), MMSYSERR_NOERROR);
    device->InjectShort(0x90, 1, 1);
    EXPECT_TRUE(recorder.Take().empty());
    EXPECT_EQ(service.midiInStart(handle), MMSYSERR_INVALHANDLE);
}

TEST_F(VirtualInput, OpenIsExclusiveAndBuffersMustBePrepared)
{
    HMIDIIN second = nullptr;
    EXPECT_EQ(service.midiInOpen(second, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_ALLOCATED);
    EXPECT_EQ(service.midiInOpen(second, 1, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_BADDEVICEID);
    Buffer a(8);
    EXPECT_EQ(service.midiInAddBuffer(handle, &a.header, sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
    Buffer empty(0);
    EXPECT_EQ(service.midiInPrepareHeader(handle, &empty.header, sizeof(MIDIHDR)), MMSYSERR_INVALPARAM);
}

// A controller message carrying a byte of 0x80 or more (a corrupt stream)
// reached the editor, which sent that byte on inside a parameter change.
TEST_F(VirtualInput, ShortMessageWithAStatusByteAsDataIsDroppedAndCounted)
{
    service.midiInStart(handle);
    device->InjectShort(0xB0, 0x23, 0xC8); // the value byte
    device->InjectShort(0xB0, 0x80, 0x10); // the controller byte
    device->InjectShort(0x23, 0x40);       // no status at all
    device->InjectShort(0xF0, 0x42);       // sysex is not a short message
    device->InjectShort(0xC0, 0x05, 0x99); // the third byte is not part of it
    device->InjectShort(0xF8, 0x80, 0x80); // nor are these, of a real-time byte
    device->InjectShort(0xB0, 0x23, 0x7F);
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].p1, 0x05C0u);
    EXPECT_EQ(notices[1].p1, 0xF8u);
    EXPECT_EQ(notices[2].p1, 0x7F23B0u);
    EXPECT_EQ(service.DroppedShortMessages(), 4u);
}

// The form the real devices' input thread hands over: the bytes as they came.
TEST(InputEndpointShort, WireMessageOfTheWrongLengthOrWithAStatusByteAsDataIsDroppedAndCounted)
{
    Recorder recorder;
    const auto dropped = std::make_shared<std::atomic<std::uint64_t>>(0);
    InputEndpoint endpoint(nullptr, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder), dropped);
    const std::vector<std::uint8_t> noteOn{0x90, 0x40, 0x7F};
    endpoint.DeliverShort(noteOn.data(), noteOn.size());
    EXPECT_TRUE(recorder.Take().empty()) << "nothing before Start";
    EXPECT_EQ(dropped->load(), 0u);

    endpoint.Start();
    const std::vector<std::vector<std::uint8_t>> bad{
        {0x90, 0x40}, {0xC0, 0x05, 0x00}, {0xB0, 0x23, 0xC8}, {0xE0, 0xFF, 0x10}, {0x40, 0x01, 0x02}};
    for (const auto &m : bad)
        endpoint.DeliverShort(m.data(), m.size());
    const std::vector<std::uint8_t> program{0xC0, 0x05};
    const std::vector<std::uint8_t> clock{0xF8};
    endpoint.DeliverShort(noteOn.data(), noteOn.size());
    endpoint.DeliverShort(program.data(), program.size());
    endpoint.DeliverShort(clock.data(), clock.size());
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[0].p1, 0x7F4090u);
    EXPECT_EQ(notices[1].p1, 0x05C0u);
    EXPECT_EQ(notices[2].p1, 0xF8u);
    EXPECT_EQ(dropped->load(), bad.size());
}

TEST(VirtualService, FaultsSkipThenFailTheChosenTimes)
{
    VirtualMidiService service;
    service.CreateDevice("A");
    service.InjectFault(MidiCall::InCaps, MMSYSERR_NOMEM, 2, 1);
    MIDIINCAPS caps;
    EXPECT_EQ(service.midiInGetDevCaps(0, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.szPname, "A");
    EXPECT_EQ(service.midiInGetDevCaps(0, caps), MMSYSERR_NOMEM);
    EXPECT_EQ(service.midiInGetDevCaps(0, caps), MMSYSERR_NOMEM);
    EXPECT_EQ(service.midiInGetDevCaps(0, caps), MMSYSERR_NOERROR);
}

TEST(VirtualService, DevicesAppearPerDirectionAndTheMapperPlaysOnDeviceZero)
{
    VirtualMidiService service;
    MIDIOUTCAPS caps;
    ASSERT_EQ(service.midiOutGetDevCaps(MIDI_MAPPER, caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wTechnology, MOD_MAPPER);
    HMIDIOUT out = nullptr;
    EXPECT_EQ(service.midiOutOpen(out, MIDI_MAPPER, nullptr, 0, CALLBACK_FUNCTION), MIDIERR_NODEVICE);

    service.CreateDevice("In only", true, false);
    auto synth = service.CreateDevice("Out only", false, true);
    EXPECT_EQ(service.midiInGetNumDevs(), 1u);
    EXPECT_EQ(service.midiOutGetNumDevs(), 1u);
    ASSERT_EQ(service.midiOutOpen(out, MIDI_MAPPER, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    EXPECT_TRUE(synth->IsOutputOpen());
    EXPECT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_FALSE(synth->IsOutputOpen());
}

TEST(VirtualService, OutputIsOrderedRecordedAndDoneComesFromAnotherThread)
{
    VirtualMidiService service;
    auto device = service.CreateDevice("Synth");
    std::vector<SentMessage> received;
    std::mutex receivedMutex;
    device->SetReceiver([&](const SentMessage &m) {
        std::lock_guard<std::mutex> lock(receivedMutex);
        received.push_back(m);
    });
    Recorder recorder;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder),
                                  CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    Buffer dump(57);
    dump.data = Sysex(57);
    dump.header.lpData = dump.data.data();
    EXPECT_EQ(service.midiOutLongMsg(out, &dump.header, sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
    ASSERT_EQ(service.midiOutPrepareHeader(out, &dump.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutShortMsg(out, 0x6407B2), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutLongMsg(out, &dump.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutShortMsg(out, 0x05C3), MMSYSERR_NOERROR);
    EXPECT_EQ(service.midiOutShortMsg(out, 0x05), MIDIERR_BADOPENMODE);
    // Close sends what is queued first.
    ASSERT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);

    const auto sent = service.SentMessages();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].bytes, (std::vector<std::uint8_t>{0xB2, 0x07, 0x64}));
    EXPECT_TRUE(sent[1].isLong);
    EXPECT_EQ(sent[1].bytes, dump.data);
    EXPECT_EQ(sent[2].bytes, (std::vector<std::uint8_t>{0xC3, 0x05}));
    EXPECT_LE(sent[0].time, sent[2].time);
    EXPECT_EQ(received.size(), 3u);

    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, MOM_DONE);
    EXPECT_EQ(notices[0].p1, reinterpret_cast<std::uintptr_t>(&dump.header));
    EXPECT_NE(notices[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(dump.header.dwFlags & MHDR_DONE);
}

TEST(VirtualService, WirePacingTakes320MicrosecondsAByte)
{
    VirtualMidiService service;
    service.CreateDevice("Synth");
    service.SetWirePacing(true);
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    Buffer message(100);
    message.data = Sysex(100);
    message.header.lpData = message.data.data();
    service.midiOutPrepareHeader(out, &message.header, sizeof(MIDIHDR));
    const auto start = std::chrono::steady_clock::now();
    service.midiOutLongMsg(out, &message.header, sizeof(MIDIHDR));
    ASSERT_TRUE(service.WaitForSent(1, std::chrono::seconds(2)));
    EXPECT_GE(service.SentMessages()[0].time - start, std::chrono::microseconds(32000));
    service.midiOutClose(out);
}

TEST(VirtualService, VolumeOnlyWhereTheDeviceHasIt)
{
    VirtualMidiService service;
    VirtualDeviceInfo info;
    info.name = "Synth";
    info.support = MIDICAPS_VOLUME | MIDICAPS_LRVOLUME;
    service.CreateDevice(info);
    service.CreateDevice("Plain");
    std::uint32_t volume = 0;
    EXPECT_EQ(service.midiOutSetVolume(0, 0x12345678), MMSYSERR_NOERROR);
    EXPECT_EQ(service.midiOutGetVolume(0, volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x12345678u);
    EXPECT_EQ(service.midiOutGetVolume(1, volume), MMSYSERR_NOTSUPPORTED);
}

TEST(VirtualService, ErrorTextIsCutToTheCallersBuffer)
{
    VirtualMidiService service;
    char tiny[4];
    EXPECT_EQ(service.midiOutGetErrorText(MMSYSERR_ERROR, tiny, sizeof tiny), MMSYSERR_NOERROR);
    EXPECT_EQ(std::strlen(tiny), 3u);
    EXPECT_EQ(service.midiInGetErrorText(999, tiny, sizeof tiny), MMSYSERR_BADERRNUM);
}

TEST(VirtualService, DeviceOutlivingItsServiceInjectsIntoNothing)
{
    std::shared_ptr<VirtualMidiDevice> device;
    Recorder recorder;
    {
        VirtualMidiService service;
        service.SetWirePacing(true);
        device = service.CreateDevice("Synth");
        HMIDIIN in = nullptr;
        service.midiInOpen(in, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder), CALLBACK_FUNCTION);
        service.midiInStart(in);
    } // closes what is still open
    device->InjectShort(0x90, 1, 1);
    device->InjectSysex(std::vector<std::uint8_t>{0xF0, 0xF7});
    EXPECT_FALSE(device->IsInputOpen());
    EXPECT_TRUE(recorder.Take().empty());
}

// With a stalled JACK server a send never returns, and closing the output
// waited for it on the UI thread for ever.
TEST(VirtualService, CloseOfAnOutputWhoseSendDoesNotReturnFailsWithinTheLimitAndCanBeTriedAgain)
{
    VirtualMidiService service;
    auto device = service.CreateDevice("Synth");
    service.SetDriverWaitLimit(std::chrono::milliseconds(100));
    EXPECT_EQ(VirtualMidiService().DriverWaitLimit(), kDriverWaitLimit);
    Recorder recorder;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder),
                                  CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    device->SetSendsBlocked(true);
    Buffer dump(57);
    dump.data = Sysex(57);
    dump.header.lpData = dump.data.data();
    service.midiOutPrepareHeader(out, &dump.header, sizeof(MIDIHDR));
    ASSERT_EQ(service.midiOutLongMsg(out, &dump.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(service.midiOutClose(out), MIDIERR_NOTREADY);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_LT(waited, std::chrono::seconds(2));
    EXPECT_TRUE(device->IsOutputOpen());
    EXPECT_EQ(service.midiOutShortMsg(out, 0x6407B0), MIDIERR_NODEVICE) << "a port being let go takes nothing new";

    device->SetSendsBlocked(false);
    EXPECT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);
    EXPECT_FALSE(device->IsOutputOpen());
    ASSERT_EQ(service.SentMessages().size(), 1u);
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].msg, MOM_DONE);
}

TEST(VirtualService, ServiceEndingWhileASendIsBlockedLetsItFinishAndShutsDown)
{
    std::shared_ptr<VirtualMidiDevice> device;
    Recorder recorder;
    {
        VirtualMidiService service;
        service.SetDriverWaitLimit(std::chrono::milliseconds(50));
        device = service.CreateDevice("Synth");
        HMIDIOUT out = nullptr;
        service.midiOutOpen(out, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder),
                            CALLBACK_FUNCTION);
        device->SetSendsBlocked(true);
        service.midiOutShortMsg(out, 0x6407B0);
        EXPECT_EQ(service.midiOutClose(out), MIDIERR_NOTREADY);
    }
    EXPECT_FALSE(device->IsOutputOpen());
}

// A message sent while an earlier one still waits on the delivery thread (a
// paced or stalled backlog) must not overtake it on the caller's thread.
TEST(VirtualService, OutputAndDoneNoticesKeepTheirOrderAcrossDirectAndQueuedSends)
{
    VirtualMidiService service;
    auto device = service.CreateDevice("Synth");
    std::vector<std::pair<std::vector<std::uint8_t>, std::thread::id>> received;
    std::mutex receivedMutex;
    device->SetReceiver([&](const SentMessage &m) {
        std::lock_guard<std::mutex> lock(receivedMutex);
        received.emplace_back(m.bytes, std::this_thread::get_id());
    });
    Recorder recorder;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &Recorder::Callback, reinterpret_cast<std::uintptr_t>(&recorder),
                                  CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::deque<Buffer> longs; // stays put while it grows at the end
    std::vector<std::vector<std::uint8_t>> expected;
    const auto send = [&] {
        const auto n = std::uint8_t(expected.size() & 0x7F);
        if (n % 3 == 1) {
            longs.emplace_back(4);
            Buffer &b = longs.back();
            b.data = {0xF0, 0x7D, n, 0xF7};
            b.header.lpData = b.data.data();
            ASSERT_EQ(service.midiOutPrepareHeader(out, &b.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
            ASSERT_EQ(service.midiOutLongMsg(out, &b.header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
            expected.push_back(b.data);
        } else {
            ASSERT_EQ(service.midiOutShortMsg(out, 0xB0u | (std::uint32_t(n) << 8)), MMSYSERR_NOERROR);
            expected.push_back({0xB0, n, 0});
        }
    };
    for (int round = 0; round < 24; ++round) {
        const bool stall = round % 2 == 1;
        stall ? device->SetSendsBlocked(true) : service.SetWirePacing(true);
        for (int i = 0; i <= round % 3; ++i)
            send();
        stall ? device->SetSendsBlocked(false) : service.SetWirePacing(false);
        send(); // behind the backlog
        ASSERT_TRUE(service.WaitForSent(expected.size(), std::chrono::seconds(3)));
        std::this_thread::sleep_for(std::chrono::milliseconds(2)); // the delivery thread goes idle
        send();
        send();
    }
    ASSERT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);

    std::vector<std::vector<std::uint8_t>> bytes;
    for (const auto &r : received)
        bytes.push_back(r.first);
    EXPECT_EQ(bytes, expected);
    const auto notices = recorder.Take();
    ASSERT_EQ(notices.size(), longs.size());
    for (std::size_t i = 0; i < longs.size(); ++i) {
        EXPECT_EQ(notices[i].p1, reinterpret_cast<std::uintptr_t>(&longs[i].header));
        EXPECT_NE(notices[i].thread, std::this_thread::get_id()) << "a done notice came within the call";
    }
    const auto direct = std::count_if(received.begin(), received.end(),
                                      [](const auto &r) { return r.second == std::this_thread::get_id(); });
    EXPECT_GT(direct, 0) << "nothing went to the driver on the caller's thread";
    EXPECT_LT(direct, std::ptrdiff_t(received.size())) << "nothing went through the delivery thread";
}
