#pragma once
// Child processes for the end-to-end tests: a private JACK server, a
// virtual X display, and programs whose standard input the test writes and
// whose standard output it reads line by line.

#include "../common/PrivateJackServer.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace e2e {

using Clock = std::chrono::steady_clock;

// The environment of this process with `overrides` applied.
std::vector<std::string> Environment(const std::map<std::string, std::string> &overrides);

class Child {
public:
    Child() = default;
    ~Child();
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Starts the program; its output goes to `logFile` unless `captureOutput`.
    // Returns an empty string or why it could not start.
    std::string Start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                      bool captureOutput, const std::string &logFile = "/dev/null", bool pipeInput = false);
    // Like Start with the output appended to `logFile`, but the program also
    // receives SIGTERM when the calling thread ends, so that a test that dies
    // does not leave it running.
    std::string StartTiedToParent(const std::vector<std::string> &args, const std::string &logFile);
    bool Running();
    // Sends `signal` to the program, by its process id, while it runs.
    void Signal(int signal);
    // Asks the program to end (SIGTERM), then waits up to `grace` before SIGKILL.
    void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));
    // Exit status once ended, waiting up to `timeout`; -1 if still running.
    int WaitForExit(std::chrono::milliseconds timeout);

    void WriteLine(const std::string &line);
    void CloseInput();

    std::vector<std::string> Lines() const;
    // Index of the first line at or after `from` that satisfies `match`,
    // waiting up to `timeout`; -1 if none came.
    int WaitForLine(std::size_t from, const std::function<bool(const std::string &)> &match,
                    std::chrono::milliseconds timeout) const;

private:
    void ReadOutput(int fd);

    pid_t FPid = -1;
    int FStatus = -1;
    int FInput = -1;
    std::thread FReader;
    mutable std::mutex FMutex;
    mutable std::condition_variable FChanged;
    std::vector<std::string> FLines;
};

// A jackd with the dummy driver under a name of its own; this process and
// the children it starts afterwards reach it through the environment.
class JackServer {
public:
    JackServer() = default;
    ~JackServer();
    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    // Empty on success, otherwise why the server is not there.
    std::string Start(const std::string &logFile);
    // False when the server had to be killed; its own files are removed
    // then, and its name's registry entry is reclaimed by the next server
    // of that name.
    bool Stop();
    const std::string &Name() const { return FName; }
    // Sends `signal` to the server (SIGSTOP, SIGCONT: a server that stalls).
    void Signal(int signal) { FJackd.Signal(signal); }

private:
    std::string StartNamed(const std::string &logFile);

    testjack::NameLock FLock;

    std::string FName;
    Child FJackd;
};

// Xvfb on a free display number.
class VirtualDisplay {
public:
    std::string Start();
    const std::string &Name() const { return FName; }

private:
    std::string FName;
    Child FXvfb;
};

} // namespace e2e
