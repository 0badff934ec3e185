#include "engine/SendPacer.h"

namespace engine {

void TSendPacer::Wait()
{
    const TClock::time_point deadline = FAnchor + FGap;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - TClock::now());
    if (left.count() > 0 && FPause)
        FPause(left);
    // The next gap counts from here when no send comes before the next wait.
    FAnchor = TClock::now();
}

} // namespace engine
