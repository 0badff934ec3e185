// The input port's GetMidiEvent over any sequence of driver deliveries:
// short messages, sysex buffers handed back with any recorded length (up to
// their size), driver flushes, resets, refused re-queues, and the message
// loop running the port's notices. The driver is a scripted MidiService.

#include "midi/MidiIn.h"

#include <QCoreApplication>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <deque>

using namespace platform;

namespace {

// One input device whose deliveries the fuzzer chooses.
class ScriptedDriver : public MidiService {
public:
    std::uint32_t midiInGetNumDevs() override { return 1; }
    MMRESULT midiInGetDevCaps(std::uint32_t id, MIDIINCAPS &caps) override
    {
        if (id != 0)
            return MMSYSERR_BADDEVICEID;
        caps.szPname = "scripted";
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInOpen(HMIDIIN &handle, std::uint32_t, MidiCallback cb, std::uintptr_t inst, std::uint32_t) override
    {
        if (open)
            return MMSYSERR_ALLOCATED;
        open = true;
        callback = cb;
        instance = inst;
        handle = reinterpret_cast<HMIDIIN>(std::uintptr_t(1));
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInPrepareHeader(HMIDIIN, MIDIHDR *h, std::uint32_t) override
    {
        if (failNext) {
            failNext = false;
            return MMSYSERR_NOMEM;
        }
        h->dwFlags |= MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInUnprepareHeader(HMIDIIN, MIDIHDR *h, std::uint32_t) override
    {
        for (const MIDIHDR *q : queue) {
            if (q == h)
                return MIDIERR_STILLPLAYING;
        }
        h->dwFlags &= ~MHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInAddBuffer(HMIDIIN, MIDIHDR *h, std::uint32_t) override
    {
        if (!(h->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        for (const MIDIHDR *q : queue) {
            if (q == h)
                std::abort(); // queued twice: the port lost track of its buffers
        }
        queue.push_back(h);
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInStart(HMIDIIN) override { started = true; return MMSYSERR_NOERROR; }
    MMRESULT midiInStop(HMIDIIN) override { started = false; return MMSYSERR_NOERROR; }
    MMRESULT midiInReset(HMIDIIN) override
    {
        started = false;
        ReturnAll();
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInClose(HMIDIIN) override
    {
        if (!queue.empty())
            return MIDIERR_STILLPLAYING;
        open = false;
        callback = nullptr;
        return MMSYSERR_NOERROR;
    }
    MMRESULT midiInGetErrorText(MMRESULT code, char *text, std::uint32_t size) override
    {
        return CopyMidiResultText(code, text, size);
    }

    std::uint32_t midiOutGetNumDevs() override { return 0; }
    MMRESULT midiOutGetDevCaps(std::uint32_t, MIDIOUTCAPS &) override { return MMSYSERR_BADDEVICEID; }
    MMRESULT midiOutOpen(HMIDIOUT &, std::uint32_t, MidiCallback, std::uintptr_t, std::uint32_t) override
    {
        return MMSYSERR_BADDEVICEID;
    }
    MMRESULT midiOutShortMsg(HMIDIOUT, std::uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiOutPrepareHeader(HMIDIOUT, MIDIHDR *, std::uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiOutUnprepareHeader(HMIDIOUT, MIDIHDR *, std::uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiOutLongMsg(HMIDIOUT, MIDIHDR *, std::uint32_t) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiOutClose(HMIDIOUT) override { return MMSYSERR_INVALHANDLE; }
    MMRESULT midiOutGetErrorText(MMRESULT code, char *text, std::uint32_t size) override
    {
        return CopyMidiResultText(code, text, size);
    }
    MMRESULT midiOutGetVolume(std::uint32_t, std::uint32_t &) override { return MMSYSERR_NOTSUPPORTED; }
    MMRESULT midiOutSetVolume(std::uint32_t, std::uint32_t) override { return MMSYSERR_NOTSUPPORTED; }
    MMRESULT midiOutMessage(std::uint32_t, std::uint32_t, std::uintptr_t, std::uintptr_t) override
    {
        return MMSYSERR_NOTSUPPORTED;
    }
    MMRESULT midiOutCachePatches(HMIDIOUT, std::uint32_t, std::uint16_t *, std::uint32_t) override
    {
        return MMSYSERR_NOTSUPPORTED;
    }
    MMRESULT midiOutCacheDrumPatches(HMIDIOUT, std::uint32_t, std::uint16_t *, std::uint32_t) override
    {
        return MMSYSERR_NOTSUPPORTED;
    }

    // Driver side.
    void Short(std::uint32_t packed)
    {
        if (open && started)
            callback(nullptr, MIM_DATA, instance, packed, ++time);
    }
    // The first queued buffer comes back holding `recorded` bytes of `fill`.
    void Long(std::uint32_t recorded, std::uint8_t fill, bool error)
    {
        if (!open || !started || queue.empty())
            return;
        MIDIHDR *h = queue.front();
        queue.pop_front();
        h->dwBytesRecorded = std::min(recorded, h->dwBufferLength);
        std::memset(h->lpData, fill, h->dwBytesRecorded);
        h->dwFlags |= MHDR_DONE;
        callback(nullptr, error ? MIM_LONGERROR : MIM_LONGDATA, instance, reinterpret_cast<std::uintptr_t>(h), ++time);
    }
    void ReturnAll()
    {
        while (open && !queue.empty()) {
            MIDIHDR *h = queue.front();
            queue.pop_front();
            h->dwBytesRecorded = 0;
            h->dwFlags |= MHDR_DONE;
            callback(nullptr, MIM_LONGDATA, instance, reinterpret_cast<std::uintptr_t>(h), ++time);
        }
    }

    bool open = false, started = false, failNext = false;
    MidiCallback callback = nullptr;
    std::uintptr_t instance = 0;
    std::uint32_t time = 0;
    std::deque<MIDIHDR *> queue;
};

void Check(const TMyMidiEvent &ev, std::uint16_t bufferSize)
{
    if (ev.StatusByte == 0xF0 && ev.FirstDataByte == 0 && ev.SecondDataByte == 0) {
        if (ev.SysexSize > bufferSize || (ev.SysexSize > 0) != bool(ev.SysexBytes))
            std::abort();
        for (std::uint16_t i = 1; i < ev.SysexSize; ++i) {
            if (ev.SysexBytes[i] != ev.SysexBytes[0])
                std::abort();
        }
    } else if (ev.SysexSize != 0 || ev.SysexBytes) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // the port's notices need an event loop
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    auto driver = std::make_shared<ScriptedDriver>();
    SetCurrentMidiService(driver);
    {
        TMidiInput port(nullptr);
        port.SetCapacity(in.ConsumeIntegralInRange<std::uint16_t>(0, 64));
        const std::uint16_t bufferSize = in.ConsumeIntegralInRange<std::uint16_t>(0, 300);
        port.SetSysexBufferSize(bufferSize);
        port.SetSysexBufferCount(in.ConsumeIntegralInRange<std::uint16_t>(0, 8));
        port.SetSysexOnly(in.ConsumeBool());
        port.OnMidiInput = [&](QObject *) {
            while (port.GetEventCount() > 0) {
                if (auto ev = port.GetMidiEvent())
                    Check(*ev, bufferSize);
            }
        };
        try {
            port.OpenAndStart();
        } catch (const EMidiInputError &) {
            SetCurrentMidiService(nullptr);
            return 0;
        }
        while (in.remaining_bytes() > 0) {
            try {
                switch (in.ConsumeIntegralInRange(0, 7)) {
                case 0: driver->Short(in.ConsumeIntegral<std::uint32_t>() & 0xFFFFFF); break;
                case 1:
                    driver->Long(in.ConsumeIntegralInRange<std::uint32_t>(0, 400), in.ConsumeIntegral<std::uint8_t>(),
                                 in.ConsumeBool());
                    break;
                case 2:
                    if (auto ev = port.GetMidiEvent())
                        Check(*ev, bufferSize);
                    break;
                case 3: driver->ReturnAll(); break;
                case 4: port.StopAndClose(); port.OpenAndStart(); break;
                case 5: driver->failNext = true; break;
                case 6: QCoreApplication::processEvents(); break;
                case 7: port.FlushQueue(); break;
                }
            } catch (const EMidiInputError &) {
                // A refused re-queue or reopen: reported, and the port goes on.
            }
            if (port.GetEventCount() > port.Capacity())
                std::abort();
        }
    }
    QCoreApplication::processEvents();
    SetCurrentMidiService(nullptr);
    return 0;
}
