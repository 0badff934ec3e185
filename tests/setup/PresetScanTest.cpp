#include "setup/PresetScan.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::vector<Bytes> Sent(const Bytes &file)
{
    std::vector<Bytes> out;
    for (const TPresetMessage &m : ScanPreset(file))
        out.push_back(m.Bytes);
    return out;
}

TEST(PresetScan, CutsMessagesAsTheUploadDefinesThem)
{
    using List = std::vector<Bytes>;
    EXPECT_EQ(Sent({}), List{});
    EXPECT_EQ(Sent({0xF0, 0x20, 0xF7, 0xF0, 0x21, 0x22, 0xF7, 0xF0, 0x23}),  // last one unterminated
              (List{{0xF0, 0x20, 0xF7}, {0xF0, 0x21, 0x22, 0xF7}}));
    EXPECT_EQ(Sent({0x01, 0x02, 0xF7, 0xF0, 0x03, 0xF7}),  // bytes before the first F0
              (List{{0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}}));
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF0, 0x02, 0xF7}), (List{{0xF0, 0x02, 0xF7}}));
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF7, 0x55, 0x66, 0xF0, 0x02, 0xF7}),  // bytes between messages
              (List{{0xF0, 0x01, 0xF7}, {0xF0, 0x02, 0xF7}}));
    EXPECT_EQ(Sent({0xF0, 0x01, 0xF7, 0x55, 0xF7}),  // stray F7 resends from the last F0
              (List{{0xF0, 0x01, 0xF7}, {0xF0, 0x01, 0xF7, 0x55, 0xF7}}));
}

TEST(PresetScan, MessageLongerThanTheBufferIsSkippedButStillGetsItsPause)
{
    Bytes file(PresetMessageBufferSize + PresetMessageBufferSize + 1, 0x11);
    file[0] = 0xF0;
    file[PresetMessageBufferSize - 1] = 0xF7;
    file[PresetMessageBufferSize] = 0xF0;
    file.back() = 0xF7;
    const auto scan = ScanPreset(file);
    ASSERT_EQ(scan.size(), 2u);
    EXPECT_FALSE(scan[0].Skipped);
    EXPECT_EQ(scan[0].Bytes, Bytes(file.begin(), file.begin() + PresetMessageBufferSize));
    EXPECT_TRUE(scan[1].Skipped);
    EXPECT_TRUE(scan[1].Bytes.empty());
    EXPECT_EQ(scan[1].Offset, PresetMessageBufferSize);
    EXPECT_EQ(scan[1].Length, PresetMessageBufferSize + 1);
}

} // namespace
