#pragma once
// TfMain: the editor's main window, a view over the session (engine::
// TSession: port roles, editor, settings). It shows the patch (labels,
// envelope graphs, waveform pictures) on two pages; its handlers forward to
// the editor engine, which owns the patch and the channel. It follows the
// session's choices of devices (the fetch button shows while the
// synthesizer has an output chosen). The setup dialog (setup layer) assigns the ports' devices and the
// channel through the session; the window reaches the dialog only through
// TSetupLink.
// Thread: the user-interface thread only; port notices arrive there too.

#include "core/ParamTable.h"
#include "dw/Messages.h"
#include "engine/Editor.h"
#include "engine/Session.h"

#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QToolButton;
class TEditActions;
class TLibraryMenu;
class TProgramLabel;
class TQuietAccessibility;
class TDeviceStatus;
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
    // Shows the dialog modally.
    virtual void ShowModal() = 0;
};

class TfMain : public QWidget, private engine::TEditorView {
    Q_OBJECT
    // First, so that the references below can be bound to them.
    engine::TSession *FSession; // a Qt child when the window built it
    engine::TPortRoles *FPorts;
    engine::TEditor *FEditor;

public:
    // A view over `session`, which must outlive the window.
    explicit TfMain(engine::TSession &session, QWidget *parent = nullptr);
    // Builds its own session on `settings`, the window's for its whole life.
    explicit TfMain(std::unique_ptr<TSettings> settings, QWidget *parent = nullptr);
    ~TfMain() override;

    engine::TSession &Session() const { return *FSession; }
    engine::TPortRoles &Ports() const { return *FPorts; }
    engine::TEditor &Editor() const { return *FEditor; }

    // The ports, held by the engine's port roles for the window's whole life; never null.
    TMidiOutput *MidiPCtoBC = nullptr;
    TMidiInput *MidiBCtoPC = nullptr;
    TMidiInput *MidiSynthToPC = nullptr;
    TMidiOutput *MidiPCToSynth = nullptr;

    // The rows as shown; the engine holds the patch they show.
    TParamTable Params;
    // The engine's messages and receive buffer, for reading.
    const dw::TParamMsg &ParamMsg;
    const dw::TSysexBuf &SysexBuf;

    TSettings &Settings() { return FSession->Settings(); }
    void SetSetupLink(TSetupLink *link) { FSetupLink = link; }

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
    void ShowParameter(int row) override;
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
    // The row beside the page tabs, right of them: room for the window's own
    // additions (device state, the library menu) outside both pages. What
    // is added there must not be taller than the tabs.
    QWidget *CornerBar = nullptr;
    // The library button and its actions, in the corner bar (a Qt child).
    TLibraryMenu *Library = nullptr;
    // Undo, redo, mutate and the parameter locks (a Qt child).
    TEditActions *EditActions = nullptr;
    TDeviceStatus *DeviceStatus = nullptr; // in the corner bar
    // In the corner bar, right of the status: the program the synthesizer
    // last said it selected, and whether the values differ from the patch
    // as fetched or loaded; empty until there is something to say.
    QLabel *ProgramLabel = nullptr;
    static QString ProgramText(int program, bool edited);
    QLabel *ValueLabel(const QString &name) const;
    QLabel *CaptionLabel(const QString &name) const;
    const std::vector<QLabel *> &CaptionLabels() const { return FCaptionLabels; }
    int LastPolarity() const { return FLastPolarity; }

    // The pages, always at their design size; the window shows them whole
    // where the screen has room, else in a scrolling view (Scroller).
    QWidget *Content = nullptr;
    QScrollArea *Scroller = nullptr;
    // Sizes the window for a screen whose available area is `available`,
    // `frame` the room its title bar and borders take: the design size where
    // that fits (fixed, as ever), else cut to fit and resizable up to it.
    void FitToScreen(const QRect &available, const QMargins &frame);
    // Fits the window to its screen and moves it where it was left last
    // time (kept in the settings file), or centres it on the primary screen
    // when there is no such place or its screen is gone.
    void PlaceOnScreen();

    // How long a patch request waits for the dump before the status says
    // that none came and why that usually is.
    static constexpr int DumpWaitMs = 1500;
    bool WaitingForDump() const { return FDumpWatch.isActive(); }
    // The status texts of a request that got no dump, and of a first run with no device chosen.
    static QString NoDumpText();
    static QString ChooseDevicesText();

    // Ctrl+Q: closes the window as its close button does.
    QAction *QuitAction = nullptr;
    // The about box, from the corner bar's "?" button or F1.
    QAction *AboutAction = nullptr;
    QToolButton *bAbout = nullptr;
    static QString AboutText();

    // The web page the donate button opens (a build setting, replaceable by
    // tests); empty hides the button. UI thread only.
    static const char *DonateUrl;

private:
    // The engine's view.
    void RandomPatchBegins() override;
    void RandomPatchEnds() override;
    void ShowDumpError(const char *text) override;
    // A whole patch is shown without announcing each row; once, after.
    void WholePatchBegins() override;
    void WholePatchEnds() override;

    TfMain(engine::TSession *session, std::unique_ptr<TSettings> settings, QWidget *parent);
    void showEvent(QShowEvent *event) override;
    void CreateWindowActions();
    // Starts the wait for a dump when a request can have gone out.
    void WatchForDump();
    void DumpCame();
    void Restored();
    void SavePlace();
    void FormCreate();
    void FormDestroy();
    void CreateControls();
    void CreatePages();
    void CreateShared();
    void CreateButtons();
    void CreateLabels(QWidget *page);
    void RoleChosen(engine::TRole role);
    void SetEnvelopeStartValues();
    void MoveShared(bool toBcr);
    void CreateProgramLabel();
    void NameControls();
    QString RowText(int row) const;
    QString SectionText(const char *section) const;
    void ShowProgram();

    TSetupLink *FSetupLink = nullptr;
    std::map<QString, TValueLabelWidget *> FValueLabels;
    std::vector<QLabel *> FCaptionLabels;
    int FLastPolarity = -1;
    QTimer FDumpWatch;
    bool FShown = false; // a place worth keeping exists only once shown
    TProgramLabel *FProgramLabel = nullptr;
    std::unique_ptr<TQuietAccessibility> FQuiet; // while a whole patch is shown
    int FWholePatchDepth = 0;
    bool FShownQuietly = false; // a row was shown while quiet
};

// The application's one main window, set while it exists.
extern TfMain *fMain;
