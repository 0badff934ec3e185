#include "ProcessSupport.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace e2e {

std::vector<std::string> Environment(const std::map<std::string, std::string> &overrides)
{
    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string key = entry.substr(0, entry.find('='));
        if (overrides.count(key) == 0)
            env.push_back(entry);
    }
    for (const auto &[key, value] : overrides)
        env.push_back(key + "=" + value);
    return env;
}

Child::~Child() { Stop(std::chrono::milliseconds(2000)); }

std::string Child::Start(const std::vector<std::string> &args, const std::vector<std::string> &env,
                         bool captureOutput, const std::string &logFile, bool pipeInput)
{
    int out[2] = {-1, -1};
    int in[2] = {-1, -1};
    if ((captureOutput && pipe(out) != 0) || (pipeInput && pipe(in) != 0))
        return "cannot make a pipe";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    if (pipeInput) {
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, in[0]);
        posix_spawn_file_actions_addclose(&actions, in[1]);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    std::vector<char *> argv, envp;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    const int rc = posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (captureOutput)
        close(out[1]);
    if (pipeInput) {
        close(in[0]);
        FInput = in[1];
        signal(SIGPIPE, SIG_IGN);  // a child that died must not take the test with it
    }
    if (rc != 0) {
        FPid = -1;
        if (captureOutput)
            close(out[0]);
        return "cannot run " + args[0];
    }
    if (captureOutput)
        FReader = std::thread([this, fd = out[0]] { ReadOutput(fd); });
    return {};
}

void Child::ReadOutput(int fd)
{
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        pending.append(buffer, std::size_t(n));
        std::size_t eol;
        while ((eol = pending.find('\n')) != std::string::npos) {
            {
                std::lock_guard<std::mutex> lock(FMutex);
                FLines.push_back(pending.substr(0, eol));
            }
            FChanged.notify_all();
            pending.erase(0, eol + 1);
        }
    }
    close(fd);
}

std::string Child::StartTiedToParent(const std::vector<std::string> &args, const std::string &logFile)
{
    FPid = testjack::SpawnTiedToParent(args, logFile);
    return FPid > 0 ? std::string() : "cannot run " + args[0];
}

bool Child::Running() { return FPid > 0 && WaitForExit(std::chrono::milliseconds(0)) == -1; }

int Child::WaitForExit(std::chrono::milliseconds timeout)
{
    if (FPid <= 0)
        return FStatus;
    const auto deadline = Clock::now() + timeout;
    do {
        int status = 0;
        if (waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return FStatus;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (Clock::now() < deadline);
    return -1;
}

void Child::Signal(int signal)
{
    if (Running())
        kill(FPid, signal);
}

void Child::Stop(std::chrono::milliseconds grace)
{
    CloseInput();
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        if (WaitForExit(grace) == -1 && FPid > 0) {
            kill(FPid, SIGKILL);
            WaitForExit(std::chrono::milliseconds(5000));
        }
    }
    if (FReader.joinable())
        FReader.join();
}

void Child::WriteLine(const std::string &line)
{
    if (FInput < 0)
        return;
    const std::string text = line + "\n";
    if (write(FInput, text.data(), text.size()) != ssize_t(text.size()))
        CloseInput();
}

void Child::CloseInput()
{
    if (FInput >= 0)
        close(FInput);
    FInput = -1;
}

std::vector<std::string> Child::Lines() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FLines;
}

int Child::WaitForLine(std::size_t from, const std::function<bool(const std::string &)> &match,
                       std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(FMutex);
    const auto deadline = Clock::now() + timeout;
    std::size_t next = from;
    do {
        for (; next < FLines.size(); ++next)
            if (match(FLines[next]))
                return int(next);
    } while (FChanged.wait_until(lock, deadline) != std::cv_status::timeout || next < FLines.size());
    return -1;
}

std::string JackServer::Start(const std::string &logFile)
{
    // A few fixed names rather than one per run: a server that died without
    // unregistering leaves its name in JACK's registry of at most eight, and
    // only a later server of the same name reclaims it. A lock file per name
    // keeps tests running side by side off each other's server.
    std::string why = "every server name is taken by another test";
    for (int slot = 0; slot < 4; ++slot) {
        const std::string name = "tavrelk-e2e-" + std::to_string(slot);
        if (!FLock.Take(name))
            continue;
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_START_SERVER", "1", 1);
        Child probe;
        if (probe.Start({"jack_lsp"}, Environment({}), false).empty() && probe.WaitForExit(std::chrono::seconds(5)) == 0) {
            FLock.Release();  // a server of this name that is not ours
            continue;
        }
        FName = name;
        why = StartNamed(logFile);
        if (why.empty())
            return {};
        Stop();
    }
    return why;
}

JackServer::~JackServer() { Stop(); }

std::string JackServer::StartNamed(const std::string &logFile)
{
    // Without real-time scheduling a busy machine makes clients miss their
    // cycle, and in the default asynchronous mode the MIDI of a missed
    // cycle is lost; the synchronous mode waits for every client instead,
    // and long periods keep the waits rare.
    const std::string failure = FJackd.StartTiedToParent(
        {"jackd", "-n", FName, "--no-realtime", "--sync", "-t", "250", "-d", "dummy", "-r", "48000", "-p", "1024"},
        logFile);
    if (!failure.empty())
        return failure + " (is jackd2 installed?)";
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        if (!FJackd.Running())
            return "jackd exited at start; see " + logFile;
        Child probe;
        if (probe.Start({"jack_lsp"}, Environment({}), false).empty() && probe.WaitForExit(std::chrono::seconds(5)) == 0)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "jackd server " + FName + " did not answer within 15 s";
}

bool JackServer::Stop()
{
    if (FName.empty())
        return true;
    FJackd.Stop(std::chrono::seconds(40));
    const int status = FJackd.WaitForExit(std::chrono::milliseconds(0));
    const bool clean = status >= 0 && status < 128;
    if (!clean)
        testjack::RemoveServerFiles(FName);
    FLock.Release();
    FName.clear();
    return clean;
}

std::string VirtualDisplay::Start()
{
    for (int n = 90 + getpid() % 100; n < 300; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        struct stat st;
        if (stat(socket.c_str(), &st) == 0 || access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0)
            continue;
        FName = ":" + std::to_string(n);
        const std::string failure =
            FXvfb.Start({"Xvfb", FName, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, Environment({}), false);
        if (!failure.empty())
            return failure + " (is xvfb installed?)";
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (stat(socket.c_str(), &st) == 0)
                return {};
            if (!FXvfb.Running())
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return "Xvfb did not start on " + FName;
    }
    return "no free X display number";
}

} // namespace e2e
