#pragma once
// TEditor: the editor's logic beneath the main window. It owns the current
// patch and the synthesizer channel (the one place every message builder and
// dump check reads it from), turns controller moves into parameter changes,
// fetches and applies dumps, echoes values to the controller and makes random
// patches. What is shown, and how, is the view's business (TEditorView).
// Thread: the user-interface thread only; port notices arrive there too.

#include "dw/Messages.h"
#include "dw/Patch.h"
#include "dw/Program.h"
#include "dw/Variation.h"
#include "engine/History.h"
#include "engine/InputDispatcher.h"
#include "engine/SendPacer.h"

#include <QObject>

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <random>
#include <vector>

struct TMyMidiEvent;

namespace engine {

class TPortRoles;
enum class TRole;

// What the editor needs of a window that shows the patch.
class TEditorView {
public:
    virtual ~TEditorView() = default;
    // Shows one row's value (the editor then pauses before the next row's sends).
    virtual void ShowParameter(int row) = 0;
    // A random patch starts or ends; RandomPatchEnds comes whatever happens.
    virtual void RandomPatchBegins() = 0;
    virtual void RandomPatchEnds() = 0;
    // A dump from the synthesizer was cut short (after the rows before the cut).
    virtual void ShowDumpError(const char *text) = 0;
    // Rows of a whole patch (a dump, a load, a comparison, an undo) are
    // about to be shown one by one, and have been; always paired.
    virtual void WholePatchBegins() {}
    virtual void WholePatchEnds() {}
};

class TEditor : public QObject {
    Q_OBJECT
public:
    using TPause = TSendPacer::TPause;
    static constexpr std::chrono::microseconds RowPause{1000};
    // From a device's return to the values and the patch request sent to it:
    // a port just opened may lose what is sent at once (seen over JACK,
    // where the returning client's first cycles can miss it).
    static constexpr std::chrono::milliseconds CatchUpDelay{200};
    // A returned synthesizer is asked once more when no dump came by then:
    // a port just connected may lose its first message.
    static constexpr std::chrono::milliseconds CatchUpRetry{1000};

    explicit TEditor(TPortRoles &ports, QObject *parent = nullptr);

    void SetView(TEditorView *view) { FView = view; }
    // Replaces the pause after each shown row (tests and fuzzing need not wait).
    void SetPause(TPause pause) { FPacer.SetPause(std::move(pause)); }

    // The synthesizer channel 0..15, or dw::NoChannel.
    int Channel() const { return FChannel; }
    void SetChannel(int channel);

    const dw::TPatch &Patch() const { return FPatch; }
    // The parameter-change message as last built (channel byte always current).
    const dw::TParamMsg &ParamMsg() const { return FParamMsg; }
    const dw::TSysexBuf &SysexBuf() const { return FSysexBuf; }

    // Take what waits on the controller / synthesizer input, handing it to
    // every listener of that port (the editor is the first, from its
    // construction on); what the ports' notices do.
    void ControllerInput();
    void SynthInput();

    // A controller move: the row takes the value, which goes to the synthesizer.
    void MoveParameter(int row, int value);
    // Sends the row's current value to the synthesizer, then shows the row.
    void SendParameter(int row);
    // Sends the row's current value to the controller. A send that fails
    // raises once: the port roles then count the output lost (see
    // TPortRoles::SendFailed) and later sends to it are skipped.
    void EchoParameter(int row);
    // Sends every live row's value to the controller (its LED rings show the patch).
    void EchoPatch();
    // Every unlocked live row a random value (nothing locked: every live row,
    // each echoed before it is sent); locked rows are neither changed nor sent.
    void RandomPatch();
    // Every unlocked live row a small random step away, sent as a random patch is.
    void Mutate();

    // Undo: the values before the latest step; Redo: those after the step
    // last undone. A comparison ends first. Only the rows that differ from
    // what the synthesizer has are sent: as parameter changes, or as one
    // data load when that is shorter on the wire; each is echoed to the
    // controller and shown. The synthesizer's program memory is never
    // touched. Refused while a transfer runs.
    void Undo();
    void Redo();
    const THistory &History() const { return FHistory; }
    // Replaces the history's clock (tests make a gesture's rest pass).
    void SetHistoryClock(THistory::TClock clock) { FHistory = THistory(std::move(clock)); }
    // A program was written with the current values (the history notes it).
    void NoteWrite(int program) { FHistory.NoteWrite(program); }

    // Locked rows: a random patch or a mutation leaves them as they are.
    const dw::TLockSet &Locks() const { return FLocks; }
    void SetLocks(const dw::TLockSet &locks);
    void SetLocked(int row, bool locked);
    bool Locked(int row) const { return row >= 0 && row < dw::ParamCount && FLocks.test(std::size_t(row)); }
    // Replaces the random source of the random patch and the mutation.
    void SetRandomSource(dw::TPick pick) { FPick = std::move(pick); }
    // Asks the synthesizer for its patch (nothing without a channel or output).
    void RequestPatch();
    // Stages a received sysex message and applies it when it is a dump for us.
    void CheckSysex(const std::uint8_t *data, std::size_t size);
    void ParseDump();

    // The program the synthesizer last said it selected (0..63), or -1.
    int Program() const { return FProgram; }
    // The current values as a data block (the byte without a row as last
    // fetched or loaded).
    dw::TDataBlock CurrentBlock() const { return dw::BlockFromPatch(FPatch, FBlockBase); }
    // Takes a program as if the synthesizer had sent it: shows it, echoes it
    // to the controller and sends it to the synthesizer's edit buffer (data
    // load), so that what is shown is what sounds. Values are brought into
    // range as from a dump. It becomes the patch Compare returns to.
    void LoadBlock(const dw::TDataBlock &block);
    // Sends the current values to the synthesizer's edit buffer.
    void SendDataLoad();
    // True once a patch was fetched or loaded (the values mean something).
    bool HasPatch() const { return FHasPatch; }
    // The values as edited differ from the patch as last fetched or loaded.
    bool IsEdited() const { return FHasPatch && Edited() != FReference; }

    // Compare: switches between the values as edited and the patch as last
    // fetched or loaded, each shown, echoed and loaded into the synthesizer.
    // A controller move while comparing edits the patch heard and ends the
    // comparison (the edits set aside are dropped), as on the hardware.
    // Does nothing before a patch is known (HasPatch).
    void ToggleCompare();
    bool Comparing() const { return FComparing; }

    // While a transfer runs the editor leaves the synthesizer's messages to
    // the transfer (which subscribes to the input itself) and refuses
    // controller moves, random patches and fetches (a controller move is
    // reported once a transfer through controllerMovesRefused), so nothing
    // is interleaved into the transfer.
    void BeginTransfer();
    void EndTransfer();
    bool TransferRunning() const { return FTransfer; }

    // Messages a builder refused (a value that is no data byte): never sent.
    std::uint64_t RefusedMessages() const { return FRefused; }
    // Input events lost to a full ring, on either input, since start.
    std::uint64_t LostInputEvents() const { return FLost; }

signals:
    // A patch the editor saw: a complete dump (program 0..63 as the unit last
    // said, or -1), or, with `edited`, the edited values that a dump, a
    // loaded patch or a random patch is about to replace.
    void patchSeen(const dw::TDataBlock &block, int program, bool edited);
    void inputEventsLost(quint64 total);
    void compareChanged(bool comparing);
    // Once, when HasPatch becomes true.
    void patchKnown();
    // The synthesizer selected a program (0..63), whether or not its dump follows.
    void programSelected(int program);
    void controllerMovesRefused();
    // A step was recorded, undone or redone.
    void historyChanged();
    // An undo (undo true) or redo restored a step of this kind (TStepKind);
    // writtenProgram is a program written with the values left behind, or -1.
    void restored(bool undo, int kind, int writtenProgram);
    void locksChanged();

private:
    void TakeControllerEvents(const TInputDispatcher::TEvents &events);
    void TakeSynthEvents(const TInputDispatcher::TEvents &events);
    // Shows the row, then pauses until 1 ms after the row's last send (no
    // view, no pause).
    void ShowRow(int row);
    // Sends a change built for the row (nothing without a channel), then shows the row.
    void SendChange(int row, const std::optional<dw::TParamMsg> &msg);
    void SendToSynth(const std::uint8_t *bytes, std::size_t size);
    void SendToController(const dw::TEcho &echo);
    // The values as edited: while comparing, those set aside.
    const dw::TPatch &Edited() const { return FComparing ? FSetAside : FPatch; }
    // Records the change from `before` to the current values as a step.
    void Step(TStepKind kind, const dw::TPatch &before, int gestureRow = -1);
    // The values before the first patch (all 0, never heard) are no state to go back to.
    bool Recording() const { return FHasPatch || FHistory.UndoCount() + FHistory.RedoCount() > 0; }
    void Vary(TStepKind kind, const dw::TPatch &next);
    void Restore(std::optional<TRestore> restore, bool undo);
    // The undo and redo keys' lights: those that changed, every one, or the lit ones.
    enum class TLights { Changed, All, Lit };
    void SendHistoryLights(TLights which);
    void CountLost();
    void ApplyAction(const dw::TControllerAction &action, bool overtaken);
    // Shows a row and echoes it; a failed echo is kept in `failure` if it is the first.
    void ShowAndEchoRow(int row, std::exception_ptr &failure);
    // The first failed echo, after every row was tried.
    std::exception_ptr ShowAndEchoAll();
    void PatchKnown();
    void WholePatchBegins(); // the view's, when there is one
    void WholePatchEnds();
    void ShowCurrent(); // shows, echoes and sends the whole patch
    void EndCompare();
    // A device came back: the controller gets every value, the synthesizer
    // is asked for its patch; once for all the roles one check brought back.
    void DeviceBack(TRole role);
    void CatchUp();

    TPortRoles &FPorts;
    TEditorView *FView = nullptr;
    TSendPacer FPacer;
    int FChannel = dw::NoChannel;
    dw::TPatch FPatch;
    dw::TParamMsg FParamMsg = dw::InitialParamMsg();
    dw::TSysexBuf FSysexBuf;
    std::mt19937 FRandom;
    dw::TPick FPick;
    THistory FHistory;
    dw::TLockSet FLocks;
    std::array<int, 2> FLights{}; // as last sent (a unit given the preset starts unlit)
    std::uint64_t FRefused = 0;
    std::uint64_t FLost = 0;
    int FProgram = -1;
    dw::TDataBlock FBlockBase{};
    dw::TPatch FReference;   // as last fetched or loaded
    dw::TPatch FSetAside;    // the edits while comparing
    bool FComparing = false;
    bool FTransfer = false;
    bool FRefusalTold = false;
    bool FHasPatch = false;
    bool FEchoPending = false;
    bool FFetchPending = false;
    std::uint64_t FDumpsTaken = 0; // complete dumps applied
    TInputDispatcher::TSubscription FControllerListener, FSynthListener;
};

} // namespace engine
