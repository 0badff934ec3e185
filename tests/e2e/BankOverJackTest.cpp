// tavrelk-bank against tavrelk-sim over a private JACK server: a bank
// received byte for byte, sent and received back, and write protect.

#include "ProcessSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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

    // Runs tavrelk-bank to its end; its output (stdout and stderr) in `log`.
    int Bank(std::vector<std::string> args, std::string &log, const char *logName)
    {
        args.insert(args.begin(), {TAVRELK_BANK, "--settings", Path("tavrelk.INI")});
        args.insert(args.end(), {"--from", "dw8000-out:out", "--to", "dw8000-in:in", "--channel", "1"});
        e2e::Child bank;
        // A patch library of the test's own: receive keeps what it received.
        const std::string failure = bank.Start(args, e2e::Environment({{"XDG_DATA_HOME", Path("data")}}), false,
                                               Path(logName));
        EXPECT_TRUE(failure.empty()) << failure;
        const int code = bank.WaitForExit(60s);
        bank.Stop();
        std::ifstream in(Path(logName));
        log.assign(std::istreambuf_iterator<char>(in), {});
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
