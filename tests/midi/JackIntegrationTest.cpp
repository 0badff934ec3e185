// Integration against a real MIDI server: a private JACK server with the
// dummy driver, two peer RtMidi clients ("peer-out", "peer-in") and our ports on the RtMidi
// backend, exchanging messages byte-exact.

#include "MidiTestSupport.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/RtMidiService.h"

#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <string>
#include "../common/PrivateJackServer.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

namespace {

// The other end: a JACK client with one source and one destination.
class Peer {
public:
    Peer() : out(RtMidi::UNIX_JACK, "peer-out"), in(RtMidi::UNIX_JACK, "peer-in")
    {
        out.openVirtualPort("out");
        in.ignoreTypes(false, false, false);
        in.setCallback(&Peer::OnMessage, this);
        in.openVirtualPort("in");
    }
    void Send(const Bytes &bytes) { out.sendMessage(bytes.data(), bytes.size()); }
    std::vector<Bytes> Received()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received;
    }
    std::size_t ReceivedCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return received.size();
    }

private:
    static void OnMessage(double, std::vector<unsigned char> *message, void *self)
    {
        auto *peer = static_cast<Peer *>(self);
        std::lock_guard<std::mutex> lock(peer->mutex);
        peer->received.emplace_back(message->begin(), message->end());
    }
    RtMidiOut out;
    RtMidiIn in;
    std::mutex mutex;
    std::vector<Bytes> received;
};

class JackIntegration : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string failure = server.Start();
        ASSERT_TRUE(failure.empty()) << "No JACK server for the integration test: " << failure;
        peer = std::make_unique<Peer>();
        rtService = std::make_shared<RtMidiService>();
        SetCurrentMidiService(rtService);
        const auto systems = rtService->Systems();
        ASSERT_NE(std::find(systems.begin(), systems.end(), "jack"), systems.end());
    }
    void TearDown() override
    {
        // Clients go before the server.
        SetCurrentMidiService(nullptr);
        rtService.reset();
        peer.reset();
    }

    testjack::PrivateJackServer server{"tavrelk-test"};
    std::unique_ptr<Peer> peer;
    std::shared_ptr<RtMidiService> rtService;
};

// The dummy driver without real-time scheduling misses cycles on a busy
// machine, and a missed cycle can lose the MIDI it carried; so a message that
// has not arrived within a second is sent again, up to three times.
template <typename Send, typename Arrived>
bool SendUntilArrived(Send send, Arrived arrived)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        send();
        if (PumpUntil(arrived, std::chrono::milliseconds(1000)))
            return true;
    }
    return false;
}

Bytes EventBytes(const TMyMidiEvent &e)
{
    if (!e.SysexBytes)
        return {e.StatusByte, e.FirstDataByte, e.SecondDataByte};
    return Bytes(e.SysexBytes.get(), e.SysexBytes.get() + e.SysexSize);
}

Bytes BankDump()
{
    Bytes dump = MakeSysex(57);
    dump[1] = 0x42; // Korg
    dump[2] = 0x30;
    dump[3] = 0x03;
    dump[4] = 0x40;
    return dump;
}

} // namespace

TEST_F(JackIntegration, InputPortReceivesShortDumpAndSplitLongSysexByteExact)
{
    TMidiInput port(nullptr);
    port.SetProductName("peer-out:out");
    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    port.OnMidiInput = [&](QObject *) {
        while (port.GetEventCount() > 0)
            events.push_back(port.GetMidiEvent());
    };
    port.OpenAndStart();
    PumpFor(std::chrono::milliseconds(100)); // let the connection settle

    const Bytes cc{0xB0, 0x07, 0x64};
    const Bytes dump = BankDump();
    const Bytes big = MakeSysex(6000);
    ASSERT_TRUE(SendUntilArrived([&] { peer->Send(cc); }, [&] { return events.size() == 1; }));
    ASSERT_TRUE(SendUntilArrived([&] { peer->Send(dump); }, [&] { return events.size() == 2; }));
    ASSERT_TRUE(SendUntilArrived([&] { peer->Send(big); }, [&] { return events.size() == 4; }))
        << events.size() << " events";

    EXPECT_EQ(EventBytes(*events[0]), cc);
    EXPECT_EQ(EventBytes(*events[1]), dump);
    EXPECT_EQ(events[2]->SysexSize, 4096);
    EXPECT_EQ(events[3]->SysexSize, 1904);
    Bytes joined = EventBytes(*events[2]);
    const Bytes tail = EventBytes(*events[3]);
    joined.insert(joined.end(), tail.begin(), tail.end());
    EXPECT_EQ(joined, big);
    EXPECT_LE(events[0]->ReceivedTime, events[3]->ReceivedTime);
    port.StopAndClose();
}

TEST_F(JackIntegration, OutputPortSendsShortAndLongMessagesByteExact)
{
    TMidiOutput port(nullptr);
    port.SetProductName("peer-in:in");
    int done = 0;
    port.OnMidiOutput = [&](QObject *) { ++done; };
    ASSERT_TRUE(port.Open());
    PumpFor(std::chrono::milliseconds(100));

    const Bytes change{0xF0, 0x42, 0x30, 0x03, 0x41, 0x0F, 0x3F, 0xF7};
    const Bytes dump = BankDump();
    const Bytes big = MakeSysex(6000);
    // One message at a time: back-to-back long messages sent while the
    // server missed cycles once reached the peer as copies of the first.
    ASSERT_TRUE(SendUntilArrived([&] { port.ControllerChange(0, 44, 63); },
                                 [&] { return peer->ReceivedCount() == 1; }));
    for (const Bytes *message : {&change, &dump, &big}) {
        const std::size_t expected = peer->ReceivedCount() + 1;
        ASSERT_TRUE(SendUntilArrived([&] { port.PutLong(message->data(), std::uint16_t(message->size())); },
                                     [&] { return peer->ReceivedCount() == expected; }))
            << peer->ReceivedCount() << " messages at the peer";
    }
    ASSERT_TRUE(PumpUntil([&] { return port.PendingLongMessages() == 0; }));
    EXPECT_GE(done, 3);
    EXPECT_EQ(peer->Received(), (std::vector<Bytes>{{0xB0, 44, 63}, change, dump, big}));
    EXPECT_EQ(port.PendingLongMessages(), 0u);
    EXPECT_TRUE(port.Close());
}
