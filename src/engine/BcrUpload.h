#pragma once
// TBcrUpload: sends BCL lines to the BCR2000 and listens to the unit. The
// next line leaves when the unit has answered the one before (its command-21
// answer carries the line's index and an error code); when no answer comes
// in time (answers not routed back, as through a MIDI interface's DIN ports)
// the rest goes with fixed pacing, still recording any answer that comes.
// Sending runs on a TPacedSender, so the window never waits.
//
// While a run goes, the upload listens to the controller input beside the
// editor (a subscription to the port's dispatcher, after the editor's): it
// keeps the unit's sysex answers, and the editor applies the control changes
// as ever. The subscription ends with the run and with the object.
//
// After an upload the unit confirmed line by line, every current value is
// echoed to the controller (a preset just programmed starts from its
// defaults), before finished().
//
// Thread: the user-interface thread only.

#include "engine/InputDispatcher.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TMidiInput;
class TMidiOutput;

namespace engine {

class TEditor;
class TPacedSender;
class TPortRoles;

// One message to send and its number in the file (1 for the first message).
struct TUploadLine {
    std::vector<std::uint8_t> Bytes;
    int Number = 0;
};

struct TUploadError {
    int Number = 0;    // the line's number in the file
    std::string Text;  // the BCL text of the line
    int Code = 0;      // the unit's code
};

struct TUploadReport {
    enum class TEnd { Done, Cancelled, SendFailed };
    TEnd End = TEnd::Done;
    int Sent = 0;             // lines that left
    int Total = 0;
    bool Listened = false;    // a controller input was there to hear answers
    int Unanswered = 0;       // number of the line whose answer did not come (then fixed pacing), 0: none
    int CancelledAt = 0;      // number of the first line not sent on a cancel
    std::vector<TUploadError> Errors;  // in the order the lines were sent
    QString SendError;

    bool Clean() const { return End == TEnd::Done && Errors.empty(); }
};

// What the report says, as one message for the user. Pure.
QString UploadSummary(const TUploadReport &report, int shownErrors = 3);

class TBcrUpload : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds AnswerTimeout{250};
    static constexpr std::chrono::milliseconds FixedGap{10};

    // Sends to the controller output of `ports`. Without `listen`, or with
    // the controller input closed, the lines go with fixed pacing. The ports
    // and the editor must outlive the object.
    TBcrUpload(TPortRoles &ports, TEditor &editor, bool listen = true, QObject *parent = nullptr);
    ~TBcrUpload() override;

    // False (nothing done) while a run goes.
    bool Start(std::vector<TUploadLine> lines);
    void Cancel();
    bool Busy() const;
    const TUploadReport &Report() const { return FReport; }

    // Sets the answer time-out (tests, benchmarks).
    void SetAnswerTimeout(std::chrono::milliseconds timeout) { FAnswerTimeout = timeout; }

signals:
    void progress(int sent, int total);
    // Once per run; Report() holds the outcome.
    void finished();

private:
    void RunFrom(int first, bool awaitAnswers);
    void SenderFinished(int outcome, int step, const QString &error);
    void Peek(const TInputDispatcher::TEvents &events);
    void TakeReply(const std::uint8_t *data, std::size_t size);
    void Finish();
    void Unhook();
    // The unit confirmed every line of a non-empty upload.
    bool Confirmed() const;

    TPortRoles &FPorts;
    TEditor &FEditor;
    bool FListen;
    TPacedSender *FSender;
    std::vector<TUploadLine> FLines;
    std::vector<int> FIndex;   // BCL index of each line, -1 for none
    std::vector<bool> FFailed; // an error already recorded for the line
    int FBase = 0;             // line of the sender's first step
    bool FAwaiting = false;
    bool FRunning = false;
    TInputDispatcher::TSubscription FListener;
    std::chrono::milliseconds FAnswerTimeout = AnswerTimeout;
    TUploadReport FReport;
};

} // namespace engine
