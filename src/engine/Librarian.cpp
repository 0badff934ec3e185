#include "engine/Librarian.h"

#include "dw/Program.h"
#include "engine/Editor.h"
#include "engine/PortRoles.h"
#include "midi/MidiOut.h"
#include "midi/MidiType.h"

namespace engine {
namespace {

template <typename A>
std::vector<std::uint8_t> Bytes(const A &message)
{
    return std::vector<std::uint8_t>(message.begin(), message.end());
}

QString Prog(int program) { return QString::fromStdString(dw::ProgramText(program)); }

QString Seconds(std::chrono::milliseconds ms) { return QString::number(double(ms.count()) / 1000.0, 'g', 3); }

} // namespace

TLibrarian::TLibrarian(TEditor &editor, TPortRoles &ports, QObject *parent)
    : QObject(parent), FEditor(editor), FPorts(ports), FSender(this)
{
    qRegisterMetaType<engine::TTransferResult>();
    connect(&FSender, &TPacedSender::finished, this,
            [this](TPacedSender::TOutcome o, int step, const QString &error) { SenderFinished(o, step, error); });
}

TLibrarian::~TLibrarian()
{
    if (Busy())
        FEditor.EndTransfer();
}

bool TLibrarian::Begin(TKind kind)
{
    if (Busy() || FEditor.TransferRunning() || FEditor.Channel() == dw::NoChannel)
        return false;
    FKind = kind;
    FChannel = FEditor.Channel();
    FNext = 0;
    FTries = 0;
    FRefused = FCancelled = FRestoring = false;
    FDone.clear();
    FRestoreTo = kind == TKind::Write ? -1 : FEditor.Program();
    FEditor.BeginTransfer([this](const TMyMidiEvent &ev) { Tap(ev); });
    StartItem();
    return true;
}

bool TLibrarian::WriteProgram(const dw::TDataBlock &data, int program)
{
    if (program < 0 || program >= dw::BankSize || Busy())
        return false;
    FItems = {{program, data}};
    return Begin(TKind::Write);
}

bool TLibrarian::ReceiveBank(int first, int last)
{
    if (first < 0 || last >= dw::BankSize || first > last || Busy())
        return false;
    FItems.clear();
    for (int p = first; p <= last; ++p)
        FItems.push_back({p, {}});
    return Begin(TKind::Receive);
}

bool TLibrarian::SendBank(std::vector<dw::TFileProgram> programs)
{
    if (programs.empty() || Busy())
        return false;
    for (const dw::TFileProgram &p : programs) {
        if (p.Program < 0 || p.Program >= dw::BankSize)
            return false;
    }
    FItems = std::move(programs);
    return Begin(TKind::Send);
}

void TLibrarian::Cancel()
{
    if (!Busy() || FRestoring || FCancelled)
        return;
    FCancelled = true;
    FSender.Cancel();
}

void TLibrarian::StartItem()
{
    if (FNext >= FItems.size()) {
        TTransferResult done;
        done.Programs = FDone;
        done.Message = FKind == TKind::Receive ? QStringLiteral("%1 programs received.").arg(FDone.size())
                       : FKind == TKind::Send  ? QStringLiteral("%1 programs written and confirmed.").arg(FDone.size())
                                               : QStringLiteral("Written to program %1.").arg(Prog(FItems[0].Program));
        Restore(done);
        return;
    }
    const dw::TFileProgram &item = FItems[FNext];
    std::vector<TPacedSender::TStep> steps;
    if (FKind == TKind::Receive) {
        const auto change = dw::BuildProgramChange(FChannel, item.Program);
        const auto request = dw::BuildDumpRequest(FChannel);
        steps.push_back({Bytes(*change), FTimings.AfterProgramChange, {}});
        steps.push_back({Bytes(*request), {}, FTimings.DumpTimeout});
    } else {
        const auto load = dw::BuildDump(FChannel, item.Data);
        const auto write = dw::BuildWriteRequest(FChannel, item.Program);
        if (!load) {
            TTransferResult failed;
            failed.Outcome = TTransferResult::Failed;
            failed.Program = item.Program;
            failed.Programs = FDone;
            failed.Message = QStringLiteral("Program %1 holds a byte that cannot be sent; nothing from there on was written.")
                                 .arg(Prog(item.Program));
            Restore(failed);
            return;
        }
        steps.push_back({Bytes(*load), FTimings.AfterDataLoad, {}});
        steps.push_back({Bytes(*write), {}, FTimings.WriteTimeout});
    }
    FSender.Start(FPorts.SynthOut(), std::move(steps));
}

void TLibrarian::Tap(const TMyMidiEvent &ev)
{
    if (FRestoring || ev.SysexSize == 0 || !ev.SysexBytes)
        return;
    // Only an answer to a request already sent counts.
    if (!FSender.Busy() || FSender.Sent() != FSender.Total())
        return;
    const std::uint8_t *bytes = ev.SysexBytes.get();
    if (FKind == TKind::Receive) {
        if (const std::optional<dw::TDataBlock> data = dw::DumpData(bytes, ev.SysexSize, FChannel)) {
            FDone.push_back({FItems[FNext].Program, *data});
            FSender.Answer();
        }
        return;
    }
    switch (dw::ClassifyWriteAnswer(bytes, ev.SysexSize, FChannel)) {
    case dw::TWriteAnswer::Completed:
        FDone.push_back(FItems[FNext]);
        FSender.Answer();
        break;
    case dw::TWriteAnswer::Error:
        FRefused = true;
        FSender.Cancel();
        break;
    case dw::TWriteAnswer::None:
        break;
    }
}

QString TLibrarian::Range() const
{
    if (FDone.empty())
        return QStringLiteral("none before it");
    if (FDone.size() == 1)
        return QStringLiteral("%1 before it").arg(Prog(FDone.front().Program));
    return QStringLiteral("%1 programs before it, %2 to %3")
        .arg(FDone.size())
        .arg(Prog(FDone.front().Program))
        .arg(Prog(FDone.back().Program));
}

void TLibrarian::SenderFinished(TPacedSender::TOutcome outcome, int step, const QString &error)
{
    if (FRestoring) {
        End(FPending);
        return;
    }
    if (outcome == TPacedSender::TOutcome::Done) {
        ++FNext;
        FTries = 0;
        emit progress(int(FDone.size()), int(FItems.size()));
        StartItem();
        return;
    }
    const int program = FItems[FNext].Program;
    const bool receiving = FKind == TKind::Receive;
    if (outcome == TPacedSender::TOutcome::NoAnswer && receiving && ++FTries < FTimings.DumpTries) {
        StartItem(); // once more: a dump lost on the way is not a dead unit
        return;
    }
    TTransferResult r;
    r.Programs = FDone;
    r.Program = program;
    if (FRefused) {
        r.Outcome = TTransferResult::WriteRefused;
        r.Message = QLatin1String(WriteRefusedText);
        if (FKind == TKind::Send)
            r.Message += QStringLiteral(" Program %1 was not written; written: %2.").arg(Prog(program), Range());
    } else if (outcome == TPacedSender::TOutcome::Cancelled) {
        r.Outcome = TTransferResult::Cancelled;
        if (receiving)
            r.Message = QStringLiteral("Cancelled after %1 of %2 programs.").arg(FDone.size()).arg(FItems.size());
        else
            r.Message = QStringLiteral("Cancelled at program %1, which is not confirmed as written; written: %2.")
                            .arg(Prog(program), Range());
    } else if (outcome == TPacedSender::TOutcome::NoAnswer) {
        r.Outcome = TTransferResult::NoAnswer;
        if (receiving)
            r.Message = QStringLiteral("Program %1 did not answer: no dump within %2 s, tried %3 times.")
                            .arg(Prog(program), Seconds(FTimings.DumpTimeout))
                            .arg(FTimings.DumpTries);
        else
            r.Message = QStringLiteral("No answer from the DW-8000 to the write of program %1 within %2 s: "
                                       "nothing was confirmed from there on.")
                            .arg(Prog(program), Seconds(FTimings.WriteTimeout));
    } else {
        r.Outcome = TTransferResult::Failed;
        r.Message = QStringLiteral("Sending to the DW-8000 failed at program %1 (step %2): %3")
                        .arg(Prog(program))
                        .arg(step + 1)
                        .arg(error);
    }
    Restore(r);
}

void TLibrarian::Restore(TTransferResult result)
{
    std::vector<TPacedSender::TStep> steps;
    if (FRestoreTo >= 0) {
        if (const auto change = dw::BuildProgramChange(FChannel, FRestoreTo))
            steps.push_back({Bytes(*change), {}, {}});
    }
    // The edit buffer was overwritten on the way: give it the editor's values
    // again, so that what is shown is what sounds.
    if (FKind != TKind::Write && FEditor.HasPatch()) {
        if (const auto load = dw::BuildDump(FChannel, FEditor.CurrentBlock()))
            steps.push_back({Bytes(*load), {}, {}});
    }
    if (steps.empty()) {
        End(std::move(result));
        return;
    }
    FRestoring = true;
    FPending = std::move(result);
    if (!FSender.Start(FPorts.SynthOut(), std::move(steps)))
        End(FPending);
}

void TLibrarian::End(TTransferResult result)
{
    // Undo leaves a written program as it is; the history says which one.
    if (FKind == TKind::Write && result.Ok() && !result.Programs.empty())
        FEditor.NoteWrite(result.Programs.front().Program);
    FKind = TKind::None;
    FRestoring = false;
    FEditor.EndTransfer();
    emit finished(result);
}

} // namespace engine
