#include "engine/DeviceNames.h"
#include "engine/DeviceWatcher.h"
#include "engine/PortRoles.h"
#include "platform/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using engine::TRole;
using platform::MidiCall;

class DeviceWatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_shared<platform::VirtualMidiService>();
        platform::SetCurrentMidiService(service);
        synth = service->CreateDevice("Synth A");
        controller = service->CreateDevice("Controller B");
        roles = std::make_unique<engine::TPortRoles>();
        Watcher().SetInterval(std::chrono::milliseconds(0)); // checked by the test alone
        QObject::connect(&Watcher(), &engine::TDeviceWatcher::deviceLost, [this](TRole r) { lost.push_back(r); });
        QObject::connect(&Watcher(), &engine::TDeviceWatcher::deviceBack, [this](TRole r) { back.push_back(r); });
    }

    void TearDown() override
    {
        roles.reset();
        platform::SetCurrentMidiService(nullptr);
    }

    engine::TDeviceWatcher &Watcher() const { return roles->Watcher(); }

    // Each role on its device, wherever the device is in the lists now.
    void AssignAll()
    {
        for (TRole r : engine::AllRoles) {
            const std::string &name = (r == TRole::SynthIn || r == TRole::SynthOut ? synth : controller)->Name();
            roles->Assign(r, engine::FindDeviceName(engine::IsInput(r) ? engine::InputDeviceNames()
                                                                       : engine::OutputDeviceNames(), name), name);
            ASSERT_TRUE(roles->IsOpen(r)) << name;
        }
    }

    std::shared_ptr<platform::VirtualMidiService> service;
    std::shared_ptr<platform::VirtualMidiDevice> synth, controller;
    std::unique_ptr<engine::TPortRoles> roles;
    std::vector<TRole> lost, back;
};

} // namespace

// A list that cannot be read says nothing about the devices.
TEST_F(DeviceWatcherTest, UnreadableDeviceListMarksNothingLost)
{
    for (const MidiCall call : {MidiCall::InCaps, MidiCall::OutCaps}) {
        SCOPED_TRACE(int(call));
        if (!controller->IsPlugged())
            service->Plug(controller);
        AssignAll();
        lost.clear();
        service->Unplug(controller);
        service->InjectFault(call, platform::MMSYSERR_NOMEM);
        Watcher().Check();
        EXPECT_TRUE(lost.empty());
        for (TRole r : engine::AllRoles)
            EXPECT_TRUE(roles->IsOpen(r) && !roles->Waiting(r));
        Watcher().Check();
        EXPECT_EQ(lost, (std::vector<TRole>{TRole::CtrlIn, TRole::CtrlOut}));
        EXPECT_TRUE(roles->Waiting(TRole::CtrlIn));
        EXPECT_TRUE(roles->IsOpen(TRole::SynthIn));
    }
}

// A port that failed to open is the user's to choose again, not the watcher's.
TEST_F(DeviceWatcherTest, RoleChosenButNeverOpenedIsLeftAlone)
{
    service->InjectFault(MidiCall::OutOpen, platform::MMSYSERR_ALLOCATED);
    roles->Assign(TRole::SynthOut, 0, synth->Name());
    service->InjectFault(MidiCall::InOpen, platform::MMSYSERR_ALLOCATED);
    EXPECT_ANY_THROW(roles->Assign(TRole::SynthIn, 0, synth->Name()));
    ASSERT_FALSE(roles->IsOpen(TRole::SynthIn) || roles->IsOpen(TRole::SynthOut));
    ASSERT_EQ(roles->DeviceName(TRole::SynthIn), synth->Name());
    ASSERT_EQ(roles->DeviceName(TRole::SynthOut), synth->Name());

    Watcher().Check();
    service->Unplug(synth);
    Watcher().Check();
    service->Plug(synth);
    Watcher().Check();
    EXPECT_TRUE(lost.empty() && back.empty());
    for (TRole r : {TRole::SynthIn, TRole::SynthOut})
        EXPECT_FALSE(roles->IsOpen(r) || roles->Waiting(r));
    EXPECT_FALSE(synth->IsInputOpen() || synth->IsOutputOpen());
}

TEST_F(DeviceWatcherTest, InputThatDoesNotOpenYetKeepsWaiting)
{
    for (const MidiCall call : {MidiCall::InOpen, MidiCall::InStart}) {
        SCOPED_TRACE(int(call));
        AssignAll();
        service->Unplug(synth);
        Watcher().Check();
        ASSERT_TRUE(roles->Waiting(TRole::SynthIn));
        back.clear();

        service->Plug(synth);
        service->InjectFault(call, platform::MMSYSERR_ALLOCATED);
        Watcher().Check();
        EXPECT_EQ(back, std::vector<TRole>{TRole::SynthOut});
        EXPECT_TRUE(roles->Waiting(TRole::SynthIn) && !roles->IsOpen(TRole::SynthIn) && !synth->IsInputOpen());

        Watcher().Check();
        EXPECT_EQ(back, (std::vector<TRole>{TRole::SynthOut, TRole::SynthIn}));
        EXPECT_TRUE(roles->IsOpen(TRole::SynthIn) && !roles->Waiting(TRole::SynthIn) && synth->IsInputOpen());
        roles->CloseAll();
    }
}
