// Faults of the editor found in review, each pinned; and the editor's
// seams: the controller batch rule, the pause, lost events, a nested loop.

#include "EditorFixture.h"

#include "controls/Vxadsr2.h"
#include "core/Library.h"
#include "engine/Editor.h"

#include <QAction>
#include <QEventLoop>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include <thread>

namespace {

using namespace std::chrono_literals;

class EditorFaults : public EditorFixture {
protected:
    void StartConnected()
    {
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
        Settle();
        service->ClearSentMessages();
    }

    std::shared_ptr<platform::VirtualMidiDevice> ControllerDevice() const
    {
        return service->FindDevice(Controller().toStdString());
    }

    // Lets `count` events reach the controller input's ring without running
    // the event loop, so that the handler takes them as one batch.
    void WaitInRing(std::uint16_t count)
    {
        for (int i = 0; i < 2000 && main->MidiBCtoPC->GetEventCount() < count; ++i)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(main->MidiBCtoPC->GetEventCount(), count);
    }

    static Bytes Change(int param, int value)
    {
        return {0xF0, 0x42, 0x30, 0x03, 0x41, std::uint8_t(param), std::uint8_t(value), 0xF7};
    }

    std::vector<Bytes> SynthBytes() const
    {
        std::vector<Bytes> out;
        for (const platform::SentMessage &m : SentTo(Synth()))
            out.push_back(m.bytes);
        return out;
    }
};

} // namespace

TEST_F(EditorFaults, StatusByteInsideAnOutgoingSysexIsNeverSent)
{
    StartConnected();
    // A corrupt controller stream: a data byte of C8 would end the sysex early on the synthesizer.
    ControllerDevice()->InjectShort(0xB0, 44, 0xC8);
    Settle();
    main->Editor().MoveParameter(15, 0xC8); // and the same straight through the editor
    Settle();
    for (const Bytes &b : SynthBytes()) {
        for (std::size_t i = 1; i + 1 < b.size(); ++i)
            EXPECT_LT(b[i], 0x80);
    }
    EXPECT_TRUE(SentTo(Synth()).empty());
    EXPECT_GE(main->Editor().RefusedMessages(), 1u);
    EXPECT_NE(main->ValueLabel("lEnc44")->text(), "200");
}

TEST_F(EditorFaults, RandomPatchInterruptedByAFailedSendShowsTheGraphsAgain)
{
    StartConnected();
    service->InjectFault(platform::MidiCall::OutLong, platform::MMSYSERR_NOMEM, 1, 3);
    int errors = 0;
    try {
        main->RandomPatch();
    } catch (const std::exception &) {
        ++errors;
    }
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(main->VCFadsr->isHidden());
    EXPECT_FALSE(main->VCAadsr->isHidden());
}

TEST_F(EditorFaults, ControllerBatchKeepsTheLastMoveOfEachRowAndTheRandomButtonsPlace)
{
    StartConnected();
    const auto ctrl = ControllerDevice();
    // cutoff (row 15, cc 44) and resonance (row 16, cc 45) around a random-button press
    ctrl->InjectShort(0xB0, 44, 1);
    ctrl->InjectShort(0xB0, 45, 1);
    ctrl->InjectShort(0xB0, 44, 2);
    ctrl->InjectShort(0xB0, 43, 1);
    ctrl->InjectShort(0xB0, 44, 3);
    ctrl->InjectShort(0xB0, 45, 2);
    WaitInRing(6);
    main->MidiBCtoPCMidiInput(main->MidiBCtoPC);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Synth()).size() >= 54; }));
    Settle();
    const std::vector<Bytes> sent = SynthBytes();
    ASSERT_EQ(sent.size(), 54u); // 1 of 2 moves of the cutoff before the press, 50 random, 2 after
    EXPECT_EQ(sent[0], Change(16, 1));
    EXPECT_EQ(sent[1], Change(15, 2));
    EXPECT_EQ(sent[52], Change(15, 3));
    EXPECT_EQ(sent[53], Change(16, 2));
    EXPECT_EQ(main->Params[15].Value, 3);
    EXPECT_EQ(main->Params[16].Value, 2);
}

TEST_F(EditorFaults, ClosedSynthesizerOutputStillShowsControllerMoves)
{
    StartConnected();
    setup->lbMidiOut->setCurrentRow(setup->lbMidiOut->count() - 1); // "None"
    ASSERT_EQ(main->MidiPCToSynth->State(), mosClosed);
    rig->Controller().TurnEncoder(44, 50); // cutoff
    rig->Controller().TurnEncoder(60, 9);  // amplifier attack: graph slot 0
    ASSERT_TRUE(WaitFor([&] { return main->ValueLabel("lEnc60")->text() == "9"; }));
    EXPECT_EQ(main->ValueLabel("lEnc44")->text(), "50");
    EXPECT_EQ(main->VCAadsr->GetValue(0), 31 - 9);
    EXPECT_TRUE(SentTo(Synth()).empty());
}

TEST_F(EditorFaults, ClickOnTheSelectedEntryAfterAKeyboardChoiceApplies)
{
    SaveDevices("None", "None", "None", "None");
    Start();
    setup->show();
    QListWidget *list = setup->lbCtrlOut;
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home); // the first device, chosen with the keyboard
    ASSERT_EQ(list->currentRow(), 0);
    ASSERT_EQ(main->MidiPCtoBC->State(), mosOpen);
    TIniFile(settingsPath).WriteString("MidiDevices", "CtrlOutput", "changed elsewhere");

    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), list->item(0)->text()); // the click applied
    EXPECT_EQ(main->MidiPCtoBC->State(), mosOpen);

    // A click that selects another entry applies once, on the press.
    TIniFile(settingsPath).WriteString("MidiDevices", "CtrlOutput", "changed elsewhere");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(list->currentRow(), 1);
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), list->item(1)->text());
}

TEST_F(EditorFaults, LostInputEventsAreCounted)
{
    StartConnected();
    quint64 reported = 0;
    QObject::connect(&main->Editor(), &engine::TEditor::inputEventsLost, [&](quint64 n) { reported = n; });
    const auto ctrl = ControllerDevice();
    for (int i = 0; i < 1500; ++i)
        ctrl->InjectShort(0xB0, 17, 1); // a controller of no row: nothing is sent for it
    WaitInRing(1024);
    ASSERT_TRUE(WaitFor([&] { return reported > 0; }));
    EXPECT_EQ(main->Editor().LostInputEvents(), reported);
    EXPECT_EQ(reported, 1500u - 1024u);
}

TEST_F(EditorFaults, PauseAfterEachShownRowIsASeam)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    int pauses = 0;
    main->Editor().SetPause([&](std::chrono::microseconds d) {
        EXPECT_GE(d, 0us);
        EXPECT_LE(d, 1000us); // until 1 ms after the row's send, never longer
        ++pauses;
    });
    service->ClearSentMessages();
    main->bGetPatchClick();
    ASSERT_TRUE(WaitFor([&] { return pauses == 51; })); // one a row
}

TEST_F(EditorFaults, DumpArrivingWhileTheTooSmallBoxIsOpenIsApplied)
{
    SaveSimDevices();
    rig->Synth().AnswerNextRequestTruncated(40);
    bool nested = false;
    // The box runs a real nested loop, as a modal box does; a whole dump arrives meanwhile.
    SetMessageBoxResponder([&](const TMessageBoxRequest &r) {
        boxes.push_back(r);
        if (r.Text != "Sysex block too small for patch" || nested)
            return TMsgResult::Ok;
        nested = true;
        main->bGetPatchClick();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (SentTo(Controller()).size() >= 34 + 50)
                loop.quit();
        });
        poll.start(5);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
        return TMsgResult::Ok;
    });
    Start();
    ASSERT_TRUE(WaitFor([&] { return nested; }));
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 84; }));
    Settle();
    EXPECT_EQ(SentTo(Controller()).size(), 84u);
    const SimDw8000::Patch patch = rig->Synth().CurrentPatch();
    EXPECT_EQ(main->ValueLabel("lEnc44")->text(), QString::number(patch[15]));
    EXPECT_EQ(main->Params[50].Value, patch[50]);
}

// Compare before a patch has nothing to return to (it once sent 51 zeros).
TEST_F(EditorFaults, CompareBeforeAnyPatchIsOffAndSendsNothing)
{
    rig->Synth().SetChannel(7); // the start-up request goes unanswered
    SaveSimDevices();
    Start();
    EXPECT_FALSE(main->Editor().HasPatch());
    EXPECT_FALSE(main->Library->CompareAction->isEnabled());
    rig->Synth().ClearReceived();
    main->Editor().ToggleCompare();
    EXPECT_FALSE(main->Editor().Comparing());
    EXPECT_TRUE(TookBeforeMarker(rig->Synth(), main->Ports().SynthOut()).empty());

    // Once a patch is known, Compare is there.
    rig->Synth().SetChannel(0);
    main->Editor().RequestPatch();
    ASSERT_TRUE(WaitFor([&] { return main->Editor().HasPatch(); }));
    EXPECT_TRUE(main->Library->CompareAction->isEnabled());
}

// A failed echo must not keep the synthesizer from the patch shown.
TEST_F(EditorFaults, FailedEchoStillLoadsTheSynth)
{
    StartConnected();
    dw::TDataBlock block{};
    block[15] = 27;
    service->InjectFault(platform::MidiCall::OutShort, platform::MMSYSERR_NOMEM); // the first echo
    EXPECT_ANY_THROW(main->Editor().LoadBlock(block));
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch()[15] == 27; }));
    EXPECT_EQ(main->Editor().Patch()[15], 27);
}
