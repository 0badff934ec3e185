// A device that disappears while the editor uses it: a simulated DW-8000 on
// a private JACK server (RtMidi backend) whose ports are closed under the
// editor, and later come back.

#include "../common/JackOutputClose.h"
#include "core/Main.h"
#include "core/MessageBoxes.h"
#include "engine/DeviceWatcher.h"
#include "engine/IniSettings.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/IniFile.h"
#include "platform/RtMidiService.h"
#include "setup/MidiSetup.h"
#include "sim/SimDw8000.h"
#include "sim/SimRig.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include "../common/PrivateJackServer.h"
#include "../common/WaitFor.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The simulated DW-8000 as two JACK clients, "dw8000-out:out" and "dw8000-in:in".
class JackSynth {
public:
    explicit JackSynth(SimDw8000 &synth) : synth_(synth), out_(RtMidi::UNIX_JACK, "dw8000-out"), in_(RtMidi::UNIX_JACK, "dw8000-in")
    {
        out_.openVirtualPort("out");
        synth_.SetSend([this](SimDw8000::Message m) { out_.sendMessage(m.data(), m.size()); });
        in_.ignoreTypes(false, false, false);
        in_.setCallback(&JackSynth::OnMessage, this);
        in_.openVirtualPort("in");
    }
    ~JackSynth()
    {
        in_.closePort();
        synth_.SetSend({});
        CloseJackOutput(out_);
    }

private:
public:
    std::atomic<int> received{0};

private:
    static void OnMessage(double, std::vector<unsigned char> *message, void *self)
    {
        static_cast<JackSynth *>(self)->received.fetch_add(1, std::memory_order_release);
        static_cast<JackSynth *>(self)->synth_.Receive(SimDw8000::Message(message->begin(), message->end()));
    }
    SimDw8000 &synth_;
    RtMidiOut out_;
    RtMidiIn in_;
};

} // namespace

class DeviceLossOverJack : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string failure = jack.Start();
        ASSERT_TRUE(failure.empty()) << "No JACK server for the device-loss test: " << failure;
        TSimRig::LoadDemoPrograms(synth);
        peer = std::make_unique<JackSynth>(synth);
        service = std::make_shared<platform::RtMidiService>();
        platform::SetCurrentMidiService(service);
        SetMessageBoxResponder([this](const TMessageBoxRequest &r) {
            boxes.push_back(r);
            return TMsgResult::Ok;
        });
        const QString ini = dir.filePath(QStringLiteral("tavrelk.INI"));
        TIniFile f(ini);
        f.WriteString("MidiDevices", "Input", "dw8000-out:out");
        f.WriteString("MidiDevices", "Output", "dw8000-in:in");
        main = std::make_unique<TfMain>(std::make_unique<TIniSettings>(ini));
        setup = std::make_unique<TfMidiSetup>(main->Session());
        ASSERT_EQ(main->MidiSynthToPC->State(), misOpen);
        ASSERT_EQ(main->MidiPCToSynth->State(), mosOpen);
    }

    void TearDown() override
    {
        setup.reset();
        main.reset();
        platform::SetCurrentMidiService(nullptr);
        service.reset();
        peer.reset();
        SetMessageBoxResponder({});
    }

    // As the application runs a handler: an error leaving it is shown.
    void Dispatched(const std::function<void()> &handler)
    {
        try {
            handler();
        } catch (const std::exception &e) {
            ShowExceptionBox(nullptr, e);
        }
    }

    bool ShowsProgram(int program) const
    {
        const SimDw8000::Patch patch = synth.ProgramPatch(program);
        for (int p = 0; p < SimDw8000::ParameterCount; ++p) {
            if (IsLiveRow(p) && main->Params[std::size_t(p)].Value != patch[std::size_t(p)])
                return false;
        }
        return true;
    }

    // The dummy driver without real-time scheduling may miss a cycle and the
    // MIDI in it, so the request goes again after a second, up to 3 times.
    bool FetchShows(int program)
    {
        synth.SelectProgram(program);
        for (int attempt = 0; attempt < 3; ++attempt) {
            Dispatched([&] { main->bGetPatchClick(); });
            if (WaitFor([&] { return ShowsProgram(program); }, 1000))
                return true;
        }
        return false;
    }

    testjack::PrivateJackServer jack{"tavrelk-faults"};
    SimDw8000 synth;
    std::unique_ptr<JackSynth> peer;
    std::shared_ptr<platform::RtMidiService> service;
    QTemporaryDir dir;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfMidiSetup> setup;
    std::vector<TMessageBoxRequest> boxes;
};

TEST_F(DeviceLossOverJack, ClosedUnderTheEditorThenBackAndChosenAgain)
{
    // Between two of the watcher's checks: here it does not check at all.
    main->Ports().Watcher().SetInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(FetchShows(3)) << "no patch over JACK before the loss";
    ASSERT_TRUE(boxes.empty());

    peer.reset(); // the synthesizer's ports close under the editor
    WaitFor([] { return false; }, 300);
    Dispatched([&] { main->bGetPatchClick(); });
    const QString gone = QString::fromStdString(
        main->MidiPCToSynth->MidiOutErrorString(platform::MIDIERR_NODEVICE, ecPutLong));
    ASSERT_EQ(boxes.size(), 1u) << "no error when sending to a device that is gone";
    EXPECT_EQ(boxes[0].Text, gone);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Error);

    // The editor goes on; further sends to the lost output are skipped
    // rather than told again, once per message.
    Dispatched([&] { main->bGetPatchClick(); });
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(main->Ports().Waiting(engine::TRole::SynthOut));

    peer = std::make_unique<JackSynth>(synth); // back, under the same names
    WaitFor([] { return false; }, 300);
    boxes.clear();
    Dispatched([&] { setup->lbMidiInClick(); });
    Dispatched([&] { setup->lbMidiOutClick(); });
    ASSERT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
    EXPECT_TRUE(FetchShows(7)) << "no patch after choosing the device again";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(DeviceLossOverJack, ClosedUnderTheEditorThenBackIsReconnectedByTheWatcher)
{
    ASSERT_TRUE(FetchShows(3)) << "no patch over JACK before the loss";
    engine::TDeviceWatcher &watcher = main->Ports().Watcher();
    EXPECT_EQ(watcher.Interval(), engine::TDeviceWatcher::DefaultInterval);

    // What a check costs over JACK with the four ports listed.
    std::vector<std::chrono::nanoseconds> costs;
    for (int i = 0; i < 21; ++i) {
        watcher.Check();
        costs.push_back(watcher.LastCheckTime());
    }
    std::sort(costs.begin(), costs.end());
    std::printf("[ MEASURE  ] device check over JACK: median %.1f us, max %.1f us\n", costs[10].count() / 1000.0,
                costs.back().count() / 1000.0);

    peer.reset();
    ASSERT_TRUE(WaitFor([&] { return !main->Ports().IsOpen(engine::TRole::SynthIn); }, 3000))
        << "the vanished input was not noticed";
    EXPECT_FALSE(main->Ports().IsOpen(engine::TRole::SynthOut));
    EXPECT_TRUE(main->Ports().Waiting(engine::TRole::SynthIn));

    synth.SelectProgram(7); // changed while away
    peer = std::make_unique<JackSynth>(synth);
    ASSERT_TRUE(WaitFor([&] { return peer->received.load(std::memory_order_acquire) >= 1; }, 5000))
        << "no patch request on the return";
    // The dummy driver may lose the dump as it may any MIDI (see FetchShows).
    EXPECT_TRUE(WaitFor([&] { return ShowsProgram(7); }, 2000) || FetchShows(7));
    EXPECT_TRUE(main->Ports().IsOpen(engine::TRole::SynthIn));
    EXPECT_TRUE(main->Ports().IsOpen(engine::TRole::SynthOut));
    EXPECT_TRUE(FetchShows(2)) << "no patch after the return";
    EXPECT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
}
