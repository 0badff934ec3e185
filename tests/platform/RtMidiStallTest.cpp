// A JACK server that stops answering (SIGSTOP, as a hung or suspended
// server) must not hang the programs: starting the service, opening and
// closing ports and letting the service go each return after the wait
// limit, and say what did not answer. Run against a private server of the
// test's own, stopped and continued by its process id.

#include "../common/JackOutputClose.h"
#include "../common/PrivateJackServer.h"
#include "platform/RtMidiService.h"

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <csignal>
#include <functional>
#include <memory>
#include <thread>

using namespace platform;
using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kLimit{300};

class RtMidiStall : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string failure = server.Start();
        ASSERT_TRUE(failure.empty()) << "No JACK server for the test: " << failure;
        peerOut = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "peer-out");
        peerOut->openVirtualPort("out");
        peerIn = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "peer-in");
        peerIn->openVirtualPort("in");
    }
    void TearDown() override
    {
        Continue(); // the peers' clients close through the server
        peerIn.reset();
        CloseJackOutput(*peerOut);
        peerOut.reset();
        // What was left to finish does so once the server answers again, and
        // before the process ends under it.
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (RtMidiService::DriverThreadsRunning() > 0 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        EXPECT_EQ(RtMidiService::DriverThreadsRunning(), 0u);
    }
    void Stop() { kill(server.Pid(), SIGSTOP); }
    void Continue() { kill(server.Pid(), SIGCONT); }

    testjack::PrivateJackServer server{"tavrelk-stall"};
    std::unique_ptr<RtMidiOut> peerOut;
    std::unique_ptr<RtMidiIn> peerIn;
};

void Callback(void *, std::uint32_t, std::uintptr_t, std::uintptr_t, std::uintptr_t) {}

// The device numbers of the peer's ports; the count when not listed.
std::uint32_t PeerSource(RtMidiService &service)
{
    std::uint32_t id = 0;
    for (MIDIINCAPS caps; id < service.midiInGetNumDevs(); ++id)
        if (service.midiInGetDevCaps(id, caps) == MMSYSERR_NOERROR && caps.szPname == "peer-out:out")
            break;
    return id;
}

std::uint32_t PeerDestination(RtMidiService &service)
{
    std::uint32_t id = 0;
    for (MIDIOUTCAPS caps; id < service.midiOutGetNumDevs(); ++id)
        if (service.midiOutGetDevCaps(id, caps) == MMSYSERR_NOERROR && caps.szPname == "peer-in:in")
            break;
    return id;
}

} // namespace

TEST_F(RtMidiStall, ServiceStartedWhileTheServerIsStoppedNamesIt)
{
    Stop();
    {
        RtMidiService service("Tavrelk", kLimit);
        EXPECT_EQ(service.Unanswered(), std::vector<std::string>{"jack"});
        EXPECT_TRUE(service.Systems().empty());
        EXPECT_EQ(service.midiInGetNumDevs(), 0u);
    }
    Continue();
    ASSERT_TRUE(testjack::ServerAnswers());
    RtMidiService again; // the server is usable again
    EXPECT_TRUE(again.Unanswered().empty());
    EXPECT_EQ(again.Systems(), std::vector<std::string>{"jack"});
}

// Each row: what is open before the server stops, then the call made while
// it is stopped, which must return and say so.
TEST_F(RtMidiStall, PortCallsWhileTheServerIsStoppedReturn)
{
    struct Row {
        const char *what;
        std::function<void(RtMidiService &, HMIDIIN &, HMIDIOUT &)> before;
        std::function<void(RtMidiService &, HMIDIIN, HMIDIOUT)> stopped;
    };
    auto openIn = [](RtMidiService &s, HMIDIIN &in, HMIDIOUT &) {
        const std::uint32_t id = PeerSource(s);
        ASSERT_EQ(s.midiInOpen(in, id, Callback, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    };
    auto openOut = [](RtMidiService &s, HMIDIIN &, HMIDIOUT &out) {
        const std::uint32_t id = PeerDestination(s);
        ASSERT_EQ(s.midiOutOpen(out, id, Callback, 0, CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    };
    auto nothing = [](RtMidiService &, HMIDIIN &, HMIDIOUT &) {};
    const Row rows[] = {
        {"input opened", nothing,
         [](RtMidiService &s, HMIDIIN, HMIDIOUT) {
             HMIDIIN in = nullptr;
             const std::uint32_t id = PeerSource(s);
             EXPECT_EQ(s.midiInOpen(in, id, Callback, 0, CALLBACK_FUNCTION), MIDIERR_NOTREADY);
         }},
        {"output opened", nothing,
         [](RtMidiService &s, HMIDIIN, HMIDIOUT) {
             HMIDIOUT out = nullptr;
             const std::uint32_t id = PeerDestination(s);
             EXPECT_EQ(s.midiOutOpen(out, id, Callback, 0, CALLBACK_FUNCTION), MIDIERR_NOTREADY);
         }},
        {"input closed", openIn,
         [](RtMidiService &s, HMIDIIN in, HMIDIOUT) {
             s.midiInClose(in);
             EXPECT_EQ(s.InputsLeftClosing(), 1u);
         }},
        {"output closed", openOut,
         [](RtMidiService &s, HMIDIIN, HMIDIOUT out) { EXPECT_EQ(s.midiOutClose(out), MIDIERR_NOTREADY); }},
        {"service let go with its ports open", [&](RtMidiService &s, HMIDIIN &in, HMIDIOUT &out) {
             openIn(s, in, out);
             openOut(s, in, out);
         },
         [](RtMidiService &, HMIDIIN, HMIDIOUT) {}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        // Started with the usual limit: the server may still be catching up
        // with the clients the last row left to it.
        ASSERT_TRUE(testjack::ServerAnswers());
        auto service = std::make_unique<RtMidiService>();
        ASSERT_EQ(service->Systems(), std::vector<std::string>{"jack"});
        service->SetDriverWaitLimit(kLimit);
        service->SetOpenWaitLimit(kLimit);
        HMIDIIN in = nullptr;
        HMIDIOUT out = nullptr;
        row.before(*service, in, out);
        Stop();
        row.stopped(*service, in, out);
        service.reset(); // returns too, whatever is left open
        Continue();
    }
}
