#include "engine/InputDispatcher.h"
#include "midi/MidiIn.h"
#include "platform/VirtualMidiService.h"

#include "../common/WaitFor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using engine::TInputDispatcher;

namespace {

class InputDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_shared<platform::VirtualMidiService>();
        platform::SetCurrentMidiService(service);
        device = service->CreateDevice("unit");
        port = std::make_unique<TMidiInput>(nullptr);
        dispatcher = std::make_unique<TInputDispatcher>(*port);
        port->SetDeviceID(0);
        port->Open();
        port->Start();
    }

    void TearDown() override
    {
        dispatcher.reset();
        port.reset();
        platform::SetCurrentMidiService(nullptr);
    }

    // A listener that writes "name:data1" for each event it is handed.
    TInputDispatcher::TListener Recorder(const std::string &name)
    {
        return [this, name](const TInputDispatcher::TEvents &events) {
            for (const auto &ev : events)
                heard.push_back(name + ":" + std::to_string(ev->FirstDataByte));
        };
    }

    // Sends a control change with data1 = marker and waits until `count`
    // entries were heard (the port's own notice delivers them).
    bool SendAndWait(int marker, std::size_t count)
    {
        device->InjectShort(0xB0, std::uint8_t(marker), 1);
        return WaitFor([&] { return heard.size() >= count; });
    }

    std::shared_ptr<platform::VirtualMidiService> service;
    std::shared_ptr<platform::VirtualMidiDevice> device;
    std::unique_ptr<TMidiInput> port;
    std::unique_ptr<TInputDispatcher> dispatcher;
    std::vector<std::string> heard;
};

} // namespace

TEST_F(InputDispatcherTest, ListenersHearInSubscriptionOrderUntilTheirSubscriptionEnds)
{
    auto a = dispatcher->Subscribe(Recorder("a"));
    const auto b = dispatcher->Subscribe(Recorder("b"));
    ASSERT_TRUE(SendAndWait(1, 2));
    a.Reset();
    // The marker event reaches b: had a still listened, it would sit before it.
    ASSERT_TRUE(SendAndWait(2, 3));
    EXPECT_EQ(heard, (std::vector<std::string>{"a:1", "b:1", "b:2"}));
    EXPECT_EQ(dispatcher->Listeners(), 1u);
}

TEST_F(InputDispatcherTest, AListenerMayEndItsOwnAndALaterSubscriptionWhileCalled)
{
    TInputDispatcher::TSubscription self, later;
    self = dispatcher->Subscribe([&](const TInputDispatcher::TEvents &events) {
        heard.push_back("self:" + std::to_string(events.front()->FirstDataByte));
        self.Reset();
        later.Reset();
    });
    later = dispatcher->Subscribe(Recorder("later"));
    const auto last = dispatcher->Subscribe(Recorder("last"));
    ASSERT_TRUE(SendAndWait(1, 2));
    ASSERT_TRUE(SendAndWait(2, 3));
    EXPECT_EQ(heard, (std::vector<std::string>{"self:1", "last:1", "last:2"}));
}

TEST_F(InputDispatcherTest, AListenerThatRaisesKeepsNoOtherFromTheBatchAndIsReportedOnce)
{
    const auto a = dispatcher->Subscribe([](const TInputDispatcher::TEvents &) { throw std::runtime_error("first"); });
    const auto b = dispatcher->Subscribe([](const TInputDispatcher::TEvents &) { throw std::runtime_error("second"); });
    const auto c = dispatcher->Subscribe(Recorder("c"));
    device->InjectShort(0xB0, 7, 1);
    // The ring fills without the event loop, so that the error of the call
    // made here, as the port's notice would make it, comes out here.
    for (int i = 0; i < 5'000'000 && port->GetEventCount() == 0; ++i)
        std::this_thread::yield();
    try {
        dispatcher->Dispatch();
        ADD_FAILURE() << "no error raised";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "first");
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"c:7"}));
}

TEST_F(InputDispatcherTest, ASubscriptionOutlivingItsDispatcherEndsQuietly)
{
    auto a = dispatcher->Subscribe(Recorder("a"));
    dispatcher.reset();
    EXPECT_FALSE(a.Active());
    EXPECT_FALSE(bool(port->OnMidiInput)); // the port's hook goes with it
    a.Reset();
}
