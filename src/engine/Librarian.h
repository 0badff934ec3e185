#pragma once
// TLibrarian: the transfers between the editor and the synthesizer's program
// memory, on the paced sender: write the current patch to a program, receive
// programs into a bank, send a bank's programs. Each waits for the
// synthesizer's answers (a dump, write completed or write error) instead of
// guessing pauses, with a time-out; nothing is reported as received or
// written without its answer. A dump carries no program number, so never two
// requests may be taken for each other: after a time-out nothing is sent for
// a quiet window in which a late dump still counts for the program asked;
// after a retry the window waits for the second answer, which must match;
// a dump that no request accounts for fails the receive, naming the first
// program it may have shifted. While a transfer runs it listens to the
// synthesizer's input (a subscription on its dispatcher), and the editor
// leaves those messages to it and refuses controller moves
// (TEditor::BeginTransfer).
// The window and tavrelk-bank both drive it.
// Thread: the user-interface thread only (the editor's thread).

#include "dw/SyxFile.h"
#include "engine/InputDispatcher.h"
#include "engine/PacedSender.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <vector>

struct TMyMidiEvent;

namespace engine {

class TEditor;
class TPortRoles;

struct TTransferTimings {
    // For a dump after a data save request (tried twice), and for the answer
    // to a write request.
    std::chrono::milliseconds DumpTimeout{1000};
    std::chrono::milliseconds WriteTimeout{3000};
    // After a program change before the request, and after a data load
    // before its write request. The unit takes its MIDI input in order, so
    // none is needed; they are here for a unit that proves otherwise.
    std::chrono::milliseconds AfterProgramChange{0};
    std::chrono::milliseconds AfterDataLoad{0};
    int DumpTries = 2;
    // After a time-out, before asking again or moving on; also before the
    // first request of a run that follows one left unanswered.
    std::chrono::milliseconds QuietWindow{1000};
};

struct TTransferResult {
    enum TOutcome { Done, Cancelled, WriteRefused, NoAnswer, Failed } Outcome = Done;
    // The programs received (receive) or written and confirmed (send, write).
    std::vector<dw::TFileProgram> Programs;
    int Program = -1;  // the program it stopped at, 0..63, or -1
    QString Message;   // one sentence for the user
    bool Ok() const { return Outcome == Done; }
};

inline const char *const WriteRefusedText =
    "The DW-8000 refused to write: its memory protect switch is set to WRITE DISABLE.";

class TLibrarian : public QObject {
    Q_OBJECT
public:
    TLibrarian(TEditor &editor, TPortRoles &ports, QObject *parent = nullptr);
    ~TLibrarian() override;

    void SetTimings(const TTransferTimings &timings) { FTimings = timings; }
    const TTransferTimings &Timings() const { return FTimings; }

    // Each returns false (nothing started) while a transfer runs or without
    // a channel. The end comes as finished().
    // Data load of `data`, then a write request into `program`.
    bool WriteProgram(const dw::TDataBlock &data, int program);
    // Programs first..last (0..63), each selected by program change and
    // requested; afterwards the program selected before is selected again
    // when the editor knows it.
    bool ReceiveBank(int first = 0, int last = dw::BankSize - 1);
    // Each program as data load + write request, in the order given.
    bool SendBank(std::vector<dw::TFileProgram> programs);
    // Stops before the next message; what was not answered is not reported.
    void Cancel();
    bool Busy() const { return FKind != TKind::None; }

signals:
    // Programs done (received, or written and confirmed) of all.
    void progress(int done, int total);
    void finished(const engine::TTransferResult &result);

private:
    enum class TKind { None, Write, Receive, Send };
    // What the quiet timer waits out: a previous run's unanswered request,
    // a late answer after a time-out or retry, strays after the last program.
    enum class TQuiet { None, BeforeStart, AfterAsk, AfterLast };
    bool Begin(TKind kind);
    void StartItem();
    void Tap(const TMyMidiEvent &ev);
    void TakeDump(const dw::TDataBlock &data);
    void StartQuiet(TQuiet what, std::chrono::milliseconds length);
    void QuietOver();
    void ProgramReceived();
    void AllDone();
    void Unsure(int item, const QString &why);
    void SenderFinished(TPacedSender::TOutcome outcome, int step, const QString &error);
    void Fail(TPacedSender::TOutcome outcome, int step, const QString &error);
    void Restore(TTransferResult result);
    void End(TTransferResult result);
    QString Range() const;

    TEditor &FEditor;
    TPortRoles &FPorts;
    TPacedSender FSender;
    TInputDispatcher::TSubscription FListener; // the synthesizer's input, while a transfer runs
    TTransferTimings FTimings;
    TKind FKind = TKind::None;
    int FChannel = -1;
    std::vector<dw::TFileProgram> FItems; // what to send, or the programs to receive (no data yet)
    std::size_t FNext = 0;                // the item under way
    int FTries = 0;
    // Receive: requests sent and dumps taken for the item under way, the
    // first of those dumps, requests of earlier items never answered, and
    // the first item such a late answer could have shifted.
    int FAsked = 0;
    int FAnswers = 0;
    dw::TDataBlock FFirst{};
    int FUnanswered = 0;
    int FSuspectFrom = -1;
    TQuiet FQuiet = TQuiet::None;
    QTimer FQuietTimer;
    QDeadlineTimer FQuietUntil; // a request of the last run may still answer until then
    int FRestoreTo = -1;
    bool FRestoring = false;
    bool FRefused = false;
    bool FCancelled = false;
    TTransferResult FPending; // the result told once the restore has gone
    std::vector<dw::TFileProgram> FDone;
};

} // namespace engine

Q_DECLARE_METATYPE(engine::TTransferResult)
