#include "engine/Session.h"

#include "engine/Editor.h"
#include "midi/MidiIn.h"

#include <QCoreApplication>

#include <algorithm>

namespace engine {
namespace {

using namespace settingskeys;

// Runs one step of start-up; a step that raises is told, and the next goes on.
template <typename TStep>
bool Guarded(const TSession::TFailed &failed, TStep &&step)
{
    try {
        step();
        return true;
    } catch (const std::exception &e) {
        if (failed)
            failed(e);
        return false;
    }
}

} // namespace

TSession::TSession(std::unique_ptr<TSettings> settings, QObject *parent)
    : QObject(parent), FSettings(std::move(settings)), FPorts(new TPortRoles(this)), FEditor(new TEditor(*FPorts, this))
{
}

TSession::~TSession() = default;

const QString &TSession::RoleKey(TRole role)
{
    switch (role) {
    case TRole::SynthIn: return SynthInput;
    case TRole::SynthOut: return SynthOutput;
    case TRole::CtrlIn: return CtrlInput;
    case TRole::CtrlOut: break;
    }
    return CtrlOutput;
}

bool TSession::NoInterface() const { return FPorts->CtrlIn().DeviceCount() == 0; }

void TSession::Start(const TFailed &failed)
{
    if (NoInterface()) {
        FEndRequested = true;
        // Ends the application as soon as its message loop starts.
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    const bool listed = Guarded(failed, [this] { ReadDeviceLists(); });
    for (TRole r : AllRoles)
        RestoreRole(r, listed, failed);
    const int channel = SavedChannel();
    Guarded(failed, [&] { SetChannel(channel); });
    emit restored();
    Guarded(failed, [this] { FEditor->RequestPatch(); });
}

void TSession::RestoreRole(TRole role, bool listed, const TFailed &failed)
{
    const QString saved = SavedDevice(role);
    const bool none = saved.compare(NoDevice, Qt::CaseInsensitive) == 0;
    const int device = none ? TPortRoles::NoDevice : FindDeviceName(Names(role), saved.toStdString());
    if (device >= 0 || none) {
        Guarded(failed, [&] { Choose(role, device); });
    } else if (listed) {
        // Not plugged in yet: the role waits for it under the saved name.
        if (Guarded(failed, [&] { FPorts->Await(role, saved.toStdString()); }))
            emit roleChosen(role);
    }
    // Not listed, maybe just unreadable: the saved choice stays for the next start.
}

QString TSession::SavedDevice(TRole role) const { return FSettings->ReadString(Devices, RoleKey(role), NoDevice); }

// No channel at all would put 2F on the wire.
int TSession::SavedChannel() const { return std::clamp(FSettings->ReadInteger(Synth, settingskeys::Channel, 0), 0, 15); }

void TSession::ReadDeviceLists()
{
    FInputNames = InputDeviceNames();
    FOutputNames = OutputDeviceNames();
}

TSession::TChoice TSession::Choose(TRole role, int device)
{
    const std::vector<std::string> &names = Names(role);
    if (device < 0 || std::size_t(device) >= names.size()) {
        FPorts->Release(role);
        WriteRole(role, NoDevice);
        emit roleChosen(role);
        return TChoice::Taken;
    }
    TChoice choice = TChoice::Taken;
    if (FPorts->Conflicts(role, device)) {
        if (!FTakeOver || !FTakeOver(role))
            return TChoice::Declined;
        const TRole partner = Partner(role);
        FPorts->Release(partner);
        WriteRole(partner, NoDevice);
        choice = TChoice::TookOver;
    }
    const std::string name = StableDeviceName(names[std::size_t(device)]);
    FPorts->Assign(role, device, name);
    WriteRole(role, QString::fromStdString(name));
    emit roleChosen(role);
    return choice;
}

void TSession::WriteRole(TRole role, const QString &name) { FSettings->WriteString(Devices, RoleKey(role), name); }

void TSession::SetChannel(int channel)
{
    FEditor->SetChannel(channel);
    FSettings->WriteInteger(Synth, settingskeys::Channel, channel);
}

int TSession::Channel() const { return FEditor->Channel(); }

void TSession::SaveAll()
{
    FSettings->WriteInteger(Synth, settingskeys::Channel, FEditor->Channel());
    for (TRole r : AllRoles) {
        if (FPorts->Device(r) >= 0 || FPorts->Waiting(r))
            WriteRole(r, QString::fromStdString(FPorts->DeviceName(r)));
    }
}

} // namespace engine
