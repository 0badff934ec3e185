#include "sim/SimBcr2000.h"

#include <stdexcept>

namespace {

void CheckRange(int value, int low, int high, const char *what)
{
    if (value < low || value > high)
        throw std::invalid_argument(what);
}

} // namespace

std::array<std::array<std::int16_t, 128>, 16> SimBcr2000::Unset()
{
    std::array<std::array<std::int16_t, 128>, 16> values{};
    for (auto &channel : values)
        channel.fill(-1);
    return values;
}

void SimBcr2000::SetSend(SendFunction send)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSend = std::move(send);
}

void SimBcr2000::Receive(Message message)
{
    std::lock_guard<std::mutex> lock(FMutex);
    if (message.size() == 3 && (message[0] & 0xF0) == 0xB0 && message[1] < 0x80 && message[2] < 0x80)
        FValues[message[0] & 0x0F][message[1]] = message[2];
    FReceived.push_back(std::move(message));
}

std::optional<int> SimBcr2000::Value(int channel, int controller) const
{
    CheckRange(channel, 0, 15, "BCR2000 channel out of range");
    CheckRange(controller, 0, 127, "BCR2000 controller out of range");
    std::lock_guard<std::mutex> lock(FMutex);
    const int v = FValues[size_t(channel)][size_t(controller)];
    return v < 0 ? std::nullopt : std::optional<int>(v);
}

std::vector<SimBcr2000::Message> SimBcr2000::Received() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FReceived;
}

void SimBcr2000::ClearReceived()
{
    std::lock_guard<std::mutex> lock(FMutex);
    FReceived.clear();
}

void SimBcr2000::TurnEncoder(int controller, int value, int channel)
{
    SendControlChange(channel, controller, value);
}

void SimBcr2000::PressRandomButton(int channel)
{
    SendControlChange(channel, RandomPatchController, 1);
}

void SimBcr2000::ReleaseRandomButton(int channel)
{
    SendControlChange(channel, RandomPatchController, 0);
}

void SimBcr2000::SendControlChange(int channel, int controller, int value)
{
    CheckRange(channel, 0, 15, "BCR2000 channel out of range");
    CheckRange(controller, 0, 127, "BCR2000 controller out of range");
    CheckRange(value, 0, 127, "BCR2000 value out of range");
    SendFunction send;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FValues[size_t(channel)][size_t(controller)] = std::int16_t(value);
        send = FSend;
    }
    if (send)
        send({std::uint8_t(0xB0 + channel), std::uint8_t(controller), std::uint8_t(value)});
}
