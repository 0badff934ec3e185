// Devices that vanish and come back while the editor runs, on the virtual
// backend: each role, idle, while a dump is shown, while a random patch is
// sent; the watcher's check is run by the test, not by its timer.

#include "EditorFixture.h"

#include "core/DeviceStatus.h"
#include "engine/DeviceWatcher.h"
#include "engine/PortRoles.h"

#include <QLabel>
#include <QListWidget>

#include "controls/Vxadsr2.h"

namespace {

using engine::TRole;
using namespace std::chrono_literals;

const std::vector<std::uint8_t> kRequestCh1 = {0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7};

class DeviceLoss : public EditorFixture {
protected:
    void StartConnected()
    {
        SaveSimDevices();
        Start();
        Watcher().SetInterval(0ms);
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
        service->ClearSentMessages();
    }

    engine::TDeviceWatcher &Watcher() const { return main->Ports().Watcher(); }
    engine::TPortRoles &Ports() const { return main->Ports(); }
    std::shared_ptr<platform::VirtualMidiDevice> Device(const QString &name) const
    {
        return service->FindDevice(name.toStdString());
    }
    QString Status(TRole role) const { return main->DeviceStatus->RoleLabel(role)->toolTip(); }

    // Runs a handler as the application does: an error leaving it is shown.
    void Dispatched(const std::function<void()> &handler)
    {
        try {
            handler();
        } catch (const std::exception &e) {
            ShowExceptionBox(nullptr, e);
        }
    }
};

} // namespace

TEST_F(DeviceLoss, EachRoleIsClosedKeptAndReopenedWhenItsDeviceComesBack)
{
    StartConnected();
    service->CreateDevice("Other Interface"); // numbered after the simulators
    const auto synth = Device(Synth());
    const auto controller = Device(Controller());

    service->Unplug(controller);
    Watcher().Check();
    for (TRole role : {TRole::CtrlIn, TRole::CtrlOut}) {
        EXPECT_FALSE(Ports().IsOpen(role));
        EXPECT_TRUE(Ports().Waiting(role));
        EXPECT_EQ(Ports().DeviceName(role), Controller().toStdString());
        EXPECT_TRUE(Status(role).contains("absent, waiting for " + Controller())) << Status(role).toStdString();
    }
    EXPECT_TRUE(Ports().IsOpen(TRole::SynthIn)); // the synthesizer moved up a number and stays
    EXPECT_EQ(Ports().Device(TRole::SynthIn), 0);

    service->Unplug(synth);
    Watcher().Check();
    EXPECT_FALSE(Ports().IsOpen(TRole::SynthIn));
    EXPECT_FALSE(Ports().IsOpen(TRole::SynthOut));
    Watcher().Check(); // nothing back, nothing else in the list takes a role
    EXPECT_FALSE(Ports().IsOpen(TRole::SynthOut));
    EXPECT_FALSE(service->FindDevice("Other Interface")->IsOutputOpen());
    EXPECT_TRUE(SentTo(Synth()).empty());

    // The controller back: it gets every value at once, its moves work.
    service->Plug(controller);
    Watcher().Check();
    EXPECT_TRUE(Ports().IsOpen(TRole::CtrlIn));
    EXPECT_TRUE(Ports().IsOpen(TRole::CtrlOut));
    EXPECT_EQ(Ports().Device(TRole::CtrlOut), 1);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    EXPECT_TRUE(Status(TRole::CtrlOut).contains("connected to " + Controller()));

    // The synthesizer back: its patch is fetched and shown, moves reach it.
    rig->Synth().SelectProgram(4); // its program change goes nowhere: the input is closed
    service->ClearSentMessages();
    service->Plug(synth);
    Watcher().Check();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    ASSERT_FALSE(SentTo(Synth()).empty());
    EXPECT_EQ(SentTo(Synth())[0].bytes, kRequestCh1);
    EXPECT_EQ(main->Editor().Patch()[15], rig->Synth().ProgramPatch(4)[15]);
    rig->Controller().TurnEncoder(44, 21);
    EXPECT_TRUE(WaitFor([&] { return rig->Synth().Parameter(15) == 21; }));
    EXPECT_TRUE(boxes.empty());
    Stop();
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth()); // never "None"
    EXPECT_EQ(Setting("MidiDevices", "CtrlOutput"), Controller());
}

TEST_F(DeviceLoss, SendToADeviceGoneBetweenTwoChecksFailsOnceThenIsSkippedUntilItIsBack)
{
    StartConnected();
    const auto synth = Device(Synth());
    service->Unplug(synth);
    Dispatched([&] { main->bGetPatchClick(); });
    Dispatched([&] { main->bGetPatchClick(); });
    Dispatched([&] { main->Editor().MoveParameter(15, 3); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QString::fromStdString(main->MidiPCToSynth->MidiOutErrorString(
                                 platform::MIDIERR_NODEVICE, ecPutLong)));
    EXPECT_TRUE(Ports().Waiting(TRole::SynthOut));
    EXPECT_TRUE(Status(TRole::SynthOut).startsWith("DW-8000 out: send failed ("))
        << Status(TRole::SynthOut).toStdString();

    Watcher().Check(); // the input is seen gone too
    EXPECT_FALSE(Ports().IsOpen(TRole::SynthIn));
    service->Plug(synth);
    Watcher().Check();
    EXPECT_TRUE(Ports().IsOpen(TRole::SynthOut));
    EXPECT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); }));
    EXPECT_EQ(SentTo(Synth())[0].bytes, kRequestCh1); // one request for the two roles back
    FetchMarker();
    EXPECT_EQ(SentTo(Synth()).size(), 2u); // that one and the marker's
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(DeviceLoss, ControllerPulledOutWhileADumpIsShownGetsTheWholePatchWhenBack)
{
    StartConnected();
    const auto controller = Device(Controller());
    int shown = 0;
    main->Editor().SetPause([&](std::chrono::microseconds) {
        if (++shown == 20)
            service->Unplug(controller);
    });
    main->MidiSynthToPC->OnMidiInput = [&](QObject *) { Dispatched([&] { main->Editor().SynthInput(); }); };
    rig->Synth().SelectProgram(6);
    ASSERT_TRUE(WaitFor([&] { return shown >= 51; }));
    EXPECT_EQ(main->Editor().Patch()[50], rig->Synth().ProgramPatch(6)[50]); // shown to its end
    EXPECT_LT(SentTo(Controller()).size(), 20u);

    service->ClearSentMessages();
    service->Plug(controller);
    Watcher().Check();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    EXPECT_EQ(SentTo(Controller())[14].bytes, (Bytes{0xB0, 44, rig->Synth().ProgramPatch(6)[15]}));
    // Counted after the controller's return, which came after the dump: the
    // failed echo was told once, not once per row.
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(DeviceLoss, SynthesizerPulledOutDuringARandomPatchFailsOnceAndTheControllerGetsEveryValue)
{
    StartConnected();
    const auto synth = Device(Synth());
    int shown = 0;
    main->Editor().SetPause([&](std::chrono::microseconds) {
        if (++shown == 10)
            service->Unplug(synth);
    });
    Dispatched([&] { main->RandomPatch(); });
    EXPECT_EQ(boxes.size(), 1u);
    // The marker: a controller move handled after anything the random patch left queued.
    const int marker = (main->Editor().Patch()[15] + 1) % 64;
    rig->Controller().TurnEncoder(44, marker);
    ASSERT_TRUE(WaitFor([&] { return main->Editor().Patch()[15] == marker; }));
    EXPECT_EQ(SentTo(Controller()).size(), 50u);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(main->VCFadsr->isHidden());
    EXPECT_TRUE(Ports().Waiting(TRole::SynthOut));
}

TEST_F(DeviceLoss, AnotherDeviceUnderAnotherNameNeverTakesTheRole)
{
    StartConnected();
    service->Unplug(Device(Controller()));
    Watcher().Check();
    service->CreateDevice("BCR2000 Clone");
    service->CreateDevice(Controller().toUpper().toStdString() + " 2");
    Watcher().Check();
    EXPECT_FALSE(Ports().IsOpen(TRole::CtrlIn));
    EXPECT_TRUE(Ports().Waiting(TRole::CtrlIn));
    EXPECT_FALSE(service->FindDevice("BCR2000 Clone")->IsInputOpen());
}

TEST_F(DeviceLoss, SavedDeviceAbsentAtStartUpIsOpenedWhenItIsPluggedIn)
{
    const auto late = service->CreateDevice("Late Interface");
    service->Unplug(late);
    SaveDevices("None", "None", "Late Interface 24:0", "None"); // written with ALSA's numbers
    Start();
    Watcher().SetInterval(0ms);
    EXPECT_TRUE(Ports().Waiting(TRole::CtrlIn));
    EXPECT_EQ(setup->lbCtrlIn->currentRow(), -1);
    service->Plug(late);
    Watcher().Check();
    EXPECT_TRUE(Ports().IsOpen(TRole::CtrlIn));
    EXPECT_TRUE(late->IsInputOpen());
    setup->show(); // the dialog lists it again and selects it
    ASSERT_NE(setup->lbCtrlIn->currentItem(), nullptr);
    EXPECT_EQ(setup->lbCtrlIn->currentItem()->text(), "Late Interface");
    setup->hide();
}

TEST_F(DeviceLoss, LostInputEventsAreShownBesideThePageTabs)
{
    StartConnected();
    QLabel *lost = main->DeviceStatus->LostLabel();
    EXPECT_TRUE(lost->isHidden());
    emit main->Editor().inputEventsLost(12);
    EXPECT_FALSE(lost->isHidden());
    EXPECT_EQ(lost->text(), "12 MIDI events lost");
}

// Nobody calls Check here: the watcher as the editor starts it notices a
// device leaving and coming back by itself.
TEST_F(DeviceLoss, WatcherChecksOnItsOwnTimer)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    const auto controller = Device(Controller());
    service->Unplug(controller);
    EXPECT_TRUE(WaitFor([&] { return Ports().Waiting(TRole::CtrlOut); }, 20000));
    service->Plug(controller);
    EXPECT_TRUE(WaitFor([&] { return Ports().IsOpen(TRole::CtrlOut) && Ports().IsOpen(TRole::CtrlIn); }, 20000));
    EXPECT_GT(Watcher().LastCheckTime().count(), 0); // measured (its cost: the JACK test prints it)
}
