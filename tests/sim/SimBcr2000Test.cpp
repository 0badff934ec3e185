#include "sim/SimBcr2000.h"

#include <gtest/gtest.h>

namespace {

using Message = SimBcr2000::Message;

class SimBcr2000Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        bcr.SetSend([this](Message m) { sent.push_back(std::move(m)); });
    }
    SimBcr2000 bcr;
    std::vector<Message> sent;
};

TEST_F(SimBcr2000Test, RecordsEveryMessageInOrderAndControlChangesSetTheirValue)
{
    const std::vector<Message> in{{0xB0, 44, 63}, {0xF0, 0x00, 0x20, 0x32, 0xF7}, {0xB3, 44, 5},
                                  {0xB0, 44, 0x80}, {0xB0, 45}, {0x90, 60, 100}, {0xB0, 44, 9}};
    for (const Message &m : in)
        bcr.Receive(m);
    EXPECT_EQ(bcr.Received(), in);
    EXPECT_EQ(bcr.Value(0, 44), 9);
    EXPECT_EQ(bcr.Value(3, 44), 5);
    EXPECT_EQ(bcr.Value(0, 45), std::nullopt);
    EXPECT_EQ(bcr.Value(0, 60), std::nullopt);
    EXPECT_TRUE(sent.empty());
    bcr.ClearReceived();
    EXPECT_TRUE(bcr.Received().empty());
    EXPECT_EQ(bcr.Value(0, 44), 9);
}

TEST_F(SimBcr2000Test, TurningAnEncoderSendsItsControlChange)
{
    bcr.TurnEncoder(44, 63);
    bcr.TurnEncoder(20, 0, 15);
    EXPECT_EQ(sent, (std::vector<Message>{{0xB0, 44, 63}, {0xBF, 20, 0}}));
    EXPECT_EQ(bcr.Value(0, 44), 63);
    EXPECT_EQ(bcr.Value(15, 20), 0);
    EXPECT_THROW(bcr.TurnEncoder(44, 128), std::invalid_argument);
    EXPECT_THROW(bcr.TurnEncoder(128, 0), std::invalid_argument);
    EXPECT_THROW(bcr.TurnEncoder(44, 0, 16), std::invalid_argument);
    EXPECT_EQ(sent.size(), 2u);
    EXPECT_TRUE(bcr.Received().empty());
}

TEST_F(SimBcr2000Test, RandomButtonSendsOneOnPressAndZeroOnRelease)
{
    bcr.PressRandomButton();
    EXPECT_EQ(bcr.Value(0, 43), 1);
    bcr.ReleaseRandomButton();
    EXPECT_EQ(sent, (std::vector<Message>{{0xB0, 0x2B, 0x01}, {0xB0, 0x2B, 0x00}}));
    EXPECT_EQ(bcr.Value(0, 43), 0);
}

} // namespace
