// The simulated DW-8000's program memory: data loads, write requests with
// the memory protect switch, program changes, device ID, and answer faults.

#include "sim/SimDw8000.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using Message = SimDw8000::Message;
using namespace std::chrono_literals;

struct Collect {
    std::mutex m;
    std::condition_variable arrived;
    std::vector<Message> got;
    void operator()(Message msg)
    {
        std::lock_guard<std::mutex> lock(m);
        got.push_back(std::move(msg));
        arrived.notify_all();
    }
    // True once `count` messages have come (the limit is only for a fault).
    bool WaitFor(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(m);
        return arrived.wait_for(lock, 10s, [&] { return got.size() >= count; });
    }
    std::vector<Message> Got()
    {
        std::lock_guard<std::mutex> lock(m);
        return got;
    }
};

Message DataLoad(int channel, std::uint8_t fill)
{
    Message d = {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x40};
    for (int p = 0; p < 51; ++p)
        d.push_back(SimDw8000::FitToParameter(p, fill));
    d.push_back(0xF7);
    return d;
}

} // namespace

TEST(SimDw8000Library, DataLoadThenWriteStoresAndAnswersCompleted)
{
    Collect out;
    SimDw8000 synth(2);
    synth.SetSend([&](Message m) { out(std::move(m)); });
    synth.Receive(DataLoad(2, 9));
    EXPECT_EQ(synth.Parameter(15), 9);
    synth.Receive({0xF0, 0x42, 0x32, 0x03, 0x11, 40, 0xF7});
    EXPECT_EQ(synth.ProgramPatch(40)[15], 9);
    ASSERT_EQ(out.Got().size(), 1u);
    EXPECT_EQ(out.Got()[0], (Message{0xF0, 0x42, 0x32, 0x03, 0x21, 0xF7}));
    // Another channel, or a dump that does not fit, changes nothing.
    synth.Receive(DataLoad(3, 1));
    Message broken = DataLoad(2, 1);
    broken.pop_back();
    synth.Receive(broken);
    EXPECT_EQ(synth.Parameter(15), 9);
}

TEST(SimDw8000Library, WriteProtectRefusesWithWriteError)
{
    Collect out;
    SimDw8000 synth(0);
    synth.SetSend([&](Message m) { out(std::move(m)); });
    const SimDw8000::Patch before = synth.ProgramPatch(1);
    synth.SetWriteProtect(true);
    synth.Receive(DataLoad(0, 7));
    synth.Receive({0xF0, 0x42, 0x30, 0x03, 0x11, 1, 0xF7});
    EXPECT_EQ(synth.ProgramPatch(1), before);
    ASSERT_EQ(out.Got().size(), 1u);
    EXPECT_EQ(out.Got()[0], (Message{0xF0, 0x42, 0x30, 0x03, 0x22, 0xF7}));
    EXPECT_EQ(synth.WritesTaken(), 1);
}

TEST(SimDw8000Library, ProgramChangeSelectsWithoutEchoAndDeviceIdAnswers)
{
    Collect out;
    SimDw8000 synth(5);
    synth.SetSend([&](Message m) { out(std::move(m)); });
    SimDw8000::Patch p{};
    p[2] = 17;
    synth.SetProgramPatch(12, p);
    synth.Receive({0xC5, 12});
    EXPECT_EQ(synth.Program(), 12);
    EXPECT_EQ(synth.Parameter(2), 17);
    synth.Receive({0xC4, 3}); // another channel
    EXPECT_EQ(synth.Program(), 12);
    EXPECT_TRUE(out.Got().empty());
    synth.Receive({0xF0, 0x42, 0x45, 0xF7});
    ASSERT_EQ(out.Got().size(), 1u);
    EXPECT_EQ(out.Got()[0], (Message{0xF0, 0x42, 0x35, 0x03, 0xF7}));
}

TEST(SimDw8000Library, DroppedLateAndTimedAnswers)
{
    Collect out;
    SimDw8000 synth(0);
    synth.SetSend([&](Message m) { out(std::move(m)); });
    const Message write = {0xF0, 0x42, 0x30, 0x03, 0x11, 0, 0xF7};
    synth.DropNextAnswer();
    synth.Receive(write);
    EXPECT_TRUE(out.Got().empty());
    EXPECT_EQ(synth.WritesTaken(), 1); // stored all the same

    synth.SetWriteTime(30ms);
    const auto t0 = std::chrono::steady_clock::now();
    synth.Receive(write);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 30ms);
    EXPECT_EQ(out.Got().size(), 1u);

    synth.SetWriteTime(0ms);
    synth.AnswerNextRequestLate(80ms);
    const auto t1 = std::chrono::steady_clock::now();
    synth.Receive(write);
    EXPECT_EQ(out.Got().size(), 1u);
    ASSERT_TRUE(out.WaitFor(2));
    EXPECT_GE(std::chrono::steady_clock::now() - t1, 80ms);
    EXPECT_EQ(out.Got().size(), 2u);
}
