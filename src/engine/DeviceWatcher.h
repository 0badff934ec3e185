#pragma once
// TDeviceWatcher: notices devices that come and go under the port roles.
// RtMidi tells nothing when a port appears or disappears, so the watcher
// compares the system's device lists with what the roles hold, on a timer
// (twice a second by default) or at once through Check(). A role whose
// device left its list is lost (its port closes, the name stays); a role
// that waits gets its device back, under its stored name, at the first
// position the other role of its direction does not hold. A list that
// cannot be read is no news: that check is skipped.
// Thread: the user-interface thread only (the timer runs there).

#include "engine/PortRoles.h"

#include <QObject>
#include <QTimer>

#include <chrono>

namespace engine {

class TDeviceWatcher : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultInterval{500};

    // Starts watching at DefaultInterval.
    TDeviceWatcher(TPortRoles &ports, QObject *parent = nullptr);

    // 0 stops the timer (Check still works).
    void SetInterval(std::chrono::milliseconds interval);
    std::chrono::milliseconds Interval() const;

    // Compares the lists with the roles now.
    void Check();

    // Checks done so far, and the time the last one took.
    std::uint64_t Checks() const { return FChecks; }
    std::chrono::nanoseconds LastCheckTime() const { return FLastCheckTime; }

signals:
    void deviceLost(engine::TRole role);
    // The role's port is open again on its device.
    void deviceBack(engine::TRole role);
    // The system's device lists differ from those of the check before.
    void listsChanged();

private:
    void CheckRole(TRole role, const std::vector<std::string> &names);

    TPortRoles &FPorts;
    QTimer FTimer;
    std::vector<std::string> FInputs, FOutputs;
    std::uint64_t FChecks = 0;
    std::chrono::nanoseconds FLastCheckTime{0};
};

} // namespace engine
