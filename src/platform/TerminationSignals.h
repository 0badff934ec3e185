#pragma once
// Ends the application the ordinary way when the system asks it to stop:
// SIGTERM (kill, shutdown), SIGINT (Ctrl+C in a terminal) and SIGHUP (logout,
// terminal closed) end the message loop, so that the windows are destroyed in
// order, the MIDI ports closed and the settings written, as after the main
// window is closed. Left to their default action these signals kill the
// process with its JACK clients open, and a synchronous JACK server then
// stalls until its client timeout.
//
// The handler only writes the signal's number to a socket; a notifier on the
// user-interface thread reads it there and ends every running event loop
// (a modal dialog's too). A signal that the process ignored when the object
// was made (as under nohup) stays ignored.
//
// Threads: make, query and destroy the object on the user-interface thread,
// after the QApplication exists; one object at a time. The handler itself
// may run on any thread.

#include <csignal>
#include <memory>

class QSocketNotifier;

class TTerminationSignals {
public:
    // Installs the handlers; without a socket for them (no descriptors left)
    // nothing is installed and the signals keep their old action.
    TTerminationSignals();
    // Puts the previous handlers back.
    ~TTerminationSignals();
    TTerminationSignals(const TTerminationSignals &) = delete;
    TTerminationSignals &operator=(const TTerminationSignals &) = delete;

    // True once a signal has been taken. One taken before the main loop has
    // started cannot end that loop (only nested ones), so the caller checks
    // this before starting it.
    bool Requested() const { return FLastSignal != 0; }
    // The last signal taken, 0 for none.
    int LastSignal() const { return FLastSignal; }
    // How many signals have been taken; a caller that acts on the first can
    // tell a second one from it.
    int Count() const { return FCount; }

#ifndef _WIN32
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

private:
    static constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);

    static void Handle(int signal);
    void Drain();

    int FSockets[2] = {-1, -1};  // [0] written by the handler, [1] read here
    std::unique_ptr<QSocketNotifier> FNotifier;
    struct sigaction FOld[kSignalCount] = {};
    bool FInstalled[kSignalCount] = {};
#else
    // Windows ends a program by its window messages and console events
    // instead: nothing to install there.
private:
#endif
    int FLastSignal = 0;
    int FCount = 0;
};
