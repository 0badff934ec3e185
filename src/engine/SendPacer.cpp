#include "engine/SendPacer.h"

#include <algorithm>

namespace engine {

void TSendPacer::Wait()
{
    const TClock::time_point deadline = FAnchor + FGap;
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - FNow());
    // Called on every row, with nothing left to wait when the work took the
    // whole gap: the pause is the row's, however long it is.
    if (FPause)
        FPause(std::max(left, std::chrono::microseconds(0)));
    // The next gap counts from here when no send comes before the next wait.
    FAnchor = FNow();
}

} // namespace engine
