// The simulated BCR2000's troublesome set-ups (a unit that loses lines sent
// too fast, one whose answers never come back, one that fails a chosen line)
// and both simulators' answers to the identity requests.

#include "sim/SimBcr2000.h"
#include "sim/SimDw8000.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace {

using Message = SimBcr2000::Message;
using namespace std::chrono_literals;

// Written here byte by byte: the simulator must not share the editor's builders.
Message Line(int index, const std::string &text)
{
    Message m = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, std::uint8_t(index >> 7), std::uint8_t(index & 0x7F)};
    m.insert(m.end(), text.begin(), text.end());
    m.push_back(0xF7);
    return m;
}

struct Collector {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Message> got;
    void operator()(Message m)
    {
        std::lock_guard<std::mutex> lock(mutex);
        got.push_back(std::move(m));
        arrived.notify_all();
    }
    std::vector<Message> Got()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return got;
    }
    // True once `count` messages have come (the limit is only for a fault).
    bool WaitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, 10s, [&] { return got.size() >= count; });
    }
};

Message Answer(int index, int error)
{
    return {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, std::uint8_t(index >> 7), std::uint8_t(index & 0x7F),
            std::uint8_t(error), 0xF7};
}

} // namespace

TEST(SimBcr2000Modes, LineSentBeforeThePreviousIsDoneIsLostAndTheNextIsOutOfSequence)
{
    SimBcr2000 bcr;
    Collector out;
    bcr.SetSend([&](Message m) { out(std::move(m)); });
    bcr.SetLineInterval(40ms);
    const auto start = std::chrono::steady_clock::now();
    bcr.Receive(Line(0, "$rev R1"));
    bcr.Receive(Line(1, "$preset")); // while the first is still being taken
    EXPECT_TRUE(out.Got().empty()) << "the answer leaves when the line is done";
    ASSERT_TRUE(out.WaitFor(1)); // the first line done
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    bcr.Receive(Line(2, "$end"));
    ASSERT_TRUE(out.WaitFor(2));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    EXPECT_EQ(bcr.LostLines(), 1);
    ASSERT_EQ(out.Got().size(), 2u);
    EXPECT_EQ(out.Got()[0], Answer(0, 0));
    EXPECT_EQ(out.Got()[1], Answer(2, 22));
}

TEST(SimBcr2000Modes, ChosenLineIsAnsweredWithTheChosenError)
{
    SimBcr2000 bcr;
    Collector out;
    bcr.SetSend([&](Message m) { out(std::move(m)); });
    bcr.SetErrorOnLine(1, 9);
    bcr.Receive(Line(0, "$rev R1"));
    bcr.Receive(Line(1, "$preset"));
    bcr.Receive(Line(2, "$end"));
    ASSERT_EQ(out.Got().size(), 3u);
    EXPECT_EQ(out.Got()[1], Answer(1, 9));
    EXPECT_EQ(out.Got()[2], Answer(2, 0));
}

TEST(SimIdentity, BcrAnswersItsIdentityRequestOnly)
{
    SimBcr2000 bcr;
    Collector out;
    bcr.SetSend([&](Message m) { out(std::move(m)); });
    bcr.Receive({0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x01, 0xF7});
    bcr.Receive({0xF0, 0x00, 0x20, 0x32, 0x05, 0x15, 0x01, 0xF7}); // another device id
    bcr.Receive({0xF0, 0x00, 0x20, 0x32, 0x7F, 0x14, 0x01, 0xF7}); // a BCF2000
    ASSERT_EQ(out.Got().size(), 1u);
    const Message a = out.Got()[0];
    EXPECT_EQ(Message(a.begin(), a.begin() + 7), (Message{0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x02}));
    EXPECT_EQ(std::string(a.begin() + 7, a.end() - 1), SimBcr2000::IdentityText);
}

TEST(SimIdentity, DwAnswersTheDeviceIdRequestOnItsOwnChannelOnly)
{
    SimDw8000 dw(15);
    Collector out;
    dw.SetSend([&](Message m) { out(std::move(m)); });
    for (int channel = 0; channel < 16; ++channel)
        dw.Receive({0xF0, 0x42, std::uint8_t(0x40 + channel), 0xF7});
    ASSERT_EQ(out.Got().size(), 1u);
    EXPECT_EQ(out.Got()[0], (Message{0xF0, 0x42, 0x3F, 0x03, 0xF7}));
}
