#pragma once
// RtMidi's errors as the service's result codes, and an output device
// through an RtMidi output object.
//
// With an error callback installed RtMidi never throws after construction:
// a failed call (ALSA's failed send among them) only calls the callback. So
// each RtMidi object gets its own RtMidiErrorLatch as its callback, and the
// code that made a call takes the latch's result right after it.
//
// Threads: Report runs on the thread of the failing RtMidi call; Take on the
// thread that made it. RtOutputSink is an OutputSink (see BasicMidiService.h).

#include "platform/BasicMidiService.h"

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace platform {

class RtMidiErrorLatch {
public:
    // RtMidi's error callback; `latch` is the RtMidiErrorLatch. The first
    // error since the last Take is kept; debug warnings are not errors.
    static void Report(RtMidiError::Type type, const std::string &, void *latch)
    {
        if (type == RtMidiError::DEBUG_WARNING || !latch)
            return;
        MMRESULT none = MMSYSERR_NOERROR;
        static_cast<RtMidiErrorLatch *>(latch)->code_.compare_exchange_strong(none, Code(type),
                                                                             std::memory_order_acq_rel);
    }

    // The code of the error reported since the last Take, or success.
    MMRESULT Take() noexcept { return code_.exchange(MMSYSERR_NOERROR, std::memory_order_acq_rel); }

    static MMRESULT Code(RtMidiError::Type type) noexcept
    {
        switch (type) {
        case RtMidiError::DEBUG_WARNING: return MMSYSERR_NOERROR;
        case RtMidiError::NO_DEVICES_FOUND: return MIDIERR_NODEVICE;
        case RtMidiError::INVALID_DEVICE: return MMSYSERR_BADDEVICEID;
        case RtMidiError::MEMORY_ERROR: return MMSYSERR_NOMEM;
        case RtMidiError::INVALID_PARAMETER:
        case RtMidiError::INVALID_USE: return MMSYSERR_INVALPARAM;
        default: return MMSYSERR_ERROR;
        }
    }

private:
    std::atomic<MMRESULT> code_{MMSYSERR_NOERROR};
};

// `Out` is RtMidiOut or a stand-in with its sendMessage, closePort and
// setErrorCallback.
template <typename Out>
class RtOutputSink : public OutputSink {
public:
    // `out` is open and reports its errors to `errors`; `listed` tells
    // whether the device is still listed by its system. `closeGrace`: how
    // long the closed port is kept before the object goes (see below).
    RtOutputSink(std::unique_ptr<RtMidiErrorLatch> errors, std::unique_ptr<Out> out, std::function<bool()> listed,
                 std::chrono::milliseconds closeGrace = {})
        : errors_(std::move(errors)), out_(std::move(out)), listed_(std::move(listed)), closeGrace_(closeGrace)
    {
    }
    // A port whose system has gone away may fail to close; nobody is left to
    // tell. RtMidi's JACK output frees its ring before it stops the client's
    // process thread, so a cycle that began before the port closed could
    // still read the freed ring: the grace lets such a cycle end first (runs
    // on the delivery thread, within the time Close waits).
    ~RtOutputSink() override
    {
        out_->closePort();
        if (closeGrace_.count() > 0)
            std::this_thread::sleep_for(closeGrace_);
    }

    // The server drops our connection when the device's port closes; one that
    // comes back under the same name is a new port, reached only by opening
    // it again. Listing the ports costs a server round trip, so it is looked
    // at no more than every 100 ms.
    bool Present() override
    {
        const auto now = std::chrono::steady_clock::now();
        if (present_ && now >= nextCheck_) {
            present_ = !listed_ || listed_();
            nextCheck_ = now + std::chrono::milliseconds(100);
        }
        return present_;
    }

    // RtMidi's sends do not wait (ALSA's output is opened non-blocking,
    // JACK's is a ring its process thread empties), so MayBlock stays false.
    MMRESULT Transmit(const std::uint8_t *bytes, std::size_t count, bool) override
    {
        out_->sendMessage(bytes, count);
        return errors_->Take();
    }

private:
    std::unique_ptr<RtMidiErrorLatch> errors_; // first: outlives the object that reports to it
    std::unique_ptr<Out> out_;
    std::function<bool()> listed_;
    std::chrono::milliseconds closeGrace_;
    bool present_ = true;
    std::chrono::steady_clock::time_point nextCheck_{};
};

} // namespace platform
