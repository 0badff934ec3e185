#include "sim/SimBcr2000.h"

#include <algorithm>
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

SimBcr2000::~SimBcr2000()
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FStopping = true;
    }
    FLaterChanged.notify_all();
    if (FLaterSender.joinable())
        FLaterSender.join();
}

void SimBcr2000::Receive(Message message)
{
    using Clock = std::chrono::steady_clock;
    static const Message kIdentityHeader = {0xF0, 0x00, 0x20, 0x32};
    Message reply;
    Clock::time_point due{};
    {
        std::lock_guard<std::mutex> lock(FMutex);
        const Clock::time_point now = Clock::now();
        if (message.size() == 3 && (message[0] & 0xF0) == 0xB0 && message[1] < 0x80 && message[2] < 0x80) {
            FValues[message[0] & 0x0F][message[1]] = message[2];
            MatchElementsLocked(message[0] & 0x0F, message[1], message[2]);
        } else if (simbcl::IsBclMessage(message, 0)) {
            if (FLineInterval.count() > 0 && now < FBusyUntil) {
                ++FLostLines;  // still busy with the line before: this one is gone
            } else {
                simbcl::BclReceiver::Outcome outcome = FBcl.Receive(message);
                if (outcome.Finished)
                    InstallPresetLocked(*FBcl.Completed());
                reply = std::move(outcome.Reply);
                const int index = message[7] << 7 | message[8];
                if (reply.size() == 11 && FErrorLine.second != 0 && index == FErrorLine.first)
                    reply[9] = FErrorLine.second;
                FBusyUntil = now + FLineInterval;
                due = FLineInterval.count() > 0 ? FBusyUntil : Clock::time_point{};
            }
        } else if (message.size() == 8 && std::equal(kIdentityHeader.begin(), kIdentityHeader.end(), message.begin())
                   && (message[4] == 0x7F || message[4] == 0x00) && (message[5] == 0x15 || message[5] == 0x7F)
                   && message[6] == 0x01 && message[7] == 0xF7) {
            reply = {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x02};
            for (const char *c = IdentityText; *c != '\0'; ++c)
                reply.push_back(std::uint8_t(*c));
            reply.push_back(0xF7);
        }
        FReceived.push_back(std::move(message));
        if (FSilent)
            reply.clear();
    }
    if (reply.empty())
        return;
    if (due != Clock::time_point{})
        SendLater(std::move(reply), due);
    else
        SendMessage(std::move(reply));
}

void SimBcr2000::SetLineInterval(std::chrono::milliseconds interval)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FLineInterval = interval;
}

void SimBcr2000::SetSilent(bool silent)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FSilent = silent;
}

void SimBcr2000::SetErrorOnLine(int index, std::uint8_t error)
{
    std::lock_guard<std::mutex> lock(FMutex);
    FErrorLine = {index, error};
}

int SimBcr2000::LostLines() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FLostLines;
}

void SimBcr2000::SendLater(Message message, std::chrono::steady_clock::time_point due)
{
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FStopping)
            return;
        FLater.emplace_back(due, std::move(message));
        if (!FLaterSender.joinable()) {
            FLaterSender = std::thread([this] {
                std::unique_lock<std::mutex> lock(FMutex);
                while (!FStopping) {
                    if (FLater.empty()) {
                        FLaterChanged.wait(lock);
                        continue;
                    }
                    const auto when = FLater.front().first;
                    if (FLaterChanged.wait_until(lock, when, [this] { return FStopping; }))
                        break;
                    if (std::chrono::steady_clock::now() < when || FLater.empty())
                        continue;
                    Message m = std::move(FLater.front().second);
                    FLater.pop_front();
                    SendFunction send = FSend;
                    lock.unlock();
                    if (send)
                        send(std::move(m));
                    lock.lock();
                }
            });
        }
    }
    FLaterChanged.notify_all();
}

std::optional<simbcl::BclPreset> SimBcr2000::Preset() const
{
    std::lock_guard<std::mutex> lock(FMutex);
    return FPreset;
}

std::optional<int> SimBcr2000::ElementValue(simbcl::ElementType type, int number) const
{
    std::lock_guard<std::mutex> lock(FMutex);
    const auto &values = type == simbcl::ElementType::Encoder ? FEncoderValues : FButtonValues;
    const auto it = values.find(number);
    return it == values.end() ? std::nullopt : std::optional<int>(it->second);
}

bool SimBcr2000::TurnElement(int encoder, int steps)
{
    Message change;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FPreset || FEncoderValues.count(encoder) == 0)
            return false;
        const simbcl::BclElement &e = FPreset->Encoders.at(encoder);
        if (e.Mode != "absolute")
            return false;
        int &value = FEncoderValues[encoder];
        const int low = std::min(e.Value1, e.Value2);
        const int high = std::max(e.Value1, e.Value2);
        const int next = std::clamp(value + steps, low, high);
        if (next == value)
            return true;  // at the end of its range a knob sends nothing more
        value = next;
        FValues[size_t(e.Channel)][size_t(e.Controller)] = std::int16_t(next);
        change = {std::uint8_t(0xB0 + e.Channel), std::uint8_t(e.Controller), std::uint8_t(next)};
    }
    SendMessage(std::move(change));
    return true;
}

bool SimBcr2000::PressButton(int button)
{
    std::optional<Message> change;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FPreset || FButtonValues.count(button) == 0)
            return false;
        change = ButtonActionLocked(button, true);
    }
    if (change)
        SendMessage(std::move(*change));
    return true;
}

bool SimBcr2000::ReleaseButton(int button)
{
    std::optional<Message> change;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (!FPreset || FButtonValues.count(button) == 0)
            return false;
        change = ButtonActionLocked(button, false);
    }
    if (change)
        SendMessage(std::move(*change));
    return true;
}

std::optional<SimBcr2000::Message> SimBcr2000::ButtonActionLocked(int button, bool press)
{
    const simbcl::BclElement &e = FPreset->Buttons.at(button);
    int &value = FButtonValues[button];
    if (e.Mode == "toggleoff") {
        value = press ? e.Value1 : e.Value2;  // momentary
    } else if (!press) {
        return std::nullopt;
    } else if (e.Mode == "toggleon") {
        value = value == e.Value1 ? e.Value2 : e.Value1;
    } else {
        // increment: past the "on" end the value wraps to the "off" end
        const int next = value + e.Increment;
        if (e.Increment > 0)
            value = next > e.Value1 ? e.Value2 : next;
        else
            value = next < e.Value2 ? e.Value1 : next;
    }
    FValues[size_t(e.Channel)][size_t(e.Controller)] = std::int16_t(value);
    return Message{std::uint8_t(0xB0 + e.Channel), std::uint8_t(e.Controller), std::uint8_t(value)};
}

void SimBcr2000::InstallPresetLocked(const simbcl::BclPreset &preset)
{
    FPreset = preset;
    FEncoderValues.clear();
    FButtonValues.clear();
    for (const auto &[number, e] : preset.Encoders)
        if (e.Programmed)
            FEncoderValues[number] = e.Default;
    for (const auto &[number, e] : preset.Buttons)
        if (e.Programmed)
            FButtonValues[number] = e.Default;
}

void SimBcr2000::MatchElementsLocked(int channel, int controller, int value)
{
    if (!FPreset)
        return;
    for (const auto &[number, e] : FPreset->Encoders)
        if (e.Programmed && e.Channel == channel && e.Controller == controller)
            FEncoderValues[number] = value;
    for (const auto &[number, e] : FPreset->Buttons)
        if (e.Programmed && e.Channel == channel && e.Controller == controller)
            FButtonValues[number] = value;
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

void SimBcr2000::ClickUserKey(int controller, int channel)
{
    SendControlChange(channel, controller, 1);
    SendControlChange(channel, controller, 0);
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
        MatchElementsLocked(channel, controller, value);
        send = FSend;
    }
    if (send)
        send({std::uint8_t(0xB0 + channel), std::uint8_t(controller), std::uint8_t(value)});
}

void SimBcr2000::SendMessage(Message message)
{
    SendFunction send;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        send = FSend;
    }
    if (send)
        send(std::move(message));
}
