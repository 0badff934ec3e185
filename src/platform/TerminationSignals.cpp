#include "platform/TerminationSignals.h"

#ifdef _WIN32

TTerminationSignals::TTerminationSignals() = default;
TTerminationSignals::~TTerminationSignals() = default;

#else

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler's only state; a lock-free atomic is safe to read there.
std::atomic<int> g_writeSocket{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read inside a signal handler");

bool MakeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0
        && fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

TTerminationSignals::TTerminationSignals()
{
    if (g_writeSocket.load(std::memory_order_acquire) >= 0)
        throw std::logic_error("a second TTerminationSignals while one is installed");
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, FSockets) != 0)
        return;
    // Non-blocking on both ends: a flood of signals must not block the
    // handler, and Drain reads until the socket is empty.
    if (!MakeNonBlocking(FSockets[0]) || !MakeNonBlocking(FSockets[1])) {
        close(FSockets[0]);
        close(FSockets[1]);
        FSockets[0] = FSockets[1] = -1;
        return;
    }
    FNotifier = std::make_unique<QSocketNotifier>(FSockets[1], QSocketNotifier::Read);
    QObject::connect(FNotifier.get(), &QSocketNotifier::activated, FNotifier.get(),
                     [this] { Drain(); });
    g_writeSocket.store(FSockets[0], std::memory_order_release);

    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction old = {};
        if (sigaction(kSignals[i], nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action = {};
        action.sa_handler = &TTerminationSignals::Handle;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (sigaction(kSignals[i], &action, &FOld[i]) == 0)
            FInstalled[i] = true;
    }
}

TTerminationSignals::~TTerminationSignals()
{
    // Handlers first, so that no new one writes to a socket about to close.
    for (int i = 0; i < kSignalCount; ++i)
        if (FInstalled[i])
            sigaction(kSignals[i], &FOld[i], nullptr);
    g_writeSocket.store(-1, std::memory_order_release);
    FNotifier.reset();
    for (int fd : FSockets)
        if (fd >= 0)
            close(fd);
}

void TTerminationSignals::Handle(int signal)
{
    const int savedErrno = errno;
    const int fd = g_writeSocket.load(std::memory_order_acquire);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // Nothing to do when it fails: the socket is full of earlier signals.
        [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
    }
    errno = savedErrno;
}

void TTerminationSignals::Drain()
{
    unsigned char numbers[64];
    ssize_t n = 0;
    while ((n = read(FSockets[1], numbers, sizeof numbers)) > 0) {
        FLastSignal = numbers[n - 1];
        FCount += int(n);
    }
    if (FLastSignal != 0)
        QCoreApplication::exit(0);
}

#endif
