#pragma once
// Keeps consecutive sends at least a gap apart, measured from each send:
// the work done between a send and the pause after it is not added on top,
// so a run of rows costs its gaps, not its gaps plus its work plus every
// oversleep. A wait with no send since the last one counts from that wait's
// end.
// Thread: the thread that sends (the user-interface thread here).

#include <chrono>
#include <functional>

namespace engine {

class TSendPacer {
public:
    using TClock = std::chrono::steady_clock;
    using TPause = std::function<void(std::chrono::microseconds)>;
    using TNow = std::function<TClock::time_point()>;

    TSendPacer(std::chrono::microseconds gap, TPause pause) : FGap(gap), FPause(std::move(pause)) {}

    void SetPause(TPause pause) { FPause = std::move(pause); }
    // Replaces the clock (tests: time that moves only when they move it).
    void SetClock(TNow now)
    {
        FNow = std::move(now);
        FAnchor = FNow();
    }
    std::chrono::microseconds Gap() const { return FGap; }

    // A message has just been handed to its port; or a run of sends starts
    // (its first gap counts from here, not from whatever was sent before).
    void Sent() { FAnchor = FNow(); }
    void Restart() { FAnchor = FNow(); }
    // Returns once the gap after the anchor has passed: calls the pause with
    // what is left of it (zero when nothing is).
    void Wait();

private:
    std::chrono::microseconds FGap;
    TPause FPause;
    TNow FNow = [] { return TClock::now(); };
    TClock::time_point FAnchor = TClock::now();
};

} // namespace engine
