#pragma once
// A simulated Behringer BCR2000 holding the editor's preset: it keeps the
// value of each controller (channel, controller number), as its LED rings
// would show it, records every message it receives (the editor's echoes and
// any preset upload) in order, and sends control changes Bc cc vv when told
// to turn an encoder or press the random-patch button.
//
// Threads: every public function may be called from any thread; the state
// sits behind one mutex. The send callback is called on the calling thread,
// never with that mutex held.

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class SimBcr2000 {
public:
    using Message = std::vector<std::uint8_t>;
    using SendFunction = std::function<void(Message)>;

    static constexpr int RandomPatchController = 43;

    SimBcr2000() = default;
    SimBcr2000(const SimBcr2000 &) = delete;
    SimBcr2000 &operator=(const SimBcr2000 &) = delete;

    void SetSend(SendFunction send);
    // Records the message; a control change also sets that controller's value.
    void Receive(Message message);

    // Last value sent or received for the controller; none before either.
    std::optional<int> Value(int channel, int controller) const;
    std::vector<Message> Received() const;
    void ClearReceived();

    // Channel 0-15, controller and value 0-127 (std::invalid_argument).
    void TurnEncoder(int controller, int value, int channel = 0);
    // The random-patch button sends value 1 when pressed, 0 when released.
    void PressRandomButton(int channel = 0);
    void ReleaseRandomButton(int channel = 0);

private:
    void SendControlChange(int channel, int controller, int value);

    mutable std::mutex FMutex;
    SendFunction FSend;
    std::array<std::array<std::int16_t, 128>, 16> FValues = Unset();
    std::vector<Message> FReceived;

    static std::array<std::array<std::int16_t, 128>, 16> Unset();
};
