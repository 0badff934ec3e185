#pragma once
// TMidiOutput: one MIDI output device of the current MIDI service. It
// selects a device by number, name or technology, opens it, and sends short
// messages (PutShort and the channel-message operations) and long messages
// (PutLong). PutLong hands a private copy to the driver and returns; when the
// driver reports it sent, the notify window's procedure releases the copy and
// raises OnMidiOutput.
//
// Threads: construct, use and destroy on the UI thread only; OnMidiOutput
// and OnDeviceChanged run there. Done notices arrive from a driver thread
// only as posted messages.
//
// Errors: EMidiOutputError with the port's fixed text or the text for the
// failed call's code in its context; Open alone reports failure by returning
// false. The code is left in Error().

#include "midi/Midicallback.h"
#include "midi/Midikeypatcharray.h"
#include "midi/MidiType.h"
#include "platform/NotifyWindow.h"

#include <array>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

enum MidiOutputState { mosOpen, mosClosed };

enum OutPortTech : std::uint8_t { opt_None, opt_MidiPort, opt_Synth, opt_SQSynth, opt_FMSynth, opt_Mapper };
using TechNameMap = std::array<const char *, 6>;
extern const TechNameMap TechName;

class EMidiOutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TMidiOutput : public TMidiIO {
public:
    explicit TMidiOutput(QObject *AOwner);
    ~TMidiOutput() override;

    std::uint32_t DeviceCount() override;

    const std::string &ProductName() const { return FProductName; }
    void SetProductName(const std::string &Value);
    std::uint32_t DeviceID() const { return FDeviceID; }
    void SetDeviceID(std::uint32_t Value);
    OutPortTech Technology() const { return FTechnology; }
    void SetTechnology(OutPortTech Value);

    TNotifyEvent OnMidiOutput;
    TNotifyEvent OnDeviceChanged;

    MidiOutputState State() const { return FState; }
    std::uint32_t Error() const { return FError; }
    std::uint16_t ManufacturerId() const { return FManufacturerId; }
    std::uint16_t ProductId() const { return FProductId; }
    std::uint32_t DriverVersion() const { return FDriverVersion; }
    std::uint16_t Voices() const { return FVoices; }
    std::uint16_t Notes() const { return FNotes; }
    std::uint16_t ChannelMask() const { return FChannelMask; }
    std::uint32_t Support() const { return FSupport; }
    platform::HWND NotifyWindow() const { return FNotifyWindow.get(); }
    // Long-message copies handed to the driver and not yet released.
    std::size_t PendingLongMessages() const { return Pending.size(); }

    virtual bool Open();
    virtual bool Close();
    virtual bool ChangeDevice(std::uint32_t NewDeviceID, bool OpenAfterChange);
    virtual void PutMidiEvent(const TMyMidiEvent &Event);
    virtual void PutShort(std::uint8_t MidiMessage, std::uint8_t Data1, std::uint8_t Data2);
    virtual void PutLong(const std::uint8_t *TheSysex, std::uint16_t msgLength);

    void NoteOn(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Velocity);
    void NoteOff(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Velocity);
    void NoteAftertouch(std::uint8_t Channel, std::uint8_t Note, std::uint8_t Pressure);
    void ControllerChange(std::uint8_t Channel, std::uint8_t ControllerNum, std::uint8_t Value);
    void ProgramChange(std::uint8_t Channel, std::uint8_t Program);
    void ChannelAftertouch(std::uint8_t Channel, std::uint8_t Pressure);
    void ChangeInstrument(std::uint8_t Channel, TGMInstrumentPatch Patch);

    TFeatureSet GetFeaturesAsSet() const;
    bool GetSupportsCaching() const { return GetFeaturesAsSet().Contains(ftCaching); }
    bool GetSupportsStreaming() const { return GetFeaturesAsSet().Contains(ftStreaming); }
    bool GetSupportsVolControl() const { return GetFeaturesAsSet().Contains(ftVolume); }
    bool GetSupportsLRVolCtrl() const { return GetFeaturesAsSet().Contains(ftStereoVolume); }

    std::uint16_t GetVolume();
    void GetVolume(std::uint16_t &Volume);
    void GetVolume(std::uint16_t &Volume1, std::uint16_t &Volume2);
    void SetVolume(std::uint16_t Volume);
    void SetVolume(std::uint16_t Volume1, std::uint16_t Volume2);

    std::uint32_t DriverMidiMessage(std::uint32_t TheMessage, std::uint32_t Param1, std::uint32_t Param2);
    bool CachePatches(std::uint32_t Bank, TKeyPatchArray &PatchArray, std::uint8_t Flags);
    bool CacheDrumPatches(std::uint32_t Patch, TKeyPatchArray &KeyArray, std::uint8_t Flags);

    std::string MidiOutErrorString(std::uint32_t WError, TMIDIErrorContext Context) const;

    // The notify window's procedure.
    void MidiOutput(platform::TMessage &Message);

private:
    using MMRESULT = platform::MMRESULT;

    [[noreturn]] void RaiseError(MMRESULT Code, TMIDIErrorContext ErrorContext);
    void CheckResult(MMRESULT Code, TMIDIErrorContext ErrorContext);
    bool SearchDevice(const std::function<bool(const platform::MIDIOUTCAPS &)> &Match, std::uint32_t &Found);

    MidiOutputState FState = mosClosed;
    std::string FProductName;
    std::uint32_t FDeviceID = 0;
    OutPortTech FTechnology = opt_None;
    std::uint32_t FError = 0;
    std::uint16_t FDeviceCount = 0;
    std::uint16_t FManufacturerId = 0;
    std::uint16_t FProductId = 0;
    std::uint32_t FDriverVersion = 0;
    std::uint16_t FVoices = 0;
    std::uint16_t FNotes = 0;
    std::uint16_t FChannelMask = 0;
    std::uint32_t FSupport = 0;

    platform::HMIDIOUT Handle = nullptr;
    TMidiCallbackContextPtr Context;
    // Copies owned until their done notice (keyed by the owner, which the
    // header's user-data word names).
    std::map<TMyMidiHdr *, std::unique_ptr<TMyMidiHdr>> Pending;
    std::unique_ptr<platform::TNotifyWindow> FNotifyWindow; // last: goes first
};
