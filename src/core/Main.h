#pragma once
// TfMain: the editor's main window and controller. It owns the four MIDI
// ports and the parameter table, routes controller moves to the synthesizer,
// fetches and shows patches, echoes them to the controller and makes random
// patches. The setup dialog (setup layer) assigns the ports' devices and the
// channel; the window reaches it only through TSetupLink.
// Thread: the user-interface thread only; port notices arrive there too.

#include "core/DwMessages.h"
#include "core/ParamTable.h"
#include "core/Settings.h"

#include <QWidget>

#include <map>
#include <memory>
#include <random>
#include <vector>

class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;
class TMidiInput;
class TMidiOutput;
class Tvxadsr2;
class Tvxgrafsw;
class TWallpaper;
class TValueLabelWidget;

// What the main window needs of the setup dialog.
class TSetupLink {
public:
    virtual ~TSetupLink() = default;
    // The synthesizer channel 0..15, or -1 while none is selected.
    virtual int ChannelIndex() const = 0;
    // Shows the dialog modally.
    virtual void ShowModal() = 0;
};

class TfMain : public QWidget {
    Q_OBJECT
public:
    // The settings object is the window's for its whole life (created by the
    // application on the file beside the executable).
    explicit TfMain(std::unique_ptr<TSettings> settings, QWidget *parent = nullptr);
    ~TfMain() override;

    // The ports; owned by the window (Qt children), never null.
    TMidiOutput *MidiPCtoBC = nullptr;
    TMidiInput *MidiBCtoPC = nullptr;
    TMidiInput *MidiSynthToPC = nullptr;
    TMidiOutput *MidiPCToSynth = nullptr;

    TParamTable Params;
    dw::TParamMsg ParamMsg{};
    std::vector<std::uint8_t> SysexStream;  // one staged sysex message
    dw::TSysexBuf SysexBuf;                 // with ReceivedSize

    TSettings &Settings() { return *FSettings; }
    void SetSetupLink(TSetupLink *link) { FSetupLink = link; }
    // Writes byte 2 of ParamMsg (the setup dialog's channel choice).
    void SetChannelByte(std::uint8_t value) { ParamMsg[2] = value; }

    // Handlers and window operations.
    void MidiBCtoPCMidiInput(QObject *sender);
    void MidiSynthToPCMidiInput(QObject *sender);
    void bGetPatchClick();
    void bMidiSetupClick();
    void sbDonateClick();
    void pgMainChange();
    void Label17Click();
    void bSavePatchClick();
    void SendParameter(int row);
    void EchoParameter(int row);
    void ShowParameter(int row);
    void RandomPatch();
    void CheckSysex(const std::vector<std::uint8_t> &stream);
    void ParseDump();
    void PlaceControls(TWallpaper *panel);
    void ShowBcrLayout();
    void ShowBlockDiagram();

    // Controls, for the setup dialog and for tests.
    QTabWidget *pgMain = nullptr;
    QWidget *tsBlock = nullptr;
    QWidget *tsBCR = nullptr;
    TWallpaper *Wallpaper1 = nullptr;
    TWallpaper *Wallpaper2 = nullptr;
    Tvxgrafsw *gOsc1 = nullptr;
    Tvxgrafsw *gOsc2 = nullptr;
    Tvxadsr2 *VCFadsr = nullptr;
    Tvxadsr2 *VCAadsr = nullptr;
    QPushButton *bGetPatch = nullptr;
    QPushButton *bMidiSetup = nullptr;
    QToolButton *sbDonate = nullptr;
    QLabel *ValueLabel(const QString &name) const;
    QLabel *CaptionLabel(const QString &name) const;
    const std::vector<QLabel *> &CaptionLabels() const { return FCaptionLabels; }
    int LastPolarity() const { return FLastPolarity; }

    // The web page the donate button opens (a build setting, replaceable by
    // tests); empty hides the button. UI thread only.
    static const char *DonateUrl;

private:
    void FormCreate();
    void FormDestroy();
    void CreateControls();
    void CreateLabels(QWidget *page);
    void SetEnvelopeStartValues();
    int Channel() const;
    void MoveShared(bool toBcr);
    static void Pause();

    std::unique_ptr<TSettings> FSettings;
    TSetupLink *FSetupLink = nullptr;
    std::map<QString, TValueLabelWidget *> FValueLabels;
    std::vector<QLabel *> FCaptionLabels;
    int FLastPolarity = -1;
    std::mt19937 FRandom;
};

// The application's one main window, set while it exists.
extern TfMain *fMain;
