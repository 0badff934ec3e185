#pragma once
// A short sleep of the calling thread that the system does not stretch.
// Thread: any.

#include <chrono>

namespace platform {

void PreciseSleep(std::chrono::microseconds duration);

} // namespace platform
