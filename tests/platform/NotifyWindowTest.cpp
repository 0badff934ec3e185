#include "PlatformTestSupport.h"
#include "platform/NotifyWindow.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

using namespace platform;

TEST(NotifyWindow, RunsProcedureOnUiThreadInPostingOrder)
{
    std::vector<std::uintptr_t> seen;
    std::vector<std::thread::id> threads;
    TNotifyWindow window([&](TMessage &m) {
        seen.push_back(m.LParam);
        threads.push_back(std::this_thread::get_id());
    });
    constexpr int kCount = 3000;
    std::thread producer([&] {
        for (int i = 0; i < kCount; ++i)
            while (!PostMessageA(&window, WM_USER, 0, std::uintptr_t(i)))
                std::this_thread::yield();
    });
    ASSERT_TRUE(PumpUntil([&] { return seen.size() == kCount; }));
    producer.join();
    for (int i = 0; i < kCount; ++i)
        ASSERT_EQ(seen[i], std::uintptr_t(i));
    for (const auto id : threads)
        ASSERT_EQ(id, std::this_thread::get_id());
}

TEST(NotifyWindow, FullQueueRefusesWithoutBlocking)
{
    int calls = 0;
    TNotifyWindow window([&](TMessage &) { ++calls; }, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(window.Post(WM_USER, 0, 0));
    EXPECT_FALSE(window.Post(WM_USER, 0, 0));
    EXPECT_EQ(window.Refused(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return calls == 4; }));
    EXPECT_TRUE(window.Post(WM_USER, 0, 0)); // room again after the drain
    EXPECT_FALSE(PostMessageA(nullptr, WM_USER, 0, 0));
}

TEST(NotifyWindow, DestroyedWithQueuedNoticesNeverCallsBack)
{
    int calls = 0;
    auto window = std::make_unique<TNotifyWindow>([&](TMessage &) { ++calls; });
    window->Post(WM_USER, 0, 0);
    window->Post(WM_USER, 0, 0);
    window.reset();
    PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(calls, 0);
}

TEST(NotifyWindow, ProcedureDestroyingItsWindowStopsTheDrain)
{
    int calls = 0;
    std::unique_ptr<TNotifyWindow> window;
    window = std::make_unique<TNotifyWindow>([&](TMessage &) {
        ++calls;
        window.reset();
    });
    window->Post(WM_USER, 0, 0);
    window->Post(WM_USER, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return calls > 0; }));
    PumpUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(calls, 1);
}

TEST(NotifyWindow, MessagesLeftByAThrowingProcedureStillRun)
{
    std::vector<std::uintptr_t> seen;
    TNotifyWindow window([&](TMessage &m) {
        seen.push_back(m.LParam);
        if (m.LParam == 1)
            throw std::runtime_error("handler failed");
    });
    window.Post(WM_USER, 0, 1);
    window.Post(WM_USER, 0, 2);
    // Drive the drain the way the event loop would, catching like the
    // application's error box does.
    ASSERT_TRUE(PumpUntil([&] {
        try {
            QCoreApplication::processEvents();
        } catch (const std::runtime_error &) {
        }
        return seen.size() == 2;
    }));
    EXPECT_EQ(seen, (std::vector<std::uintptr_t>{1, 2}));
}
