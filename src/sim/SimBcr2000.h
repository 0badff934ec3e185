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
// It answers the identity request F0 00 20 32 <7F or 00> <15 or 7F> 01 F7
// with F0 00 20 32 00 15 02 <IdentityText> F7, and can behave as the set-ups
// that make uploads fail do: a unit that loses lines sent faster than it takes
// them (as over USB), one whose answers never come back, one that reports an
// error on a chosen line.
//
// Threads: every public function may be called from any thread; the state
// sits behind one mutex. The send callback is called on the calling thread,
// never with that mutex held, except for answers delayed by a line interval,
// which come from a thread of the simulator's own. The destructor drops
// delayed answers still pending; the send callback must stay valid until the
// simulator is destroyed.

#include "sim/SimBcl.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class SimBcr2000 {
public:
    using Message = std::vector<std::uint8_t>;
    using SendFunction = std::function<void(Message)>;

    static constexpr int RandomPatchController = 43;
    // The first three user keys as the editor's preset programs them: undo,
    // redo, mutate; like the random-patch button they send 1 pressed, 0 released.
    static constexpr int UndoKeyController = 68;
    static constexpr int RedoKeyController = 69;
    static constexpr int MutateKeyController = 70;

    static constexpr const char *IdentityText = "BCR2000 simulated";

    SimBcr2000() = default;
    ~SimBcr2000();
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
    // Presses and releases a user key (one of the *KeyController numbers).
    void ClickUserKey(int controller, int channel = 0);

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

    // The time the unit takes per BCL line (0, the default: none). A line
    // arriving before the previous one is done is lost without an answer, so
    // the next one is refused as out of sequence; each answer leaves when its
    // line is done.
    void SetLineInterval(std::chrono::milliseconds interval);
    // True: no sysex answer ever leaves (replies not routed back). Lines are
    // still taken.
    void SetSilent(bool silent);
    // The line with this BCL index is answered with `error` (0 clears it).
    void SetErrorOnLine(int index, std::uint8_t error);
    // BCL lines lost to the line interval so far.
    int LostLines() const;

private:
    void SendLater(Message message, std::chrono::steady_clock::time_point due);
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
    std::chrono::milliseconds FLineInterval{0};
    std::chrono::steady_clock::time_point FBusyUntil;
    bool FSilent = false;
    std::pair<int, std::uint8_t> FErrorLine{-1, 0};
    int FLostLines = 0;
    // Delayed answers, in due order (each due no earlier than the one before).
    std::deque<std::pair<std::chrono::steady_clock::time_point, Message>> FLater;
    std::condition_variable FLaterChanged;
    bool FStopping = false;
    std::thread FLaterSender;

    static std::array<std::array<std::int16_t, 128>, 16> Unset();
};
