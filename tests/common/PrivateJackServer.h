#pragma once
// A jackd of the test's own, with the dummy driver, that this process's JACK
// clients reach through the environment (set before any RtMidi object
// exists, so that none starts or joins another server). Stopped with the
// object. Start() returns why the server is not there, or nothing.

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace testjack {

// Starts a program with its output discarded; -1 when it cannot run.
inline pid_t SpawnQuiet(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// True when a JACK client reaches the server named by the environment.
inline bool ServerAnswers()
{
    const pid_t pid = SpawnQuiet({"jack_lsp"});
    if (pid < 0)
        return false;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class PrivateJackServer {
public:
    // prefix names the servers of one test program ("tavrelk-test", ...).
    explicit PrivateJackServer(std::string prefix) : prefix_(std::move(prefix)) {}
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    std::string Start()
    {
        static int counter = 0;
        name_ = prefix_ + "-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        pid_ = SpawnQuiet({"jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "64"});
        if (pid_ < 0)
            return "cannot run jackd (is jackd2 installed?)";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return "jackd exited at start (status " + std::to_string(status) + ")";
            }
            if (ServerAnswers())
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return "jackd server " + name_ + " did not answer within 15 s";
    }

    ~PrivateJackServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }

private:
    std::string prefix_;
    std::string name_;
    pid_t pid_ = -1;
};

} // namespace testjack
