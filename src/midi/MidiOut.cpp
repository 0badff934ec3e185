#include "midi/MidiOut.h"

#include "midi/Midicons.h"

#include <cstring>
#include <new>

using namespace platform;

const TechNameMap TechName = {"None", "MIDI Port", "Generic Synth", "Square Wave Synth", "FM Synth", "MIDI Mapper"};

TMidiOutput::TMidiOutput(QObject *AOwner) : TMidiIO(AOwner)
{
    FDeviceCount = static_cast<std::uint16_t>(Service->midiOutGetNumDevs());
    FNotifyWindow = std::make_unique<TNotifyWindow>([this](TMessage &m) { MidiOutput(m); });
}

TMidiOutput::~TMidiOutput()
{
    try {
        Close();
    } catch (...) {
    }
    if (FState == mosOpen) {
        // The driver still owns the copies and may still call back with the
        // context: leave them to it rather than free memory it may touch. The
        // window goes with this port, so its done notices must lead nowhere.
        CallbackContextDetachWindow(Context.get());
        for (auto &entry : Pending)
            KeepForDriver(std::move(entry.second));
        KeepForDriver(std::move(Context));
    }
}

std::uint32_t TMidiOutput::DeviceCount()
{
    const std::uint32_t count = Service->midiOutGetNumDevs();
    FDeviceCount = static_cast<std::uint16_t>(count);
    return count;
}

std::string TMidiOutput::MidiOutErrorString(std::uint32_t WError, TMIDIErrorContext ErrorContext) const
{
    switch (ErrorContext) {
    case ecCaching:
        switch (WError) {
        case MMSYSERR_INVALHANDLE: return "(Caching) The specified device handle is invalid.";
        case MMSYSERR_NOMEM:
            return "(Caching) The device does not have enough memory to cache all of the requested patches.";
        case MMSYSERR_NOTSUPPORTED: return "(Caching) The specified device does not support patch caching.";
        case MMSYSERR_INVALFLAG: return "(Caching) The flag specified by wFlags is invalid.";
        case MMSYSERR_INVALPARAM: return "(Caching) The array pointed to by lpPatchArray is invalid.";
        }
        break;
    case ecPutShort:
        switch (WError) {
        case MMSYSERR_INVALHANDLE: return "(Short Msg) The specified device handle is invalid.";
        case MIDIERR_NOTREADY: return "(Short Msg) The hardware is busy with other data.";
        case MIDIERR_BADOPENMODE:
            return "(Short Msg) The application sent a message without a status byte to a stream handle.";
        }
        break;
    case ecPutLong:
        switch (WError) {
        case MMSYSERR_INVALHANDLE: return "(Long Msg) The specified device handle is invalid.";
        case MMSYSERR_INVALPARAM: return "(Long Msg) The specified pointer or structure is invalid.";
        case MIDIERR_UNPREPARED: return "(Long Msg) The buffer pointed to by lpMidiOutHdr has not been prepared.";
        case MIDIERR_NOTREADY: return "(Long Msg) The hardware is busy with other data.";
        }
        break;
    case ecOutPrepareHeader:
        switch (WError) {
        case MMSYSERR_INVALHANDLE: return "(Prep Header) The specified device handle is invalid.";
        case MMSYSERR_NOMEM: return "(Prep Header) The system is unable to allocate or lock memory.";
        case MMSYSERR_INVALPARAM:
            return "(Prep Header) The specified address is invalid or the given stream buffer is greater than 64K.";
        }
        break;
    case ecGeneric:
        break;
    }
    char text[MAXERRORLENGTH] = {};
    if (Service->midiOutGetErrorText(WError, text, MAXERRORLENGTH) == MMSYSERR_NOERROR)
        return text;
    return "Specified error number is out of range";
}

void TMidiOutput::RaiseError(MMRESULT Code, TMIDIErrorContext ErrorContext)
{
    FError = Code;
    throw EMidiOutputError(MidiOutErrorString(Code, ErrorContext));
}

void TMidiOutput::CheckResult(MMRESULT Code, TMIDIErrorContext ErrorContext)
{
    FError = Code;
    if (Code != MMSYSERR_NOERROR)
        RaiseError(Code, ErrorContext);
}

void TMidiOutput::SetDeviceID(std::uint32_t Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to DeviceID while device was open");
    if (Value >= Service->midiOutGetNumDevs() && Value != MIDI_MAPPER)
        throw EMidiOutputError("Invalid device ID");
    FDeviceID = Value;
    MIDIOUTCAPS caps;
    CheckResult(Service->midiOutGetDevCaps(FDeviceID, caps), ecGeneric);
    FManufacturerId = caps.wMid;
    FProductId = caps.wPid;
    FProductName = caps.szPname;
    FDriverVersion = caps.vDriverVersion;
    FTechnology = static_cast<OutPortTech>(caps.wTechnology & 0xFF);
    FVoices = caps.wVoices;
    FNotes = caps.wNotes;
    FChannelMask = caps.wChannelMask;
    FSupport = caps.dwSupport;
    if (OnDeviceChanged)
        OnDeviceChanged(this);
}

// The mapper first, then every device; stops at the first match.
bool TMidiOutput::SearchDevice(const std::function<bool(const MIDIOUTCAPS &)> &Match, std::uint32_t &Found)
{
    const std::uint32_t count = Service->midiOutGetNumDevs();
    Found = MIDI_MAPPER;
    for (;;) {
        MIDIOUTCAPS caps;
        CheckResult(Service->midiOutGetDevCaps(Found, caps), ecGeneric);
        if (Match(caps))
            return true;
        Found = Found == MIDI_MAPPER ? 0 : Found + 1;
        if (Found >= count)
            return false;
    }
}

void TMidiOutput::SetProductName(const std::string &Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to ProductName while device was open");
    std::uint32_t found;
    SearchDevice(
        [&](const MIDIOUTCAPS &caps) {
            if (caps.szPname != Value)
                return false;
            FProductName = caps.szPname;
            return true;
        },
        found);
    if (FProductName != Value)
        throw EMidiOutputError("MIDI output Device " + Value + " not installed");
    SetDeviceID(found);
}

void TMidiOutput::SetTechnology(OutPortTech Value)
{
    if (FState == mosOpen)
        throw EMidiOutputError("Change to Product Technology while device was open");
    std::uint32_t found;
    SearchDevice(
        [&](const MIDIOUTCAPS &caps) {
            if ((caps.wTechnology & 0xFF) != Value)
                return false;
            FTechnology = Value;
            return true;
        },
        found);
    if (FTechnology != Value)
        throw EMidiOutputError(std::string("MIDI output technology ") + TechName[Value] + " not installed");
    SetDeviceID(found);
}

bool TMidiOutput::Open()
{
    if (FState == mosOpen)
        return true; // a second open would hand the live context to a failure path
    if (!Context) {
        Context.reset(CallbackContextAlloc());
        if (!Context) {
            FError = MMSYSERR_NOMEM;
            return false;
        }
    }
    Context->NotifyWindow.store(FNotifyWindow.get(), std::memory_order_release);
    FError = Service->midiOutOpen(Handle, FDeviceID, midiHandler, reinterpret_cast<std::uintptr_t>(Context.get()),
                                  CALLBACK_FUNCTION);
    if (FError == MMSYSERR_NOERROR) {
        FState = mosOpen;
        return true;
    }
    Handle = nullptr;
    Context.reset();
    return false;
}

bool TMidiOutput::Close()
{
    bool result = false;
    if (FState == mosOpen) {
        CheckResult(Service->midiOutClose(Handle), ecGeneric);
        result = true;
    }
    Handle = nullptr;
    FState = mosClosed;
    return result;
}

bool TMidiOutput::ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange)
{
    if (FState != mosClosed)
        Close();
    if (FState != mosClosed)
        return false;
    SetDeviceID(NewDeviceID);
    return OpenAfterChange ? Open() : false;
}

void TMidiOutput::PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2)
{
    if (FState != mosOpen)
        throw EMidiOutputError("(Short Msg) Device not opened.");
    const std::uint32_t packed = std::uint32_t(MidiMessage) | (std::uint32_t(Data1) << 8) | (std::uint32_t(Data2) << 16);
    CheckResult(Service->midiOutShortMsg(Handle, packed), ecPutShort);
}

void TMidiOutput::PutLong(const std::uint8_t *TheSysex, std::uint16_t msgLength)
{
    if (FState != mosOpen)
        throw EMidiOutputError("(Long Msg) Device not opened.");
    // An empty header would reach the driver with no buffer at all.
    if (msgLength == 0 || !TheSysex)
        RaiseError(MMSYSERR_INVALPARAM, ecPutLong);
    std::unique_ptr<TMyMidiHdr> copy;
    try {
        copy = std::make_unique<TMyMidiHdr>(msgLength);
    } catch (const std::bad_alloc &) {
        RaiseError(MMSYSERR_NOMEM, ecOutPrepareHeader);
    }
    std::memcpy(copy->Buffer, TheSysex, msgLength);
    copy->Header->dwUser = reinterpret_cast<std::uintptr_t>(copy.get());
    MIDIHDR *header = copy->Header;

    CheckResult(Service->midiOutPrepareHeader(Handle, header, sizeof(MIDIHDR)), ecOutPrepareHeader);
    TMyMidiHdr *owner = copy.get();
    Pending.emplace(owner, std::move(copy));
    const MMRESULT sent = Service->midiOutLongMsg(Handle, header, sizeof(MIDIHDR));
    if (sent != MMSYSERR_NOERROR) {
        Service->midiOutUnprepareHeader(Handle, header, sizeof(MIDIHDR));
        Pending.erase(owner);
        RaiseError(sent, ecPutLong);
    }
    FError = sent;
}

void TMidiOutput::PutMidiEvent(const TMyMidiEvent &Event)
{
    if (FState != mosOpen)
        throw EMidiOutputError("MIDI Output device not open");
    if (!Event.SysexBytes)
        PutShort(Event.StatusByte, Event.FirstDataByte, Event.SecondDataByte);
    else
        PutLong(Event.SysexBytes.get(), Event.SysexSize);
}

void TMidiOutput::NoteOn(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Velocity)
{
    PutShort(MIDI_NOTEON | (Channel & 0x0F), Note, Velocity);
}

void TMidiOutput::NoteOff(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Velocity)
{
    PutShort(MIDI_NOTEOFF | (Channel & 0x0F), Note, Velocity);
}

void TMidiOutput::NoteAftertouch(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Pressure)
{
    PutShort(MIDI_KEYAFTERTOUCH | (Channel & 0x0F), Note, Pressure);
}

void TMidiOutput::ControllerChange(std::uint8_t Channel, std::uint8_t ControllerNum, std::uint8_t Value)
{
    PutShort(MIDI_CONTROLCHANGE | (Channel & 0x0F), ControllerNum, Value);
}

void TMidiOutput::ProgramChange(std::uint8_t Channel, std::uint8_t Program)
{
    PutShort(MIDI_PROGRAMCHANGE | (Channel & 0x0F), Program, 0);
}

void TMidiOutput::ChannelAftertouch(std::uint8_t Channel, std::uint8_t Pressure)
{
    PutShort(MIDI_CHANAFTERTOUCH | (Channel & 0x0F), Pressure, 0);
}

void TMidiOutput::ChangeInstrument(std::uint8_t Channel, TGMInstrumentPatch Patch)
{
    PutShort(MIDI_PROGRAMCHANGE | (Channel & 0x0F), Patch, 0);
}

TFeatureSet TMidiOutput::GetFeaturesAsSet() const
{
    TFeatureSet features;
    if (FSupport & MIDICAPS_CACHE)
        features.Include(ftCaching);
    if (FSupport & MIDICAPS_STREAM)
        features.Include(ftStreaming);
    if (FSupport & MIDICAPS_VOLUME)
        features.Include(ftVolume);
    if (FSupport & MIDICAPS_LRVOLUME)
        features.Include(ftStereoVolume);
    return features;
}

void TMidiOutput::GetVolume(std::uint16_t &Volume1, std::uint16_t &Volume2)
{
    std::uint32_t word = 0;
    CheckResult(Service->midiOutGetVolume(FDeviceID, word), ecGeneric);
    Volume1 = std::uint16_t(word >> 16);
    Volume2 = GetSupportsLRVolCtrl() ? std::uint16_t(word & 0xFFFF) : Volume1;
}

void TMidiOutput::GetVolume(std::uint16_t &Volume)
{
    std::uint16_t second;
    GetVolume(Volume, second);
}

std::uint16_t TMidiOutput::GetVolume()
{
    std::uint16_t volume;
    GetVolume(volume);
    return volume;
}

void TMidiOutput::SetVolume(std::uint16_t Volume1, std::uint16_t Volume2)
{
    if (!GetSupportsLRVolCtrl())
        Volume2 = Volume1;
    CheckResult(Service->midiOutSetVolume(FDeviceID, (std::uint32_t(Volume1) << 16) | Volume2), ecGeneric);
}

void TMidiOutput::SetVolume(std::uint16_t Volume) { SetVolume(Volume, Volume); }

std::uint32_t TMidiOutput::DriverMidiMessage(std::uint32_t TheMessage, std::uint32_t Param1, std::uint32_t Param2)
{
    return Service->midiOutMessage(FDeviceID, TheMessage, Param1, Param2);
}

bool TMidiOutput::CachePatches(std::uint32_t Bank, TKeyPatchArray &PatchArray, std::uint8_t Flags)
{
    FError = Service->midiOutCachePatches(Handle, Bank, PatchArray.data(), Flags);
    return FError == MMSYSERR_NOERROR;
}

bool TMidiOutput::CacheDrumPatches(std::uint32_t Patch, TKeyPatchArray &KeyArray, std::uint8_t Flags)
{
    FError = Service->midiOutCacheDrumPatches(Handle, Patch, KeyArray.data(), Flags);
    return FError == MMSYSERR_NOERROR;
}

void TMidiOutput::MidiOutput(TMessage &Message)
{
    if (Message.Msg != MOM_DONE)
        return;
    auto *header = reinterpret_cast<MIDIHDR *>(Message.LParam);
    // After a Close the handle is gone and this fails; the copy goes all the same.
    Service->midiOutUnprepareHeader(Handle, header, sizeof(MIDIHDR));
    const auto it = Pending.find(reinterpret_cast<TMyMidiHdr *>(header->dwUser));
    if (it != Pending.end())
        Pending.erase(it);
    if (OnMidiOutput)
        OnMidiOutput(this);
}
