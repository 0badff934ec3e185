#pragma once
// A jackd of the test's own, with the dummy driver, that this process's JACK
// clients reach through the environment (set before any RtMidi object
// exists, so that none starts or joins another server). Stopped with the
// object, by its process id, and also when the test process dies: the
// server is told to end (SIGTERM) when the thread that started it ends.
// Nothing else on the machine is touched: not other servers, not JACK's
// shared files other than the ones named after a server this test started
// and that had to be killed.
//
// Server names come from a few fixed slots per prefix, each held by a lock
// file while in use: a server that died without unregistering leaves its
// name in JACK's registry of eight, and only a later server of the same name
// reclaims that entry.
//
// Threads: start and stop a server on one thread (the test's main thread),
// which must outlive it.

#include <chrono>
#include <csignal>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/file.h>
#include <sys/prctl.h>
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

// Starts a program, with this process's environment and its output appended
// to logFile, that receives SIGTERM when the calling thread ends (normally or
// not). -1 when it cannot run.
inline pid_t SpawnTiedToParent(const std::vector<std::string> &args,
                               const std::string &logFile = "/dev/null")
{
    std::vector<char *> argv;
    for (const auto &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    // The child reports a failed exec through this pipe; a successful one
    // closes it empty.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0)
        return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != parent)
            _exit(127);  // already orphaned: the server would outlive the test
        const int out = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0
            || dup2(out, STDERR_FILENO) < 0)
            _exit(127);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvp(argv[0], argv.data());
        const int error = errno;
        [[maybe_unused]] const ssize_t n = write(report[1], &error, sizeof error);
        _exit(127);
    }
    close(report[1]);
    int error = 0;
    const ssize_t n = pid > 0 ? read(report[0], &error, sizeof error) : -1;
    close(report[0]);
    if (pid > 0 && n > 0) {
        waitpid(pid, nullptr, 0);
        return -1;
    }
    return pid;
}

// Removes the files JACK keeps per server (semaphores and sockets, named after
// the server) of a server that is gone without cleaning up after itself.
// Call it only for a server this process started and has reaped.
inline void RemoveServerFiles(const std::string &serverName)
{
    const std::string uid = std::to_string(getuid());
    const std::string prefixes[] = {"jack_sem." + uid + "_" + serverName + "_",
                                    "jack_" + serverName + "_" + uid + "_"};
    for (const char *folder : {"/dev/shm", "/tmp"}) {
        DIR *dir = opendir(folder);
        if (!dir)
            continue;
        std::vector<std::string> doomed;
        while (const dirent *entry = readdir(dir)) {
            const std::string file = entry->d_name;
            for (const std::string &prefix : prefixes)
                if (file.compare(0, prefix.size(), prefix) == 0)
                    doomed.push_back(std::string(folder) + "/" + file);
        }
        closedir(dir);
        for (const std::string &path : doomed)
            unlink(path.c_str());
    }
}

// Ends a server started by SpawnTiedToParent: SIGTERM, then SIGKILL after
// `grace`. True when it ended by itself (and so unregistered); after a kill
// or a crash its own files are removed.
inline bool StopServer(pid_t pid, const std::string &serverName,
                       std::chrono::milliseconds grace = std::chrono::seconds(10))
{
    if (pid <= 0)
        return true;
    kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + grace;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (done == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    // A server that exited cleaned up after itself (whatever its status).
    const bool clean = done == pid && WIFEXITED(status);
    if (!clean)
        RemoveServerFiles(serverName);
    return clean;
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

// Holds /tmp/<name>.lock while a test uses the server name, so that tests
// running side by side (this run's or another's) never share a server.
class NameLock {
public:
    NameLock() = default;
    NameLock(const NameLock &) = delete;
    NameLock &operator=(const NameLock &) = delete;
    ~NameLock() { Release(); }

    bool Take(const std::string &name)
    {
        Release();
        const std::string path = "/tmp/" + name + ".lock";
        // Close-on-exec: a server started while the lock is held must not
        // keep holding it after this process is gone.
        fd_ = open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0 && flock(fd_, LOCK_EX | LOCK_NB) == 0)
            return true;
        Release();
        return false;
    }

    void Release()
    {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

class PrivateJackServer {
public:
    static constexpr int kSlots = 4;

    // prefix names the servers of one test program ("tavrelk-test", ...).
    explicit PrivateJackServer(std::string prefix) : prefix_(std::move(prefix)) {}
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    std::string Start()
    {
        std::string why = "every server name " + prefix_ + "-N is taken by another test";
        for (int slot = 0; slot < kSlots; ++slot) {
            const std::string name = prefix_ + "-" + std::to_string(slot);
            if (!lock_.Take(name))
                continue;
            name_ = name;
            setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
            setenv("JACK_NO_START_SERVER", "1", 1);
            if (ServerAnswers()) {
                lock_.Release();  // a server of that name that is not ours
                continue;
            }
            why = StartNamed();
            if (why.empty())
                return {};
            lock_.Release();
        }
        return why;
    }

    ~PrivateJackServer()
    {
        StopServer(pid_, name_);
        pid_ = -1;
    }

    const std::string &Name() const { return name_; }
    pid_t Pid() const { return pid_; }

private:
    std::string StartNamed()
    {
        pid_ = SpawnTiedToParent(
            {"jackd", "-n", name_, "--no-realtime", "-d", "dummy", "-r", "48000", "-p", "64"});
        if (pid_ < 0)
            return "cannot run jackd (is jackd2 installed?)";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;  // it ended by itself, and cleaned up after itself
                return "jackd exited at start (status " + std::to_string(status) + ")";
            }
            if (ServerAnswers())
                return {};
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        StopServer(pid_, name_);
        pid_ = -1;
        return "jackd server " + name_ + " did not answer within 15 s";
    }

    std::string prefix_;
    std::string name_;
    NameLock lock_;
    pid_t pid_ = -1;
};

} // namespace testjack
