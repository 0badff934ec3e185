#pragma once
// TfMidiSetup: the "Midi Setup" dialog, a view over the session's port
// roles and channel. Its creation starts the session (engine::TSession:
// lists, saved roles, channel, patch request) and shows what it reports and
// what it holds; afterwards it hands the user's choices of devices and
// channel to the session, which applies and saves them. It also uploads the
// controller preset and finds the devices.
// Thread: the user-interface thread only.

#include "core/Main.h"
#include "engine/Session.h"
#include "setup/PresetUpload.h"

#include <QDialog>
#include <QString>

#include <array>
#include <string>
#include <vector>

class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class QGroupBox;
class TDeviceFinder;
class TPresetUpload;

class TfMidiSetup : public QDialog, public TSetupLink {
    Q_OBJECT
public:
    // Starts the session before it returns (its failures shown in boxes);
    // the session must outlive the dialog, which writes it out when it goes.
    explicit TfMidiSetup(engine::TSession &session, QWidget *parent = nullptr);
    ~TfMidiSetup() override;

    // The channel selected, 0..15, or -1 while none is.
    int ChannelIndex() const;
    // TSetupLink
    void ShowModal() override;

    // True when start-up found no MIDI input device: the application ends
    // as soon as its message loop starts.
    bool TerminateRequested() const { return FSession.EndRequested(); }

    // Handlers.
    void lbMidiInClick();
    void lbMidiOutClick();
    void lbCtrlInClick();
    void lbCtrlOutClick();
    void rgMidiChanClick();
    void bbOKClick();
    void bLoadBCRClick();
    void bFindDevicesClick();

    // Selects a channel index as code does (applies it when it changes).
    void SetChannelIndex(int index);

    // Controls, for tests.
    QListWidget *lbMidiIn = nullptr;
    QListWidget *lbMidiOut = nullptr;
    QListWidget *lbCtrlIn = nullptr;
    QListWidget *lbCtrlOut = nullptr;
    QPushButton *bLoadBCR = nullptr;
    QPushButton *bbOK = nullptr;
    QGroupBox *rgMidiChan = nullptr;
    QPushButton *bFindDevices = nullptr;
    TPresetUpload *Upload = nullptr;
    TDeviceFinder *Finder = nullptr;

    static constexpr const char *PresetFileName = TPresetUpload::PresetFileName;
    // Where the upload looks after the current directory: the installed data
    // folder. Empty means the executable's folder.
    static void SetPresetFallbackDir(const QString &dir);

    // The role selections: list position, or -1 for none. In the engine's role order.
    enum TRole { SynthIn, SynthOut, CtrlIn, CtrlOut };
    int Selection(TRole role) const;

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Role {
        QListWidget *list = nullptr;
        int justApplied = -1; // row applied on the press of the current click
    };

    void FormCreate();
    void FormDestroy();
    void CreateControls();
    QWidget *CreatePanel();
    void CreateLists(QWidget *panel);
    void CreateButtons(QWidget *panel);
    void CreateChannelGroup(QWidget *panel);
    // Fills the lists from the session's device names.
    void FillLists();
    void PickFound(int synthOut, int synthIn, int channel, int ctrlOut, int ctrlIn);
    bool AskTakeOver(TRole role);
    // Lists the devices again and selects what each role holds.
    void RefreshLists();
    void SelectHeld(TRole role);
    static bool IsInput(TRole role) { return role == SynthIn || role == CtrlIn; }
    void ApplyChoice(TRole role);
    void SelectRow(QListWidget *list, int row);
    int NoneRow(const QListWidget *list) const;
    void ConnectList(TRole role);
    void Click(TRole role);
    QString FindPresetFile() const;

    engine::TSession &FSession;
    std::array<Role, 4> FRoles;
    QButtonGroup *FChannelGroup = nullptr;
};

extern TfMidiSetup *fMidiSetup;
