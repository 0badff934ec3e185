#pragma once
// The editor's four MIDI port roles: synthesizer in and out, controller in
// and out. Each role holds the device it was given by number and by name;
// the two roles of one direction (the synthesizer's and the controller's)
// may not share a device. The device lists are read from the MIDI service
// itself, so listing needs no port and can be repeated at any time.
// A role may also wait for its device: it keeps the name while the device
// is absent (at start-up, after it vanished, after a send to it failed),
// and its watcher (TDeviceWatcher) opens it again when it is back.
// Each input's events reach their listeners through the role's one
// dispatcher (Listeners); nobody else sets a port's OnMidiInput.
// Thread: the user-interface thread only.

#include "engine/DeviceNames.h"
#include "engine/InputDispatcher.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TMidiInput;
class TMidiOutput;

namespace engine {

class TDeviceWatcher;

enum class TRole { SynthIn, SynthOut, CtrlIn, CtrlOut };
constexpr std::array<TRole, 4> AllRoles = {TRole::SynthIn, TRole::SynthOut, TRole::CtrlIn, TRole::CtrlOut};

constexpr bool IsInput(TRole r) { return r == TRole::SynthIn || r == TRole::CtrlIn; }

// The role of the same direction that serves the other device.
constexpr TRole Partner(TRole r)
{
    switch (r) {
    case TRole::SynthIn: return TRole::CtrlIn;
    case TRole::SynthOut: return TRole::CtrlOut;
    case TRole::CtrlIn: return TRole::SynthIn;
    case TRole::CtrlOut: return TRole::SynthOut;
    }
    return r;
}

// The device names of the current MIDI service, in device-number order.
// A name that cannot be read raises the port's error (EMidiInputError or
// EMidiOutputError) with the service's text.
std::vector<std::string> InputDeviceNames();
std::vector<std::string> OutputDeviceNames();

class TPortRoles : public QObject {
    Q_OBJECT
public:
    static constexpr int NoDevice = -1;

    explicit TPortRoles(QObject *parent = nullptr);
    ~TPortRoles() override;

    // The ports, owned here for the object's whole life.
    TMidiInput &SynthIn() const { return *FSynthIn; }
    TMidiOutput &SynthOut() const { return *FSynthOut; }
    TMidiInput &CtrlIn() const { return *FCtrlIn; }
    TMidiOutput &CtrlOut() const { return *FCtrlOut; }
    // The dispatcher of an input role's port (SynthIn or CtrlIn).
    TInputDispatcher &Listeners(TRole inputRole) const
    {
        return inputRole == TRole::SynthIn ? *FSynthListeners : *FCtrlListeners;
    }

    bool IsOpen(TRole role) const;
    // The device number the role holds, or NoDevice.
    int Device(TRole role) const { return FHeld[Index(role)].Device; }
    const std::string &DeviceName(TRole role) const { return FHeld[Index(role)].Name; }

    // True when the other device's role of this direction holds `device`.
    bool Conflicts(TRole role, int device) const;

    // Closes the role's port, then opens it on `device` (held under `name`
    // even when the open fails: an output that does not open stays closed
    // and its sends are skipped; an input that fails raises).
    void Assign(TRole role, int device, const std::string &name);
    // Closes the role's port; it then holds no device.
    void Release(TRole role);
    // Closes the role's port and keeps what it holds.
    void Close(TRole role);
    // Closes the role's port and waits for the device `name` (a stored name).
    void Await(TRole role, const std::string &name);
    // The role's device is gone: its port closes (errors of a port already
    // gone are of no interest) and the role waits for the device's return.
    void Lose(TRole role);
    // A send to the role's port failed with `error`: the role is lost, and
    // the failure is told once (sendFailed); later sends to it are skipped,
    // since its port is closed, until the watcher opens it again.
    void SendFailed(TRole role, const std::string &error);
    // The device moved to another number in the system's list (one before
    // it went away); the port is still open on it.
    void Renumber(TRole role, int device);

    // True while the role holds a name whose device it waits for.
    bool Waiting(TRole role) const { return FHeld[Index(role)].Waiting; }
    // The failed send's text since the role was lost that way; empty otherwise.
    const std::string &SendError(TRole role) const { return FHeld[Index(role)].SendError; }
    // The device's name as the system reported it when the port opened
    // (with any numbers the system adds); empty when unknown.
    const std::string &PortName(TRole role) const { return FHeld[Index(role)].PortName; }

    TDeviceWatcher &Watcher() const { return *FWatcher; }

    // Closes all four (synthesizer out and in, controller in and out), each
    // tried even when an earlier one fails; raises the first failure.
    void CloseAll();

signals:
    // Anything about the role changed: assigned (opened or failed to open),
    // released, waiting, lost, renumbered.
    void roleChanged(engine::TRole role);
    void sendFailed(engine::TRole role, const QString &error);

private:
    struct Held {
        int Device = NoDevice;
        std::string Name;
        std::string PortName;
        bool Waiting = false;
        std::string SendError;
    };
    static std::size_t Index(TRole r) { return std::size_t(r); }
    void Open(TRole role, int device);

    TMidiInput *FSynthIn = nullptr;
    TMidiOutput *FSynthOut = nullptr;
    TMidiInput *FCtrlIn = nullptr;
    TMidiOutput *FCtrlOut = nullptr;
    std::array<Held, 4> FHeld;
    TDeviceWatcher *FWatcher = nullptr; // Qt child
    // Before the ports' destruction (Qt children): they give the handlers back.
    std::unique_ptr<TInputDispatcher> FSynthListeners, FCtrlListeners;
};

} // namespace engine
