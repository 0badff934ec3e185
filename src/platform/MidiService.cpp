#include "platform/MidiService.h"

#include "platform/VirtualMidiService.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace platform {

const char *MidiResultText(MMRESULT code) noexcept
{
    switch (code) {
    case MMSYSERR_NOERROR: return "The MIDI operation succeeded.";
    case MMSYSERR_ERROR: return "The MIDI system reported an unspecified error.";
    case MMSYSERR_BADDEVICEID: return "The MIDI device number is out of range.";
    case MMSYSERR_NOTENABLED: return "The MIDI driver failed to enable.";
    case MMSYSERR_ALLOCATED: return "The MIDI device is already in use by another program or port.";
    case MMSYSERR_INVALHANDLE: return "The MIDI device handle is invalid.";
    case MMSYSERR_NODRIVER: return "No MIDI driver is installed.";
    case MMSYSERR_NOMEM: return "Not enough memory for the MIDI operation.";
    case MMSYSERR_NOTSUPPORTED: return "The MIDI device does not support this function.";
    case MMSYSERR_BADERRNUM: return "The MIDI error number is out of range.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to the MIDI system.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to the MIDI system.";
    case MMSYSERR_HANDLEBUSY: return "The MIDI device handle is busy in another thread.";
    case MIDIERR_UNPREPARED: return "The MIDI buffer has not been prepared.";
    case MIDIERR_STILLPLAYING: return "MIDI buffers are still queued on the device.";
    case MIDIERR_NOMAP: return "There is no MIDI map.";
    case MIDIERR_NOTREADY: return "The MIDI hardware is still busy.";
    case MIDIERR_NODEVICE: return "The MIDI port is no longer connected.";
    case MIDIERR_INVALIDSETUP: return "The MIDI setup is invalid.";
    case MIDIERR_BADOPENMODE: return "The operation is not possible in the mode the device was opened in.";
    case MIDIERR_DONT_CONTINUE: return "The MIDI driver asked to stop.";
    default: return nullptr;
    }
}

MMRESULT CopyMidiResultText(MMRESULT code, char *text, std::uint32_t size) noexcept
{
    const char *source = MidiResultText(code);
    if (!source)
        return MMSYSERR_BADERRNUM;
    if (!text || size == 0)
        return MMSYSERR_INVALPARAM;
    const std::size_t n = std::min<std::size_t>(std::strlen(source), size - 1);
    std::memcpy(text, source, n);
    text[n] = '\0';
    return MMSYSERR_NOERROR;
}

namespace {
std::mutex currentMutex;
std::shared_ptr<MidiService> current;
} // namespace

std::shared_ptr<MidiService> CurrentMidiService()
{
    std::lock_guard<std::mutex> lock(currentMutex);
    if (!current)
        current = std::make_shared<VirtualMidiService>();
    return current;
}

void SetCurrentMidiService(std::shared_ptr<MidiService> service)
{
    std::shared_ptr<MidiService> previous;
    std::lock_guard<std::mutex> lock(currentMutex);
    previous = std::exchange(current, std::move(service));
}

} // namespace platform
