#pragma once
// TBcrUpload: sends BCL lines to the BCR2000 and listens to the unit. The
// next line leaves when the unit has answered the one before (its command-21
// answer carries the line's index and an error code); when no answer comes
// in time (answers not routed back, as through a MIDI interface's DIN ports)
// the rest goes with fixed pacing, still recording any answer that comes.
// Sending runs on a TPacedSender, so the window never waits.
//
// While a run goes, the upload takes the controller input's notices: it
// chains the port's OnMidiInput, reads what waits, keeps the unit's sysex
// answers and applies control changes through the editor's public moves, as
// the editor would. The handler is put back when the run ends and when the
// object goes.
//
// Thread: the user-interface thread only.

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

    // `in` may be null or closed: the lines then go with fixed pacing. The
    // ports and the editor must outlive the object.
    TBcrUpload(TMidiOutput &out, TMidiInput *in, TEditor &editor, QObject *parent = nullptr);
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
    void Peek();
    void TakeReply(const std::uint8_t *data, std::size_t size);
    void Finish();
    void Unhook();

    TMidiOutput &FOut;
    TMidiInput *FIn;
    TEditor &FEditor;
    TPacedSender *FSender;
    std::vector<TUploadLine> FLines;
    std::vector<int> FIndex;   // BCL index of each line, -1 for none
    std::vector<bool> FFailed; // an error already recorded for the line
    int FBase = 0;             // line of the sender's first step
    bool FAwaiting = false;
    bool FHooked = false;
    bool FRunning = false;
    std::function<void(QObject *)> FChained;
    std::chrono::milliseconds FAnswerTimeout = AnswerTimeout;
    TUploadReport FReport;
};

} // namespace engine
