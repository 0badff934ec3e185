// RtMidi's errors reach the service's callers as result codes. ALSA cannot
// run here and JACK never reports a failed send, so a stand-in with RtMidi's
// output calls plays the failing driver.

#include "platform/RtMidiSink.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

using namespace platform;

namespace {

// What the stand-in's device received, whether its next send fails, and
// whether sends wait (so that the test can queue behind one).
struct FakeWire {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::vector<std::uint8_t>> sent;
    bool failNext = false;
    bool hold = false;
    bool closed = false;
    int done = 0; // MOM_DONE notices

    void Set(bool FakeWire::*flag, bool value)
    {
        std::lock_guard<std::mutex> lock(mutex);
        this->*flag = value;
        changed.notify_all();
    }
    bool WaitForDone(int n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(3), [&] { return done >= n; });
    }
    bool WaitForSent(std::size_t n)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(3), [&] { return sent.size() >= n; });
    }
    static void Callback(void *, std::uint32_t msg, std::uintptr_t instance, std::uintptr_t, std::uintptr_t)
    {
        auto *wire = reinterpret_cast<FakeWire *>(instance);
        std::lock_guard<std::mutex> lock(wire->mutex);
        wire->done += msg == MOM_DONE;
        wire->changed.notify_all();
    }
};

// RtMidiOut's calls as the sink makes them; a failed send only reports to
// the error callback, as RtMidi's ALSA output does.
class FakeRtOut {
public:
    explicit FakeRtOut(FakeWire &wire) : wire_(wire) {}
    void setErrorCallback(RtMidiErrorCallback callback, void *userData)
    {
        callback_ = callback;
        userData_ = userData;
    }
    void sendMessage(const unsigned char *bytes, std::size_t size)
    {
        bool fail;
        {
            std::unique_lock<std::mutex> lock(wire_.mutex);
            wire_.changed.wait(lock, [&] { return !wire_.hold; });
            fail = std::exchange(wire_.failNext, false);
            if (!fail)
                wire_.sent.emplace_back(bytes, bytes + size);
            wire_.changed.notify_all();
        }
        if (fail && callback_)
            callback_(RtMidiError::WARNING, "MidiOutAlsa::sendMessage: error sending MIDI message to port.", userData_);
    }
    void closePort()
    {
        std::lock_guard<std::mutex> lock(wire_.mutex);
        wire_.closed = true;
    }

private:
    FakeWire &wire_;
    RtMidiErrorCallback callback_ = nullptr;
    void *userData_ = nullptr;
};

// One output device reached through the stand-in.
class FakeRtService : public BasicMidiService {
public:
    ~FakeRtService() override { CloseAll(); }
    FakeWire wire;

protected:
    std::uint32_t InputDeviceCount() override { return 0; }
    MMRESULT InputCaps(std::uint32_t, MIDIINCAPS &) override { return MMSYSERR_BADDEVICEID; }
    MMRESULT ConnectInput(std::uint32_t, const std::shared_ptr<InputEndpoint> &, std::unique_ptr<InputLink> &) override
    {
        return MMSYSERR_BADDEVICEID;
    }
    std::uint32_t OutputDeviceCount() override { return 1; }
    MMRESULT OutputCaps(std::uint32_t, MIDIOUTCAPS &caps) override
    {
        caps = MIDIOUTCAPS{};
        caps.szPname = "Fake";
        return MMSYSERR_NOERROR;
    }
    MMRESULT ConnectOutput(std::uint32_t, std::unique_ptr<OutputSink> &sink) override
    {
        auto errors = std::make_unique<RtMidiErrorLatch>();
        auto out = std::make_unique<FakeRtOut>(wire);
        out->setErrorCallback(&RtMidiErrorLatch::Report, errors.get());
        sink = std::make_unique<RtOutputSink<FakeRtOut>>(std::move(errors), std::move(out), nullptr);
        return MMSYSERR_NOERROR;
    }
};

} // namespace

// With RtMidi's error callback installed nothing throws, so a send that ALSA
// refused was lost while every call reported success.
TEST(RtMidiSink, SendThatRtMidiReportsFailedFailsTheNextCallInsteadOfPassingForSuccess)
{
    FakeRtService service;
    FakeWire &wire = service.wire;
    HMIDIOUT out = nullptr;
    ASSERT_EQ(service.midiOutOpen(out, 0, &FakeWire::Callback, reinterpret_cast<std::uintptr_t>(&wire),
                                  CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<std::uint8_t> dump{0xF0, 0x42, 0x30, 0x03, 0xF7};
    MIDIHDR header{};
    header.lpData = dump.data();
    header.dwBufferLength = std::uint32_t(dump.size());
    ASSERT_EQ(service.midiOutPrepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);

    // Paced, every message goes through the delivery thread. A short message
    // fails on the wire; the dump queued behind it says when the delivery
    // thread is past it.
    service.SetWirePacing(true);
    wire.Set(&FakeWire::hold, true);
    wire.Set(&FakeWire::failNext, true);
    ASSERT_EQ(service.midiOutShortMsg(out, 0x6407B0), MMSYSERR_NOERROR);
    ASSERT_EQ(service.midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    wire.Set(&FakeWire::hold, false);
    ASSERT_TRUE(wire.WaitForDone(1));
    EXPECT_EQ(service.midiOutShortMsg(out, 0x6507B0), MMSYSERR_ERROR);
    EXPECT_EQ(service.midiOutShortMsg(out, 0x6607B0), MMSYSERR_NOERROR) << "one failure, reported once";

    // A long message that fails is reported the same way.
    ASSERT_TRUE(wire.WaitForSent(2));
    wire.Set(&FakeWire::failNext, true);
    ASSERT_EQ(service.midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    ASSERT_TRUE(wire.WaitForDone(2));
    EXPECT_EQ(service.midiOutLongMsg(out, &header, sizeof header), MMSYSERR_ERROR);

    // Unpaced and idle, a message is sent within its call, which then fails
    // itself; a long one that failed is not queued and gets no done notice.
    service.SetWirePacing(false);
    wire.Set(&FakeWire::failNext, true);
    EXPECT_EQ(service.midiOutShortMsg(out, 0x6707B0), MMSYSERR_ERROR);
    wire.Set(&FakeWire::failNext, true);
    EXPECT_EQ(service.midiOutLongMsg(out, &header, sizeof header), MMSYSERR_ERROR);
    EXPECT_EQ(service.midiOutUnprepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(service.midiOutShortMsg(out, 0x6807B0), MMSYSERR_NOERROR) << "each failure reported once";

    EXPECT_EQ(service.midiOutClose(out), MMSYSERR_NOERROR);
    std::lock_guard<std::mutex> lock(wire.mutex);
    EXPECT_TRUE(wire.closed);
    EXPECT_EQ(wire.done, 2);
    EXPECT_EQ(wire.sent, (std::vector<std::vector<std::uint8_t>>{dump, {0xB0, 0x07, 0x66}, {0xB0, 0x07, 0x68}}));
}

TEST(RtMidiSink, ErrorLatchKeepsTheFirstErrorUntilTakenAndIgnoresDebugWarnings)
{
    RtMidiErrorLatch latch;
    RtMidiErrorLatch::Report(RtMidiError::DEBUG_WARNING, "", &latch);
    EXPECT_EQ(latch.Take(), MMSYSERR_NOERROR);
    RtMidiErrorLatch::Report(RtMidiError::MEMORY_ERROR, "", &latch);
    RtMidiErrorLatch::Report(RtMidiError::DRIVER_ERROR, "", &latch);
    EXPECT_EQ(latch.Take(), MMSYSERR_NOMEM);
    EXPECT_EQ(latch.Take(), MMSYSERR_NOERROR);
    EXPECT_EQ(RtMidiErrorLatch::Code(RtMidiError::NO_DEVICES_FOUND), MIDIERR_NODEVICE);
    EXPECT_EQ(RtMidiErrorLatch::Code(RtMidiError::INVALID_DEVICE), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(RtMidiErrorLatch::Code(RtMidiError::WARNING), MMSYSERR_ERROR);
}
