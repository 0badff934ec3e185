// Found by the flood under ThreadSanitizer: a port's notify window handled
// messages for as long as any were queued, so a steady stream of input kept
// the event loop (painting, timers) waiting for the whole stream.

#include "platform/NotifyWindow.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

// Counted, not timed: the rest of the loop (a posted call that posts itself
// again) must get turns while the window still has messages waiting. Each
// message takes a millisecond, so a slice of the window's time holds a few
// of them and the 200 take many slices, however loaded the machine.
TEST(NotifyWindowStream, SteadyStreamOfMessagesLeavesTheEventLoopRunning)
{
    constexpr int kMessages = 200;
    int handled = 0;
    platform::TNotifyWindow window([&](platform::TMessage &) {
        ++handled;
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a handler slower than the stream
    });
    for (int i = 0; i < kMessages; ++i)
        ASSERT_TRUE(window.Post(platform::WM_USER, 0, 0));

    QObject context;
    int turnsWithMessagesWaiting = 0;
    std::function<void()> turn = [&] {
        if (handled > 0 && handled < kMessages)
            ++turnsWithMessagesWaiting;
        if (handled < kMessages)
            QTimer::singleShot(0, &context, turn);
    };
    QTimer::singleShot(0, &context, turn);
    for (int spins = 0; handled < kMessages && spins < 1000000; ++spins)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);

    EXPECT_EQ(handled, kMessages);
    EXPECT_GE(turnsWithMessagesWaiting, 5) << "the window kept the loop while messages were queued";
}
