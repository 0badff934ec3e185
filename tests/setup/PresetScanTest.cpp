#include "setup/PresetScan.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> Sent(const Bytes &file)
{
    std::vector<Bytes> out;
    for (const TPresetMessage &m : ScanPreset(file))
        if (!m.Skipped)
            out.push_back(m.Bytes);
    return out;
}

TEST(PresetScan, EmptyFileAndFileWithoutF7GiveNothing)
{
    EXPECT_TRUE(ScanPreset(Bytes{}).empty());
    EXPECT_TRUE(ScanPreset(nullptr, 0).empty());
    EXPECT_TRUE(ScanPreset(Bytes{0x00, 0xF0, 0x01}).empty());
}

TEST(PresetScan, MessagesBackToBackAndTheUnterminatedLastOneIsNotSent)
{
    const Bytes file{0xF0, 0x20, 0xF7, 0xF0, 0x21, 0x22, 0xF7, 0xF0, 0x23};
    const auto scan = ScanPreset(file);
    ASSERT_EQ(scan.size(), 2u);
    EXPECT_EQ(scan[0].Bytes, (Bytes{0xF0, 0x20, 0xF7}));
    EXPECT_EQ(scan[1].Bytes, (Bytes{0xF0, 0x21, 0x22, 0xF7}));
    EXPECT_EQ(scan[1].Offset, 3u);
    EXPECT_EQ(scan[1].Length, 4u);
}

TEST(PresetScan, BytesBeforeTheFirstF0StartAtTheFileStart)
{
    EXPECT_EQ(Sent({0x01, 0x02, 0xF7, 0xF0, 0x03, 0xF7}),
              (std::vector<Bytes>{{0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}}));
}

TEST(PresetScan, SecondF0RestartsTheMessage)
{
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF0, 0x02, 0xF7}), (std::vector<Bytes>{{0xF0, 0x02, 0xF7}}));
}

TEST(PresetScan, BytesBetweenMessagesAreNotSentButAStrayF7ResendsFromTheLastF0)
{
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF7, 0x55, 0x66, 0xF0, 0x02, 0xF7}),
              (std::vector<Bytes>{{0xF0, 0x01, 0xF7}, {0xF0, 0x02, 0xF7}}));
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF7, 0x55, 0xF7}),
              (std::vector<Bytes>{{0xF0, 0x01, 0xF7}, {0xF0, 0x01, 0xF7, 0x55, 0xF7}}));
}

TEST(PresetScan, MessageLongerThanTheBufferIsSkippedAndCountedForThePause)
{
    Bytes exact(PresetMessageBufferSize, 0x11);
    exact.front() = 0xF0;
    exact.back() = 0xF7;
    Bytes tooLong(PresetMessageBufferSize + 1, 0x22);
    tooLong.front() = 0xF0;
    tooLong.back() = 0xF7;

    Bytes file = exact;
    file.insert(file.end(), tooLong.begin(), tooLong.end());
    file.insert(file.end(), {0xF0, 0x33, 0xF7});
    const auto scan = ScanPreset(file);
    ASSERT_EQ(scan.size(), 3u);
    EXPECT_FALSE(scan[0].Skipped);
    EXPECT_EQ(scan[0].Bytes, exact);
    EXPECT_TRUE(scan[1].Skipped);
    EXPECT_TRUE(scan[1].Bytes.empty());
    EXPECT_EQ(scan[1].Offset, exact.size());
    EXPECT_EQ(scan[1].Length, PresetMessageBufferSize + 1);
    EXPECT_EQ(scan[2].Bytes, (Bytes{0xF0, 0x33, 0xF7}));
}

} // namespace
