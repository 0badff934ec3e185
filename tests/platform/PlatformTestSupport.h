#pragma once

#include <QCoreApplication>

#include <chrono>
#include <thread>

// Runs the Qt event loop until `done` holds or the timeout passes.
template <typename Pred>
bool PumpUntil(Pred done, std::chrono::milliseconds timeout = std::chrono::milliseconds(3000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
