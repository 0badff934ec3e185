// The simulator speaks of programs as the DW-8000's panel does (11..88),
// says which bank file it cannot read, and presses the BCR2000's user keys.

#include "sim/SimHost.h"
#include "sim/SimMonitor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TEST(SimNumbering, CommandsTakeAndPrintTheUnitsNumbers)
{
    TSimHost host([](const std::string &) {});
    bool quit = false;
    EXPECT_EQ(host.Command("program 34", quit), "OK program 34");
    EXPECT_EQ(host.Synth().Program(), 19);
    std::string last = "OK stored 88"; // the last program, 63 counted from 0
    for (const std::uint8_t v : host.Synth().ProgramPatch(63))
        last += " " + std::to_string(v);
    EXPECT_EQ(host.Command("stored 88", quit), last);
    for (const char *bad : {"program 0", "program 69", "program 19", "stored 9"})
        EXPECT_EQ(host.Command(bad, quit).rfind("ERROR DW-8000 programs are numbered 11-88", 0), 0u) << bad;
    EXPECT_EQ(host.Synth().Program(), 19);
}

TEST(SimNumbering, TheMonitorNamesProgramsAsTheUnitDoes)
{
    using simmonitor::Describe;
    EXPECT_EQ(Describe({0xC0, 19}), "program change, channel 1, DW-8000 program 34");
    EXPECT_EQ(Describe({0xC1, 100}), "program change, channel 2, number 100");
    EXPECT_EQ(Describe({0xF0, 0x42, 0x30, 0x03, 0x11, 63, 0xF7}), "DW-8000 write request, channel 1, program 88");
}

TEST(SimNumbering, TheUserKeysPressAndRelease)
{
    TSimHost host([](const std::string &) {});
    std::vector<SimBcr2000::Message> sent;
    host.Controller().SetSend([&](SimBcr2000::Message m) { sent.push_back(std::move(m)); });
    bool quit = false;
    for (const char *key : {"undo", "redo", "mutate"})
        EXPECT_EQ(host.Command(key, quit), std::string("OK ") + key);
    const std::vector<SimBcr2000::Message> expected = {{0xB0, 68, 1}, {0xB0, 68, 0}, {0xB0, 69, 1},
                                                       {0xB0, 69, 0}, {0xB0, 70, 1}, {0xB0, 70, 0}};
    EXPECT_EQ(sent, expected);
}

TEST(SimNumbering, ABankFileThatCannotBeReadIsNamed)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tavrelk-sim-bank-test";
    std::filesystem::create_directories(dir);
    const std::string empty = (dir / "empty.syx").string();
    std::ofstream(empty).close();
    const struct {
        std::string Path, Says;
    } cases[] = {
        {(dir / "missing.syx").string(), "cannot read " + (dir / "missing.syx").string() + ": No such file"},
        {dir.string(), "cannot read " + dir.string() + ": it is a folder"},
        {empty, "no DW-8000 programs in " + empty},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Path);
        TSimHost host([](const std::string &) {});
        EXPECT_EQ(host.LoadBank(c.Path).rfind(c.Says, 0), 0u) << host.LoadBank(c.Path);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
