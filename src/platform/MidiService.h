#pragma once
// The MIDI service beneath the port classes: the operating system's MIDI calls
// (device counts and capabilities, open with a function callback, short and
// prepared long messages, buffers, start/stop/reset/close, error texts,
// volume, driver messages, patch caching) as one interface with two backends:
// RtMidiService (real devices) and VirtualMidiService (in-process devices).
//
// Threads: every call is made on the UI thread. The callback given to
// midiInOpen / midiOutOpen runs on a driver thread (never while a call that
// closes its handle has returned) and may also run on the calling thread
// during midiInReset. Results are the platform's result codes (0 = success).
//
// The current service is chosen once by the application (or per test) on the
// UI thread; ports take a reference to it when they are constructed, so a
// service lives as long as the last port made with it.

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

using MMRESULT = std::uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;
constexpr MMRESULT MIDIERR_DONT_CONTINUE = 71;

constexpr std::uint32_t MIDI_MAPPER = 0xFFFFFFFFu;
constexpr std::uint32_t CALLBACK_FUNCTION = 0x00030000u;
constexpr std::uint32_t MAXERRORLENGTH = 128;

// Callback message codes.
constexpr std::uint32_t MIM_OPEN = 0x3C1;
constexpr std::uint32_t MIM_CLOSE = 0x3C2;
constexpr std::uint32_t MIM_DATA = 0x3C3;
constexpr std::uint32_t MIM_LONGDATA = 0x3C4;
constexpr std::uint32_t MIM_ERROR = 0x3C5;
constexpr std::uint32_t MIM_LONGERROR = 0x3C6;
constexpr std::uint32_t MOM_OPEN = 0x3C7;
constexpr std::uint32_t MOM_CLOSE = 0x3C8;
constexpr std::uint32_t MOM_DONE = 0x3C9;

// Output technologies and capability flags.
constexpr std::uint16_t MOD_MIDIPORT = 1;
constexpr std::uint16_t MOD_SYNTH = 2;
constexpr std::uint16_t MOD_SQSYNTH = 3;
constexpr std::uint16_t MOD_FMSYNTH = 4;
constexpr std::uint16_t MOD_MAPPER = 5;
constexpr std::uint32_t MIDICAPS_VOLUME = 1;
constexpr std::uint32_t MIDICAPS_LRVOLUME = 2;
constexpr std::uint32_t MIDICAPS_CACHE = 4;
constexpr std::uint32_t MIDICAPS_STREAM = 8;

// Header flags; they belong to the service.
constexpr std::uint32_t MHDR_DONE = 1;
constexpr std::uint32_t MHDR_PREPARED = 2;
constexpr std::uint32_t MHDR_INQUEUE = 4;

struct MIDIHDR {
    std::uint8_t *lpData;
    std::uint32_t dwBufferLength;
    std::uint32_t dwBytesRecorded;
    std::uintptr_t dwUser;
    std::uint32_t dwFlags;
    MIDIHDR *lpNext;
    std::uintptr_t reserved;
    std::uint32_t dwOffset;
    std::uintptr_t dwReserved[8];
};

struct MIDIINCAPS {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    std::string szPname; // as the system reports it, not cut to 31 characters
    std::uint32_t dwSupport = 0;
};

struct MIDIOUTCAPS {
    std::uint16_t wMid = 0;
    std::uint16_t wPid = 0;
    std::uint32_t vDriverVersion = 0;
    std::string szPname;
    std::uint16_t wTechnology = 0;
    std::uint16_t wVoices = 0;
    std::uint16_t wNotes = 0;
    std::uint16_t wChannelMask = 0;
    std::uint32_t dwSupport = 0;
};

struct HMIDIIN__;
using HMIDIIN = HMIDIIN__ *;
struct HMIDIOUT__;
using HMIDIOUT = HMIDIOUT__ *;

// (handle, message code, instance data, Param1, Param2). The handle is the
// HMIDIIN or HMIDIOUT cast to void*.
using MidiCallback = void (*)(void *handle, std::uint32_t msg, std::uintptr_t instance,
                              std::uintptr_t param1, std::uintptr_t param2);

class MidiService {
public:
    virtual ~MidiService() = default;

    virtual std::uint32_t midiInGetNumDevs() = 0;
    virtual MMRESULT midiInGetDevCaps(std::uint32_t deviceId, MIDIINCAPS &caps) = 0;
    virtual MMRESULT midiInOpen(HMIDIIN &handle, std::uint32_t deviceId, MidiCallback callback,
                                std::uintptr_t instance, std::uint32_t flags) = 0;
    virtual MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MMRESULT midiInStart(HMIDIIN handle) = 0;
    virtual MMRESULT midiInStop(HMIDIIN handle) = 0;
    // Stops input and returns every queued buffer through the callback
    // (MIM_LONGDATA, 0 bytes recorded) before it returns.
    virtual MMRESULT midiInReset(HMIDIIN handle) = 0;
    // Refused (MIDIERR_STILLPLAYING) while buffers are queued.
    virtual MMRESULT midiInClose(HMIDIIN handle) = 0;
    // Writes at most size-1 characters and a terminating 0; non-zero when
    // the code has no text.
    virtual MMRESULT midiInGetErrorText(MMRESULT code, char *text, std::uint32_t size) = 0;

    virtual std::uint32_t midiOutGetNumDevs() = 0;
    // MIDI_MAPPER names the mapper ("MIDI Mapper"); it plays on device 0 and
    // cannot be opened while there is no output device.
    virtual MMRESULT midiOutGetDevCaps(std::uint32_t deviceId, MIDIOUTCAPS &caps) = 0;
    virtual MMRESULT midiOutOpen(HMIDIOUT &handle, std::uint32_t deviceId, MidiCallback callback,
                                 std::uintptr_t instance, std::uint32_t flags) = 0;
    // Output leaves in the order it was sent. A message with nothing queued
    // before it goes to the driver within the call (unless the service paces
    // the wire or the driver might wait), and a driver failure is the call's
    // result: the message is lost. Otherwise it is queued for a driver
    // thread; a queued message the driver then fails to send is lost, and
    // the next short or long message call on the handle fails with the
    // driver's error instead of sending its message.
    virtual MMRESULT midiOutShortMsg(HMIDIOUT handle, std::uint32_t message) = 0;
    virtual MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) = 0;
    virtual MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) = 0;
    // Sends or queues the message as midiOutShortMsg does; MOM_DONE follows
    // from a driver thread, never within the call. A message whose send
    // failed within the call is not queued and gets no MOM_DONE.
    virtual MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR *header, std::uint32_t size) = 0;
    // Sends what is still queued (each with its MOM_DONE) and then closes.
    // A driver that has not finished within a bounded time leaves the handle
    // open (MIDIERR_NOTREADY); the close may be tried again.
    virtual MMRESULT midiOutClose(HMIDIOUT handle) = 0;
    virtual MMRESULT midiOutGetErrorText(MMRESULT code, char *text, std::uint32_t size) = 0;
    virtual MMRESULT midiOutGetVolume(std::uint32_t deviceId, std::uint32_t &volume) = 0;
    virtual MMRESULT midiOutSetVolume(std::uint32_t deviceId, std::uint32_t volume) = 0;
    virtual MMRESULT midiOutMessage(std::uint32_t deviceId, std::uint32_t msg, std::uintptr_t param1,
                                    std::uintptr_t param2) = 0;
    virtual MMRESULT midiOutCachePatches(HMIDIOUT handle, std::uint32_t bank, std::uint16_t *patches,
                                         std::uint32_t flags) = 0;
    virtual MMRESULT midiOutCacheDrumPatches(HMIDIOUT handle, std::uint32_t patch, std::uint16_t *keys,
                                             std::uint32_t flags) = 0;
};

// Our own texts for the result codes; null for a code without one.
const char *MidiResultText(MMRESULT code) noexcept;
// Copies the text of `code` as the error-text calls do.
MMRESULT CopyMidiResultText(MMRESULT code, char *text, std::uint32_t size) noexcept;

// The process-wide service. Without an installed one this is an empty
// VirtualMidiService (no devices), created on first use.
std::shared_ptr<MidiService> CurrentMidiService();
void SetCurrentMidiService(std::shared_ptr<MidiService> service);

} // namespace platform
