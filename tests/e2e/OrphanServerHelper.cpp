// Run by JackServer.ServerOfADeadTestNoLongerOutlivesItAndOthersAreLeftAlone
// in a process of its own: starts a private JACK server as a test does,
// tells its process id, and dies without any clean-up.

#include "../common/PrivateJackServer.h"

#include <csignal>
#include <cstdlib>
#include <iostream>

int main()
{
    testjack::PrivateJackServer server{"tavrelk-orphan"};
    const std::string failure = server.Start();
    if (!failure.empty()) {
        std::cout << "FAILED " << failure << std::endl;
        return 1;
    }
    std::cout << "PID " << server.Pid() << std::endl;
    raise(SIGKILL);
    return 1;
}
