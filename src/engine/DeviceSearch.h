#pragma once
// Finding the DW-8000 and the BCR2000 among the MIDI ports. Every output that
// is free to open is asked in turn: the DW-8000's device ID request on all 16
// channels (F0 42 4n F7, answered F0 42 3n 03 F7 on the synth's channel) and
// the BCR2000's identity request (answered with command 02 and the unit's
// text); every input that is free to open listens meanwhile. An answer heard
// on input I while output O was asked makes (O, I) a candidate. After the
// wait, output O is closed and nothing else is asked for as long again, so
// that an answer late for O still counts for O. An answer later than that
// would be taken for the output asked next, so after the sweep each output
// with a candidate is asked again, alone, with the same wait and quiet time:
// a candidate whose device does not answer again the same way (kind, input,
// channel) is dropped, with a note.
//
// The core (what to send, what an answer is, what was found, the lines a
// command-line tool prints) is pure; TDeviceSearch runs it on the ports,
// driven by timers. A blocking form, FindDevices, serves command-line tools:
//
//     QCoreApplication app(argc, argv);       // and the MIDI service chosen
//     const engine::TSearchResult r = engine::FindDevices();
//     for (const std::string &line : engine::DetectLines(r)) puts(line.c_str());
//     return r.BothFound() ? 0 : 1;
//
// Thread: the user-interface thread (the thread of the Qt event loop) only;
// the pure functions on any thread.

#include "engine/InputDispatcher.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMidiInput;
class TMidiOutput;

namespace engine {

class TPortRoles;

// What an answer heard during a search is.
struct TSearchAnswer {
    enum class TKind { Synth, Controller } Kind = TKind::Synth;
    int Channel = 0;        // the synth's channel 0..15
    std::string Identity;   // the controller's identity text
};
std::optional<TSearchAnswer> ClassifySearchAnswer(const std::uint8_t *data, std::size_t size);

// The requests for one output: the synth's on channels 0..15 unless the
// output is the controller's, the controller's unless it is the synth's.
std::vector<std::vector<std::uint8_t>> ProbeMessages(bool askSynth, bool askController);

struct TSynthCandidate {
    int Output = -1;
    int Input = -1;
    int Channel = 0;
    bool operator==(const TSynthCandidate &o) const
    {
        return Output == o.Output && Input == o.Input && Channel == o.Channel;
    }
};
struct TControllerCandidate {
    int Output = -1;
    int Input = -1;
    std::string Identity;
    bool operator==(const TControllerCandidate &o) const { return Output == o.Output && Input == o.Input; }
};

struct TSearchResult {
    std::vector<std::string> InputNames;   // device numbers index these
    std::vector<std::string> OutputNames;
    std::vector<TSynthCandidate> Synths;   // in the order first heard, each once
    std::vector<TControllerCandidate> Controllers;
    bool Cancelled = false;
    std::string Error;  // a device list that could not be read, a role that did not open again
    // What went wrong without spoiling the search, a sentence each for the
    // user: an output that did not close, an answer that did not come again.
    std::vector<std::string> Notes;

    // Keeps an answer heard on `input` while `output` was asked.
    void Record(int output, int input, const TSearchAnswer &answer);
    bool BothFound() const { return !Synths.empty() && !Controllers.empty(); }
};

// One line per finding, for `tavrelk-bank detect`: synth-output PORT,
// synth-input PORT, synth-channel N (1..16), controller-output PORT,
// controller-input PORT; the first candidate of each device.
std::vector<std::string> DetectLines(const TSearchResult &result);

class TDeviceSearch : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultWait{100};

    explicit TDeviceSearch(QObject *parent = nullptr);
    ~TDeviceSearch() override;

    // With roles, the ports they hold are closed during the search (so that
    // their devices are free to ask) and opened again after it; the synth's
    // output gets no controller request and the controller's no synth request.
    void SetPortRoles(TPortRoles *roles) { FRoles = roles; }
    // The time each output has for its answers.
    void SetWait(std::chrono::milliseconds wait) { FWait = wait; }

    // Starts; false while a search goes. The device lists are read here.
    bool Start();
    void Cancel();
    bool Busy() const { return FBusy; }
    const TSearchResult &Result() const { return FResult; }

signals:
    // Before each output is asked: outputs done, outputs in all, the one asked now.
    void progress(int done, int total, const QString &output);
    void finished();

private:
    // An input listened on: the port, its dispatcher, the search's subscription.
    struct TListening {
        std::unique_ptr<TMidiInput> Port;
        std::unique_ptr<TInputDispatcher> Dispatcher;
        TInputDispatcher::TSubscription Listener;
    };

    void OpenInputs();
    void AskNext();
    // Opens the output and sends its requests, the wait running; false when
    // it is not free to open or its requests did not go.
    bool Ask(int output);
    void WaitOver();
    void CloseAsked();
    void Listen(int input, const TInputDispatcher::TEvents &events);
    void StartConfirming();
    void ConfirmNext();
    void KeepConfirmed();
    void Finish();
    void CloseOwn();

    TPortRoles *FRoles = nullptr;
    std::chrono::milliseconds FWait = DefaultWait;
    bool FBusy = false;
    bool FCancelled = false;
    int FNext = 0;      // next output to ask
    int FAsking = -1;   // output being asked, or whose quiet time runs; -1: answers go to no port
    bool FQuiet = false; // the asked output is closed; its late answers still count
    bool FConfirming = false;        // the second pass: answers go to FHeardAgain
    std::vector<int> FToConfirm;     // outputs with a candidate, in the order first heard
    std::size_t FConfirmNext = 0;
    TSearchResult FHeardAgain;       // the answers of the second pass
    std::vector<bool> FReopen; // by role: open before the search
    int FSynthOut = -1;
    int FCtrlOut = -1;
    std::vector<TListening> FInputs; // by device number; no port when not open
    std::unique_ptr<TMidiOutput> FOutput;
    QTimer FTimer;
    TSearchResult FResult;
};

// Runs a search to its end in a local event loop (command-line tools).
TSearchResult FindDevices(std::chrono::milliseconds wait = TDeviceSearch::DefaultWait);

} // namespace engine
