#pragma once

#include "platform/VirtualMidiService.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

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

inline void PumpFor(std::chrono::milliseconds time)
{
    PumpUntil([] { return false; }, time);
}

inline std::vector<std::uint8_t> MakeSysex(std::size_t size)
{
    std::vector<std::uint8_t> m(size);
    m.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < size; ++i)
        m[i] = std::uint8_t((i * 7) & 0x7F);
    m.back() = 0xF7;
    return m;
}

// A fresh virtual backend installed as the current service for each test.
class VirtualMidiTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetCurrentMidiService(service); }
    void TearDown() override { platform::SetCurrentMidiService(nullptr); }

    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
};
