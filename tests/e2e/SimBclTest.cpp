// The simulated BCR2000's BCL receiver and the simulator's monitor lines.

#include "sim/SimBcl.h"
#include "sim/SimBcr2000.h"
#include "sim/SimHost.h"
#include "sim/SimMonitor.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Line(int index, const std::string &text, std::uint8_t device = 0x7F, std::uint8_t model = 0x15)
{
    Bytes m{0xF0, 0x00, 0x20, 0x32, device, model, 0x20, std::uint8_t(index >> 7), std::uint8_t(index & 0x7F)};
    for (const char c : text)
        m.push_back(std::uint8_t(c));
    m.push_back(0xF7);
    return m;
}

// Sends the lines numbered from 0 and returns each reply's error code.
std::vector<int> RunLines(simbcl::BclReceiver &bcl, const std::vector<std::string> &lines)
{
    std::vector<int> errors;
    for (std::size_t i = 0; i < lines.size(); ++i)
        errors.push_back(bcl.Receive(Line(int(i), lines[i])).Error);
    return errors;
}

TEST(SimBcl, AnswersEveryLineWithTheReplyOfTheUnitAndAppliesTheScriptAtEnd)
{
    simbcl::BclReceiver bcl(3);
    const auto first = bcl.Receive(Line(0, "$rev R1"));
    EXPECT_EQ(first.Reply, (Bytes{0xF0, 0x00, 0x20, 0x32, 0x03, 0x15, 0x21, 0x00, 0x00, 0x00, 0xF7}));
    EXPECT_EQ(bcl.Receive(Line(1, "$preset")).Error, simbcl::Ok);
    EXPECT_EQ(bcl.Receive(Line(2, "  .name 'DW'")).Error, simbcl::Ok);
    EXPECT_EQ(bcl.Receive(Line(3, "$encoder 33")).Error, simbcl::Ok);
    EXPECT_EQ(bcl.Receive(Line(4, ".easypar CC 2 44 0 63 absolute")).Error, simbcl::Ok);
    EXPECT_FALSE(bcl.Completed());  // nothing takes effect before $end
    const auto end = bcl.Receive(Line(5, "$end"));
    EXPECT_TRUE(end.Finished);
    ASSERT_TRUE(bcl.Completed());
    const simbcl::BclElement &e = bcl.Completed()->Encoders.at(33);
    EXPECT_EQ(e.Channel, 1);
    EXPECT_EQ(e.Controller, 44);
    EXPECT_EQ(e.Value2, 63);
    EXPECT_EQ(bcl.Completed()->Name, "DW" + std::string(22, ' '));
    EXPECT_FALSE(bcl.StoredSlot());
    // A line of index 130 is answered with that index.
    EXPECT_EQ(bcl.Receive(Line(130, "$end")).Reply[7], 0x01);
    EXPECT_EQ(bcl.Receive(Line(130, "$end")).Reply[8], 0x02);
}

TEST(SimBcl, ReportsTheUnitsErrorCodes)
{
    simbcl::BclReceiver bcl;
    EXPECT_EQ(bcl.Receive(Line(1, "$rev R1")).Error, simbcl::IndexSequence);  // a script starts at 0
    EXPECT_EQ(RunLines(bcl, {"$rev F1"}), std::vector<int>{simbcl::WrongModel});
    EXPECT_EQ(RunLines(bcl, {"$preset"}), std::vector<int>{simbcl::NoRevBlock});
    EXPECT_EQ(RunLines(bcl, {"$rev R1", ".name 'x'", "$preset", "hello", "$encoder 57", "$button 0", "$encoder x",
                        "$encoder 1", ".easypar CC 17 1 0 1 absolute", ".easypar CC 1 1 0 1",
                        ".easypar CC 1 1 0 1 absolute extra", ".easypar CC 1 1 0 200 absolute",
                        ".easypar CC 1 1 0 1 sideways", ".init", ".colour red", "$button 1",
                        ".easypar CC 1 1 5 0 increment 1", ".mode down", ".resolution 96",
                        ".easypar CC 1 1 5 0 increment 0", ".name 'unterminated", "; a comment", ""}),
              (std::vector<int>{simbcl::Ok, simbcl::NoSection, simbcl::Ok, simbcl::SectionOrSettingExpected,
                                simbcl::ElementOutOfRange, simbcl::ElementOutOfRange, simbcl::NotANumber,
                                simbcl::Ok, simbcl::ValueOutOfRange, simbcl::MissingArgument,
                                simbcl::WrongArgumentCount, simbcl::ValueOutOfRange, simbcl::InvalidText,
                                simbcl::NotAllowedHere, simbcl::UnknownToken, simbcl::Ok, simbcl::Ok,
                                simbcl::NotAllowedHere, simbcl::NotAllowedHere, simbcl::ValueOutOfRange,
                                simbcl::InvalidText, simbcl::Ok, simbcl::Ok}));
    // A gap in the numbering is refused, and the next line in sequence is
    // still expected.
    EXPECT_EQ(bcl.Receive(Line(30, "$end")).Error, simbcl::IndexSequence);
    EXPECT_EQ(bcl.Receive(Line(23, "$end")).Error, simbcl::Ok);
    EXPECT_EQ(bcl.Receive(Line(24, "$end")).Error, simbcl::IndexSequence);  // the script is over
}

TEST(SimBcl, AcceptsOnlyLinesForABcr2000WithItsDeviceId)
{
    EXPECT_TRUE(simbcl::IsBclMessage(Line(0, "$rev R1", 0x7F, 0x15), 2));
    EXPECT_TRUE(simbcl::IsBclMessage(Line(0, "$rev R1", 0x02, 0x7F), 2));
    EXPECT_FALSE(simbcl::IsBclMessage(Line(0, "$rev R1", 0x03, 0x15), 2));
    EXPECT_FALSE(simbcl::IsBclMessage(Line(0, "$rev R1", 0x7F, 0x14), 2));  // a BCF2000's
    Bytes reply = Line(0, "");
    reply[6] = 0x21;
    EXPECT_FALSE(simbcl::IsBclMessage(reply, 0));

    SimBcr2000 bcr;
    std::vector<Bytes> sent;
    bcr.SetSend([&](Bytes m) { sent.push_back(std::move(m)); });
    bcr.Receive(Line(0, "$rev R1", 0x7F, 0x14));
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(bcr.Received().size(), 1u);
}

TEST(SimBcl, ProgrammedButtonsLatchStepAndWrapAndEchoesSetTheirValue)
{
    SimBcr2000 bcr;
    std::vector<Bytes> sent;
    bcr.SetSend([&](Bytes m) { sent.push_back(std::move(m)); });
    const std::vector<std::string> script = {
        "$rev R1", "$preset", ".init", "$button 1", ".easypar CC 1 10 1 0 toggleon", "$button 2",
        ".easypar CC 3 11 2 0 increment 1", ".default 2", "$button 3", ".easypar CC 1 12 5 0 increment -2",
        "$encoder 1", ".easypar CC 1 13 10 20 absolute", ".default 15", "$encoder 2",
        ".easypar CC 1 14 0 10 relative-1", "$end"};
    for (std::size_t i = 0; i < script.size(); ++i)
        bcr.Receive(Line(int(i), script[i]));
    ASSERT_EQ(sent.size(), script.size());
    for (const Bytes &reply : sent)
        EXPECT_EQ(reply[9], 0) << simmonitor::Describe(reply);
    sent.clear();

    for (int i = 0; i < 2; ++i) {
        bcr.PressButton(1);
        bcr.ReleaseButton(1);
    }
    for (int i = 0; i < 4; ++i)
        bcr.PressButton(2);
    bcr.PressButton(3);  // 0 - 2 is below the low end: wraps to the top
    bcr.PressButton(3);
    bcr.TurnElement(1, -1);
    bcr.TurnElement(1, -100);
    bcr.TurnElement(1, -1);  // already at its minimum: nothing
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xB0, 10, 1}, {0xB0, 10, 0}, {0xB2, 11, 0}, {0xB2, 11, 1},
                                        {0xB2, 11, 2}, {0xB2, 11, 0}, {0xB0, 12, 5}, {0xB0, 12, 3},
                                        {0xB0, 13, 14}, {0xB0, 13, 10}}));
    EXPECT_FALSE(bcr.TurnElement(2, 1));  // relative modes are not simulated
    bcr.Receive({0xB2, 11, 1});
    EXPECT_EQ(bcr.ElementValue(simbcl::ElementType::Button, 2), 1);
    bcr.Receive({0xB0, 13, 18});
    sent.clear();
    bcr.TurnElement(1, 1);
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xB0, 13, 19}}));
    EXPECT_EQ(bcr.ElementValue(simbcl::ElementType::Encoder, 3), std::nullopt);
}

TEST(SimMonitor, LinesCarryTheExactBytesAndAReadableMeaning)
{
    const Bytes request{0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7};
    EXPECT_EQ(simmonitor::MonitorLine("RX", "dw8000", request),
              "RX dw8000 F0 42 30 03 10 F7 | DW-8000 dump request, channel 1");
    EXPECT_EQ(simmonitor::Describe({0xBF, 44, 63}), "control change, channel 16, controller 44 = 63");
    EXPECT_EQ(simmonitor::Describe({0xF0, 0x42, 0x3F, 0x03, 0x41, 0x0F, 0x3F, 0xF7}),
              "DW-8000 parameter change, channel 16, parameter 15 = 63");
    EXPECT_EQ(simmonitor::Describe(Line(2, "$end")), "BCL line 2: $end");
    std::string direction, device;
    Bytes bytes;
    ASSERT_TRUE(simmonitor::ParseMonitorLine("TX bcr2000 B0 2C 3F | x | y", direction, device, bytes));
    EXPECT_EQ(direction, "TX");
    EXPECT_EQ(device, "bcr2000");
    EXPECT_EQ(bytes, (Bytes{0xB0, 0x2C, 0x3F}));
    EXPECT_FALSE(simmonitor::ParseMonitorLine("OK cc", direction, device, bytes));
    EXPECT_FALSE(simmonitor::ParseMonitorLine("RX dw8000 F0 4", direction, device, bytes));
}

} // namespace

namespace {

TEST(SimHost, CommandsDriveTheSimulatorsAndBadOnesAreAnsweredWithAnError)
{
    TSimHost host([](const std::string &) {});
    bool quit = false;
    EXPECT_EQ(host.Command("program 16", quit), "OK program 16"); // as the unit numbers it
    EXPECT_EQ(host.Synth().Program(), 5);
    EXPECT_EQ(host.Command("cc 44 63", quit), "OK cc");
    EXPECT_EQ(host.Controller().Value(0, 44), 63);
    EXPECT_EQ(host.Command("cc 44 5 16", quit), "OK cc");
    EXPECT_EQ(host.Controller().Value(15, 44), 5);
    EXPECT_EQ(host.Command("turn 33 1", quit), "ERROR encoder not programmed");
    EXPECT_EQ(host.Command("cc 44 128", quit).rfind("ERROR", 0), 0u);
    EXPECT_EQ(host.Command("program 89", quit).rfind("ERROR", 0), 0u);
    EXPECT_EQ(host.Command("program five", quit).rfind("ERROR", 0), 0u);
    EXPECT_EQ(host.Command("program", quit).rfind("ERROR unknown", 0), 0u);
    EXPECT_EQ(host.Command("truncate 20", quit), "OK truncate");
    EXPECT_EQ(host.Command("unplug dw8000", quit), "ERROR the ports are not open");
    EXPECT_EQ(host.Command("unplug piano", quit).rfind("ERROR unplug takes dw8000 or bcr2000", 0), 0u);
    EXPECT_EQ(host.Command("plug bcr2000 now", quit).rfind("ERROR plug takes", 0), 0u);
    EXPECT_EQ(host.Command("", quit), "");
    EXPECT_FALSE(quit);
    EXPECT_EQ(host.Command("quit", quit), "OK quit");
    EXPECT_TRUE(quit);
}

} // namespace
