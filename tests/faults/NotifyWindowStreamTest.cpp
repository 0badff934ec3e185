// Found by the flood under ThreadSanitizer: a port's notify window handled
// messages for as long as any were queued, so a steady stream of input kept
// the event loop (painting, timers) waiting for the whole stream.

#include "platform/NotifyWindow.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

TEST(NotifyWindowStream, SteadyStreamOfMessagesLeavesTheEventLoopRunning)
{
    using namespace std::chrono;
    long handled = 0;
    platform::TNotifyWindow window([&](platform::TMessage &) {
        ++handled;
        std::this_thread::sleep_for(microseconds(500)); // a handler slower than the stream
    });
    // The stream ends by itself, so that a window that never yields fails
    // this test instead of hanging it.
    const auto streamEnd = steady_clock::now() + milliseconds(1500);
    std::thread poster([&] {
        while (steady_clock::now() < streamEnd) {
            window.Post(platform::WM_USER, 0, 0);
            std::this_thread::sleep_for(microseconds(100));
        }
    });

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    while (clock.elapsed() < 1400)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const qint64 lastTickInStream = last;
    poster.join();

    EXPECT_GT(handled, 100);
    EXPECT_GT(lastTickInStream, 1000) << "the timer stopped while messages kept coming";
    EXPECT_LT(longest, 200);
}
