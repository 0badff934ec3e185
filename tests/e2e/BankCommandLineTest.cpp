// tavrelk-bank as a user runs it, before any MIDI port is opened: the
// command line, `list`, and the refusals that come before a transfer. No
// JACK server runs for these (and none is started).

#include "ProcessSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string kBank = TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx";

class BankCommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/bankcli-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        folder = name;
        std::ofstream(Path("empty.INI")) << "";
        std::ifstream in(kBank, std::ios::binary);
        const std::string bank((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(Path("one.syx"), std::ios::binary) << bank.substr(0, 57);       // a dump, no number
        std::ofstream(Path("raw.syx"), std::ios::binary) << bank.substr(5, 51);       // a raw block
        std::ofstream(Path("four.syx"), std::ios::binary) << bank.substr(0, 4 * 64);  // programs 11..14
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    std::string Path(const std::string &name) const { return folder + "/" + name; }

    // Runs tavrelk-bank with the test's empty settings file (or the one
    // named); its stdout and stderr in `output`.
    int Run(std::vector<std::string> args, std::string &output, const std::string &settings = "empty.INI")
    {
        args.insert(args.begin(), {TAVRELK_BANK, "--settings", Path(settings)});
        const std::string log = Path("run.log");
        std::remove(log.c_str());
        e2e::Child bank;
        // No JACK server of that name: a client must not start one either.
        const std::string failure = bank.Start(
            args, e2e::Environment({{"JACK_DEFAULT_SERVER", "tavrelk-no-such-server"}, {"JACK_NO_START_SERVER", "1"}}),
            false, log);
        EXPECT_TRUE(failure.empty()) << failure;
        const int code = bank.WaitForExit(60s);
        std::ifstream in(log);
        output.assign(std::istreambuf_iterator<char>(in), {});
        return code;
    }

    std::string folder;
};

} // namespace

TEST_F(BankCommandLine, WrongCommandLinesEndWithStatusTwoAndTheUsage)
{
    struct Case {
        std::vector<std::string> args;
        const char *says;
    };
    const std::vector<Case> cases = {
        {{}, "no command given"},
        {{"backup"}, "unknown command backup"},
        {{"list"}, "list needs a file"},
        {{"receive"}, "receive needs a file"},
        {{"ports", "extra"}, "unexpected argument extra"},
        {{"list", "a.syx", "b.syx"}, "unexpected argument b.syx"},
        {{"list", "a.syx", "--verbose"}, "unknown option --verbose"},
        {{"send", "a.syx", "--to"}, "--to needs a value"},
        {{"send", "a.syx", "--channel", "17"}, "--channel takes a number from 1 to 16"},
        {{"send", "a.syx", "--channel", "x"}, "--channel takes a number from 1 to 16"},
        {{"send", "a.syx", "--first", "19"}, "--first takes a program as the DW-8000 shows it"},
        {{"send", "a.syx", "--last", "90"}, "--last takes a program"},
        {{"send", "a.syx", "--program", "10"}, "--program takes a program"},
        {{"send", "a.syx", "--first", "28", "--last", "21"}, "--first comes after --last"},
        {{"send", "a.syx", "--program", "34", "--first", "21"}, "not both"},
        {{"receive", "a.syx", "--program", "34"}, "go with send"},
        {{"receive", "a.syx", "--first", "11", "--last", "18"}, "go with send"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        std::string output;
        EXPECT_EQ(Run(c.args, output), 2);
        EXPECT_EQ(output.rfind("tavrelk-bank: ", 0), 0u) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_NE(output.find("Usage: tavrelk-bank"), std::string::npos) << output;
    }
}

TEST_F(BankCommandLine, HelpFitsEightyColumns)
{
    std::string output;
    ASSERT_EQ(Run({"--help"}, output), 0);
    std::size_t start = 0, lines = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1, ++lines)
        EXPECT_LE(end - start, 80u) << output.substr(start, end - start);
    EXPECT_GT(lines, 10u);
    EXPECT_NE(output.find("detect"), std::string::npos);
}

TEST_F(BankCommandLine, ListTellsWhatAFileHolds)
{
    std::string output;
    ASSERT_EQ(Run({"list", kBank}, output), 0) << output;
    EXPECT_NE(output.find(": bank, 64 programs, channel 1\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\n11  "), std::string::npos) << output;
    EXPECT_NE(output.find("\n88  "), std::string::npos) << output;
    ASSERT_EQ(Run({"list", Path("one.syx")}, output), 0) << output;
    EXPECT_NE(output.find(": dump, 1 program, channel 1\n"), std::string::npos) << output;
    ASSERT_EQ(Run({"list", Path("raw.syx")}, output), 0) << output;
    EXPECT_NE(output.find(": data block, 1 program\n"), std::string::npos) << output;
    EXPECT_EQ(Run({"list", Path("missing.syx")}, output), 1);
    EXPECT_NE(output.find("Cannot open " + Path("missing.syx")), std::string::npos) << output;
    std::ofstream(Path("foreign.syx"), std::ios::binary) << std::string("\xF0\x43\x00\xF7", 4);
    EXPECT_EQ(Run({"list", Path("foreign.syx")}, output), 1);
    EXPECT_NE(output.find("tavrelk-bank: " + Path("foreign.syx") + ": "), std::string::npos) << output;
}

// Each is refused before a port is opened, so no MIDI system is needed.
TEST_F(BankCommandLine, TransfersThatCannotBeRightAreRefusedBeforeTheyStart)
{
    mkdir(Path("folder.syx").c_str(), 0755);
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        // A file of one patch has no program number: program 11 is not assumed.
        {{"send", Path("one.syx"), "--from", "a", "--to", "b"},
         "holds one patch and no program number: name the program to write it to with --program P (11-88)."},
        {{"send", Path("raw.syx"), "--from", "a", "--to", "b"}, "holds one patch and no program number"},
        {{"send", kBank, "--program", "34", "--from", "a", "--to", "b"}, "--program is for a file of one patch"},
        {{"send", Path("four.syx"), "--first", "21", "--from", "a", "--to", "b"},
         "holds none of programs 21 to 88: nothing to write."},
        {{"send", Path("missing.syx")}, "Cannot open " + Path("missing.syx")},
        {{"receive", Path("folder.syx"), "--from", "a", "--to", "b"}, Path("folder.syx") + " is a folder"},
        {{"receive", Path("no-folder/bank.syx")}, "Cannot write " + Path("no-folder/bank.syx")},
        // No settings file and no --from: say how to choose, not 'no MIDI input named "None"'.
        {{"receive", Path("bank.syx")}, "no MIDI input is chosen for the DW-8000: give --from PORT"},
        {{"send", kBank, "--from", "a"}, "no MIDI output is chosen for the DW-8000: give --to PORT"},
        {{"receive", Path("bank.syx"), "--from", "nowhere:out", "--to", "nowhere:in"},
         "no MIDI input named \"nowhere:out\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        std::string output;
        EXPECT_EQ(Run(c.args, output), 1) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
        EXPECT_EQ(output.find("written"), std::string::npos) << output;
    }
    EXPECT_NE(access(Path("bank.syx").c_str(), F_OK), 0); // the check wrote nothing that stays
    EXPECT_NE(access(Path("bank.syx.part").c_str(), F_OK), 0);
}

// The bank tool runs on the editor's session: the ports it does not get on
// the command line are the ones the editor saved, and what the command line
// chooses is for that run only, never written to the editor's file.
TEST_F(BankCommandLine, PortsComeFromTheEditorsSettingsAndTheCommandLineWritesNothingThere)
{
    const std::string ini = "[MidiDevices]\nInput=saved:out\nOutput=saved:in\n[DWSynth]\nMidiChan=3\n";
    std::ofstream(Path("saved.INI")) << ini;
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases = {
        {{"receive", Path("bank.syx"), "--channel", "5"}, "no MIDI input named \"saved:out\""},
        {{"receive", Path("bank.syx"), "--from", "given:out", "--to", "given:in"}, "no MIDI input named \"given:out\""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        std::string output;
        EXPECT_EQ(Run(c.args, output, "saved.INI"), 1) << output;
        EXPECT_NE(output.find(c.says), std::string::npos) << output;
    }
    std::ifstream in(Path("saved.INI"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), ini);
}
