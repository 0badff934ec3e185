#pragma once
// TPacedSender: sends a list of messages to one output at a measured pace
// without ever blocking the window. Each step says how long after its send
// the next may leave, and whether it waits for an answer (which the owner,
// watching its inputs, reports with Answer()) for at most a given time. The
// run is driven by a timer on the user-interface thread and ends with one
// finished() signal: all sent, cancelled, no answer in time, or a failed send.
// Thread: the user-interface thread only.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <vector>

class TMidiOutput;

namespace engine {

class TPacedSender : public QObject {
    Q_OBJECT
public:
    struct TStep {
        std::vector<std::uint8_t> Bytes;           // one message; up to 3 bytes without F0 go as a short message
        std::chrono::milliseconds MinGap{0};       // from this send to the next
        std::chrono::milliseconds AnswerTimeout{0}; // 0: no answer awaited
        bool AsLong = false;                       // one long message whatever its bytes (file contents)
    };
    enum class TOutcome { Done, Cancelled, NoAnswer, SendFailed };

    explicit TPacedSender(QObject *parent = nullptr);

    // Starts a run; false (nothing done) while another run is going.
    bool Start(TMidiOutput &out, std::vector<TStep> steps);
    // The answer awaited by the step just sent has arrived.
    void Answer();
    // Ends the run before the next send.
    void Cancel();

    bool Busy() const { return FBusy; }
    int Sent() const { return FNext; }
    int Total() const { return int(FSteps.size()); }

signals:
    // After each send: steps sent so far, steps in all.
    void progress(int sent, int total);
    // Once per run. `step` is the index of the step the run ended at (the
    // one not answered, not sent, or next when cancelled); `error` is the
    // failed send's text.
    void finished(engine::TPacedSender::TOutcome outcome, int step, const QString &error);

private:
    void SendNext();
    void ScheduleNext();
    void Finish(TOutcome outcome, int step, const QString &error = {});

    QPointer<TMidiOutput> FOut;
    std::vector<TStep> FSteps;
    int FNext = 0;
    bool FBusy = false;
    bool FAwaiting = false;
    QElapsedTimer FSince; // since the last send
    QTimer FPace;
    QTimer FTimeout;
};

} // namespace engine
