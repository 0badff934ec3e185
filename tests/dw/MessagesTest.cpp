#include "dw/Messages.h"

#include "RealBank.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

using namespace dw;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The 64 dumps of the real bank (each followed there by a write request).
std::vector<Bytes> BankDumps()
{
    const Bytes bank = ReadBank();
    std::vector<Bytes> dumps;
    for (std::size_t at = 0; at + 64 <= bank.size(); at += 64)
        dumps.emplace_back(bank.begin() + long(at), bank.begin() + long(at) + DumpSize);
    return dumps;
}

Bytes MakeDump(int channel, std::uint8_t fill = 0)
{
    Bytes d = {0xF0, 0x42, ChannelByte(channel), 0x03, 0x40};
    for (int p = 0; p < 51; ++p)
        d.push_back(std::uint8_t(fill ? fill : p & 0x1F));
    d.push_back(0xF7);
    return d;
}

TSysexBuf Staged(const Bytes &msg)
{
    TSysexBuf buf;
    StageSysex(buf, msg.data(), msg.size());
    return buf;
}

} // namespace

TEST(DwMessageBytes, ChannelOneAndSixteen)
{
    EXPECT_EQ(BuildParamChange(0, 1, 3), (TParamMsg{0xF0, 0x42, 0x30, 0x03, 0x41, 0x01, 0x03, 0xF7}));
    EXPECT_EQ(BuildDumpRequest(0), (TDumpRequest{0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7}));
    EXPECT_EQ((*BuildParamChange(15, 50, 3))[2], 0x3F);
    EXPECT_EQ(BuildDumpRequest(15), (TDumpRequest{0xF0, 0x42, 0x3F, 0x03, 0x10, 0xF7}));
    EXPECT_EQ(InitialParamMsg(), (TParamMsg{0xF0, 0x42, 0x00, 0x03, 0x41, 0x00, 0x00, 0xF7}));
}

TEST(DwMessageBytes, RowChangeCarriesTheValueUnmasked)
{
    EXPECT_EQ(BuildRowChange(15, 15, 127), (TParamMsg{0xF0, 0x42, 0x3F, 0x03, 0x41, 0x0F, 0x7F, 0xF7}));
}

TEST(DwMessageBytes, EchoIsAControlChangeOnTheRowsChannel)
{
    EXPECT_EQ(BuildRowEcho(15, 63), (TEcho{0xB0, 0x2C, 0x3F}));
}

TEST(DwMessageBytes, StatusByteInsideAnOutgoingMessageIsRefused)
{
    // A data byte of 0x80 or more inside a sysex would end it on the synthesizer's side.
    EXPECT_FALSE(BuildParamChange(0, 0x23, 0xC8));
    EXPECT_FALSE(BuildParamChange(0, 0x80, 1));
    EXPECT_FALSE(BuildParamChange(0, 1, -1));
    EXPECT_FALSE(BuildRowChange(0, 15, 128));
    EXPECT_FALSE(BuildEcho(0, 44, 0x80));
    EXPECT_FALSE(BuildEcho(0, 0x80, 1));
    EXPECT_FALSE(BuildRowEcho(15, 200));
    for (int channel : {-1, 16, 0x2F})
        EXPECT_FALSE(BuildParamChange(channel, 1, 1) || BuildDumpRequest(channel) || BuildEcho(channel, 1, 1)) << channel;
    EXPECT_TRUE(BuildParamChange(0, 0x7F, 0x7F));
}

TEST(DwMessages, ControllerMessagesMatchByChannelAndNumber)
{
    TControllerAction a = ClassifyControllerMessage(0xB0, 0x1C, 0x05);
    EXPECT_EQ(a.kind, TControllerAction::SetParameter);
    EXPECT_EQ(a.row, 1);
    EXPECT_EQ(a.value, 5);
    EXPECT_EQ(ClassifyControllerMessage(0xB1, 0x1C, 0x05).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0xBF, 0x2C, 0x05).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0x90, 0x1C, 0x05).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0xC0, 0x1C, 0x00).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0xFE, 0x00, 0x00).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0xB0, 0x11, 0x05).kind, TControllerAction::None);
}

TEST(DwMessages, RandomButtonIsControllerFortyThreeValueOneOnAnyChannel)
{
    EXPECT_EQ(ClassifyControllerMessage(0xB0, 0x2B, 0x01).kind, TControllerAction::RandomPatch);
    EXPECT_EQ(ClassifyControllerMessage(0xB5, 0x2B, 0x01).kind, TControllerAction::RandomPatch);
    EXPECT_EQ(ClassifyControllerMessage(0xB0, 0x2B, 0x00).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0xB0, 0x2B, 0x02).kind, TControllerAction::None);
    EXPECT_EQ(ClassifyControllerMessage(0x90, 0x2B, 0x01).kind, TControllerAction::None);
}

TEST(DwMessages, UserKeysUndoRedoAndMutateActOnPressAndTheHistoryKeysTellTheirRelease)
{
    using K = TControllerAction;
    const struct {
        std::uint8_t status, controller, value;
        K::Kind kind;
    } cases[] = {
        {0xB0, 68, 1, K::Undo},     {0xB3, 68, 1, K::Undo},  {0xB0, 69, 1, K::Redo},
        {0xB0, 70, 1, K::Mutate},   {0xB0, 68, 0, K::HistoryKeyReleased}, {0xB0, 69, 0, K::HistoryKeyReleased},
        {0xB0, 70, 0, K::None},     {0xB0, 71, 1, K::None},  {0x90, 68, 1, K::None},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ClassifyControllerMessage(c.status, c.controller, c.value).kind, c.kind)
            << int(c.status) << " " << int(c.controller) << " " << int(c.value);
}

TEST(DwMessages, BankSelectDoesNotReachTheUnusedRow)
{
    EXPECT_EQ(ClassifyControllerMessage(0xB0, 0x00, 0x7F).kind, TControllerAction::None);
}

TEST(SynthMessages, ProgramChangeOnAnyChannelFetchesAndSysexIsADump)
{
    EXPECT_EQ(ClassifySynthMessage(0xC0, 0), TSynthAction::FetchPatch);
    EXPECT_EQ(ClassifySynthMessage(0xCF, 0), TSynthAction::FetchPatch);
    EXPECT_EQ(ClassifySynthMessage(0xF0, 57), TSynthAction::Dump);
    EXPECT_EQ(ClassifySynthMessage(0xF0, 0), TSynthAction::None);
    EXPECT_EQ(ClassifySynthMessage(0x90, 0), TSynthAction::None);
    EXPECT_EQ(ClassifySynthMessage(0xB0, 0), TSynthAction::None);
}

TEST(DwMessages, EveryDumpOfTheRealBankParsesWithinRange)
{
    const std::vector<Bytes> dumps = BankDumps();
    ASSERT_EQ(dumps.size(), 64u);
    bool sawAssignFour = false;
    for (const Bytes &d : dumps) {
        int rows = 0;
        TPatch patch;
        ASSERT_EQ(ParseDump(patch, Staged(d), 0, [&](int) { ++rows; }), TDumpResult::Complete);
        EXPECT_EQ(rows, ParamCount);
        for (int i = 0; i < ParamCount; ++i) {
            EXPECT_GE(patch[i], 0) << i;
            EXPECT_LE(patch[i], ParamDef(i).MaxValue) << i;
            if (IsLiveRow(i)) {
                // Real patches never need the clamp: the masks and ranges fit the synthesizer.
                EXPECT_EQ(patch[i], d[std::size_t(i) + 5] & ParamDef(i).DumpMask) << i;
            }
        }
        sawAssignFour |= patch[13] == 3;
        EXPECT_EQ(DisplayText(13, patch[13]).empty(), false);
    }
    EXPECT_TRUE(sawAssignFour);
}

TEST(DwMessages, DumpTruncatedAtEveryLength)
{
    const Bytes full = MakeDump(0);
    for (std::size_t len = 0; len <= full.size(); ++len) {
        SCOPED_TRACE(len);
        TPatch patch;
        const Bytes cut(full.begin(), full.begin() + long(len));
        std::vector<int> applied;
        const TDumpResult r = ParseDump(patch, Staged(cut), 0, [&](int row) { applied.push_back(row); });
        if (len < 5) {
            EXPECT_EQ(r, TDumpResult::Ignored);
            EXPECT_TRUE(applied.empty());
        } else if (len >= 56) {
            EXPECT_EQ(r, TDumpResult::Complete); // the final F7 is not needed
            EXPECT_EQ(applied.size(), 51u);
        } else {
            EXPECT_EQ(r, TDumpResult::TooSmall);
            // Rows before the first missing byte were applied, in order; the
            // unused row reads parameter 0's byte.
            std::vector<int> want;
            for (int i = 0; i < ParamCount && (i == UnusedRow ? 5u : std::size_t(i) + 5) < len; ++i)
                want.push_back(i);
            EXPECT_EQ(applied, want);
        }
    }
}

TEST(DwMessages, FortyByteDumpUpdatesRowsUpToThirtyFour)
{
    Bytes cut = MakeDump(0, 7);
    cut.resize(40);
    TPatch patch;
    std::vector<int> applied;
    EXPECT_EQ(ParseDump(patch, Staged(cut), 0, [&](int row) { applied.push_back(row); }),
              TDumpResult::TooSmall);
    ASSERT_EQ(applied.size(), 35u);
    EXPECT_EQ(applied.front(), 0);
    EXPECT_EQ(applied.back(), 34);
    EXPECT_EQ(patch[34], 3);
    EXPECT_EQ(patch[35], 0);
}

TEST(DwMessages, WrongHeaderBytesAreIgnoredOneAtATime)
{
    for (std::size_t at = 1; at <= 4; ++at) {
        Bytes d = MakeDump(0, 9);
        d[at] ^= 0x01;
        TPatch patch;
        EXPECT_EQ(ParseDump(patch, Staged(d), 0), TDumpResult::Ignored) << at;
        EXPECT_EQ(patch[2], 0);
    }
    TPatch patch;
    Bytes otherChannel = MakeDump(1, 9);
    EXPECT_EQ(ParseDump(patch, Staged(otherChannel), 0), TDumpResult::Ignored);
    EXPECT_EQ(ParseDump(patch, Staged(otherChannel), 1), TDumpResult::Complete);
    Bytes noF0 = MakeDump(0, 9);
    noF0[0] = 0x00; // byte 0 is not examined
    EXPECT_EQ(ParseDump(patch, Staged(noF0), 0), TDumpResult::Complete);
}

TEST(SysexStaging, MessageLongerThanTheBufferIsNeverWrittenPastIt)
{
    Bytes longMsg = MakeDump(0, 9);
    longMsg.resize(69, 0x11);
    TSysexBuf buf;
    EXPECT_FALSE(StageSysex(buf, longMsg.data(), longMsg.size()));
    EXPECT_EQ(buf.ReceivedSize, 0u);
    TPatch patch;
    EXPECT_EQ(ParseDump(patch, buf, 0), TDumpResult::Ignored);

    Bytes fits = MakeDump(0, 9);
    fits.resize(68, 0x11);
    EXPECT_TRUE(StageSysex(buf, fits.data(), fits.size()));
    EXPECT_EQ(buf.ReceivedSize, 68u);
    EXPECT_EQ(ParseDump(patch, buf, 0), TDumpResult::Complete);
}

TEST(SysexStaging, ShortMessageDoesNotSeeThePreviousMessagesBytes)
{
    TSysexBuf buf;
    const Bytes dump = MakeDump(0, 9);
    StageSysex(buf, dump.data(), dump.size());
    const Bytes stub = {0xF0, 0x42, 0x30};
    StageSysex(buf, stub.data(), stub.size());
    EXPECT_FALSE(IsDumpHeader(buf, 0));
}

TEST(DwMessages, WithNoChannelNoDumpIsAccepted)
{
    // 30 + (-1) masked would be 3F: a channel-16 dump must not pass for "no channel".
    TPatch patch;
    EXPECT_FALSE(IsDumpHeader(Staged(MakeDump(15, 9)), NoChannel));
    EXPECT_EQ(ParseDump(patch, Staged(MakeDump(15, 9)), NoChannel), TDumpResult::Ignored);
    EXPECT_EQ(patch[2], 0);
}

TEST(DwParams, ProgramNumbersRunElevenToEightyEight)
{
    EXPECT_EQ(ProgramNumber(0), 11);
    EXPECT_EQ(ProgramNumber(7), 18);
    EXPECT_EQ(ProgramNumber(8), 21);
    EXPECT_EQ(ProgramNumber(63), 88);
    for (int i = 0; i < BankSize; ++i)
        EXPECT_EQ(ProgramIndex(ProgramNumber(i)), i);
    for (int n : {0, 10, 19, 20, 89, 90, 99, -11})
        EXPECT_EQ(ProgramIndex(n), -1) << n;
}
