#pragma once
// A wake-up for one thread's Qt event loop that any thread may raise without
// blocking or allocating: the platform's cheapest waitable object, watched by
// a Qt notifier. Linux uses an eventfd, other POSIX systems a self-pipe
// (Linux too when built with TAVRELK_WAKE_PIPE), Windows a manual-reset event.
//
// Raised wake-ups stay raised until Clear(), so several Signal() calls before
// the loop runs make one call of onWake, and one raised while onWake runs
// makes another.
//
// Threads: construct, destroy and Clear on the owning thread (the one whose
// event loop calls onWake). Signal may be called from any thread while the
// object exists.

#include <functional>
#include <memory>

class QObject;

namespace platform {

class TWakeSignal {
public:
    // Throws std::runtime_error when the system refuses the object.
    explicit TWakeSignal(std::function<void()> onWake);
    ~TWakeSignal();
    TWakeSignal(const TWakeSignal &) = delete;
    TWakeSignal &operator=(const TWakeSignal &) = delete;

    void Signal() noexcept;
    // Lowers the wake-up; call it before looking for the work it announced.
    void Clear() noexcept;

    // "eventfd", "pipe" or "event": which mechanism this build uses.
    static const char *Mechanism() noexcept;

private:
#ifdef _WIN32
    void *event_ = nullptr;
#else
    int readFd_ = -1;
    int writeFd_ = -1; // the same descriptor as readFd_ for an eventfd
#endif
    std::unique_ptr<QObject> notifier_; // deleted before the handles close
};

} // namespace platform
