#include "CallOrderService.h"
#include "EditorFixture.h"

#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "engine/PortRoles.h"
#include "platform/BasicMidiService.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

namespace {

const std::vector<std::uint8_t> kRequestCh1 = {0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7};

// The donate address is a build setting, empty by default; a test that needs
// the button gives it one for its own duration.
struct DonateUrlForTest {
    const char *const saved = TfMain::DonateUrl;
    explicit DonateUrlForTest(const char *url) { TfMain::DonateUrl = url; }
    ~DonateUrlForTest() { TfMain::DonateUrl = saved; }
};

} // namespace

TEST_F(EditorFixture, FirstStartWithoutSettingsFileCreatesEveryKey)
{
    const DonateUrlForTest url("https://example.org/donate");
    Start();
    EXPECT_FALSE(setup->TerminateRequested());
    EXPECT_EQ(main->MidiSynthToPC->State(), misClosed);
    EXPECT_EQ(main->MidiPCToSynth->State(), mosClosed);
    EXPECT_EQ(setup->ChannelIndex(), 0);
    EXPECT_FALSE(main->sbDonate->isHidden());
    Stop();
    for (const char *key : {"Input", "Output", "CtrlInput", "CtrlOutput"})
        EXPECT_EQ(Setting("MidiDevices", key), "None") << key;
    EXPECT_EQ(Setting("DWSynth", "MidiChan"), "0");
    EXPECT_EQ(Setting("Donate", "Button"), "1");
    EXPECT_TRUE(SentTo(Synth()).empty());
}

TEST_F(EditorFixture, StartWithSavedDevicesFetchesShowsAndEchoesThePatch)
{
    SaveSimDevices();
    Start();
    EXPECT_EQ(main->MidiSynthToPC->State(), misOpen);
    EXPECT_EQ(main->MidiPCToSynth->State(), mosOpen);
    EXPECT_EQ(main->MidiBCtoPC->State(), misOpen);
    EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);
    EXPECT_EQ(main->ParamMsg[2], 0x30);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    const SimDw8000::Patch patch = rig->Synth().CurrentPatch();
    FetchMarker();

    const std::vector<platform::SentMessage> toSynth = SentTo(Synth());
    ASSERT_EQ(toSynth.size(), 2u); // the request, and nothing else while a dump is applied; the marker's
    EXPECT_EQ(toSynth[0].bytes, kRequestCh1);

    std::vector<platform::SentMessage> echoes = SentTo(Controller());
    // Every row but the unused one; the marker's rows, then the undo key's
    // light: the marker's fetch is the first undoable step.
    ASSERT_EQ(echoes.size(), 50u + MarkerEchoes + 1);
    EXPECT_EQ(echoes.back().bytes, (Bytes{0xB0, dw::UndoController, 1}));
    echoes.resize(50);
    EXPECT_EQ(echoes[0].bytes, (Bytes{0xB0, 29, patch[0]}));
    EXPECT_EQ(echoes[14].bytes, (Bytes{0xB0, 44, patch[15]})); // cutoff follows assign mode
    EXPECT_EQ(main->ValueLabel("lEnc44")->text(), QString::number(patch[15]));
    EXPECT_EQ(main->gOsc1->State(), patch[1]);
    EXPECT_EQ(main->VCFadsr->GetValue(0), 31 - patch[20]);
    EXPECT_EQ(main->VCAadsr->GetValue(5), patch[31]);
    EXPECT_TRUE(boxes.empty());
}

TEST_F(EditorFixture, ControllerMovesBecomeParameterChangesWithoutEcho)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    service->ClearSentMessages();

    rig->Controller().TurnEncoder(44, 50); // cutoff
    ASSERT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); }));
    EXPECT_EQ(SentTo(Synth())[0].bytes, (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 15, 50, 0xF7}));
    EXPECT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == 50; }));
    EXPECT_EQ(main->ValueLabel("lEnc44")->text(), "50");

    rig->Controller().TurnEncoder(28, 5); // oscillator 1 wave
    ASSERT_TRUE(WaitFor([&] { return SentTo(Synth()).size() == 2; }));
    EXPECT_EQ(main->ValueLabel("lBtn28")->text(), "Clavinet");
    EXPECT_EQ(main->gOsc1->State(), 5);

    rig->Controller().TurnEncoder(44, 10, 1); // another channel
    rig->Controller().TurnEncoder(17, 10);    // a controller of no row
    rig->Controller().TurnEncoder(44, 51);    // the marker: handled after both
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == 51; }));
    ASSERT_EQ(SentTo(Synth()).size(), 3u);
    EXPECT_EQ(SentTo(Synth())[2].bytes, (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 15, 51, 0xF7}));
    // No echo of a row; only the undo key's light, once, now that there is something to undo.
    const std::vector<platform::SentMessage> toController = SentTo(Controller());
    ASSERT_EQ(toController.size(), 1u);
    EXPECT_EQ(toController[0].bytes, (Bytes{0xB0, dw::UndoController, 1}));
}

TEST_F(EditorFixture, RandomButtonSendsEachEchoBeforeItsChangeWithinRange)
{
    const auto order = std::make_shared<CallOrderService>(service);
    platform::SetCurrentMidiService(order);
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    order->ClearCalls();

    rig->Controller().PressRandomButton();
    rig->Controller().ReleaseRandomButton();
    ASSERT_TRUE(WaitFor([&] { return order->Calls().size() >= 100; }));
    // The marker: a move handled after the random patch, one change and no echo.
    const int marker = (main->Editor().Patch()[15] + 1) % 64;
    rig->Controller().TurnEncoder(44, marker);
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == marker; }));
    std::vector<CallOrderService::Call> calls = order->Calls();
    ASSERT_EQ(calls.size(), 102u);
    EXPECT_EQ(calls.back().bytes, (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 15, std::uint8_t(marker), 0xF7}));
    calls.pop_back();
    // After the rows, the undo key's light: the random patch is the first step.
    EXPECT_EQ(calls.back().bytes, (Bytes{0xB0, dw::UndoController, 1}));
    calls.pop_back();
    for (std::size_t i = 0; i < calls.size(); i += 2) {
        SCOPED_TRACE(i);
        const Bytes &echo = calls[i].bytes;
        const Bytes &change = calls[i + 1].bytes;
        ASSERT_FALSE(calls[i].isLong);
        ASSERT_TRUE(calls[i + 1].isLong);
        ASSERT_EQ(change.size(), 8u);
        const int row = change[5];
        EXPECT_EQ(row, int(i / 2) + (i / 2 >= UnusedRow ? 1 : 0)); // row order, row 0 first
        EXPECT_EQ(echo[0], 0xB0);
        EXPECT_EQ(echo[1], main->Params[std::size_t(row)].Controller);
        EXPECT_EQ(echo[2], change[6]);
        EXPECT_LE(change[6], main->Params[std::size_t(row)].RandomMax);
    }
    EXPECT_TRUE(WaitFor([&] { return service->SentMessages().size() >= 100; }));
    EXPECT_EQ(main->VCFadsr->isHidden(), false);
}

TEST_F(EditorFixture, ProgramChangeOnTheSynthesizerFetchesTheNewPatch)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    service->ClearSentMessages();

    rig->Synth().SelectProgram(1);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    EXPECT_EQ(SentTo(Synth())[0].bytes, kRequestCh1);
    EXPECT_EQ(main->ValueLabel("lBtn28")->text(), "DigitalBass");
}

TEST_F(EditorFixture, ChannelSixteenReachesEveryMessage)
{
    SaveSimDevices();
    TIniFile(settingsPath).WriteInteger("DWSynth", "MidiChan", 15);
    rig->Synth().SetChannel(15);
    Start();
    EXPECT_EQ(main->ParamMsg[2], 0x3F);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    EXPECT_EQ(SentTo(Synth())[0].bytes, (Bytes{0xF0, 0x42, 0x3F, 0x03, 0x10, 0xF7}));
}

TEST_F(EditorFixture, DumpOnAnotherChannelChangesNothing)
{
    SaveSimDevices();
    rig->Synth().AnswerNextRequestOnChannel(3);
    Start();
    FetchMarker(); // its dump comes after the one on channel 4
    EXPECT_EQ(SentTo(Controller()).size(), MarkerEchoes);
    EXPECT_EQ(SentTo(Synth()).size(), 2u);
}

TEST_F(EditorFixture, TruncatedDumpShowsTheBoxAfterTheRowsBeforeIt)
{
    SaveSimDevices();
    rig->Synth().AnswerNextRequestTruncated(40);
    Start();
    ASSERT_TRUE(WaitFor([&] { return SawBox("Sysex block too small for patch"); }));
    EXPECT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 34; }));
    EXPECT_EQ(boxes.back().Caption, "Error");
    FetchMarker();
    EXPECT_EQ(SentTo(Controller()).size(), 34u + MarkerEchoes); // rows 0..34 but the unused one
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(EditorFixture, NegativeStoredChannelSelectsChannelOneAndWritesItBack)
{
    TIniFile(settingsPath).WriteInteger("DWSynth", "MidiChan", -4);
    Start();
    EXPECT_EQ(setup->ChannelIndex(), 0);
    EXPECT_EQ(Setting("DWSynth", "MidiChan"), "0");
    EXPECT_EQ(main->ParamMsg[2], 0x30);
}

TEST_F(EditorFixture, StoredChannelAboveSixteenSelectsSixteen)
{
    TIniFile(settingsPath).WriteInteger("DWSynth", "MidiChan", 20);
    Start();
    EXPECT_EQ(setup->ChannelIndex(), 15);
    EXPECT_EQ(Setting("DWSynth", "MidiChan"), "15");
}

TEST_F(EditorFixture, ConflictAnsweredYesMovesTheDeviceToTheController)
{
    SaveDevices(Synth(), Synth(), "None", "None");
    Start();
    answers.push_back(TMsgResult::Yes);
    setup->lbCtrlOut->setCurrentRow(0); // the synthesizer's device
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back().Text, "The Midi output has this device.\nReset the Midi Output?");
    EXPECT_EQ(boxes.back().Caption, "Error");
    EXPECT_EQ(boxes.back().Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(main->MidiPCToSynth->State(), mosClosed);
    EXPECT_EQ(setup->lbMidiOut->currentItem()->text(), "None");
    EXPECT_EQ(Setting("MidiDevices", "Output"), "None");
    EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), Synth());
    EXPECT_FALSE(setup->bLoadBCR->isHidden());
    EXPECT_FALSE(main->bGetPatch->isHidden());
    service->ClearSentMessages();
    main->bGetPatchClick();
    EXPECT_TRUE(SentTo(Synth()).empty());
}

TEST_F(EditorFixture, ConflictAnsweredNoChangesNothing)
{
    SaveDevices(Synth(), Synth(), Controller(), Controller());
    Start();
    answers.push_back(TMsgResult::No);
    setup->lbCtrlIn->setCurrentRow(0);
    EXPECT_EQ(boxes.back().Text, "The Midi input has this device.\nReset the Midi Input?");
    EXPECT_EQ(setup->lbCtrlIn->currentItem()->text(), Controller());
    EXPECT_EQ(main->MidiSynthToPC->State(), misOpen);
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth());
    EXPECT_EQ(Setting("MidiDevices", "CtrlInput"), Controller());
    EXPECT_EQ(setup->Selection(TfMidiSetup::CtrlIn), 1);
}

TEST_F(EditorFixture, InputsAndOutputsAreNeverCompared)
{
    SaveDevices(Synth(), Controller(), Controller(), Synth());
    Start();
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(main->MidiSynthToPC->State(), misOpen);
    EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);
}

TEST_F(EditorFixture, SavedControllerDeviceThatConflictsAtStartAsksAndGetsNoneOnNo)
{
    SaveDevices(Synth(), "None", Synth(), "None");
    Start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "The Midi input has this device.\nReset the Midi Input?");
    EXPECT_EQ(main->MidiBCtoPC->State(), misClosed);
    EXPECT_EQ(setup->lbCtrlIn->currentItem()->text(), "None");
    EXPECT_EQ(setup->Selection(TfMidiSetup::CtrlIn), -1);
}

TEST_F(EditorFixture, SavedNameInAnotherLetterCaseIsAssigned)
{
    SaveDevices(Synth().toUpper(), "None", "None", "None");
    Start();
    EXPECT_EQ(main->MidiSynthToPC->State(), misOpen);
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth());
}

TEST_F(EditorFixture, TwoDevicesWithTheSameNameTakeTheFirst)
{
    service->CreateDevice("Twin");
    service->CreateDevice("Twin");
    SaveDevices("None", "None", "Twin", "None");
    Start();
    EXPECT_EQ(setup->Selection(TfMidiSetup::CtrlIn), 2);
    EXPECT_EQ(main->MidiBCtoPC->DeviceID(), 2u);
}

// An absent saved device is waited for (it may just not be plugged in yet):
// its port stays closed, no entry is selected for it, and the name is kept.
TEST_F(EditorFixture, SavedDeviceThatIsAbsentIsAwaitedUnderItsName)
{
    SaveDevices("Gone Interface", Synth(), "None", "None");
    Start();
    EXPECT_EQ(main->MidiSynthToPC->State(), misClosed);
    EXPECT_TRUE(main->Ports().Waiting(engine::TRole::SynthIn));
    EXPECT_EQ(setup->lbMidiIn->currentRow(), -1);
    EXPECT_TRUE(boxes.empty());
    Stop();
    EXPECT_EQ(Setting("MidiDevices", "Input"), "Gone Interface");
}

TEST_F(EditorFixture, InputThatFailsToOpenIsReportedAndStartUpGoesOn)
{
    SaveSimDevices();
    service->InjectFault(platform::MidiCall::InOpen, platform::MMSYSERR_ALLOCATED);
    Start();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, ApplicationTitle());
    EXPECT_FALSE(boxes[0].Text.isEmpty());
    EXPECT_EQ(main->MidiSynthToPC->State(), misClosed);
    EXPECT_EQ(main->MidiBCtoPC->State(), misOpen);
    EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);
    EXPECT_EQ(setup->ChannelIndex(), 0);
    EXPECT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); })); // the request still went
    Stop();
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth()); // the choice is kept
}

TEST_F(EditorFixture, UnwritableSettingsFileIsReportedAndTheEditorRuns)
{
    settingsPath = dir.filePath("is-a-folder.INI");
    ASSERT_TRUE(QDir().mkpath(settingsPath));
    Start();
    ASSERT_FALSE(boxes.empty());
    EXPECT_TRUE(boxes[0].Text.startsWith("Unable to write to ")) << boxes[0].Text.toStdString();
    EXPECT_EQ(setup->ChannelIndex(), 0);
    Stop(); // the final writes fail too, without an exception escaping
}

TEST(EditorWithoutDevices, NoInputDeviceEndsTheProgram)
{
    auto service = std::make_shared<platform::VirtualMidiService>();
    platform::SetCurrentMidiService(service);
    std::vector<TMessageBoxRequest> boxes;
    SetMessageBoxResponder([&](const TMessageBoxRequest &r) {
        boxes.push_back(r);
        return TMsgResult::Ok;
    });
    QTemporaryDir dir;
    {
        TfMain main(std::make_unique<TIniSettings>(dir.filePath("t.INI")));
        TfMidiSetup setup(main.Session());
        EXPECT_TRUE(setup.TerminateRequested());
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].Text, "You need a Midi interface for this program to work.");
        EXPECT_EQ(boxes[0].Caption, "Error");
        EXPECT_EQ(setup.lbMidiIn->count(), 1);
    }
    QCoreApplication::removePostedEvents(qApp); // the queued quit is for a real loop
    SetMessageBoxResponder({});
    platform::SetCurrentMidiService(nullptr);
}

TEST_F(EditorFixture, SettingsAfterShutDownHoldTheDevicesChannelAndDonateFlag)
{
    SaveSimDevices();
    TIniFile(settingsPath).WriteBool("Donate", "Button", false);
    Start();
    EXPECT_TRUE(main->sbDonate->isHidden());
    setup->SetChannelIndex(4);
    EXPECT_EQ(main->ParamMsg[2], 0x34);
    Stop();
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth());
    EXPECT_EQ(Setting("MidiDevices", "Output"), Synth());
    EXPECT_EQ(Setting("MidiDevices", "CtrlInput"), Controller());
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), Controller());
    EXPECT_EQ(Setting("DWSynth", "MidiChan"), "4");
    EXPECT_EQ(Setting("Donate", "Button"), "0");
}

TEST_F(EditorFixture, DonateButtonWithoutAnAddressNeverShowsAndKeepsTheStoredChoice)
{
    const DonateUrlForTest url("");
    for (const bool stored : {true, false}) {
        TIniFile(settingsPath).WriteBool("Donate", "Button", stored);
        Start();
        EXPECT_TRUE(main->sbDonate->isHidden()) << stored;
        Stop();
        EXPECT_EQ(Setting("Donate", "Button"), stored ? "1" : "0");
    }
    // With an address the stored choice decides, as before.
    const DonateUrlForTest set("https://example.org/donate");
    TIniFile(settingsPath).WriteBool("Donate", "Button", true);
    Start();
    EXPECT_FALSE(main->sbDonate->isHidden());
    Stop();
    EXPECT_EQ(Setting("Donate", "Button"), "1");
}
