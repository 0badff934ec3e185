#pragma once
// A simulated Behringer BCR2000. It keeps the value of each controller
// (channel, controller number), as its LED rings would show it, records every
// message it receives (the editor's echoes and any preset upload) in order,
// and sends control changes Bc cc vv when told to turn an encoder or press the
// random-patch button, as a unit already holding the editor's preset would.
//
// It also takes a BCL preset upload as the unit does (sim/SimBcl.h): every
// BCL line is answered, and once a script has ended with "$end" its elements
// can be worked by number (TurnElement, PressButton), sending what they were
// programmed to send: absolute encoders within their minimum and maximum,
// buttons as momentary, latching or stepping switches. A received control
// change that matches a programmed element sets that element's value.
//
// Threads: every public function may be called from any thread; the state
// sits behind one mutex. The send callback is called on the calling thread,
// never with that mutex held.

#include "sim/SimBcl.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
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

    // The preset of the last completed BCL upload, if any.
    std::optional<simbcl::BclPreset> Preset() const;
    // Value of a programmed element; none before programming or for an
    // element the preset left empty.
    std::optional<int> ElementValue(simbcl::ElementType type, int number) const;
    // Surface actions on the programmed elements. Each returns false, sending
    // nothing, for an element without a programmed control change (or one in
    // a mode that is not simulated: only absolute encoders are).
    bool TurnElement(int encoder, int steps);
    bool PressButton(int button);
    bool ReleaseButton(int button);

private:
    void SendControlChange(int channel, int controller, int value);
    void SendMessage(Message message);
    void InstallPresetLocked(const simbcl::BclPreset &preset);
    void MatchElementsLocked(int channel, int controller, int value);
    // The control change a button action sends, if any; updates its value.
    std::optional<Message> ButtonActionLocked(int button, bool press);

    mutable std::mutex FMutex;
    SendFunction FSend;
    std::array<std::array<std::int16_t, 128>, 16> FValues = Unset();
    std::vector<Message> FReceived;
    simbcl::BclReceiver FBcl;
    std::optional<simbcl::BclPreset> FPreset;
    std::map<int, int> FEncoderValues;  // by element number, programmed elements only
    std::map<int, int> FButtonValues;

    static std::array<std::array<std::int16_t, 128>, 16> Unset();
};
