// Every call of the MIDI service failing, at start-up and while the editor
// runs, on the virtual backend with the simulated devices.

#include "EditorFixture.h"

#include "platform/BasicMidiService.h"

#include <QListWidget>

#include <set>

using platform::MidiCall;

namespace {

constexpr platform::MMRESULT kFault = platform::MMSYSERR_NOMEM;

const MidiCall kEveryCall[] = {
    MidiCall::InCaps,    MidiCall::InOpen,    MidiCall::InPrepare,    MidiCall::InAddBuffer,
    MidiCall::InStart,   MidiCall::InStop,    MidiCall::InReset,      MidiCall::InUnprepare,
    MidiCall::InClose,   MidiCall::OutCaps,   MidiCall::OutOpen,      MidiCall::OutPrepare,
    MidiCall::OutUnprepare, MidiCall::OutClose, MidiCall::OutShort,   MidiCall::OutLong,
};

// Runs a handler as the application's event dispatch does: an error that
// leaves it is shown in the standard error box and the program goes on.
void AsDispatched(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const std::exception &e) {
        ShowExceptionBox(nullptr, e);
    }
}

} // namespace

class MidiServiceFaultTest : public EditorFixture, public ::testing::WithParamInterface<std::tuple<MidiCall, unsigned>> {
protected:
    void StartAsTheApplication()
    {
        try {
            Start();
        } catch (const std::exception &e) {
            FAIL() << "start-up ended with an error: " << e.what();
        }
        DispatchInputAsTheApplication();
    }

    void DispatchInputAsTheApplication()
    {
        TfMain *m = main.get();
        m->MidiBCtoPC->OnMidiInput = [m](QObject *s) { AsDispatched([&] { m->MidiBCtoPCMidiInput(s); }); };
        m->MidiSynthToPC->OnMidiInput = [m](QObject *s) { AsDispatched([&] { m->MidiSynthToPCMidiInput(s); }); };
    }

    // The texts a failure with kFault may show: the input port's, or the
    // output port's in any of its contexts.
    std::set<QString> FaultTexts() const
    {
        std::set<QString> texts{QString::fromStdString(main->MidiBCtoPC->MidiInErrorString(kFault))};
        for (TMIDIErrorContext c : {ecGeneric, ecPutShort, ecPutLong, ecOutPrepareHeader})
            texts.insert(QString::fromStdString(main->MidiPCtoBC->MidiOutErrorString(kFault, c)));
        return texts;
    }

    void ExpectOnlyFaultBoxes()
    {
        const std::set<QString> texts = FaultTexts();
        for (const TMessageBoxRequest &b : boxes) {
            EXPECT_EQ(b.Icon, TMsgIcon::Error) << b.Text.toStdString();
            EXPECT_EQ(texts.count(b.Text), 1u) << "unexpected text: " << b.Text.toStdString();
        }
        EXPECT_LE(boxes.size(), 2u);
    }

    // An open port has its device open; a device still held by a closed port
    // is one whose close failed, and that failure was shown (choosing the
    // device again then releases it, see below).
    void ExpectNoHalfOpenPort()
    {
        auto check = [&](bool portOpen, bool deviceOpen, const char *port) {
            if (portOpen) {
                EXPECT_TRUE(deviceOpen) << port << " says open, its device is not";
            } else if (deviceOpen) {
                EXPECT_FALSE(boxes.empty()) << port << " closed without a word, its device still held";
            }
        };
        check(main->MidiSynthToPC->State() == misOpen, rig->SynthDevice().IsInputOpen(), "MidiSynthToPC");
        check(main->MidiPCToSynth->State() == mosOpen, rig->SynthDevice().IsOutputOpen(), "MidiPCToSynth");
        check(main->MidiBCtoPC->State() == misOpen, rig->ControllerDevice().IsInputOpen(), "MidiBCtoPC");
        check(main->MidiPCtoBC->State() == mosOpen, rig->ControllerDevice().IsOutputOpen(), "MidiPCtoBC");
    }

    bool ListsHoldTheDevices() const
    {
        return setup->lbMidiIn->count() >= 3 && setup->lbMidiOut->count() >= 3;
    }

    // Choosing each device again (as a click on its entry does) brings the
    // editor back: patch fetch, echo and controller moves all work.
    void ExpectRecoveryAfterChoosingAgain()
    {
        service->ClearFaults();
        boxes.clear();
        if (!ListsHoldTheDevices()) {
            // The device list itself could not be read: only a new start
            // lists the devices again.
            AsDispatched([&] { Stop(); });
            StartAsTheApplication();
        }
        AsDispatched([&] { setup->lbMidiInClick(); });
        AsDispatched([&] { setup->lbMidiOutClick(); });
        AsDispatched([&] { setup->lbCtrlInClick(); });
        AsDispatched([&] { setup->lbCtrlOutClick(); });
        DispatchInputAsTheApplication();
        ASSERT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
        ASSERT_EQ(main->MidiSynthToPC->State(), misOpen);
        ASSERT_EQ(main->MidiPCToSynth->State(), mosOpen);
        ASSERT_EQ(main->MidiBCtoPC->State(), misOpen);
        ASSERT_EQ(main->MidiPCtoBC->State(), mosOpen);

        // The fetch is known by its patch: an echo still on its way from
        // before cannot pass for it.
        const SimDw8000::Patch fifth = rig->Synth().ProgramPatch(5);
        rig->Synth().SelectProgram(5);
        const auto lastEcho = dw::BuildRowEcho(dw::ParamCount - 1, fifth[dw::ParamCount - 1]);
        ASSERT_TRUE(lastEcho);
        ASSERT_TRUE(WaitFor([&] {
            for (int row = 0; row < dw::ParamCount; ++row)
                if (dw::IsLiveRow(row) && main->Editor().Patch()[row] != fifth[std::size_t(row)])
                    return false;
            const auto sent = SentTo(Controller());
            return !sent.empty() && sent.back().bytes == Bytes(lastEcho->begin(), lastEcho->end());
        })) << "no fetch after recovery";
        rig->Controller().TurnEncoder(44, 33);
        EXPECT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == 33; })) << "no change after recovery";
        EXPECT_TRUE(boxes.empty());
    }

    void ExpectCleanShutdown()
    {
        AsDispatched([&] { Stop(); });
        EXPECT_FALSE(rig->SynthDevice().IsInputOpen());
        EXPECT_FALSE(rig->SynthDevice().IsOutputOpen());
        EXPECT_FALSE(rig->ControllerDevice().IsInputOpen());
        EXPECT_FALSE(rig->ControllerDevice().IsOutputOpen());
    }
};

TEST_P(MidiServiceFaultTest, AtStartUp)
{
    const auto [call, skip] = GetParam();
    SaveSimDevices();
    service->InjectFault(call, kFault, 1, skip);
    StartAsTheApplication();
    ASSERT_TRUE(main && setup);
    Settle(300);
    ExpectOnlyFaultBoxes();
    ExpectNoHalfOpenPort();
    ExpectRecoveryAfterChoosingAgain();
    ExpectCleanShutdown();
}

TEST_P(MidiServiceFaultTest, WhileRunning)
{
    const auto [call, skip] = GetParam();
    SaveSimDevices();
    StartAsTheApplication();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    ASSERT_TRUE(boxes.empty());

    service->InjectFault(call, kFault, 1, skip);
    // Every road through the service: a controller move, a patch fetch with
    // its dump and echoes, and each device chosen again.
    rig->Controller().TurnEncoder(44, 20);
    Settle(50);
    AsDispatched([&] { main->bGetPatchClick(); });
    Settle(200);
    AsDispatched([&] { setup->lbMidiInClick(); });
    AsDispatched([&] { setup->lbMidiOutClick(); });
    AsDispatched([&] { setup->lbCtrlInClick(); });
    AsDispatched([&] { setup->lbCtrlOutClick(); });
    Settle(200);
    ExpectOnlyFaultBoxes();
    ExpectNoHalfOpenPort();
    ExpectRecoveryAfterChoosingAgain();
    ExpectCleanShutdown();
}

std::string FaultName(const ::testing::TestParamInfo<std::tuple<MidiCall, unsigned>> &info)
{
    static const char *const names[] = {"InCaps",    "InOpen",       "InPrepare", "InAddBuffer", "InStart",
                                        "InStop",    "InReset",      "InUnprepare", "InClose",   "OutCaps",
                                        "OutOpen",   "OutPrepare",   "OutUnprepare", "OutClose", "OutShort",
                                        "OutLong"};
    return std::string(names[int(std::get<0>(info.param))]) + "_after" + std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(EveryCall, MidiServiceFaultTest,
                         ::testing::Combine(::testing::ValuesIn(kEveryCall), ::testing::Values(0u, 1u, 3u)),
                         FaultName);

// The faults these tests found, each pinned on its own.
class FixedMidiFault : public EditorFixture {
protected:
    static void Dispatched(const std::function<void()> &handler) { AsDispatched(handler); }
};

TEST_F(FixedMidiFault, StartUpSurvivesDeviceCapabilitiesThatCannotBeRead)
{
    SaveSimDevices();
    service->InjectFault(MidiCall::InCaps, kFault); // the ports' own choice of device 0
    ASSERT_NO_THROW(Start());
    Stop();
    boxes.clear();

    service->InjectFault(MidiCall::OutCaps, kFault); // the setup dialog's device list
    ASSERT_NO_THROW(Start());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QString::fromStdString(main->MidiBCtoPC->MidiInErrorString(kFault)));
    Stop();
    // A list that could not be read does not turn the saved choices into "None".
    EXPECT_EQ(Setting("MidiDevices", "Output"), Synth());
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), Controller());
}

TEST_F(FixedMidiFault, InputDeviceWhoseCloseFailedIsReleasedByTheNextOpen)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    service->InjectFault(MidiCall::InClose, kFault);
    Dispatched([&] { setup->lbMidiInClick(); }); // close fails, so the open finds the device taken
    EXPECT_FALSE(boxes.empty());
    boxes.clear();
    Dispatched([&] { setup->lbMidiInClick(); });
    EXPECT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
    EXPECT_EQ(main->MidiSynthToPC->State(), misOpen);
    service->ClearSentMessages();
    rig->Synth().SelectProgram(9);
    EXPECT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
}

// A controller message with a byte of 0x80 or more in it (a corrupt stream,
// a faulty interface) reached the editor, and the parameter change it made
// carried that byte inside its sysex to the synthesizer.
TEST_F(FixedMidiFault, ControllerMessageWithAStatusByteAsDataSendsNothingToTheSynth)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    service->ClearSentMessages();
    rig->ControllerDevice().InjectShort(0xB0, 44, 0xC8);
    rig->Controller().TurnEncoder(44, 33); // the stream goes on; and the marker
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == 33; }));
    EXPECT_EQ(SentTo(Synth()).size(), 1u); // the marker's change alone
    EXPECT_EQ(service->DroppedShortMessages(), 1u);
    for (const platform::SentMessage &m : SentTo(Synth())) {
        for (std::size_t i = 1; i + 1 < m.bytes.size(); ++i)
            EXPECT_LT(m.bytes[i], 0x80) << "byte " << i;
    }
    EXPECT_TRUE(boxes.empty());
}
