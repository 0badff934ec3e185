// The private JACK servers of the tests end with the test that started them,
// and leave everyone else's servers alone.

#include "../common/PrivateJackServer.h"
#include "ProcessSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

namespace {

using namespace std::chrono_literals;

constexpr const char *kHelperVariable = "TAVRELK_ORPHAN_SERVER_HELPER";

bool Alive(pid_t pid) { return kill(pid, 0) == 0; }

} // namespace

// Run by the test below in a process of its own: starts a server, tells its
// process id, and dies without any clean-up.
TEST(JackServerHelper, StartAServerAndDie)
{
    if (!std::getenv(kHelperVariable))
        GTEST_SKIP() << "only run as the helper of ServerOfADeadTestNoLongerOutlivesIt";
    testjack::PrivateJackServer server{"tavrelk-orphan"};
    const std::string failure = server.Start();
    if (!failure.empty()) {
        std::cout << "FAILED " << failure << std::endl;
        std::_Exit(1);
    }
    std::cout << "PID " << server.Pid() << std::endl;
    raise(SIGKILL);
}

TEST(JackServer, ServerOfADeadTestNoLongerOutlivesItAndOthersAreLeftAlone)
{
    testjack::PrivateJackServer ours{"tavrelk-bystander"};
    const std::string failure = ours.Start();
    ASSERT_TRUE(failure.empty()) << failure;

    e2e::Child helper;
    ASSERT_EQ(helper.Start({"/proc/self/exe", "--gtest_filter=JackServerHelper.*"},
                           e2e::Environment({{kHelperVariable, "1"}}), true),
              "");
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
