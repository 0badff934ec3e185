#include "engine/Editor.h"

#include "engine/DeviceWatcher.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/PreciseSleep.h"
#include "platform/ScopeExit.h"

#include <QTimer>

#include <array>
#include <exception>
#include <utility>

namespace engine {

TEditor::TEditor(TPortRoles &ports, QObject *parent) : QObject(parent), FPorts(ports), FPacer(RowPause, platform::PreciseSleep)
{
    FPick = [this](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRandom); };
    for (TMidiInput *in : {&FPorts.CtrlIn(), &FPorts.SynthIn()})
        in->OnOverflow = [this](QObject *) { CountLost(); };
    FControllerListener =
        FPorts.Listeners(TRole::CtrlIn).Subscribe([this](const TInputDispatcher::TEvents &e) { TakeControllerEvents(e); });
    FSynthListener =
        FPorts.Listeners(TRole::SynthIn).Subscribe([this](const TInputDispatcher::TEvents &e) { TakeSynthEvents(e); });
    connect(&FPorts.Watcher(), &TDeviceWatcher::deviceBack, this, [this](TRole role) { DeviceBack(role); });
}

void TEditor::DeviceBack(TRole role)
{
    const bool scheduled = FEchoPending || FFetchPending;
    if (role == TRole::CtrlOut)
        FEchoPending = true;
    else if (role == TRole::SynthIn || role == TRole::SynthOut)
        FFetchPending = true;
    if (!scheduled && (FEchoPending || FFetchPending))
        QTimer::singleShot(CatchUpDelay, this, [this] { CatchUp(); });
}

void TEditor::CatchUp()
{
    const bool echo = std::exchange(FEchoPending, false);
    const bool fetch = std::exchange(FFetchPending, false);
    // A send that fails here has lost its role again, which the port roles
    // tell; there is no handler above this one to show it twice.
    try {
        if (echo)
            EchoPatch();
    } catch (const std::exception &) {
    }
    if (!fetch)
        return;
    auto request = [this] {
        try {
            RequestPatch();
        } catch (const std::exception &) {
        }
    };
    request();
    QTimer::singleShot(CatchUpRetry, this, [this, request, before = FDumpsTaken] {
        if (FDumpsTaken == before && !FFetchPending)
            request();
    });
}

void TEditor::SetChannel(int channel)
{
    FChannel = (channel >= 0 && channel <= 15) ? channel : dw::NoChannel;
    FParamMsg[2] = FChannel == dw::NoChannel ? 0x00 : dw::ChannelByte(FChannel);
}

void TEditor::CountLost()
{
    ++FLost;
    emit inputEventsLost(FLost);
}

void TEditor::ControllerInput() { FPorts.Listeners(TRole::CtrlIn).Dispatch(); }

void TEditor::SynthInput() { FPorts.Listeners(TRole::SynthIn).Dispatch(); }

void TEditor::TakeControllerEvents(const TInputDispatcher::TEvents &events)
{
    if (FTransfer) {
        // Refused, not held: a move applied after a bank transfer would
        // change a sound the user no longer expects.
        bool moved = false;
        for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
            if (dw::ClassifyControllerMessage(ev->StatusByte, ev->FirstDataByte, ev->SecondDataByte).kind !=
                dw::TControllerAction::None)
                moved = true;
        }
        if (moved && !FRefusalTold) {
            FRefusalTold = true;
            emit controllerMovesRefused();
        }
        return;
    }
    // Only the events that were waiting (the dispatcher takes no more): what
    // arrives meanwhile has its own notice, so a flood cannot keep the window
    // from its message loop.
    std::vector<dw::TControllerAction> batch;
    for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
        if (ev->StatusByte == 0xFE)
            continue;
        const dw::TControllerAction a = dw::ClassifyControllerMessage(ev->StatusByte, ev->FirstDataByte, ev->SecondDataByte);
        if (a.kind != dw::TControllerAction::None)
            batch.push_back(a);
    }
    std::exception_ptr failure;
    // A move followed in the same batch by another move of its row is not
    // sent: with a pause per change the synthesizer would otherwise fall ever
    // further behind the controller, and only the last value counts.
    std::vector<bool> overtaken(batch.size(), false);
    std::array<bool, dw::ParamCount> later{};
    for (std::size_t i = batch.size(); i-- > 0;) {
        if (batch[i].kind != dw::TControllerAction::SetParameter) {
            later.fill(false);
            continue;
        }
        overtaken[i] = later[std::size_t(batch[i].row)];
        later[std::size_t(batch[i].row)] = true;
    }
    // The batch is out of the ring: a failed send must not drop the moves
    // after it, so the first error is reported once the batch is applied.
    for (std::size_t i = 0; i < batch.size(); ++i) {
        try {
            ApplyAction(batch[i], overtaken[i]);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TEditor::ApplyAction(const dw::TControllerAction &action, bool overtaken)
{
    switch (action.kind) {
    case dw::TControllerAction::SetParameter:
        if (!overtaken)
            MoveParameter(action.row, action.value);
        break;
    case dw::TControllerAction::RandomPatch: RandomPatch(); break;
    case dw::TControllerAction::Mutate: Mutate(); break;
    case dw::TControllerAction::Undo: Undo(); break;
    case dw::TControllerAction::Redo: Redo(); break;
    // The key's light went out with the release: it shows the history again.
    case dw::TControllerAction::HistoryKeyReleased: SendHistoryLights(TLights::All); break;
    case dw::TControllerAction::None: break;
    }
}

void TEditor::TakeSynthEvents(const TInputDispatcher::TEvents &events)
{
    for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
        if ((ev->StatusByte & 0xF0) == 0xC0 && (ev->StatusByte & 0x0F) == FChannel && ev->FirstDataByte < dw::BankSize) {
            FProgram = ev->FirstDataByte;
            emit programSelected(FProgram);
        }
        if (FTransfer)
            continue; // the transfer's own listener has it
        switch (dw::ClassifySynthMessage(ev->StatusByte, ev->SysexSize)) {
        case dw::TSynthAction::FetchPatch:
            RequestPatch();
            break;
        case dw::TSynthAction::Dump:
            // Staged straight from the event: one copy after the driver's buffer.
            CheckSysex(ev->SysexBytes.get(), ev->SysexSize);
            break;
        case dw::TSynthAction::None:
            break;
        }
    }
}

void TEditor::MoveParameter(int row, int value)
{
    if (FTransfer)
        return;
    // Built once: the same message tells whether the value is a data byte.
    const std::optional<dw::TParamMsg> msg = dw::BuildRowChange(FChannel == dw::NoChannel ? 0 : FChannel, row, value);
    if (!msg) {
        ++FRefused; // not a data byte: neither kept nor sent
        return;
    }
    const bool comparing = FComparing;
    const dw::TPatch before = Edited();
    FPatch[row] = value;
    EndCompare(); // a move edits what is heard
    // While comparing, the move replaces the edits set aside: one step with
    // every row that differs, which the gesture then goes on.
    if (!comparing)
        FHistory.RecordMove(row, before[row], value);
    else
        FHistory.Record(TStepKind::CompareEdit, before, FPatch, row);
    // The change leaves first: the window's notice is not on its road.
    const platform::TScopeExit told{[this] { emit historyChanged(); }};
    SendChange(row, msg);
    SendHistoryLights(TLights::Changed);
}

void TEditor::SendParameter(int row)
{
    SendChange(row, FChannel == dw::NoChannel ? std::nullopt : dw::BuildRowChange(FChannel, row, FPatch[row]));
}

void TEditor::SendChange(int row, const std::optional<dw::TParamMsg> &msg)
{
    if (FChannel != dw::NoChannel) {
        if (msg) {
            FParamMsg = *msg;
            SendToSynth(FParamMsg.data(), FParamMsg.size());
        } else {
            ++FRefused;
        }
    }
    ShowRow(row);
}

void TEditor::ShowRow(int row)
{
    if (FView == nullptr)
        return;
    FView->ShowParameter(row);
    FPacer.Wait();
}

void TEditor::SendToSynth(const std::uint8_t *bytes, std::size_t size)
{
    TMidiOutput &out = FPorts.SynthOut();
    if (out.State() == mosClosed)
        return;
    try {
        out.PutLong(bytes, std::uint16_t(size));
    } catch (const std::exception &e) {
        FPorts.SendFailed(TRole::SynthOut, e.what());
        throw;
    }
    FPacer.Sent();
}

void TEditor::EchoParameter(int row)
{
    if (FPorts.CtrlOut().State() == mosClosed)
        return;
    if (const std::optional<dw::TEcho> e = dw::BuildRowEcho(row, FPatch[row]))
        SendToController(*e);
    else
        ++FRefused;
}

void TEditor::SendToController(const dw::TEcho &e)
{
    TMidiOutput &out = FPorts.CtrlOut();
    if (out.State() == mosClosed)
        return;
    try {
        out.PutShort(e[0], e[1], e[2]);
    } catch (const std::exception &error) {
        FPorts.SendFailed(TRole::CtrlOut, error.what());
        throw;
    }
    FPacer.Sent();
}

void TEditor::SendHistoryLights(TLights which)
{
    const std::array<int, 2> controllers = {dw::UndoController, dw::RedoController};
    const std::array<int, 2> lights = {FHistory.CanUndo() ? 1 : 0, FHistory.CanRedo() ? 1 : 0};
    for (std::size_t i = 0; i < lights.size(); ++i) {
        const bool send = which == TLights::All || (which == TLights::Changed && lights[i] != FLights[i]) ||
                          (which == TLights::Lit && lights[i] == 1);
        if (!send || FPorts.CtrlOut().State() == mosClosed)
            continue;
        if (const std::optional<dw::TEcho> e = dw::BuildEcho(0, controllers[i], lights[i]))
            SendToController(*e);
        FLights[i] = lights[i];
    }
}

void TEditor::EchoPatch()
{
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (dw::IsLiveRow(row))
            EchoParameter(row);
    }
    // A unit just given the preset, or back, starts with its lights out.
    FLights = {};
    SendHistoryLights(TLights::Lit);
}

void TEditor::RandomPatch()
{
    if (FTransfer)
        return;
    FRandom.seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    Vary(TStepKind::Random, dw::RandomValues(FPatch, FLocks, FPick));
}

void TEditor::Mutate()
{
    if (FTransfer)
        return;
    FRandom.seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    Vary(TStepKind::Mutate, dw::MutateValues(FPatch, FLocks, FPick));
}

namespace {

// Runs sends in turn; the first failure is kept and raised at the end, so
// that a device lost on the way loses only its own messages.
class TAttempts {
public:
    template <typename F> void operator()(F &&send)
    {
        try {
            send();
        } catch (...) {
            if (!FFailure)
                FFailure = std::current_exception();
        }
    }
    void RethrowFirst() const
    {
        if (FFailure)
            std::rethrow_exception(FFailure);
    }

private:
    std::exception_ptr FFailure;
};

} // namespace

void TEditor::Vary(TStepKind kind, const dw::TPatch &next)
{
    if (FHasPatch && FPatch != FReference)
        emit patchSeen(CurrentBlock(), -1, true); // the edit it replaces
    const dw::TPatch before = Edited();
    const bool recording = Recording();
    EndCompare();
    FPatch = next;
    if (recording)
        Step(kind, before);
    if (FView != nullptr)
        FView->RandomPatchBegins();
    // The graphs come back even when a send fails half-way.
    const platform::TScopeExit ends{[this] {
        if (FView != nullptr)
            FView->RandomPatchEnds();
    }};
    TAttempts attempt;
    for (int i = 0; i < dw::ParamCount; ++i) {
        if (!dw::IsLiveRow(i) || FLocks.test(std::size_t(i)))
            continue;
        attempt([&] { EchoParameter(i); });
        attempt([&] { SendParameter(i); });
    }
    attempt([&] { SendHistoryLights(TLights::Changed); });
    attempt.RethrowFirst();
}

void TEditor::Step(TStepKind kind, const dw::TPatch &before, int gestureRow)
{
    FHistory.Record(kind, before, FPatch, gestureRow);
    emit historyChanged();
}

void TEditor::Undo()
{
    if (!FTransfer)
        Restore(FHistory.Undo(), true);
}

void TEditor::Redo()
{
    if (!FTransfer)
        Restore(FHistory.Redo(), false);
}

void TEditor::Restore(std::optional<TRestore> restore, bool undo)
{
    if (!restore) {
        SendHistoryLights(TLights::All); // a press with nothing to do still leaves the lights right
        return;
    }
    dw::TPatch target = Edited();
    for (const auto &[row, value] : restore->Rows)
        target[row] = value;
    std::vector<int> changed; // rows whose value the synthesizer and the controller do not have
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (target[row] != FPatch[row] && dw::IsLiveRow(row))
            changed.push_back(row);
    }
    EndCompare();
    FPatch = target;
    emit historyChanged();
    emit restored(undo, int(restore->Kind), restore->WrittenProgram);
    // A data load is 57 bytes, a parameter change 8.
    const bool load = FChannel != dw::NoChannel &&
                      changed.size() * std::tuple_size<dw::TParamMsg>::value > std::size_t(dw::DumpSize);
    TAttempts attempt;
    FPacer.Restart();
    WholePatchBegins();
    const platform::TScopeExit ends{[this] { WholePatchEnds(); }};
    for (const int row : changed) {
        attempt([&] { EchoParameter(row); });
        if (!load)
            attempt([&] { SendParameter(row); });
        else
            ShowRow(row);
    }
    if (load)
        attempt([&] { SendDataLoad(); });
    attempt([&] { SendHistoryLights(TLights::All); });
    attempt.RethrowFirst();
}

void TEditor::SetLocks(const dw::TLockSet &locks)
{
    FLocks = locks;
    FLocks.reset(std::size_t(dw::UnusedRow));
    emit locksChanged();
}

void TEditor::SetLocked(int row, bool locked)
{
    if (row < 0 || row >= dw::ParamCount || !dw::IsLiveRow(row) || Locked(row) == locked)
        return;
    FLocks.set(std::size_t(row), locked);
    emit locksChanged();
}

void TEditor::RequestPatch()
{
    if (FTransfer)
        return;
    if (FPorts.SynthOut().State() == mosClosed)
        return;
    if (const std::optional<dw::TDumpRequest> request = dw::BuildDumpRequest(FChannel))
        SendToSynth(request->data(), request->size());
}

void TEditor::CheckSysex(const std::uint8_t *data, std::size_t size)
{
    if (!dw::StageSysex(FSysexBuf, data, size))
        return; // longer than any DW-8000 dump
    ParseDump(); // which tests the header, once
}

void TEditor::ParseDump()
{
    if (FHasPatch && FPatch != FReference)
        emit patchSeen(CurrentBlock(), -1, true);
    const dw::TPatch before = Edited();
    const bool recording = Recording();
    // The patch is shown whole even when the controller goes away meanwhile.
    std::exception_ptr failure;
    WholePatchBegins();
    const platform::TScopeExit ends{[this] { WholePatchEnds(); }};
    const dw::TDumpResult result = dw::ParseDump(FPatch, FSysexBuf, FChannel, [this, &failure](int row) {
        if (row == 0)
            FPacer.Restart(); // the dump's rows are one run of sends
        ShowAndEchoRow(row, failure);
    });
    if (result == dw::TDumpResult::TooSmall && FView != nullptr)
        FView->ShowDumpError(dw::DumpTooSmallText);
    if (result == dw::TDumpResult::Complete) {
        ++FDumpsTaken;
        for (int i = 0; i < dw::DataSize; ++i)
            FBlockBase[std::size_t(i)] = std::uint8_t(FSysexBuf.Bytes[std::size_t(i) + 5] & 0x7F);
        FReference = FPatch;
        PatchKnown();
        emit patchSeen(FBlockBase, FProgram, false); // the bytes as they came
    }
    if (result != dw::TDumpResult::Ignored) {
        EndCompare(); // the rows are the synthesizer's now, even those of a cut dump
        if (recording)
            Step(TStepKind::Fetch, before);
        try {
            SendHistoryLights(TLights::Changed);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TEditor::WholePatchBegins()
{
    if (FView != nullptr)
        FView->WholePatchBegins();
}

void TEditor::WholePatchEnds()
{
    if (FView != nullptr)
        FView->WholePatchEnds();
}

void TEditor::ShowAndEchoRow(int row, std::exception_ptr &failure)
{
    ShowRow(row);
    try {
        if (dw::IsLiveRow(row))
            EchoParameter(row);
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

std::exception_ptr TEditor::ShowAndEchoAll()
{
    std::exception_ptr failure;
    WholePatchBegins();
    const platform::TScopeExit ends{[this] { WholePatchEnds(); }};
    for (int row = 0; row < dw::ParamCount; ++row)
        ShowAndEchoRow(row, failure);
    return failure;
}

void TEditor::ShowCurrent()
{
    // A controller that fails its echo must not keep the synthesizer from
    // its data load: each device is tried, the first failure told at the end.
    std::exception_ptr failure = ShowAndEchoAll();
    try {
        SendDataLoad();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TEditor::LoadBlock(const dw::TDataBlock &block)
{
    if (FTransfer)
        return;
    if (FHasPatch && FPatch != FReference)
        emit patchSeen(CurrentBlock(), -1, true);
    const dw::TPatch before = Edited();
    const bool recording = Recording();
    FBlockBase = dw::FitToRanges(block);
    FPatch = dw::PatchFromBlock(FBlockBase);
    FReference = FPatch;
    PatchKnown();
    EndCompare();
    if (recording)
        Step(TStepKind::Load, before);
    ShowCurrent();
    SendHistoryLights(TLights::Changed);
}

void TEditor::SendDataLoad()
{
    if (FChannel == dw::NoChannel)
        return;
    if (const std::optional<dw::TDump> dump = dw::BuildDump(FChannel, CurrentBlock()))
        SendToSynth(dump->data(), dump->size());
    else
        ++FRefused;
}

void TEditor::PatchKnown()
{
    if (std::exchange(FHasPatch, true))
        return;
    emit patchKnown();
}

void TEditor::ToggleCompare()
{
    // Before a patch was fetched or loaded there is nothing to compare with:
    // the reference would be all zeros.
    if (FTransfer || !FHasPatch)
        return;
    if (FComparing) {
        FPatch = FSetAside;
    } else {
        FSetAside = FPatch;
        FPatch = FReference;
    }
    FComparing = !FComparing;
    emit compareChanged(FComparing);
    ShowCurrent();
}

void TEditor::EndCompare()
{
    if (!FComparing)
        return;
    FComparing = false;
    emit compareChanged(false);
}

void TEditor::BeginTransfer()
{
    FTransfer = true;
    FRefusalTold = false;
}

void TEditor::EndTransfer() { FTransfer = false; }

} // namespace engine
