// The pause after a send counts from the send, not from the end of the work.

#include "engine/SendPacer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;
using engine::TSendPacer;

namespace {

void BusyFor(std::chrono::microseconds d)
{
    const auto end = TSendPacer::TClock::now() + d;
    while (TSendPacer::TClock::now() < end) {
    }
}

} // namespace

TEST(SendPacer, WorkAfterASendIsNotAddedToItsGap)
{
    std::vector<std::chrono::microseconds> asked;
    TSendPacer pacer(1000us, [&](std::chrono::microseconds d) {
        asked.push_back(d);
        std::this_thread::sleep_for(d);
    });
    pacer.Sent();
    BusyFor(600us); // showing the row
    pacer.Wait();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_LE(asked[0], 400us);

    pacer.Sent();
    BusyFor(1500us); // work longer than the gap: nothing left to wait
    pacer.Wait();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1], 0us);
}

TEST(SendPacer, WaitWithoutASendCountsFromTheLastWait)
{
    std::vector<std::chrono::microseconds> asked;
    TSendPacer pacer(1000us, [&](std::chrono::microseconds d) {
        asked.push_back(d);
        std::this_thread::sleep_for(d);
    });
    pacer.Wait();
    pacer.Wait();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_GT(asked[1], 500us); // a whole gap again: nothing was sent in between
    EXPECT_LE(asked[1], 1000us);
}
