#pragma once
// TDeviceStatus: the state of the four port roles and the input events lost
// to a full ring, as a compact strip beside the page tabs: one short label
// per role with a coloured mark (green connected, amber waiting for its
// device, red a send failed, grey nothing chosen or not open), its full text
// as tooltip, and the count of lost events once there is one. It never asks
// anything: a device that comes and goes changes a label, not a box.
// Thread: the user-interface thread only.

#include "engine/PortRoles.h"

#include <QWidget>

#include <array>

class QLabel;

namespace engine {
class TEditor;
}

// One role's state as a sentence, e.g. "Controller in: absent, waiting for BCR2000".
QString DeviceStatusText(const engine::TPortRoles &ports, engine::TRole role);

class TDeviceStatus : public QWidget {
    Q_OBJECT
public:
    TDeviceStatus(engine::TPortRoles &ports, engine::TEditor &editor, QWidget *parent = nullptr);

    QLabel *RoleLabel(engine::TRole role) const { return FRoles[std::size_t(role)]; }
    QLabel *LostLabel() const { return FLost; }

private:
    void ShowRole(engine::TRole role);
    void ShowLost(quint64 total);

    engine::TPortRoles &FPorts;
    std::array<QLabel *, 4> FRoles{};
    QLabel *FLost = nullptr;
};
