// The private JACK servers of the tests end with the test that started them,
// and leave everyone else's servers alone.

#include "../common/PrivateJackServer.h"
#include "ProcessSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

bool Alive(pid_t pid) { return kill(pid, 0) == 0; }

} // namespace

TEST(JackServer, ServerOfADeadTestNoLongerOutlivesItAndOthersAreLeftAlone)
{
    testjack::PrivateJackServer ours{"tavrelk-bystander"};
    const std::string failure = ours.Start();
    ASSERT_TRUE(failure.empty()) << failure;

    e2e::Child helper;
    ASSERT_EQ(helper.Start({TAVRELK_ORPHAN_HELPER}, e2e::Environment({}), true), "");
    const int line = helper.WaitForLine(
        0, [](const std::string &l) { return l.rfind("PID ", 0) == 0 || l.rfind("FAILED", 0) == 0; }, 30s);
    ASSERT_GE(line, 0) << "the helper did not start its server";
    const std::string said = helper.Lines()[std::size_t(line)];
    ASSERT_EQ(said.rfind("PID ", 0), 0u) << said;
    const pid_t orphan = pid_t(std::stol(said.substr(4)));
    EXPECT_EQ(helper.WaitForExit(10s), 128 + SIGKILL);

    const auto deadline = e2e::Clock::now() + 30s;
    while (Alive(orphan) && e2e::Clock::now() < deadline)
        std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(Alive(orphan)) << "jackd " << orphan << " outlived the test that started it";
    if (Alive(orphan))
        kill(orphan, SIGTERM);  // started by this test's helper

    EXPECT_TRUE(Alive(ours.Pid()));
    EXPECT_TRUE(testjack::ServerAnswers()) << "the bystander's own server was touched";
}
