#pragma once
// TSession: what the editor is, below its windows. It owns the four port
// roles (TPortRoles), the editor (TEditor, which holds the synthesizer
// channel) and the settings file (TSettings). At start it restores the roles
// and the channel from the settings file and asks the synthesizer for its
// patch; every choice made afterwards takes effect at once and is written
// to the file. It also says whether the program can work at all: without a
// MIDI input device it cannot (the no-interface rule), and ends.
//
// The windows are views over it: the setup dialog shows and changes the
// choices, the main window shows the patch. The bank tool builds the same
// session on the same settings file.
// Thread: the user-interface thread only.

#include "engine/PortRoles.h"
#include "engine/Settings.h"

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace engine {

class TEditor;

class TSession : public QObject {
    Q_OBJECT
public:
    // Takes the settings for the session's whole life.
    explicit TSession(std::unique_ptr<TSettings> settings, QObject *parent = nullptr);
    ~TSession() override;

    TPortRoles &Ports() const { return *FPorts; }
    TEditor &Editor() const { return *FEditor; }
    TSettings &Settings() const { return *FSettings; }

    // The role's key in the settings file's device section.
    static const QString &RoleKey(TRole role);

    // True when the system has no MIDI input device: the program cannot
    // work and should end.
    bool NoInterface() const;
    // Set by Start when the program should end (the application's message
    // loop then quits as soon as it starts).
    bool EndRequested() const { return FEndRequested; }

    // A step of start-up that failed; start-up goes on with the next.
    using TFailed = std::function<void(const std::exception &)>;
    // Asked when a choice takes a device that the other role of its
    // direction holds; true hands it over (that role then holds none).
    // Without an answer nothing is handed over.
    using TTakeOver = std::function<bool(TRole role)>;
    void SetTakeOver(TTakeOver takeOver) { FTakeOver = std::move(takeOver); }

    // Start-up: reads the device lists, restores each role (a saved device
    // not listed is waited for under its name; "None" releases the role),
    // applies the saved channel (0..15, out-of-range clamped), tells
    // restored(), and asks the synthesizer for its patch. Each step that
    // raises is told to `failed`.
    void Start(const TFailed &failed);

    // The devices as the system names them, in list order, as last read.
    const std::vector<std::string> &InputNames() const { return FInputNames; }
    const std::vector<std::string> &OutputNames() const { return FOutputNames; }
    const std::vector<std::string> &Names(TRole role) const { return IsInput(role) ? FInputNames : FOutputNames; }
    // Reads both lists again (inputs first); a list that cannot be read
    // raises and stays as it was.
    void ReadDeviceLists();

    enum class TChoice { Taken, Declined, TookOver };
    // Gives the role the device at `device` in its list (held under its
    // stable name), or none for TPortRoles::NoDevice, and writes the choice.
    // A device the other role holds is taken only when TTakeOver agrees;
    // that role's "None" is written too. An input that does not open raises
    // after the role holds it, unwritten.
    TChoice Choose(TRole role, int device);

    // The synthesizer channel 0..15: applied to the editor and written.
    void SetChannel(int channel);
    int Channel() const;

    // What the settings file holds: the role's device (its stable name, or
    // "None"), and the channel 0..15 (out-of-range clamped). Start restores
    // these; the bank tool takes them where its command line says nothing.
    QString SavedDevice(TRole role) const;
    int SavedChannel() const;

    // Writes the channel and every role that holds a device or waits for one.
    void SaveAll();

signals:
    // A choice or the start-up gave the role a device, none, or a device to
    // wait for (a role handed over to the other one is not chosen: its
    // roleChanged tells it).
    void roleChosen(engine::TRole role);
    // Start-up has restored roles and channel; the patch request follows.
    void restored();

private:
    void WriteRole(TRole role, const QString &name);
    void RestoreRole(TRole role, bool listed, const TFailed &failed);

    std::unique_ptr<TSettings> FSettings;
    TPortRoles *FPorts;  // Qt children
    TEditor *FEditor;
    TTakeOver FTakeOver;
    std::vector<std::string> FInputNames, FOutputNames;
    bool FEndRequested = false;
};

} // namespace engine
