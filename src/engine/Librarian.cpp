#include "engine/Librarian.h"

#include "dw/Program.h"
#include "engine/Editor.h"
#include "engine/Hints.h"
#include "engine/PortRoles.h"
#include "midi/MidiOut.h"
#include "midi/MidiType.h"

#include <QSignalBlocker>

#include <algorithm>

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
    // A request counts as asked once it has left, not when it is queued.
    connect(&FSender, &TPacedSender::progress, this, [this](int sent, int total) {
        if (FKind == TKind::Receive && !FRestoring && sent == total)
            ++FAsked;
    });
    FQuietTimer.setSingleShot(true);
    connect(&FQuietTimer, &QTimer::timeout, this, [this] { QuietOver(); });
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
    FAsked = FAnswers = FUnanswered = 0;
    FSuspectFrom = -1;
    FRefused = FCancelled = FRestoring = false;
    FDone.clear();
    FRestoreTo = kind == TKind::Write ? -1 : FEditor.Program();
    FEditor.BeginTransfer();
    FListener = FPorts.Listeners(TRole::SynthIn).Subscribe([this](const TInputDispatcher::TEvents &events) {
        for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
            if (!Busy())
                break; // ended on an earlier event of the batch
            Tap(*ev);
        }
    });
    const auto left = std::chrono::milliseconds(FQuietUntil.remainingTime());
    if (!FQuietUntil.hasExpired() && left.count() > 0)
        StartQuiet(TQuiet::BeforeStart, left); // the last run's late answer is not this run's
    else
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
    if (FQuiet != TQuiet::None) {
        FQuietTimer.stop();
        FQuiet = TQuiet::None;
        Fail(TPacedSender::TOutcome::Cancelled, 0, {});
        return;
    }
    FSender.Cancel();
}

void TLibrarian::StartItem()
{
    if (FNext >= FItems.size()) {
        if (FKind == TKind::Receive && FUnanswered > 0)
            StartQuiet(TQuiet::AfterLast, FTimings.QuietWindow); // a late answer now shows a shift
        else
            AllDone();
        return;
    }
    if (FCancelled) { // cancelled from a progress handler, between two programs
        Fail(TPacedSender::TOutcome::Cancelled, 0, {});
        return;
    }
    ++FTries;
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

void TLibrarian::AllDone()
{
    TTransferResult done;
    done.Programs = FDone;
    const QString count = FDone.size() == 1 ? QStringLiteral("1 program") : QStringLiteral("%1 programs").arg(FDone.size());
    done.Message = FKind == TKind::Receive ? QStringLiteral("%1 received.").arg(count)
                   : FKind == TKind::Send  ? QStringLiteral("%1 written and confirmed.").arg(count)
                                           : QStringLiteral("Written to program %1.").arg(Prog(FItems[0].Program));
    Restore(done);
}

void TLibrarian::Tap(const TMyMidiEvent &ev)
{
    if (FRestoring || FQuiet == TQuiet::BeforeStart || ev.SysexSize == 0 || !ev.SysexBytes)
        return;
    const std::uint8_t *bytes = ev.SysexBytes.get();
    if (FKind == TKind::Receive) {
        if (const std::optional<dw::TDataBlock> data = dw::DumpData(bytes, ev.SysexSize, FChannel))
            TakeDump(*data);
        return;
    }
    // Only an answer to a request already sent counts.
    if (!FSender.Busy() || FSender.Sent() != FSender.Total())
        return;
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

void TLibrarian::TakeDump(const dw::TDataBlock &data)
{
    if (FQuiet == TQuiet::AfterLast || FAnswers >= FAsked) {
        // No request of this program is open: an earlier one's late answer.
        Unsure(FSuspectFrom >= 0 ? FSuspectFrom : int(FNext),
               QStringLiteral("a late dump came that no request accounts for, so it and each program after it "
                              "may hold the data of the one before"));
        return;
    }
    if (FAnswers > 0 && data != FFirst) {
        Unsure(int(FNext), QStringLiteral("its two answers differ"));
        return;
    }
    if (FAnswers == 0)
        FFirst = data;
    ++FAnswers;
    if (FSender.Busy()) {
        FSender.Answer(); // ends as Done; SenderFinished decides
    } else if (FQuiet == TQuiet::AfterAsk && FAnswers == FAsked) {
        FQuietTimer.stop();
        FQuiet = TQuiet::None;
        ProgramReceived();
    }
}

void TLibrarian::StartQuiet(TQuiet what, std::chrono::milliseconds length)
{
    FQuiet = what;
    FQuietTimer.start(length);
}

void TLibrarian::QuietOver()
{
    const TQuiet was = std::exchange(FQuiet, TQuiet::None);
    if (was == TQuiet::BeforeStart) {
        StartItem();
    } else if (was == TQuiet::AfterLast) {
        AllDone();
    } else if (FAnswers > 0) {
        ProgramReceived();
    } else if (FTries < FTimings.DumpTries) {
        StartItem(); // once more: a dump lost on the way is not a dead unit
    } else {
        Fail(TPacedSender::TOutcome::NoAnswer, 1, {});
    }
}

void TLibrarian::ProgramReceived()
{
    // A request still open may answer later, into another program's wait.
    if (FAsked > FAnswers) {
        FUnanswered += FAsked - FAnswers;
        if (FSuspectFrom < 0)
            FSuspectFrom = int(FNext) + 1;
    }
    FDone.push_back({FItems[FNext].Program, FFirst});
    ++FNext;
    FTries = FAsked = FAnswers = 0;
    emit progress(int(FDone.size()), int(FItems.size()));
    StartItem();
}

void TLibrarian::Unsure(int item, const QString &why)
{
    FQuietTimer.stop();
    FQuiet = TQuiet::None;
    {
        const QSignalBlocker quiet(FSender); // this run's end is told below
        FSender.Cancel();
    }
    const int at = std::min(item, int(FItems.size()) - 1);
    TTransferResult r;
    r.Outcome = TTransferResult::Failed;
    r.Program = FItems[std::size_t(at)].Program;
    r.Programs.assign(FDone.begin(), FDone.begin() + std::min<std::ptrdiff_t>(at, std::ptrdiff_t(FDone.size())));
    r.Message = QStringLiteral("Program %1 could not be received with certainty: %2. Nothing was kept from there on.")
                    .arg(Prog(r.Program), why);
    FDone = r.Programs;
    Restore(r);
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
    if (FKind == TKind::None)
        return; // the run ended while the sender was stopped
    const bool receiving = FKind == TKind::Receive;
    if (receiving && !FCancelled &&
        (outcome == TPacedSender::TOutcome::NoAnswer ||
         (outcome == TPacedSender::TOutcome::Done && FAnswers < FAsked))) {
        // After a time-out, or a retry's first answer: wait for what is still open.
        StartQuiet(TQuiet::AfterAsk, FTimings.QuietWindow);
        return;
    }
    if (outcome == TPacedSender::TOutcome::Done) {
        if (receiving) {
            ProgramReceived();
            return;
        }
        ++FNext;
        FTries = 0;
        emit progress(int(FDone.size()), int(FItems.size()));
        StartItem();
        return;
    }
    Fail(outcome, step, error);
}

void TLibrarian::Fail(TPacedSender::TOutcome outcome, int step, const QString &error)
{
    const int program = FNext < FItems.size() ? FItems[FNext].Program : -1;
    const bool receiving = FKind == TKind::Receive;
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
            r.Message = QStringLiteral("Program %1 did not answer: no dump within %2 s, tried %3 times. %4")
                            .arg(Prog(program), Seconds(FTimings.DumpTimeout))
                            .arg(FTimings.DumpTries)
                            .arg(QLatin1String(NoDumpHint));
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
    // A run that did not end cleanly may have a request still to answer.
    if (!result.Ok())
        FQuietUntil.setRemainingTime(FTimings.QuietWindow);
    FKind = TKind::None;
    FRestoring = false;
    FListener.Reset();
    FEditor.EndTransfer();
    emit finished(result);
}

} // namespace engine
