#include "core/DeviceStatus.h"

#include "engine/Editor.h"

#include <QHBoxLayout>
#include <QLabel>

namespace {

using engine::TRole;

const char *RoleTitle(TRole role)
{
    switch (role) {
    case TRole::SynthIn: return "DW-8000 in";
    case TRole::SynthOut: return "DW-8000 out";
    case TRole::CtrlIn: return "Controller in";
    case TRole::CtrlOut: return "Controller out";
    }
    return "";
}

const char *ShortTitle(TRole role)
{
    switch (role) {
    case TRole::SynthIn: return "DW in";
    case TRole::SynthOut: return "DW out";
    case TRole::CtrlIn: return "BCR in";
    case TRole::CtrlOut: return "BCR out";
    }
    return "";
}

const char *MarkColour(const engine::TPortRoles &ports, TRole role)
{
    if (ports.IsOpen(role))
        return "#2ecc40";
    if (ports.Waiting(role))
        return ports.SendError(role).empty() ? "#ffb000" : "#ff4136";
    return "#9a9a9a";
}

} // namespace

QString DeviceStatusText(const engine::TPortRoles &ports, TRole role)
{
    const QString title = QLatin1String(RoleTitle(role));
    const QString name = QString::fromStdString(engine::StableDeviceName(ports.DeviceName(role)));
    if (ports.IsOpen(role))
        return QStringLiteral("%1: connected to %2").arg(title, name);
    if (ports.Waiting(role) && !ports.SendError(role).empty())
        return QStringLiteral("%1: send failed (%2), waiting for %3")
            .arg(title, QString::fromStdString(ports.SendError(role)), name);
    if (ports.Waiting(role))
        return QStringLiteral("%1: absent, waiting for %2").arg(title, name);
    if (name.isEmpty())
        return QStringLiteral("%1: none chosen").arg(title);
    return QStringLiteral("%1: %2 did not open").arg(title, name);
}

TDeviceStatus::TDeviceStatus(engine::TPortRoles &ports, engine::TEditor &editor, QWidget *parent)
    : QWidget(parent), FPorts(ports)
{
    setObjectName(QStringLiteral("DeviceStatus"));
    QFont small = font();
    small.setBold(false);
    small.setPixelSize(11);
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto makeLabel = [&] {
        auto *l = new QLabel(this);
        l->setFont(small);
        l->setTextFormat(Qt::RichText);
        row->addWidget(l);
        return l;
    };
    FLost = makeLabel();
    FLost->setObjectName(QStringLiteral("LostEvents"));
    FLost->hide();
    for (TRole role : engine::AllRoles) {
        FRoles[std::size_t(role)] = makeLabel();
        ShowRole(role);
    }
    connect(&FPorts, &engine::TPortRoles::roleChanged, this, [this](TRole role) { ShowRole(role); });
    connect(&editor, &engine::TEditor::inputEventsLost, this, [this](quint64 total) { ShowLost(total); });
}

void TDeviceStatus::ShowRole(TRole role)
{
    QLabel *l = FRoles[std::size_t(role)];
    l->setText(QStringLiteral("<span style=\"color:%1\">&#9679;</span> %2")
                   .arg(QLatin1String(MarkColour(FPorts, role)), QLatin1String(ShortTitle(role))));
    l->setToolTip(DeviceStatusText(FPorts, role));
    l->setAccessibleName(DeviceStatusText(FPorts, role)); // not the mark's markup
}

void TDeviceStatus::ShowLost(quint64 total)
{
    FLost->setText(total == 1 ? QStringLiteral("1 MIDI event lost") : QStringLiteral("%1 MIDI events lost").arg(total));
    FLost->setToolTip(QStringLiteral("Input events lost because they came faster than the editor could take them"));
    FLost->show();
}
