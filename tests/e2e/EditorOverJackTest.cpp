// The real editor binary against tavrelk-sim over a private JACK server: the
// roads of the editor checked byte-exact through the simulator's monitor.
// The editor has no remote control; the devices are driven through the
// simulator's commands, and the preset upload is sent by the test itself
// from a JACK port of its own, as the editor's upload would send it.

#include "ProcessSupport.h"
#include "PresetGen.h"
#include "core/ParamTable.h"
#include "sim/SimMonitor.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr int Dw8000Channel = 0;

struct MonitorEntry {
    std::string Direction, Device;
    Bytes Message;
};

const TParamTable &Table()
{
    static const TParamTable table = [] {
        TParamTable t;
        BuildParams(t);
        return t;
    }();
    return table;
}

std::vector<int> LiveRows()
{
    std::vector<int> rows;
    for (int r = 0; r < ParamCount; ++r)
        if (IsLiveRow(r))
            rows.push_back(r);
    return rows;
}

Bytes ParameterChange(int parameter, int value)
{
    return {0xF0, 0x42, 0x30 + Dw8000Channel, 0x03, 0x41, std::uint8_t(parameter), std::uint8_t(value), 0xF7};
}

class EditorOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(QStringLiteral(TAVRELK_EDITOR))) << "editor not built: " << TAVRELK_EDITOR;
        ASSERT_TRUE(QFile::exists(QStringLiteral(TAVRELK_SIM))) << "simulator not built: " << TAVRELK_SIM;
        ASSERT_TRUE(dir.isValid());
        const std::string failure = jack.Start(Path("jackd.log"));
        ASSERT_TRUE(failure.empty()) << "No JACK server for the end-to-end test: " << failure;
        StartSimulator();
    }

    void StartSimulator()
    {
        const std::string failure = sim.Start({TAVRELK_SIM, "--api", "jack"}, e2e::Environment({}), true,
                                              Path("sim-stderr.log"), true);
        ASSERT_TRUE(failure.empty()) << failure;
        ASSERT_GE(sim.WaitForLine(0, [](const std::string &l) { return l == "READY"; }, 15s), 0)
            << "tavrelk-sim did not open its ports; see " << Path("sim-stderr.log");
    }

    // Assigns the simulator's ports to the four roles and starts the editor.
    void StartEditor(const std::map<std::string, std::string> &env, const std::vector<std::string> &extraArgs = {})
    {
        const std::string settings = Path("tavrelk.INI");
        std::ofstream(settings) << "[MidiDevices]\nInput=dw8000-out:out\nOutput=dw8000-in:in\n"
                                   "CtrlInput=bcr2000-out:out\nCtrlOutput=bcr2000-in:in\n"
                                   "[DWSynth]\nMidiChan=" << Dw8000Channel << "\n";
        std::vector<std::string> args = {TAVRELK_EDITOR, "--settings", settings};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        const std::string failure = editor.Start(args, e2e::Environment(env), false, Path("editor.log"));
        ASSERT_TRUE(failure.empty()) << failure;
    }

    std::string Path(const char *name) const { return dir.filePath(QLatin1String(name)).toStdString(); }

    std::vector<MonitorEntry> Monitor(std::size_t from = 0) const
    {
        std::vector<MonitorEntry> entries;
        const auto lines = sim.Lines();
        for (std::size_t i = from; i < lines.size(); ++i) {
            MonitorEntry e;
            if (simmonitor::ParseMonitorLine(lines[i], e.Direction, e.Device, e.Message))
                entries.push_back(e);
        }
        return entries;
    }

    // The undo and redo keys' lights follow the history whenever a step
    // closes, which may be at the next move.
    static bool IsHistoryLight(const Bytes &m) { return m.size() == 3 && (m[1] == 68 || m[1] == 69); }

    // The messages a simulated device received from `from` on, once `count`
    // of them have arrived (or the time is up).
    std::vector<Bytes> Received(const std::string &device, std::size_t from, std::size_t count,
                                std::chrono::milliseconds timeout = 10s, bool historyLights = true) const
    {
        const auto deadline = e2e::Clock::now() + timeout;
        std::vector<Bytes> got;
        do {
            got.clear();
            for (const MonitorEntry &e : Monitor(from))
                if (e.Direction == "RX" && e.Device == device && (historyLights || !IsHistoryLight(e.Message)))
                    got.push_back(e.Message);
            if (got.size() >= count)
                break;
            std::this_thread::sleep_for(20ms);
        } while (e2e::Clock::now() < deadline);
        return got;
    }

    // The next message the simulated device sent from line `from` on
    // (the next sysex message if `sysex`).
    Bytes Sent(const std::string &device, std::size_t from, std::chrono::milliseconds timeout = 10s,
               bool sysex = false) const
    {
        const std::string head = "TX " + device + (sysex ? " F0 " : " ");
        const int line = sim.WaitForLine(
            from, [&](const std::string &l) { return l.rfind(head, 0) == 0; }, timeout);
        if (line < 0)
            return {};
        MonitorEntry e;
        simmonitor::ParseMonitorLine(sim.Lines()[std::size_t(line)], e.Direction, e.Device, e.Message);
        return e.Message;
    }

    // What the editor echoes for a dump: each live row's controller and its
    // masked, clamped byte.
    static std::vector<Bytes> EchoesOf(const Bytes &dump)
    {
        std::vector<Bytes> echoes;
        for (const int r : LiveRows()) {
            const TCcParam &row = Table()[std::size_t(r)];
            const int value = std::min(dump.at(std::size_t(r) + 5) & row.DumpMask, row.MaxValue);
            echoes.push_back({0xB0, std::uint8_t(row.Controller), std::uint8_t(value)});
        }
        return echoes;
    }

    // The start-up road: request, dump, one echo per live row.
    void ExpectFetch(std::size_t from)
    {
        const Bytes request{0xF0, 0x42, 0x30 + Dw8000Channel, 0x03, 0x10, 0xF7};
        EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{request});
        const Bytes dump = Sent("dw8000", from, 10s, true);
        ASSERT_EQ(dump.size(), 57u);
        const std::vector<Bytes> expected = EchoesOf(dump);
        EXPECT_EQ(Echoes(from, expected.size()), expected);
    }

    // What the controller received besides the history lights.
    std::vector<Bytes> Echoes(std::size_t from, std::size_t count, std::chrono::milliseconds timeout = 10s) const
    {
        return Received("bcr2000", from, count, timeout, false);
    }

    std::size_t Mark() const { return sim.Lines().size(); }

    // The ports the JACK server lists now.
    static std::set<std::string> JackPorts()
    {
        e2e::Child lsp;
        if (!lsp.Start({"jack_lsp"}, e2e::Environment({}), true).empty())
            return {};
        lsp.WaitForExit(5s);
        lsp.Stop();  // collects the rest of its output
        const auto lines = lsp.Lines();
        return {lines.begin(), lines.end()};
    }

    // The editor's own ports: all but the server's and the simulator's.
    static std::set<std::string> EditorPorts()
    {
        std::set<std::string> own;
        for (const std::string &port : JackPorts())
            if (port.rfind("system:", 0) != 0 && port.rfind("bcr2000-", 0) != 0 && port.rfind("dw8000-", 0) != 0)
                own.insert(port);
        return own;
    }

    // Waits until `count` of the editor's ports in `before` have left the
    // server's list: its watcher saw a device go and closed the roles' ports.
    static bool EditorClosedPorts(const std::set<std::string> &before, std::size_t count)
    {
        const auto deadline = e2e::Clock::now() + 20s;
        do {
            const std::set<std::string> now = EditorPorts();
            std::size_t gone = 0;
            for (const std::string &port : before)
                gone += now.count(port) == 0;
            if (gone >= count)
                return true;
            std::this_thread::sleep_for(50ms);
        } while (e2e::Clock::now() < deadline);
        return false;
    }

    void Command(const std::string &command)
    {
        const std::size_t from = Mark();
        sim.WriteLine(command);
        const int line = sim.WaitForLine(
            from, [](const std::string &l) { return l.rfind("OK", 0) == 0 || l.rfind("ERROR", 0) == 0; }, 10s);
        ASSERT_GE(line, 0) << "no answer to " << command;
        ASSERT_EQ(sim.Lines()[std::size_t(line)].rfind("OK", 0), 0u) << sim.Lines()[std::size_t(line)];
    }

    // A random patch: for each live row an echo to the controller and a
    // parameter change to the synthesizer with the same value within range.
    void ExpectRandomPatch(std::size_t from)
    {
        const std::vector<int> rows = LiveRows();
        const std::vector<Bytes> echoes = Echoes(from, rows.size());
        const std::vector<Bytes> changes = Received("dw8000", from, rows.size());
        ASSERT_EQ(echoes.size(), rows.size());
        ASSERT_EQ(changes.size(), rows.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const TCcParam &row = Table()[std::size_t(rows[i])];
            EXPECT_EQ(echoes[i][1], row.Controller);
            EXPECT_LE(echoes[i][2], row.RandomMax);
            EXPECT_EQ(changes[i], ParameterChange(rows[i], echoes[i][2]));
        }
    }

    void TearDown() override
    {
        // Clients first, then the server, so that the synchronous server
        // never waits on a client that died without closing.
        sim.WriteLine("quit");
        EXPECT_EQ(sim.WaitForExit(5s), 0) << "tavrelk-sim did not end on quit";
        sim.Stop();
        editor.Stop();
        EXPECT_TRUE(jack.Stop()) << "jackd did not end on SIGTERM";
        if (HasFailure()) {
            std::ofstream log(Path("sim.log"));
            for (const std::string &line : sim.Lines())
                log << line << '\n';
            dir.setAutoRemove(false);
            std::cerr << "Simulator monitor and editor output kept in " << dir.path().toStdString() << '\n';
        }
    }

    QTemporaryDir dir;
    e2e::JackServer jack;
    e2e::Child sim;
    e2e::Child editor;
};

TEST_F(EditorOverJack, StartUpFetchesThePatchAndEchoesItThenControllerMovesAndRandomButtonReachTheSynth)
{
    StartEditor({{"QT_QPA_PLATFORM", "offscreen"}});
    ExpectFetch(0);
    ASSERT_TRUE(editor.Running()) << "see " << Path("editor.log");

    std::size_t from = Mark();
    Command("cc 44 63");  // cutoff
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(15, 63)});
    from = Mark();
    Command("cc 29 3");  // octave 1 takes the controller's value unchanged
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(0, 3)});
    EXPECT_TRUE(Echoes(from, 1, 300ms).empty()) << "nothing is echoed on this road";
    from = Mark();
    Command("cc 51 9");  // a controller without a row
    Command("cc 43 2");  // the random controller with another value
    EXPECT_TRUE(Received("dw8000", from, 1, 500ms).empty());

    from = Mark();
    Command("random");
    ExpectRandomPatch(from);
}

TEST_F(EditorOverJack, ProgramChangeOnTheSynthFetchesTheNewProgram)
{
    StartEditor({{"QT_QPA_PLATFORM", "offscreen"}});
    ExpectFetch(0);
    for (const int program : {3, 1}) {
        const std::size_t from = Mark();
        Command("program " + std::to_string(11 + program)); // bank 1, as the unit numbers it
        EXPECT_EQ(Sent("dw8000", from), (Bytes{0xC0 + Dw8000Channel, std::uint8_t(program)}));
        ExpectFetch(from);
    }
}

TEST_F(EditorOverJack, PresetUploadReprogramsTheControllerWhoseControlsThenDriveTheEditor)
{
    StartEditor({{"QT_QPA_PLATFORM", "offscreen"}});
    ExpectFetch(0);

    std::ifstream in(TAVRELK_PRESET_FILE, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(file.empty()) << "no preset file at " << TAVRELK_PRESET_FILE;
    RtMidiOut uploader(RtMidi::UNIX_JACK, "uploader");
    unsigned port = uploader.getPortCount();
    for (unsigned i = 0; i < uploader.getPortCount(); ++i)
        if (uploader.getPortName(i) == "bcr2000-in:in")
            port = i;
    ASSERT_LT(port, uploader.getPortCount()) << "bcr2000-in:in is not listed";
    uploader.openPort(port); // a first line lost while the connection settles is sent again below

    // One line at a time, each after the unit's reply to the one before.
    std::size_t start = 0;
    int index = 0;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (file[i] != 0xF7)
            continue;
        // The monitor shows whether the line arrived; one lost in transit is
        // sent again, as a careful uploader does when no reply comes.
        Bytes reply;
        for (int attempt = 0; attempt < 3 && reply.empty(); ++attempt) {
            const std::size_t from = Mark();
            uploader.sendMessage(file.data() + start, i - start + 1);
            reply = Sent("bcr2000", from, 2s);
        }
        ASSERT_EQ(reply, (Bytes{0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, std::uint8_t(index >> 7),
                                std::uint8_t(index & 0x7F), 0x00, 0xF7}))
            << "reply to line " << index;
        start = i + 1;
        ++index;
    }
    EXPECT_EQ(std::size_t(index), presetgen::PresetScript().size());
    Command("preset");
    EXPECT_NE(sim.Lines().back().find("Korg DW-8000 Tavrelk"), std::string::npos);

    // Encoder 33 is the cutoff; its ring restarted at 0 with the new preset.
    std::size_t from = Mark();
    Command("turn 33 5");
    EXPECT_EQ(Sent("bcr2000", from), (Bytes{0xB0, 44, 5}));
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(15, 5)});
    from = Mark();
    Command("turn 41 100");  // filter attack stops at its maximum
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(20, 31)});
    from = Mark();
    Command("click 33");  // oscillator 1 wave starts at the top and wraps to the first
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(1, 0)});
    from = Mark();
    Command("click 38");  // polarity toggles
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(18, 1)});
    from = Mark();
    ASSERT_NO_FATAL_FAILURE(Command("click 48"));
    ExpectRandomPatch(from);
}

TEST_F(EditorOverJack, TerminationSignalNoLongerKillsTheEditorWithItsPortsOpen)
{
    const std::set<std::string> others = JackPorts();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const std::size_t from = Mark();
        StartEditor({{"QT_QPA_PLATFORM", "offscreen"}});
        ExpectFetch(from);
        std::vector<std::string> own;
        for (const std::string &port : JackPorts())
            if (others.count(port) == 0)
                own.push_back(port);
        ASSERT_FALSE(own.empty()) << "the editor lists no JACK port of its own";

        editor.Signal(signal);
        ASSERT_EQ(editor.WaitForExit(5s), 0) << "signal " << signal << "; see " << Path("editor.log");
        // Closed by the editor itself on its way out, not reaped later by the
        // server after its client timeout.
        const std::set<std::string> after = JackPorts();
        for (const std::string &port : own)
            EXPECT_EQ(after.count(port), 0u) << port << " still listed after signal " << signal;
    }
}

// The simulator's ports close and open again under the same names while the
// editor runs: it finds them by itself, gives the controller every value
// again, fetches the synthesizer's patch, and moves reach the synthesizer.
TEST_F(EditorOverJack, DevicesUnpluggedAndPluggedInAgainAreReconnectedWithoutTheUser)
{
    StartEditor({{"QT_QPA_PLATFORM", "offscreen"}});
    ExpectFetch(0);

    std::set<std::string> editorPorts = EditorPorts();
    Command("unplug bcr2000");
    EXPECT_EQ(JackPorts().count("bcr2000-in:in"), 0u);
    ASSERT_TRUE(EditorClosedPorts(editorPorts, 2)) << "the editor did not see the controller go";
    std::size_t from = Mark();
    Command("plug bcr2000");
    // Every current value, as after a fetch: the last patch fetched is the
    // one still shown.
    EXPECT_EQ(Echoes(from, LiveRows().size()), EchoesOf(Sent("dw8000", 0, 1s, true)));
    from = Mark();
    Command("cc 44 17");
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(15, 17)});

    editorPorts = EditorPorts();
    Command("unplug dw8000");
    Command("program 16"); // changed while away: its program change is lost with the cable
    ASSERT_TRUE(EditorClosedPorts(editorPorts, 2)) << "the editor did not see the synthesizer go";
    from = Mark();
    Command("plug dw8000");
    ExpectFetch(from);
    from = Mark();
    Command("cc 44 40");
    EXPECT_EQ(Received("dw8000", from, 1), std::vector<Bytes>{ParameterChange(15, 40)});
    ASSERT_TRUE(editor.Running()) << "see " << Path("editor.log");
}

// Run under a real X display, the editor saves a picture of each page.
TEST_F(EditorOverJack, ScreenshotsOfBothPagesUnderXvfb)
{
    e2e::VirtualDisplay display;
    const std::string failure = display.Start();
    ASSERT_TRUE(failure.empty()) << failure;
    const std::string shots = Path("shots");
    StartEditor({{"DISPLAY", display.Name()}, {"QT_QPA_PLATFORM", "xcb"}}, {"--screenshots", shots});
    ExpectFetch(0);
    ASSERT_EQ(editor.WaitForExit(30s), 0) << "see " << Path("editor.log");
    for (const char *name : {"tavrelk-block-diagram.png", "tavrelk-bcr-layout.png"}) {
        const QImage image(QDir(QString::fromStdString(shots)).filePath(QLatin1String(name)));
        EXPECT_GE(image.width(), 600) << name;
        EXPECT_GE(image.height(), 400) << name;
        if (const char *keep = std::getenv("TAVRELK_KEEP_SCREENSHOTS"))
            QFile::copy(QDir(QString::fromStdString(shots)).filePath(QLatin1String(name)),
                        QDir(QLatin1String(keep)).filePath(QLatin1String(name)));
    }
}

} // namespace
