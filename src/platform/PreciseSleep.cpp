#include "platform/PreciseSleep.h"

#include <thread>
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace platform {

void PreciseSleep(std::chrono::microseconds duration)
{
#ifdef __linux__
    // The default 50 us timer slack would stretch a 1 ms sleep by 5 %.
    // The slack belongs to the thread, so each thread sets it once.
    thread_local const bool slack = [] { return prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0; }();
    (void)slack;
#endif
    // A sleep wakes some tens of microseconds late; the last stretch is
    // waited out awake, so that a run of short pauses does not add them up.
    constexpr std::chrono::microseconds kAwake{100};
    const auto end = std::chrono::steady_clock::now() + duration;
    if (duration > kAwake)
        std::this_thread::sleep_for(duration - kAwake);
    while (std::chrono::steady_clock::now() < end) {
    }
}

} // namespace platform
