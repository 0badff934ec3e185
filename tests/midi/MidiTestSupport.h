#pragma once

#include "../platform/PlatformTestSupport.h"
#include "platform/VirtualMidiService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// Device 0 "DW-8000" and device 1 "BCR2000", for the tests of a port class
// that throws `PortError`.
template <typename PortError>
class TwoDevicePortTest : public VirtualMidiTest {
protected:
    void SetUp() override
    {
        VirtualMidiTest::SetUp();
        synth = service->CreateDevice("DW-8000");
        controller = service->CreateDevice("BCR2000");
    }

    // The text of the PortError that `f` throws; any other exception fails the test.
    template <typename F>
    static std::string ThrownText(F f)
    {
        try {
            f();
        } catch (const PortError &e) {
            return e.what();
        }
        return "(nothing thrown)";
    }
    static std::string ErrorText(platform::MMRESULT code) { return platform::MidiResultText(code); }

    std::shared_ptr<platform::VirtualMidiDevice> synth;
    std::shared_ptr<platform::VirtualMidiDevice> controller;
};
