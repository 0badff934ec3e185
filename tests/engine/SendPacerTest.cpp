// The pause after a send counts from the send, not from the end of the work.
// The pacer runs on a clock of the test's own: time moves by the work the
// test says was done and by the pauses the pacer asks for.

#include "engine/SendPacer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace std::chrono_literals;
using engine::TSendPacer;

namespace {

struct PacedClock {
    TSendPacer::TClock::time_point now{};
    std::vector<std::chrono::microseconds> asked;
    TSendPacer pacer{1000us, [this](std::chrono::microseconds d) {
                         asked.push_back(d);
                         now += d;
                     }};
    PacedClock() { pacer.SetClock([this] { return now; }); }
};

} // namespace

TEST(SendPacer, WorkAfterASendIsTakenFromItsGap)
{
    const struct {
        std::chrono::microseconds work, pause;
    } table[] = {
        {0us, 1000us}, {600us, 400us}, {999us, 1us}, {1000us, 0us}, {1500us, 0us}, // longer than the gap: no wait
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.work.count());
        PacedClock c;
        c.pacer.Sent();
        c.now += row.work; // showing the row
        c.pacer.Wait();
        ASSERT_EQ(c.asked.size(), 1u);
        EXPECT_EQ(c.asked[0], row.pause);
    }
}

TEST(SendPacer, WaitWithoutASendCountsFromTheLastWait)
{
    PacedClock c;
    c.pacer.Wait();
    c.now += 300us;
    c.pacer.Wait(); // nothing sent in between: the gap from the end of the first wait
    c.pacer.Restart();
    c.now += 200us;
    c.pacer.Wait(); // a run of sends starts: its first gap from the restart
    EXPECT_EQ(c.asked, (std::vector<std::chrono::microseconds>{1000us, 700us, 800us}));
}
