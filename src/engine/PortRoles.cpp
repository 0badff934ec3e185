#include "engine/PortRoles.h"

#include "engine/DeviceWatcher.h"

#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiService.h"

#include <QString>

#include <exception>

namespace engine {
namespace {

std::string ServiceText(platform::MMRESULT code, bool input)
{
    platform::MidiService &service = *platform::CurrentMidiService();
    char text[platform::MAXERRORLENGTH] = {};
    const platform::MMRESULT r = input ? service.midiInGetErrorText(code, text, platform::MAXERRORLENGTH)
                                       : service.midiOutGetErrorText(code, text, platform::MAXERRORLENGTH);
    return r == platform::MMSYSERR_NOERROR ? std::string(text) : "Specified error number is out of range";
}

} // namespace

std::vector<std::string> InputDeviceNames()
{
    platform::MidiService &service = *platform::CurrentMidiService();
    std::vector<std::string> names;
    const std::uint32_t count = service.midiInGetNumDevs();
    for (std::uint32_t i = 0; i < count; ++i) {
        platform::MIDIINCAPS caps;
        if (const platform::MMRESULT r = service.midiInGetDevCaps(i, caps); r != platform::MMSYSERR_NOERROR)
            throw EMidiInputError(ServiceText(r, true));
        names.push_back(caps.szPname);
    }
    return names;
}

std::vector<std::string> OutputDeviceNames()
{
    platform::MidiService &service = *platform::CurrentMidiService();
    std::vector<std::string> names;
    const std::uint32_t count = service.midiOutGetNumDevs();
    for (std::uint32_t i = 0; i < count; ++i) {
        platform::MIDIOUTCAPS caps;
        if (const platform::MMRESULT r = service.midiOutGetDevCaps(i, caps); r != platform::MMSYSERR_NOERROR)
            throw EMidiOutputError(ServiceText(r, false));
        names.push_back(caps.szPname);
    }
    return names;
}

TPortRoles::TPortRoles(QObject *parent) : QObject(parent)
{
    FCtrlOut = new TMidiOutput(this);
    FCtrlIn = new TMidiInput(this);
    FSynthIn = new TMidiInput(this);
    FSynthOut = new TMidiOutput(this);
    for (TMidiInput *in : {FCtrlIn, FSynthIn}) {
        in->SetSysexBufferSize(4096);
        in->SetMsgFilter(TMidiMsgFilter{msgActiveSensing, msgMidiTimeCode});
    }
    FSynthListeners = std::make_unique<TInputDispatcher>(*FSynthIn);
    FCtrlListeners = std::make_unique<TInputDispatcher>(*FCtrlIn);
    FWatcher = new TDeviceWatcher(*this, this);
}

TPortRoles::~TPortRoles() = default;

bool TPortRoles::IsOpen(TRole role) const
{
    switch (role) {
    case TRole::SynthIn: return FSynthIn->State() != misClosed;
    case TRole::SynthOut: return FSynthOut->State() != mosClosed;
    case TRole::CtrlIn: return FCtrlIn->State() != misClosed;
    case TRole::CtrlOut: return FCtrlOut->State() != mosClosed;
    }
    return false;
}

bool TPortRoles::Conflicts(TRole role, int device) const
{
    const int held = Device(Partner(role));
    return held != NoDevice && held == device;
}

void TPortRoles::Assign(TRole role, int device, const std::string &name)
{
    // Told whatever happens: the role changed even when the open raises.
    struct TTell {
        TPortRoles *Roles;
        TRole Role;
        ~TTell() { emit Roles->roleChanged(Role); }
    } tell{this, role};
    Close(role);
    FHeld[Index(role)] = {device, name, {}, false, {}};
    try {
        const std::vector<std::string> names = IsInput(role) ? InputDeviceNames() : OutputDeviceNames();
        if (device >= 0 && std::size_t(device) < names.size())
            FHeld[Index(role)].PortName = names[std::size_t(device)];
    } catch (const std::exception &) {
        // Unknown: the watcher then goes by the stable name alone.
    }
    Open(role, device);
}

void TPortRoles::Release(TRole role)
{
    FHeld[Index(role)] = {};
    Close(role);
    emit roleChanged(role);
}

void TPortRoles::Await(TRole role, const std::string &name)
{
    Close(role);
    FHeld[Index(role)] = {NoDevice, name, {}, true, {}};
    emit roleChanged(role);
}

void TPortRoles::Lose(TRole role)
{
    try {
        Close(role);
    } catch (const std::exception &) {
        // The device is gone; its port is closed as far as it can be.
    }
    Held &held = FHeld[Index(role)];
    held.Device = NoDevice;
    held.PortName.clear();
    held.Waiting = !held.Name.empty();
    emit roleChanged(role);
}

void TPortRoles::SendFailed(TRole role, const std::string &error)
{
    if (!IsOpen(role))
        return; // told already, or never open
    FHeld[Index(role)].SendError = error; // kept by Lose, shown while the role waits
    Lose(role);
    emit sendFailed(role, QString::fromStdString(error));
}

void TPortRoles::Renumber(TRole role, int device)
{
    FHeld[Index(role)].Device = device;
    emit roleChanged(role);
}

void TPortRoles::Close(TRole role)
{
    if (!IsOpen(role))
        return;
    switch (role) {
    case TRole::SynthIn: FSynthIn->StopAndClose(); break;
    case TRole::SynthOut: FSynthOut->Close(); break;
    case TRole::CtrlIn: FCtrlIn->StopAndClose(); break;
    case TRole::CtrlOut: FCtrlOut->Close(); break;
    }
}

void TPortRoles::Open(TRole role, int device)
{
    auto openInput = [device](TMidiInput *in) {
        in->SetDeviceID(std::uint32_t(device));
        in->Open();
        in->Start();
    };
    auto openOutput = [device](TMidiOutput *out) {
        out->SetDeviceID(std::uint32_t(device));
        out->Open(); // a failed open leaves the port closed; sends are then skipped
    };
    switch (role) {
    case TRole::SynthIn: openInput(FSynthIn); break;
    case TRole::SynthOut: openOutput(FSynthOut); break;
    case TRole::CtrlIn: openInput(FCtrlIn); break;
    case TRole::CtrlOut: openOutput(FCtrlOut); break;
    }
}

void TPortRoles::CloseAll()
{
    std::exception_ptr first;
    for (TRole r : {TRole::SynthOut, TRole::SynthIn, TRole::CtrlIn, TRole::CtrlOut}) {
        try {
            Close(r);
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

} // namespace engine
