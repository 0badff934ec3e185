#pragma once
// The editor's four MIDI port roles: synthesizer in and out, controller in
// and out. Each role holds the device it was given by number and by name;
// the two roles of one direction (the synthesizer's and the controller's)
// may not share a device. The device lists are read from the MIDI service
// itself, so listing needs no port and can be repeated at any time.
// Thread: the user-interface thread only.

#include <QObject>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

class TMidiInput;
class TMidiOutput;

namespace engine {

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

// Position of `name` in `names`, letters compared without case, or -1.
int FindDeviceName(const std::vector<std::string> &names, const std::string &name);

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
    // Closes all four (synthesizer out and in, controller in and out), each
    // tried even when an earlier one fails; raises the first failure.
    void CloseAll();

private:
    struct Held {
        int Device = NoDevice;
        std::string Name;
    };
    static std::size_t Index(TRole r) { return std::size_t(r); }
    void Open(TRole role, int device);

    TMidiInput *FSynthIn = nullptr;
    TMidiOutput *FSynthOut = nullptr;
    TMidiInput *FCtrlIn = nullptr;
    TMidiOutput *FCtrlOut = nullptr;
    std::array<Held, 4> FHeld;
};

} // namespace engine
