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
    if (FTap) {
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
        if (batch[i].kind == dw::TControllerAction::RandomPatch) {
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
            if (batch[i].kind == dw::TControllerAction::RandomPatch)
                RandomPatch();
            else if (!overtaken[i])
                MoveParameter(batch[i].row, batch[i].value);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TEditor::TakeSynthEvents(const TInputDispatcher::TEvents &events)
{
    for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
        if ((ev->StatusByte & 0xF0) == 0xC0 && (ev->StatusByte & 0x0F) == FChannel && ev->FirstDataByte < dw::BankSize)
            FProgram = ev->FirstDataByte;
        if (FTap) {
            FTap(*ev);
            continue;
        }
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
    if (FTap)
        return;
    // Built once: the same message tells whether the value is a data byte.
    const std::optional<dw::TParamMsg> msg = dw::BuildRowChange(FChannel == dw::NoChannel ? 0 : FChannel, row, value);
    if (!msg) {
        ++FRefused; // not a data byte: neither kept nor sent
        return;
    }
    FPatch[row] = value;
    EndCompare(); // a move edits what is heard
    SendChange(row, msg);
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
    TMidiOutput &out = FPorts.CtrlOut();
    if (out.State() == mosClosed)
        return;
    const std::optional<dw::TEcho> e = dw::BuildRowEcho(row, FPatch[row]);
    if (!e) {
        ++FRefused;
        return;
    }
    try {
        out.PutShort((*e)[0], (*e)[1], (*e)[2]);
    } catch (const std::exception &error) {
        FPorts.SendFailed(TRole::CtrlOut, error.what());
        throw;
    }
    FPacer.Sent();
}

void TEditor::EchoPatch()
{
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (dw::IsLiveRow(row))
            EchoParameter(row);
    }
}

void TEditor::RandomPatch()
{
    if (FTap)
        return;
    if (FHasPatch && FPatch != FReference)
        emit patchSeen(CurrentBlock(), -1, true);
    EndCompare();
    FRandom.seed(std::uint32_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    if (FView != nullptr)
        FView->RandomPatchBegins();
    // The graphs come back even when a send fails half-way.
    const platform::TScopeExit ends{[this] {
        if (FView != nullptr)
            FView->RandomPatchEnds();
    }};
    // A device lost on the way loses only its own messages: the other one
    // still gets the whole patch, and the first failure is raised at the end.
    std::exception_ptr failure;
    auto attempt = [&failure](auto &&send) {
        try {
            send();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    };
    for (int i = 0; i < dw::ParamCount; ++i) {
        if (!dw::IsLiveRow(i))
            continue;
        std::uniform_int_distribution<int> pick(0, dw::ParamDef(i).RandomMax);
        FPatch[i] = pick(FRandom);
        attempt([&] { EchoParameter(i); });
        attempt([&] { SendParameter(i); });
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TEditor::RequestPatch()
{
    if (FTap)
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
    // The patch is shown whole even when the controller goes away meanwhile.
    std::exception_ptr failure;
    const dw::TDumpResult result = dw::ParseDump(FPatch, FSysexBuf, FChannel, [this, &failure](int row) {
        if (row == 0)
            FPacer.Restart(); // the dump's rows are one run of sends
        ShowRow(row);
        try {
            if (dw::IsLiveRow(row))
                EchoParameter(row);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    });
    if (result == dw::TDumpResult::TooSmall && FView != nullptr)
        FView->ShowDumpError(dw::DumpTooSmallText);
    if (result == dw::TDumpResult::Complete) {
        ++FDumpsTaken;
        for (int i = 0; i < dw::DataSize; ++i)
            FBlockBase[std::size_t(i)] = std::uint8_t(FSysexBuf.Bytes[std::size_t(i) + 5] & 0x7F);
        FReference = FPatch;
        PatchKnown();
        EndCompare();
        emit patchSeen(FBlockBase, FProgram, false); // the bytes as they came
    }
    if (failure)
        std::rethrow_exception(failure);
}

std::exception_ptr TEditor::ShowAndEchoAll()
{
    std::exception_ptr failure;
    for (int row = 0; row < dw::ParamCount; ++row) {
        ShowRow(row);
        try {
            if (dw::IsLiveRow(row))
                EchoParameter(row);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
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
    if (FTap)
        return;
    if (FHasPatch && FPatch != FReference)
        emit patchSeen(CurrentBlock(), -1, true);
    FBlockBase = dw::FitToRanges(block);
    FPatch = dw::PatchFromBlock(FBlockBase);
    FReference = FPatch;
    PatchKnown();
    EndCompare();
    ShowCurrent();
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
    if (FTap || !FHasPatch)
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

void TEditor::BeginTransfer(TSynthTap tap)
{
    FTap = std::move(tap);
    FRefusalTold = false;
}

void TEditor::EndTransfer() { FTap = nullptr; }

} // namespace engine
