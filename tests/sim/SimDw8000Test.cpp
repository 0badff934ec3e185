#include "sim/SimDw8000.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using Message = SimDw8000::Message;
using List = std::vector<Message>;

Message Request(int channel) { return {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x10, 0xF7}; }

Message Change(int channel, int parameter, int value)
{
    return {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x41, std::uint8_t(parameter), std::uint8_t(value), 0xF7};
}

class SimDw8000Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Late answers come from the simulator's own thread.
        sim.SetSend([this](Message m) {
            std::lock_guard<std::mutex> lock(mutex);
            sent.push_back(std::move(m));
            arrived.notify_all();
        });
        for (int p = 0; p < SimDw8000::ParameterCount; ++p)
            patch[size_t(p)] = std::uint8_t((p * 7) % (SimDw8000::ParameterMax(p) + 1));
        sim.SetCurrentPatch(patch);
    }
    List Sent()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }
    std::mutex mutex;
    std::condition_variable arrived;
    List sent;
    SimDw8000::Patch patch{};
    SimDw8000 sim{5};
};

TEST_F(SimDw8000Test, RequestOnItsChannelIsAnsweredWithTheExactDumpAndOthersAreIgnored)
{
    const List ignored{Request(0), Request(6),
                       {0xF0, 0x42, 0x35, 0x03, 0x10},              // no F7
                       {0xF0, 0x42, 0x35, 0x03, 0x10, 0x00, 0xF7},  // extra byte
                       {0xF0, 0x41, 0x35, 0x03, 0x10, 0xF7},        // not Korg
                       {0xF0, 0x42, 0x35, 0x04, 0x10, 0xF7},        // not a DW-8000
                       {0xC4, 0x01}, {}};  // a program change on another channel
    for (const Message &m : ignored)
        sim.Receive(m);
    sim.Receive(Request(5));
    Message expected{0xF0, 0x42, 0x35, 0x03, 0x40};
    expected.insert(expected.end(), patch.begin(), patch.end());
    expected.push_back(0xF7);
    EXPECT_EQ(Sent(), List{expected});
    EXPECT_EQ(sim.Received().size(), ignored.size() + 1);
    EXPECT_EQ(sim.CurrentPatch(), patch);
}

TEST_F(SimDw8000Test, ParameterChangeOnItsChannelSetsTheCurrentPatchWithinRange)
{
    sim.Receive(Change(5, 1, 3));
    sim.Receive(Change(5, 11, 7));    // detune 0-6
    sim.Receive(Change(5, 0, 0x7F));  // octave: two bits
    sim.Receive(Change(5, 15, 100));  // cutoff: six bits
    sim.Receive(Change(4, 2, 9));     // other channel
    sim.Receive(Change(5, 51, 1));    // no such parameter
    sim.Receive(Change(5, 2, 0x80));  // not a data byte
    sim.Receive({0xF0, 0x42, 0x35, 0x03, 0x41, 0x02, 0x05});  // no F7
    auto expected = patch;
    expected[1] = 3;
    expected[11] = 6;
    expected[0] = 3;
    expected[15] = 100 & 63;
    EXPECT_EQ(sim.CurrentPatch(), expected);
    EXPECT_EQ(sim.ProgramPatch(0), SimDw8000::Patch{});
    EXPECT_TRUE(Sent().empty());
    SimDw8000::Patch bad{};
    bad[10] = 8;  // interval 0-7
    EXPECT_THROW(sim.SetCurrentPatch(bad), std::invalid_argument);
}

TEST_F(SimDw8000Test, SelectingAProgramLoadsItAndSendsAProgramChange)
{
    sim.SetProgramPatch(63, patch);
    sim.SelectProgram(63);
    EXPECT_EQ(sim.CurrentPatch(), patch);
    EXPECT_THROW(sim.SelectProgram(64), std::invalid_argument);
    EXPECT_EQ(Sent(), (List{{0xC5, 63}}));
}

TEST_F(SimDw8000Test, FaultyAnswersApplyToTheNextRequestOnly)
{
    sim.AnswerNextRequestLate(std::chrono::milliseconds(80));
    sim.AnswerNextRequestTruncated(40);
    sim.AnswerNextRequestOnChannel(2);
    const auto start = std::chrono::steady_clock::now();
    sim.Receive(Request(5));
    sim.Receive(Request(5));
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(arrived.wait_for(lock, std::chrono::seconds(5), [&] { return sent.size() == 2; }));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    const Message full = sim.DumpMessage();
    EXPECT_EQ(sent[0], full);
    ASSERT_EQ(sent[1].size(), 40u);
    EXPECT_EQ(sent[1][2], 0x32);
    EXPECT_TRUE(std::equal(sent[1].begin() + 3, sent[1].end(), full.begin() + 3));
}

TEST(SimDw8000, DestroyedWithALateAnswerPendingSendsNothing)
{
    int sends = 0;
    {
        SimDw8000 sim;
        sim.SetSend([&](Message) { ++sends; });
        sim.AnswerNextRequestLate(std::chrono::seconds(30));
        sim.Receive(Request(0));
    }
    EXPECT_EQ(sends, 0);
}

TEST(SimDw8000, SendCallbackMayFeedBackIntoTheSimulator)
{
    SimDw8000 sim;
    sim.SetSend([&](Message m) { sim.Receive(std::move(m)); });
    sim.Receive(Request(0));
    EXPECT_EQ(sim.Received().size(), 2u);
}

TEST(SimDw8000, RealBankFitsTheRangesAndRedumpsByteIdenticalForAllPrograms)
{
    const std::string file = TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx";
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> bank{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_EQ(bank.size(), 64u * 64u);
    SimDw8000 sim;
    EXPECT_EQ(sim.LoadBankFile(file + ".absent"), -1);
    EXPECT_EQ(sim.LoadBank({bank.begin(), bank.begin() + 57}), 0);  // no write request
    ASSERT_EQ(sim.LoadBankFile(file), 64);
    List sent;
    sim.SetSend([&](Message m) { sent.push_back(std::move(m)); });
    for (int program = 0; program < SimDw8000::ProgramCount; ++program) {
        const Message expected(bank.begin() + program * 64, bank.begin() + program * 64 + 57);
        for (int p = 0; p < SimDw8000::ParameterCount; ++p)
            EXPECT_LE(expected[size_t(p) + 5], SimDw8000::ParameterMax(p)) << program << "/" << p;
        sim.SelectProgram(program);
        sim.Receive(Request(0));
        ASSERT_EQ(sent.back(), expected) << "program " << program;
    }
}

} // namespace
