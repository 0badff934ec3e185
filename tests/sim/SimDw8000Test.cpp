#include "sim/SimDw8000.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using Message = SimDw8000::Message;

// Collects what the simulator sends, from whichever thread sends it.
struct Wire {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<Message> sent;

    SimDw8000::SendFunction Sink()
    {
        return [this](Message m) {
            std::lock_guard<std::mutex> lock(mutex);
            sent.push_back(std::move(m));
            arrived.notify_all();
        };
    }
    std::vector<Message> Sent()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return sent;
    }
    bool WaitFor(std::size_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, limit, [&] { return sent.size() >= count; });
    }
};

Message Request(int channel) { return {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x10, 0xF7}; }

Message Change(int channel, int parameter, int value)
{
    return {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x41, std::uint8_t(parameter),
            std::uint8_t(value), 0xF7};
}

SimDw8000::Patch SamplePatch()
{
    SimDw8000::Patch patch{};
    for (int p = 0; p < SimDw8000::ParameterCount; ++p)
        patch[size_t(p)] = std::uint8_t((p * 7) % (SimDw8000::ParameterMax(p) + 1));
    return patch;
}

std::vector<std::uint8_t> BankBytes()
{
    std::ifstream file(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

class SimDw8000Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim.SetSend(wire.Sink());
        sim.SetCurrentPatch(SamplePatch());
    }
    Wire wire;
    SimDw8000 sim{5};
};

TEST_F(SimDw8000Test, RequestOnItsChannelIsAnsweredWithTheExactDump)
{
    sim.Receive(Request(5));
    Message expected{0xF0, 0x42, 0x35, 0x03, 0x40};
    const auto patch = SamplePatch();
    expected.insert(expected.end(), patch.begin(), patch.end());
    expected.push_back(0xF7);
    ASSERT_EQ(wire.Sent(), std::vector<Message>{expected});
    EXPECT_EQ(expected.size(), SimDw8000::DumpSize);
}

TEST_F(SimDw8000Test, OtherChannelsAndMalformedRequestsGetNoAnswer)
{
    const std::vector<Message> ignored{
        Request(0),
        Request(6),
        {0xF0, 0x42, 0x35, 0x03, 0x10},              // no F7
        {0xF0, 0x42, 0x35, 0x03, 0x10, 0x00, 0xF7},  // extra byte
        {0xF0, 0x41, 0x35, 0x03, 0x10, 0xF7},        // not Korg
        {0xF0, 0x42, 0x35, 0x04, 0x10, 0xF7},        // not a DW-8000
        {0xF0, 0x42, 0x35, 0x03, 0x11, 0xF7},        // other function
        {0xC5, 0x01},                                // MIDI program change
        {},
    };
    for (const Message &m : ignored)
        sim.Receive(m);
    EXPECT_TRUE(wire.Sent().empty());
    EXPECT_EQ(sim.Received(), ignored);
    EXPECT_EQ(sim.CurrentPatch(), SamplePatch());
    sim.SetChannel(6);
    sim.Receive(Request(6));
    ASSERT_EQ(wire.Sent().size(), 1u);
    EXPECT_EQ(wire.Sent()[0][2], 0x36);
}

TEST_F(SimDw8000Test, ParameterChangeOnItsChannelSetsTheCurrentPatchOnly)
{
    sim.Receive(Change(5, 1, 3));
    sim.Receive(Change(5, 50, 2));
    EXPECT_EQ(sim.Parameter(1), 3);
    EXPECT_EQ(sim.Parameter(50), 2);
    EXPECT_EQ(sim.ProgramPatch(0), SimDw8000::Patch{});

    const auto before = sim.CurrentPatch();
    sim.Receive(Change(4, 1, 9));                                   // other channel
    sim.Receive(Change(5, 51, 1));                                  // no such parameter
    sim.Receive(Change(5, 1, 0x80));                                // not a data byte
    sim.Receive({0xF0, 0x42, 0x35, 0x03, 0x41, 0x01, 0x05});        // no F7
    sim.Receive({0xF0, 0x42, 0x35, 0x03, 0x41, 0x01, 0x05, 0x00, 0xF7});
    EXPECT_EQ(sim.CurrentPatch(), before);
    EXPECT_TRUE(wire.Sent().empty());
}

TEST_F(SimDw8000Test, OutOfRangeValuesKeepTheParameterBitsAtMostItsMaximum)
{
    sim.Receive(Change(5, 11, 7));    // detune 0-6
    sim.Receive(Change(5, 0, 0x7F));  // octave, two bits
    sim.Receive(Change(5, 15, 100));  // cutoff, six bits
    sim.Receive(Change(5, 39, 15));   // bend osc 0-12
    EXPECT_EQ(sim.Parameter(11), 6);
    EXPECT_EQ(sim.Parameter(0), 3);
    EXPECT_EQ(sim.Parameter(15), 100 & 63);
    EXPECT_EQ(sim.Parameter(39), 12);
    SimDw8000::Patch bad{};
    bad[10] = 8;
    EXPECT_THROW(sim.SetCurrentPatch(bad), std::invalid_argument);
}

TEST_F(SimDw8000Test, SelectingAProgramLoadsItAndSendsAProgramChange)
{
    auto patch = SamplePatch();
    patch[2] = 17;
    sim.SetProgramPatch(63, patch);
    sim.SelectProgram(63);
    EXPECT_EQ(sim.Program(), 63);
    EXPECT_EQ(sim.CurrentPatch(), patch);
    EXPECT_EQ(wire.Sent(), (std::vector<Message>{{0xC5, 63}}));
    EXPECT_THROW(sim.SelectProgram(64), std::invalid_argument);
    EXPECT_EQ(wire.Sent().size(), 1u);
}

TEST_F(SimDw8000Test, TruncatedAndWrongChannelAnswersApplyToTheNextRequestOnly)
{
    sim.AnswerNextRequestTruncated(40);
    sim.AnswerNextRequestOnChannel(2);
    sim.Receive(Request(2));  // the fault changes the answer, not what is heard
    sim.Receive(Request(5));
    sim.Receive(Request(5));
    const auto sent = wire.Sent();
    ASSERT_EQ(sent.size(), 2u);
    const Message full = sim.DumpMessage();
    EXPECT_EQ(sent[0].size(), 40u);
    EXPECT_EQ(sent[0][2], 0x32);
    EXPECT_TRUE(std::equal(sent[0].begin() + 3, sent[0].end(), full.begin() + 3));
    EXPECT_EQ(sent[1], full);
}

TEST_F(SimDw8000Test, LateAnswerComesAfterTheDelayAndAfterLaterAnswers)
{
    sim.AnswerNextRequestLate(std::chrono::milliseconds(80));
    const auto start = std::chrono::steady_clock::now();
    sim.Receive(Request(5));
    sim.AnswerNextRequestTruncated(6);
    sim.Receive(Request(5));
    ASSERT_TRUE(wire.WaitFor(2, std::chrono::seconds(5)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(80));
    const auto sent = wire.Sent();
    EXPECT_EQ(sent[0].size(), 6u);
    EXPECT_EQ(sent[1], sim.DumpMessage());
}

TEST(SimDw8000, DestroyedWithALateAnswerPendingSendsNothing)
{
    Wire wire;
    {
        SimDw8000 sim;
        sim.SetSend(wire.Sink());
        sim.AnswerNextRequestLate(std::chrono::seconds(30));
        sim.Receive(Request(0));
    }
    EXPECT_TRUE(wire.Sent().empty());
}

TEST(SimDw8000, SendCallbackMayFeedBackIntoTheSimulator)
{
    SimDw8000 sim;
    int sends = 0;
    sim.SetSend([&](Message m) {
        ++sends;
        sim.Receive(std::move(m));  // a loopback cable: the dump is ignored
    });
    sim.Receive(Request(0));
    EXPECT_EQ(sends, 1);
    EXPECT_EQ(sim.Received().size(), 2u);
}

TEST(SimDw8000, RealBankFitsTheRangesAndRedumpsByteIdenticalForAllPrograms)
{
    const auto bank = BankBytes();
    ASSERT_EQ(bank.size(), 64u * 64u);
    SimDw8000 sim;
    ASSERT_EQ(sim.LoadBank(bank), 64);
    Wire wire;
    sim.SetSend(wire.Sink());
    for (int program = 0; program < SimDw8000::ProgramCount; ++program) {
        const Message expected(bank.begin() + program * 64, bank.begin() + program * 64 + 57);
        for (int p = 0; p < SimDw8000::ParameterCount; ++p)
            EXPECT_LE(expected[size_t(p) + 5], SimDw8000::ParameterMax(p)) << program << "/" << p;
        sim.SelectProgram(program);
        sim.Receive(Request(0));
        const auto sent = wire.Sent();
        ASSERT_EQ(sent.back(), expected) << "program " << program;
    }
    EXPECT_EQ(sim.LoadBankFile(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx"), 64);
    EXPECT_EQ(sim.LoadBankFile(TAVRELK_TEST_DATA_DIR "/no-such-bank.syx"), -1);
}

TEST(SimDw8000, BankDumpWithoutWriteRequestOrCutShortStoresNothing)
{
    auto bank = BankBytes();
    SimDw8000 sim;
    const Message dumpOnly(bank.begin(), bank.begin() + 57);
    EXPECT_EQ(sim.LoadBank(dumpOnly), 0);
    const std::vector<std::uint8_t> cut(bank.begin() + 20, bank.begin() + 64);  // dump lost its head
    EXPECT_EQ(sim.LoadBank(cut), 0);
    EXPECT_EQ(sim.ProgramPatch(0), SimDw8000::Patch{});
}

} // namespace
