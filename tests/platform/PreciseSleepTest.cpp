// The pause between paced sends may end late but never early: a send that
// left early would break the gap the synthesizer and the controller rely on.

#include "platform/PreciseSleep.h"

#include <gtest/gtest.h>

TEST(PreciseSleep, NeverReturnsBeforeItsTimeShortOrLong)
{
    using Clock = std::chrono::steady_clock;
    for (const auto d : {std::chrono::microseconds(0), std::chrono::microseconds(30), std::chrono::microseconds(100),
                         std::chrono::microseconds(1000), std::chrono::microseconds(10000)}) {
        for (int i = 0; i < 20; ++i) {
            const Clock::time_point start = Clock::now();
            platform::PreciseSleep(d);
            EXPECT_GE(Clock::now() - start, d) << d.count() << " us";
        }
    }
}
