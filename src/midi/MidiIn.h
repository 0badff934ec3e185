#pragma once
// TMidiInput: one MIDI input device of the current MIDI service. It selects
// a device by number or name, opens it with midiHandler, keeps a pool of
// sysex buffers queued, and turns what the callback stored in its ring into
// TMyMidiEvent objects on demand. OnMidiInput says that events are waiting;
// the owner then drains with GetEventCount / GetMidiEvent.
//
// Threads: construct, use and destroy on the UI thread only (the thread of
// the Qt event loop). The handlers run there too. The driver callback reaches
// the port only through the ring, the callback context and the notify window.
// A handler may call GetEventCount / GetMidiEvent but must not destroy the port.
//
// Errors: EMidiInputError, whose what() is the port's fixed text or the
// service's text for the failed call; the code is left in Error().

#include "midi/Circbuf.h"
#include "midi/Midicallback.h"
#include "midi/MidiType.h"
#include "platform/NotifyWindow.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

enum MidiInputState { misOpen, misClosed, misCreating, misDestroying };

class EMidiInputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMidiInput : public TMidiIO {
public:
    explicit TMidiInput(QObject *AOwner);
    ~TMidiInput() override;

    std::uint32_t DeviceCount() override;

    const std::string &ProductName() const { return FProductName; }
    void SetProductName(const std::string &Value);
    std::uint32_t DeviceID() const { return FDeviceID; }
    void SetDeviceID(std::uint32_t Value);
    std::uint16_t Capacity() const { return FCapacity; }
    void SetCapacity(std::uint16_t Value) { FCapacity = Value; }
    std::uint16_t Error() const { return FError; }
    std::uint16_t SysexBufferSize() const { return FSysexBufferSize; }
    void SetSysexBufferSize(std::uint16_t Value);
    std::uint16_t SysexBufferCount() const { return FSysexBufferCount; }
    void SetSysexBufferCount(std::uint16_t Value);
    bool SysexOnly() const { return FSysexOnly; }
    void SetSysexOnly(bool Value);
    TMidiMsgFilter FilteredMessages() const { return FFilteredMessages; }
    void SetMsgFilter(TMidiMsgFilter Value);

    TNotifyEvent OnMidiInput;
    TNotifyEvent OnOverflow;
    TNotifyEvent OnDeviceChanged;

    MidiInputState State() const { return FState; }
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    std::uint16_t ManufacturerId() const { return FManufacturerId; }
    std::uint16_t ProductId() const { return FProductId; }
    platform::HWND NotifyWindow() const { return FNotifyWindow.get(); }

    void Open();
    void Start();
    void Stop();
    void Close();
    void OpenAndStart();
    void StopAndClose();
    void ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange);

    std::uint16_t GetEventCount() const;
    // The oldest waiting event, or null; the caller owns it.
    std::unique_ptr<TMyMidiEvent> GetMidiEvent();
    void FlushQueue();
    std::string MidiInErrorString(std::uint16_t WError) const;

    // The notify window's procedure.
    void MidiInput(platform::TMessage &Message);

private:
    using MMRESULT = platform::MMRESULT;

    [[noreturn]] void RaiseError(MMRESULT Code);
    // Keeps the code in Error and raises it unless it is success.
    void CheckResult(MMRESULT Code);
    // Hands a sysex buffer back to the driver, emptied: prepare, then queue.
    MMRESULT QueueBuffer(platform::MIDIHDR *header);
    void Prepareheaders();
    void AddBuffers();
    MMRESULT UnprepareHeaders();
    MMRESULT ReleaseDevice();
    void ReleaseStaleDevices();
    void UpdateContextFlags();
    void RequeueLostBuffer(platform::MIDIHDR *header);
    void ReportOverflows();

    MidiInputState FState = misCreating;
    std::string FProductName;
    std::uint32_t FDeviceID = 0;
    std::uint16_t FCapacity = 1024;
    std::uint16_t FError = 0;
    std::uint16_t FSysexBufferSize = 4096;
    std::uint16_t FSysexBufferCount = 16;
    bool FSysexOnly = false;
    TMidiMsgFilter FFilteredMessages{msgActiveSensing, msgMidiTimeCode};
    std::uint32_t FDeviceCount = 0;
    std::uint32_t FDriverVersion = 0;
    std::uint16_t FManufacturerId = 0;
    std::uint16_t FProductId = 0;

    platform::HMIDIIN Handle = nullptr;
    TMidiCallbackContextPtr Context;
    TCircularBufferPtr Ring;
    std::vector<std::unique_ptr<TMyMidiHdr>> SysexHeaders;
    // Counts the opens; the context of each carries its number.
    std::uint32_t FOpenGeneration = 0;
    // A device whose close failed: the driver may still hold its buffers and
    // still call back with its context (which leads to no ring), so neither is
    // freed until a later try to close that device succeeds. A later open
    // gets a context of its own, which such a device never reaches.
    struct TStaleDevice {
        platform::HMIDIIN Handle = nullptr;
        TMidiCallbackContextPtr Context;
        std::vector<std::unique_ptr<TMyMidiHdr>> Headers;
    };
    std::vector<TStaleDevice> StaleDevices;
    std::unique_ptr<platform::TNotifyWindow> FNotifyWindow; // last: goes first
};
