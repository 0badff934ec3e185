#include "platform/WakeSignal.h"

#include <cstdint>
#include <stdexcept>

#if defined(_WIN32)
#include <QWinEventNotifier>
#define NOMINMAX
#include <windows.h>
#else
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#if defined(__linux__) && !defined(TAVRELK_WAKE_PIPE)
#define TAVRELK_WAKE_EVENTFD 1
#include <sys/eventfd.h>
#endif
#endif

namespace platform {

namespace {
[[noreturn]] void Refused()
{
    throw std::runtime_error("Cannot create the notification channel of a MIDI port");
}
} // namespace

#if defined(_WIN32)

TWakeSignal::TWakeSignal(std::function<void()> onWake)
{
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event_ == nullptr)
        Refused();
    auto *notifier = new QWinEventNotifier(event_);
    QObject::connect(notifier, &QWinEventNotifier::activated, notifier, [f = std::move(onWake)] { f(); });
    notifier_.reset(notifier);
}

TWakeSignal::~TWakeSignal()
{
    notifier_.reset();
    CloseHandle(event_);
}

void TWakeSignal::Signal() noexcept { SetEvent(event_); }

void TWakeSignal::Clear() noexcept { ResetEvent(event_); }

const char *TWakeSignal::Mechanism() noexcept { return "event"; }

#else

#ifndef TAVRELK_WAKE_EVENTFD
namespace {
bool MakeNonBlockingAndPrivate(int fd)
{
    const int status = fcntl(fd, F_GETFL);
    const int descriptor = fcntl(fd, F_GETFD);
    return status >= 0 && descriptor >= 0 && fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           fcntl(fd, F_SETFD, descriptor | FD_CLOEXEC) == 0;
}
} // namespace
#endif

TWakeSignal::TWakeSignal(std::function<void()> onWake)
{
#ifdef TAVRELK_WAKE_EVENTFD
    readFd_ = writeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (readFd_ < 0)
        Refused();
#else
    int fds[2];
    if (pipe(fds) != 0)
        Refused();
    readFd_ = fds[0];
    writeFd_ = fds[1];
    if (!MakeNonBlockingAndPrivate(readFd_) || !MakeNonBlockingAndPrivate(writeFd_)) {
        close(readFd_);
        close(writeFd_);
        Refused();
    }
#endif
    auto *notifier = new QSocketNotifier(readFd_, QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [f = std::move(onWake)] { f(); });
    notifier_.reset(notifier);
}

TWakeSignal::~TWakeSignal()
{
    notifier_.reset();
    close(readFd_);
    if (writeFd_ != readFd_)
        close(writeFd_);
}

void TWakeSignal::Signal() noexcept
{
    // Non-blocking: a full counter or pipe still leaves the reading end
    // readable, which is all a wake-up needs.
#ifdef TAVRELK_WAKE_EVENTFD
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(writeFd_, &one, sizeof one);
#else
    const char one = 1;
    [[maybe_unused]] const auto written = write(writeFd_, &one, sizeof one);
#endif
}

void TWakeSignal::Clear() noexcept
{
#ifdef TAVRELK_WAKE_EVENTFD
    std::uint64_t counter;
    [[maybe_unused]] const auto read = ::read(readFd_, &counter, sizeof counter); // resets it to 0
#else
    char buffer[256];
    for (;;) {
        const auto got = ::read(readFd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // empty (EAGAIN)
    }
#endif
}

const char *TWakeSignal::Mechanism() noexcept
{
#ifdef TAVRELK_WAKE_EVENTFD
    return "eventfd";
#else
    return "pipe";
#endif
}

#endif

} // namespace platform
