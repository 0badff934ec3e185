#pragma once
// TfMidiSetup: the "Midi Setup" dialog, a view over the engine's port roles
// and channel. Its creation performs the editor's MIDI start-up (lists the
// devices, restores the four saved port roles, applies the channel, requests
// the synthesizer's patch); afterwards it reassigns devices and the channel
// on the user's choice, each taking effect at once and written to the
// settings file. It also uploads the controller preset.
// Thread: the user-interface thread only.

#include "core/Main.h"

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
    // Runs the start-up sequence before it returns. The main window must
    // outlive the dialog.
    explicit TfMidiSetup(TfMain &main, QWidget *parent = nullptr);
    ~TfMidiSetup() override;

    // The channel selected, 0..15, or -1 while none is.
    int ChannelIndex() const;
    // TSetupLink
    void ShowModal() override;

    // True when start-up found no MIDI input device: the application ends
    // as soon as its message loop starts.
    bool TerminateRequested() const { return FTerminate; }

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

    static constexpr const char *PresetFileName = "Tavrelk.SYX";
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
        QString key;
        int justApplied = -1; // row applied on the press of the current click
    };

    void FormCreate();
    void FormDestroy();
    void CreateControls();
    void FillLists();
    // Lists the devices again and selects what each role holds.
    void RefreshLists();
    void SelectHeld(TRole role);
    static bool IsInput(TRole role) { return role == SynthIn || role == CtrlIn; }
    void ApplyChoice(TRole role);
    bool ResolveConflict(TRole role);
    void SelectRow(QListWidget *list, int row);
    int NoneRow(const QListWidget *list) const;
    void ConnectList(TRole role);
    void Click(TRole role);
    QString FindPresetFile() const;

    TfMain &FMain;
    std::array<Role, 4> FRoles;
    QButtonGroup *FChannelGroup = nullptr;
    // The devices as the system names them, in list order (the lists show their stable names).
    std::vector<std::string> FInputNames, FOutputNames;
    bool FTerminate = false;
};

extern TfMidiSetup *fMidiSetup;
