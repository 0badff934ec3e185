#include "engine/DeviceWatcher.h"

#include <QElapsedTimer>

#include <exception>

namespace engine {

TDeviceWatcher::TDeviceWatcher(TPortRoles &ports, QObject *parent) : QObject(parent), FPorts(ports)
{
    connect(&FTimer, &QTimer::timeout, this, [this] { Check(); });
    SetInterval(DefaultInterval);
}

void TDeviceWatcher::SetInterval(std::chrono::milliseconds interval)
{
    if (interval.count() <= 0) {
        FTimer.stop();
        return;
    }
    FTimer.start(interval);
}

std::chrono::milliseconds TDeviceWatcher::Interval() const
{
    return FTimer.isActive() ? FTimer.intervalAsDuration() : std::chrono::milliseconds(0);
}

void TDeviceWatcher::Check()
{
    QElapsedTimer took;
    took.start();
    std::vector<std::string> inputs, outputs;
    try {
        inputs = InputDeviceNames();
        outputs = OutputDeviceNames();
    } catch (const std::exception &) {
        return; // unreadable now; the next check will tell
    }
    for (TRole role : AllRoles)
        CheckRole(role, IsInput(role) ? inputs : outputs);
    ++FChecks;
    FLastCheckTime = std::chrono::nanoseconds(took.nsecsElapsed());
    if (inputs != FInputs || outputs != FOutputs) {
        FInputs = std::move(inputs);
        FOutputs = std::move(outputs);
        emit listsChanged();
    }
}

void TDeviceWatcher::CheckRole(TRole role, const std::vector<std::string> &names)
{
    const std::string name = FPorts.DeviceName(role);
    if (name.empty())
        return;
    if (!FPorts.Waiting(role)) {
        if (!FPorts.IsOpen(role))
            return; // held but never opened (the open failed): the user's to choose again
        // Still listed under the name it had when its port opened? The ALSA
        // numbers in that name change when the device is plugged in again,
        // so a device that came back between two checks is seen as well.
        const std::string port = FPorts.PortName(role);
        auto listed = [&](std::size_t i) {
            return port.empty() ? FindDeviceName({names[i]}, name) == 0 : names[i] == port;
        };
        const int held = FPorts.Device(role);
        int at = held >= 0 && std::size_t(held) < names.size() && listed(std::size_t(held)) ? held : -1;
        for (std::size_t i = 0; i < names.size() && at < 0; ++i) {
            if (listed(i))
                at = int(i);
        }
        if (at >= 0) {
            if (at != held)
                FPorts.Renumber(role, at);
            return;
        }
        FPorts.Lose(role);
        emit deviceLost(role);
        // A device plugged in again between two checks is back at once.
    }
    for (const int device : FindDeviceNames(names, name)) {
        if (FPorts.Conflicts(role, device))
            continue;
        bool opened = false;
        try {
            FPorts.Assign(role, device, name);
            opened = FPorts.IsOpen(role);
        } catch (const std::exception &) {
            // An input that does not open or start (yet): still waiting. One
            // opened but not started would hear nothing, and is closed again.
        }
        if (opened)
            emit deviceBack(role);
        else
            FPorts.Lose(role);
        return;
    }
}

} // namespace engine
