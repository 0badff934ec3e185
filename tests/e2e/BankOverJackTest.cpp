// tavrelk-bank against tavrelk-sim over a private JACK server: a bank
// received byte for byte, sent and received back, and write protect.

#include "ProcessSupport.h"

#include <QFile>
#include <sys/stat.h>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <iterator>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

class BankOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(QStringLiteral(TAVRELK_BANK))) << "not built: " << TAVRELK_BANK;
        ASSERT_TRUE(dir.isValid());
        const std::string failure = jack.Start(Path("jackd.log"));
        ASSERT_TRUE(failure.empty()) << "No JACK server for the end-to-end test: " << failure;
        const std::string simFailure = sim.Start({TAVRELK_SIM, "--api", "jack", "--bank", kBank},
                                                 e2e::Environment({}), true, Path("sim-stderr.log"), true);
        ASSERT_TRUE(simFailure.empty()) << simFailure;
        ASSERT_GE(sim.WaitForLine(0, [](const std::string &l) { return l == "READY"; }, 15s), 0);
        // An empty settings file: ports and channel come from the command line.
        std::ofstream(Path("tavrelk.INI")) << "";
    }

    void TearDown() override
    {
        sim.WriteLine("quit");
        sim.WaitForExit(5s);
        sim.Stop();
        jack.Stop();
    }

    std::string Path(const char *name) const { return dir.filePath(QLatin1String(name)).toStdString(); }

    // Starts tavrelk-bank on the simulated DW-8000; its output (stdout and
    // stderr) goes to the log file.
    void StartBank(e2e::Child &bank, std::vector<std::string> args, const char *logName)
    {
        args.insert(args.begin(), {TAVRELK_BANK, "--settings", Path("tavrelk.INI")});
        args.insert(args.end(), {"--from", "dw8000-out:out", "--to", "dw8000-in:in", "--channel", "1"});
        std::remove(Path(logName).c_str());
        // A patch library of the test's own: receive keeps what it received.
        const std::string failure = bank.Start(args, e2e::Environment({{"XDG_DATA_HOME", Path("data")}}), false,
                                               Path(logName));
        EXPECT_TRUE(failure.empty()) << failure;
    }

    std::string Log(const char *logName) const
    {
        std::ifstream in(Path(logName));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    // Waits until the log holds `text`; false if it never comes.
    bool WaitForLog(const char *logName, const std::string &text) const
    {
        const auto deadline = e2e::Clock::now() + 30s;
        while (Log(logName).find(text) == std::string::npos) {
            if (e2e::Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }

    // Runs tavrelk-bank to its end; its output (stdout and stderr) in `log`.
    int Bank(std::vector<std::string> args, std::string &log, const char *logName)
    {
        e2e::Child bank;
        StartBank(bank, std::move(args), logName);
        const int code = bank.WaitForExit(60s);
        bank.Stop();
        log = Log(logName);
        return code;
    }

    // The simulator's answer to a command.
    std::string Ask(const std::string &command)
    {
        const std::size_t from = sim.Lines().size();
        sim.WriteLine(command);
        const int at = sim.WaitForLine(from, [](const std::string &l) { return l.rfind("OK", 0) == 0 || l.rfind("ERROR", 0) == 0; }, 5s);
        return at < 0 ? std::string() : sim.Lines()[std::size_t(at)];
    }

    static constexpr const char *kBank = TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx";
    QTemporaryDir dir;
    e2e::JackServer jack;
    e2e::Child sim;
};

} // namespace

TEST_F(BankOverJack, ReceiveYieldsTheSimulatorsProgramsByteForByte)
{
    std::string log;
    ASSERT_EQ(Bank({"receive", Path("got.syx")}, log, "receive.log"), 0) << log;
    EXPECT_EQ(ReadAll(Path("got.syx")), ReadAll(kBank));
    EXPECT_NE(log.find("64 programs received"), std::string::npos) << log;
    EXPECT_NE(log.find("patch library: 64 new, 0 already there"), std::string::npos) << log;
}

TEST_F(BankOverJack, SendThenReceiveRoundTrips)
{
    // The bank in reverse order: program p gets program 63 - p's data.
    const Bytes bank = ReadAll(kBank);
    Bytes reversed;
    for (int p = 0; p < 64; ++p) {
        const auto from = bank.begin() + (63 - p) * 64;
        reversed.insert(reversed.end(), from, from + 57);
        reversed.insert(reversed.end(), {0xF0, 0x42, 0x30, 0x03, 0x11, std::uint8_t(p), 0xF7});
    }
    std::ofstream(Path("reversed.syx"), std::ios::binary).write(reinterpret_cast<const char *>(reversed.data()), 4096);
    std::string log;
    ASSERT_EQ(Bank({"send", Path("reversed.syx")}, log, "send.log"), 0) << log;
    EXPECT_NE(log.find("64 programs written and confirmed"), std::string::npos) << log;
    ASSERT_EQ(Bank({"receive", Path("back.syx")}, log, "receive.log"), 0) << log;
    EXPECT_EQ(ReadAll(Path("back.syx")), reversed);
}

TEST_F(BankOverJack, WriteProtectGivesANonZeroStatusAndTheMessage)
{
    ASSERT_EQ(Ask("protect 1"), "OK protect on");
    std::string log;
    EXPECT_NE(Bank({"send", kBank, "--first", "21", "--last", "28"}, log, "send.log"), 0);
    EXPECT_NE(log.find("The DW-8000 refused to write: its memory protect switch is set to WRITE DISABLE."),
              std::string::npos)
        << log;
}

TEST_F(BankOverJack, DetectFindsBothSimulatedDevicesAndTheChannel)
{
    // (Channel 16 and decoy ports: the in-process search tests.)
    std::string log;
    ASSERT_EQ(Bank({"detect"}, log, "detect.log"), 0) << log;
    for (const char *line : {"synth-output dw8000-in:in\n", "synth-input dw8000-out:out\n", "synth-channel 1\n",
                             "controller-output bcr2000-in:in\n", "controller-input bcr2000-out:out\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
}

TEST_F(BankOverJack, OnePatchFileIsWrittenOnlyToTheProgramNamed)
{
    // Program 12's patch into program 34 (index 19); program 11 stays.
    const Bytes bank = ReadAll(kBank);
    std::ofstream(Path("one.syx"), std::ios::binary).write(reinterpret_cast<const char *>(bank.data()) + 64, 57);
    const std::string program11 = Ask("stored 11"), program12 = Ask("stored 12");
    ASSERT_NE(Ask("stored 34"), program12);
    std::string log;
    ASSERT_EQ(Bank({"send", Path("one.syx"), "--program", "34"}, log, "send.log"), 0) << log;
    EXPECT_NE(log.find("Writing the patch in " + Path("one.syx") + " to program 34."), std::string::npos) << log;
    EXPECT_NE(log.find("1 program written and confirmed."), std::string::npos) << log;
    auto values = [](const std::string &stored) { return stored.substr(stored.find(' ', stored.find(' ', 3) + 1)); };
    EXPECT_EQ(values(Ask("stored 34")), values(program12));
    EXPECT_EQ(Ask("stored 11"), program11);
}

// One interrupt cancels the transfer and ends the run with 128 + the
// signal's number, a second during the cancel ends it too; the bank file
// that was there stays as it was.
TEST_F(BankOverJack, InterruptEndsTheRunAndLeavesTheOldFile)
{
    struct Case {
        const char *command;
        std::vector<int> interrupts;
        int status;
        const char *says;
    };
    const Case cases[] = {
        {"send", {SIGINT}, 130, "interrupted: Cancelled at program"},
        {"send", {SIGTERM}, 143, "interrupted: Cancelled at program"},
        {"receive", {SIGINT}, 130, "interrupted: Cancelled after"},
        {"receive", {SIGINT, SIGINT}, 130, "interrupted"},
        {"send", {SIGINT, SIGINT}, 130, "interrupted"},
    };
    ASSERT_EQ(Ask("writetime 200"), "OK writetime");
    ASSERT_EQ(Ask("replytime 200"), "OK replytime");
    const Bytes old = {0xF0, 0x42, 0xF7};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.command) + " with " + std::to_string(c.interrupts.size()) + " signal(s)");
        std::ofstream(Path("old.syx"), std::ios::binary).write(reinterpret_cast<const char *>(old.data()), 3);
        e2e::Child bank;
        const std::string file = std::string(c.command) == "send" ? kBank : Path("old.syx");
        StartBank(bank, {c.command, file}, "interrupt.log");
        ASSERT_TRUE(WaitForLog("interrupt.log", std::string(c.command == std::string("send") ? "written" : "received") + " 1/64"))
            << Log("interrupt.log");
        for (const int signal : c.interrupts)
            bank.Signal(signal);
        EXPECT_EQ(bank.WaitForExit(30s), c.status) << Log("interrupt.log");
        bank.Stop();
        EXPECT_NE(Log("interrupt.log").find(c.says), std::string::npos) << Log("interrupt.log");
        EXPECT_EQ(ReadAll(Path("old.syx")), old);
        // The simulator is free for the next run: it answers a request.
        ASSERT_EQ(Ask("stored 11").rfind("OK", 0), 0u);
    }
}

TEST_F(BankOverJack, ReceiveThatCannotSaveOrKeepSaysSoAndFails)
{
    // A patch library that cannot be read: the file is saved whole, the run fails.
    ASSERT_EQ(mkdir(Path("data").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(Path("data/tavrelk").c_str(), 0755), 0);
    std::ofstream(Path("data/tavrelk/patches.sqlite")) << std::string(8192, 'x');
    e2e::Child kept;
    StartBank(kept, {"receive", Path("kept.syx")}, "kept.log");
    EXPECT_EQ(kept.WaitForExit(120s), 1) << Log("kept.log");
    EXPECT_NE(Log("kept.log").find("64 programs received and saved, but not kept in the patch library"),
              std::string::npos)
        << Log("kept.log");
    std::ifstream saved(Path("kept.syx"), std::ios::binary | std::ios::ate);
    EXPECT_EQ(saved.tellg(), 64 * 64);

    ASSERT_EQ(Ask("replytime 50"), "OK replytime");
    e2e::Child bank;
    StartBank(bank, {"receive", Path("got.syx")}, "receive.log");
    ASSERT_TRUE(WaitForLog("receive.log", "received 1/64")) << Log("receive.log");
    // The file's name is taken by a folder while the programs come in.
    ASSERT_EQ(mkdir(Path("got.syx").c_str(), 0755), 0);
    EXPECT_EQ(bank.WaitForExit(60s), 1) << Log("receive.log");
    EXPECT_NE(Log("receive.log").find("64 programs received, but not saved: Cannot write " + Path("got.syx") + ": "),
              std::string::npos)
        << Log("receive.log");
}

// A JACK server that stops answering (stopped by its process id) ends the
// run with a message and a status, whether it stalls before the MIDI service
// starts or in the middle of a transfer.
TEST_F(BankOverJack, StalledServerEndsTheRunWithAMessage)
{
    struct Case {
        std::vector<std::string> args;
        const char *stopAfter; // log text after which the server stops; null: before the start
        const char *says;
    };
    const Case cases[] = {
        {{"ports"}, nullptr, "the MIDI service did not answer (jack)"},
        {{"receive", Path("got.syx")}, "received 1/64", "did not answer: no dump"},
    };
    ASSERT_EQ(Ask("replytime 100"), "OK replytime");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.args[0]);
        e2e::Child bank;
        if (!c.stopAfter)
            jack.Signal(SIGSTOP);
        StartBank(bank, c.args, "stall.log");
        if (c.stopAfter) {
            ASSERT_TRUE(WaitForLog("stall.log", c.stopAfter)) << Log("stall.log");
            jack.Signal(SIGSTOP);
        }
        const int status = bank.WaitForExit(60s);
        jack.Signal(SIGCONT);
        EXPECT_EQ(status, 1) << Log("stall.log");
        EXPECT_NE(Log("stall.log").find(c.says), std::string::npos) << Log("stall.log");
        bank.Stop();
    }
    EXPECT_FALSE(std::ifstream(Path("got.syx")).good()); // nothing half-received was saved
}
