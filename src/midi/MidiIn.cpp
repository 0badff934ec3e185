#include "midi/MidiIn.h"

#include <algorithm>
#include <cstring>
#include <new>

using namespace platform;

TMidiInput::TMidiInput(QObject *AOwner) : TMidiIO(AOwner)
{
    FDeviceCount = Service->midiInGetNumDevs();
    if (FDeviceCount > 0) {
        try {
            SetDeviceID(0);
        } catch (const EMidiInputError &) {
            // Still a valid closed port: the failure (code in Error) shows
            // when a device is chosen for it, not by aborting its owner.
        }
    }
    FNotifyWindow = std::make_unique<TNotifyWindow>([this](TMessage &m) { MidiInput(m); });
    FState = misClosed;
}

TMidiInput::~TMidiInput()
{
    try {
        Close();
    } catch (...) {
        // Close has released everything it could; a destructor reports nothing.
    }
    ReleaseStaleDevices();
    // What a device that would not close may still use is left to it; only
    // the window, which goes with this port, is taken out of its reach.
    for (TStaleDevice &stale : StaleDevices) {
        CallbackContextDetachWindow(stale.Context.get());
        KeepForDriver(std::move(stale.Context));
        for (auto &hdr : stale.Headers)
            KeepForDriver(std::move(hdr));
    }
}

std::uint32_t TMidiInput::DeviceCount()
{
    FDeviceCount = Service->midiInGetNumDevs();
    return FDeviceCount;
}

void TMidiInput::RaiseError(MMRESULT Code)
{
    FError = static_cast<std::uint16_t>(Code);
    throw EMidiInputError(MidiInErrorString(FError));
}

void TMidiInput::CheckResult(MMRESULT Code)
{
    FError = static_cast<std::uint16_t>(Code);
    if (FError != MMSYSERR_NOERROR)
        RaiseError(FError);
}

std::string TMidiInput::MidiInErrorString(std::uint16_t WError) const
{
    char text[MAXERRORLENGTH] = {};
    if (Service->midiInGetErrorText(WError, text, MAXERRORLENGTH) == MMSYSERR_NOERROR)
        return text;
    return "Specified error number is out of range";
}

void TMidiInput::SetDeviceID(std::uint32_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to DeviceID while device was open");
    if (Value >= Service->midiInGetNumDevs() && Value != MIDI_MAPPER)
        throw EMidiInputError("Invalid device ID");
    FDeviceID = Value;
    MIDIINCAPS caps;
    CheckResult(Service->midiInGetDevCaps(FDeviceID, caps));
    FProductName = caps.szPname;
    FDriverVersion = caps.vDriverVersion;
    FManufacturerId = caps.wMid;
    FProductId = caps.wPid;
    if (OnDeviceChanged)
        OnDeviceChanged(this);
}

void TMidiInput::SetProductName(const std::string &Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to ProductName while device was open");
    const std::uint32_t count = Service->midiInGetNumDevs();
    std::uint32_t found = 0;
    for (; found < count; ++found) {
        MIDIINCAPS caps;
        CheckResult(Service->midiInGetDevCaps(found, caps));
        if (caps.szPname == Value) {
            FProductName = caps.szPname;
            break;
        }
    }
    if (FProductName != Value)
        throw EMidiInputError("MIDI Input Device " + Value + " not installed ");
    SetDeviceID(found);
}

void TMidiInput::SetSysexBufferSize(std::uint16_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to SysexBufferSize while device was open");
    FSysexBufferSize = Value;
}

void TMidiInput::SetSysexBufferCount(std::uint16_t Value)
{
    if (FState == misOpen)
        throw EMidiInputError("Change to SysexBufferCount while device was open");
    FSysexBufferCount = Value;
}

void TMidiInput::SetSysexOnly(bool Value)
{
    FSysexOnly = Value;
    UpdateContextFlags();
}

void TMidiInput::SetMsgFilter(TMidiMsgFilter Value)
{
    FFilteredMessages = Value;
    UpdateContextFlags();
}

void TMidiInput::UpdateContextFlags()
{
    if (!Context)
        return;
    Context->SysexOnly.store(FSysexOnly, std::memory_order_release);
    Context->DropClock.store(FFilteredMessages.Contains(msgMidiTimeCode), std::memory_order_release);
    Context->DropActiveSensing.store(FFilteredMessages.Contains(msgActiveSensing), std::memory_order_release);
}

void TMidiInput::Open()
{
    if (FState == misOpen)
        return; // a second open would orphan the device and its buffers
    ReleaseStaleDevices(); // one may hold the very device asked for
    try {
        if (!Ring) {
            Ring.reset(CircbufAlloc(FCapacity));
            if (!Ring)
                RaiseError(MMSYSERR_NOMEM);
        }
        if (!Context) {
            Context.reset(CallbackContextAlloc());
            if (!Context)
                RaiseError(MMSYSERR_NOMEM);
        }
        Context->NotifyWindow.store(FNotifyWindow.get(), std::memory_order_release);
        Context->Overflowed.store(0, std::memory_order_release);
        Context->Generation.store(++FOpenGeneration, std::memory_order_release);
        UpdateContextFlags();
        Context->Ring.store(Ring.get(), std::memory_order_release);

        FError = static_cast<std::uint16_t>(Service->midiInOpen(
            Handle, FDeviceID, midiHandler, reinterpret_cast<std::uintptr_t>(Context.get()), CALLBACK_FUNCTION));
        if (FError != MMSYSERR_NOERROR) {
            Handle = nullptr;
            RaiseError(FError);
        }
        Prepareheaders();
        AddBuffers();
        FState = misOpen;
    } catch (...) {
        // Give back whatever the attempt had taken; the reported code stays.
        const std::uint16_t failure = FError;
        ReleaseDevice();
        Context.reset(); // no device calls back with it (one that would not close took it along)
        FError = failure;
        throw;
    }
}

void TMidiInput::Prepareheaders()
{
    if (FSysexBufferCount == 0 || FSysexBufferSize == 0 || !Handle)
        return;
    SysexHeaders.reserve(FSysexBufferCount);
    for (std::uint16_t i = 0; i < FSysexBufferCount; ++i) {
        std::unique_ptr<TMyMidiHdr> hdr;
        try {
            hdr = std::make_unique<TMyMidiHdr>(FSysexBufferSize);
        } catch (const std::bad_alloc &) {
            RaiseError(MMSYSERR_NOMEM);
        }
        hdr->Header->dwUser = reinterpret_cast<std::uintptr_t>(hdr.get());
        CheckResult(Service->midiInPrepareHeader(Handle, hdr->Header, sizeof(MIDIHDR)));
        SysexHeaders.push_back(std::move(hdr));
    }
}

void TMidiInput::AddBuffers()
{
    for (const auto &hdr : SysexHeaders)
        CheckResult(Service->midiInAddBuffer(Handle, hdr->Header, sizeof(MIDIHDR)));
}

MMRESULT TMidiInput::UnprepareHeaders()
{
    MMRESULT first = MMSYSERR_NOERROR;
    for (const auto &hdr : SysexHeaders) {
        const MMRESULT r = Service->midiInUnprepareHeader(Handle, hdr->Header, sizeof(MIDIHDR));
        if (first == MMSYSERR_NOERROR)
            first = r;
    }
    return first;
}

// Reset, unprepare and close, each attempted even when an earlier one fails;
// returns the first failure. The ring is freed once no callback can reach
// it. The buffers are freed unless the device could not be closed, in which
// case the driver may still write to them: they stay with it, and so does
// the context it may still call back with.
MMRESULT TMidiInput::ReleaseDevice()
{
    MMRESULT first = MMSYSERR_NOERROR;
    bool closed = true;
    if (Handle) {
        first = Service->midiInReset(Handle);
        const MMRESULT unprepared = UnprepareHeaders();
        if (first == MMSYSERR_NOERROR)
            first = unprepared;
        const MMRESULT closeResult = Service->midiInClose(Handle);
        if (first == MMSYSERR_NOERROR)
            first = closeResult;
        closed = closeResult == MMSYSERR_NOERROR;
    }
    CallbackContextDetachRing(Context.get());
    Ring.reset();
    if (!closed)
        StaleDevices.push_back(TStaleDevice{Handle, std::move(Context), std::move(SysexHeaders)});
    SysexHeaders.clear();
    Handle = nullptr;
    return first;
}

// A device whose close failed keeps its handle; closing is tried again
// before the next open and at destruction, so that the device becomes free
// once the driver lets it go.
void TMidiInput::ReleaseStaleDevices()
{
    for (auto stale = StaleDevices.begin(); stale != StaleDevices.end();) {
        Service->midiInReset(stale->Handle);
        for (const auto &hdr : stale->Headers)
            Service->midiInUnprepareHeader(stale->Handle, hdr->Header, sizeof(MIDIHDR));
        if (Service->midiInClose(stale->Handle) == MMSYSERR_NOERROR)
            stale = StaleDevices.erase(stale);
        else
            ++stale;
    }
}

void TMidiInput::Start()
{
    if (FState != misOpen)
        return;
    CheckResult(Service->midiInStart(Handle));
}

void TMidiInput::Stop()
{
    if (FState != misOpen)
        return;
    CheckResult(Service->midiInStop(Handle));
}

void TMidiInput::Close()
{
    if (FState != misOpen)
        return;
    FState = misClosed; // notices posted during the reset are ignored
    const MMRESULT result = ReleaseDevice();
    if (result != MMSYSERR_NOERROR)
        RaiseError(result);
}

void TMidiInput::OpenAndStart()
{
    Open();
    Start();
}

void TMidiInput::StopAndClose()
{
    Stop();
    Close();
}

void TMidiInput::ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange)
{
    if (NewDeviceID == FDeviceID)
        return;
    Stop();
    Close();
    SetDeviceID(NewDeviceID);
    if (OpenAfterChange) {
        Open();
        Start();
    }
}

std::uint16_t TMidiInput::GetEventCount() const
{
    if (FState != misOpen)
        return 0;
    return Ring->Count.load(std::memory_order_acquire);
}

std::unique_ptr<TMyMidiEvent> TMidiInput::GetMidiEvent()
{
    TMidiBufferItem item;
    if (FState != misOpen || !CircbufReadEvent(Ring.get(), item))
        return nullptr;
    auto event = std::make_unique<TMyMidiEvent>();
    event->ReceivedTime = item.ItemTime;
    if (!item.LongHeader) {
        event->StatusByte = std::uint8_t(item.ShortMessage);
        event->FirstDataByte = std::uint8_t(item.ShortMessage >> 8);
        event->SecondDataByte = std::uint8_t(item.ShortMessage >> 16);
    } else {
        MIDIHDR *header = item.LongHeader;
        event->StatusByte = 0xF0;
        const std::uint32_t recorded = header->dwBytesRecorded;
        event->SysexSize = std::uint16_t(recorded);
        if (event->SysexSize > 0) {
            event->SysexBytes.reset(new std::uint8_t[event->SysexSize]);
            std::memcpy(event->SysexBytes.get(), header->lpData, event->SysexSize);
        }
        FError = static_cast<std::uint16_t>(QueueBuffer(header));
        if (FError != MMSYSERR_NOERROR) {
            // The slot stays; keep its bytes so that a retry still has them.
            header->dwBytesRecorded = recorded;
            RaiseError(FError);
        }
    }
    CircbufRemoveEvent(Ring.get());
    return event;
}

// A sysex buffer whose event found the ring full would otherwise stay out of
// circulation until Close, and sysex input would die after a few overflows.
void TMidiInput::RequeueLostBuffer(MIDIHDR *header)
{
    const bool ours = std::any_of(SysexHeaders.begin(), SysexHeaders.end(),
                                  [header](const std::unique_ptr<TMyMidiHdr> &h) { return h->Header == header; });
    if (!ours)
        return; // from a device closed since the notice was posted
    const MMRESULT result = QueueBuffer(header);
    if (result != MMSYSERR_NOERROR)
        FError = static_cast<std::uint16_t>(result);
}

MMRESULT TMidiInput::QueueBuffer(MIDIHDR *header)
{
    header->dwBytesRecorded = 0;
    const MMRESULT result = Service->midiInPrepareHeader(Handle, header, sizeof(MIDIHDR));
    return result == MMSYSERR_NOERROR ? Service->midiInAddBuffer(Handle, header, sizeof(MIDIHDR)) : result;
}

void TMidiInput::FlushQueue()
{
    while (GetEventCount() > 0)
        GetMidiEvent();
}

// One OnOverflow per lost event, counted by the callback: any notice that
// gets through reports the losses whose own notice found the queue full.
void TMidiInput::ReportOverflows()
{
    if (FState != misOpen || !Context)
        return;
    for (std::uint32_t n = Context->Overflowed.exchange(0, std::memory_order_acquire); n > 0; --n) {
        if (OnOverflow)
            OnOverflow(this);
    }
}

void TMidiInput::MidiInput(TMessage &Message)
{
    switch (Message.Msg) {
    case MIM_DATA:
        ReportOverflows();
        if (OnMidiInput && FState == misOpen && GetEventCount() > 0)
            OnMidiInput(this);
        break;
    case WM_USER:
        // A notice from before the last Close names a buffer that was freed
        // then, whose address a buffer of this open may have taken since.
        if (FState == misOpen && Message.LParam != 0 && Message.WParam == FOpenGeneration)
            RequeueLostBuffer(reinterpret_cast<MIDIHDR *>(Message.LParam));
        ReportOverflows();
        break;
    case WM_QUERYENDSESSION:
        Message.Result = 1;
        break;
    default:
        break;
    }
}
