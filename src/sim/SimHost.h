#pragma once
// The simulated DW-8000 and BCR2000 behind real MIDI ports (RtMidi virtual
// ports on JACK, the ALSA sequencer or CoreMIDI), with a MIDI monitor and a
// small command language, for the stand-alone program tavrelk-sim.
//
// Ports (JACK names them client:port): "dw8000-out:out" and
// "bcr2000-out:out" carry what the devices send, "dw8000-in:in" and
// "bcr2000-in:in" take what is sent to them.
//
// Threads: construct, Open (once), Command, Unplug, Plug and destroy on one thread (the
// program's main thread). The MIDI system's input threads only queue what
// arrives (the queue is the one hand-off, behind its mutex); one worker
// thread, started by Open once the ports are complete, hands it to the
// simulators, so their answers never go out from a MIDI system thread. Each
// output port has a mutex, since answers, commands and late answers may send
// at once. The log function is called from any of these threads.

#include "sim/SimBcr2000.h"
#include "sim/SimDw8000.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <sstream>
#include <thread>
#include <vector>

class TSimHost {
public:
    using LogFunction = std::function<void(const std::string &)>;

    static constexpr const char *SynthName = "dw8000";
    static constexpr const char *ControllerName = "bcr2000";

    explicit TSimHost(LogFunction log);
    ~TSimHost();
    TSimHost(const TSimHost &) = delete;
    TSimHost &operator=(const TSimHost &) = delete;

    // Opens the four ports on the named MIDI system ("jack", "alsa", "core"),
    // or on the first that starts when `api` is empty. Returns an empty
    // string or why it failed.
    std::string Open(const std::string &api);
    // The system the ports are on, e.g. "jack"; empty before Open.
    const std::string &System() const { return FSystem; }
    // The ports as client:port, the way JACK lists them ("dw8000-out:out");
    // the ALSA sequencer adds its client and port numbers.
    std::vector<std::string> PortNames() const;

    // Closes both ports of the simulated DW-8000 (`synth`) or BCR2000, as
    // when its cable is pulled out; Plug opens them again under the same
    // names. Each returns an empty string or why it failed.
    std::string Unplug(bool synth);
    std::string Plug(bool synth);
    bool Plugged(bool synth) const;

    // Stores the programs of a bank file in the DW-8000. Returns an empty
    // string, or what went wrong, naming the file ("cannot read ...").
    std::string LoadBank(const std::string &path);

    // Runs one command line and returns its answer, "OK ..." or "ERROR ...".
    // Sets `quit` for "quit".
    std::string Command(const std::string &line, bool &quit);
    static const char *CommandHelp();

    SimDw8000 &Synth() { return FSynth; }
    SimBcr2000 &Controller() { return FController; }

private:
    struct Ports;
    struct Arrival {
        bool ToSynth;
        std::vector<std::uint8_t> Bytes;
    };

    // One command of the command line: its verbs, how many whole-number
    // arguments it takes, and what it does (null answer: not this command's
    // arguments after all).
    struct TCommand {
        std::vector<const char *> Verbs;
        std::size_t MinArgs, MaxArgs;
        std::string (*Run)(TSimHost &host, const std::string &verb, const std::vector<int> &args, bool &quit);
    };
    static const std::vector<TCommand> &Commands();
    std::string PlugCommand(const std::string &verb, std::istringstream &in, const std::string &line);

    std::string OpenOn(int api);  // an RtMidi::Api
    std::string OpenDevice(bool synth);
    void Queue(bool toSynth, std::vector<std::uint8_t> bytes);
    void Deliver();
    void Transmit(bool fromSynth, const std::vector<std::uint8_t> &bytes);

    LogFunction FLog;
    // The ports outlive the simulators: a late answer may still be going out
    // while the DW-8000 simulator waits for it in its destructor.
    std::unique_ptr<Ports> FPorts;
    std::string FSystem;
    int FApi = 0;
    SimDw8000 FSynth;
    SimBcr2000 FController;

    // The one hand-off between the MIDI system's threads and the worker.
    std::mutex FQueueMutex;
    std::condition_variable FQueueChanged;
    std::deque<Arrival> FQueue;
    bool FStopping = false;  // guarded by FQueueMutex
    std::thread FWorker;
};
