#include "sim/SimBcr2000.h"

#include <gtest/gtest.h>

namespace {

using Message = SimBcr2000::Message;
using List = std::vector<Message>;

TEST(SimBcr2000, RecordsEveryMessageInOrderAndControlChangesSetTheirValue)
{
    SimBcr2000 bcr;
    const List in{{0xB0, 44, 63}, {0xF0, 0x00, 0x20, 0x32, 0xF7}, {0xB3, 44, 5},
                  {0xB0, 44, 0x80}, {0xB0, 45}, {0x90, 60, 100}, {0xB0, 44, 9}};
    for (const Message &m : in)
        bcr.Receive(m);
    EXPECT_EQ(bcr.Received(), in);
    EXPECT_EQ(bcr.Value(0, 44), 9);
    EXPECT_EQ(bcr.Value(3, 44), 5);
    EXPECT_EQ(bcr.Value(0, 45), std::nullopt);
    EXPECT_EQ(bcr.Value(0, 60), std::nullopt);
}

TEST(SimBcr2000, EncoderAndRandomButtonSendControlChanges)
{
    SimBcr2000 bcr;
    List sent;
    bcr.SetSend([&](Message m) { sent.push_back(std::move(m)); });
    bcr.TurnEncoder(44, 63);
    bcr.TurnEncoder(20, 0, 15);
    EXPECT_THROW(bcr.TurnEncoder(44, 128), std::invalid_argument);
    bcr.PressRandomButton();
    EXPECT_EQ(bcr.Value(0, 43), 1);
    bcr.ReleaseRandomButton();
    EXPECT_EQ(sent, (List{{0xB0, 44, 63}, {0xBF, 20, 0}, {0xB0, 0x2B, 0x01}, {0xB0, 0x2B, 0x00}}));
    EXPECT_EQ(bcr.Value(0, 44), 63);
    EXPECT_EQ(bcr.Value(0, 43), 0);
    EXPECT_TRUE(bcr.Received().empty());
}

} // namespace
