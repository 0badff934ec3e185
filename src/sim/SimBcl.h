#pragma once
// How a BCR2000 takes a BCL preset upload, written from the unit's MIDI
// implementation rather than from the editor's generator, so that the
// simulated controller checks the preset file instead of echoing it.
//
// One BCL line arrives as F0 00 20 32 <dev> <model> 20 <idx-hi> <idx-lo>
// <text> F7 and is answered with F0 00 20 32 <own dev> 15 21 <idx-hi>
// <idx-lo> <error> F7. The script runs from "$rev R1" to "$end"; the elements
// it defines take effect at "$end".
//
// Thread: a BclReceiver is plain data; its owner serialises the calls.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace simbcl {

using Message = std::vector<std::uint8_t>;

// Reply codes of the unit.
enum BclError : std::uint8_t {
    Ok = 0,
    UnknownToken = 1,
    SectionOrSettingExpected = 2,
    MissingArgument = 3,
    WrongModel = 4,
    WrongRevision = 5,
    NoRevBlock = 6,
    NoSection = 8,
    ElementOutOfRange = 9,
    NotANumber = 10,
    ValueOutOfRange = 11,
    InvalidText = 12,
    NotAllowedHere = 13,
    WrongArgumentCount = 14,
    IndexSequence = 22,
};

enum class ElementType { Encoder, Button };

// One encoder or button as its BCL section programmed it. An element that
// has had no ".easypar" sends nothing.
struct BclElement {
    bool Programmed = false;
    int Channel = 0;      // 0-15 (BCL counts 1-16)
    int Controller = 0;
    int Value1 = 0;       // encoder: minimum; button: the "on" value
    int Value2 = 0;       // encoder: maximum; button: the "off" value
    std::string Mode;     // "absolute", "relative-1", ..., "toggleon", "toggleoff", "increment"
    int Increment = 0;
    int Default = 0;
    bool ShowValue = false;
    std::string LedMode;  // encoders: "1dot", "bar", ...; empty when not set
    std::array<int, 4> Resolution{};
};

struct BclPreset {
    std::string Name = std::string(24, ' ');
    bool Snapshot = false;
    bool Request = false;
    bool FunctionKeys = true;
    bool Lock = false;
    int EncoderGroups = 4;
    std::map<int, BclElement> Encoders;  // by element number
    std::map<int, BclElement> Buttons;
};

constexpr int EncoderCount = 56;
constexpr int ButtonCount = 64;

// True for a message addressed to a BCR2000 with device id `ownDevice`
// (0-15) as a BCL line: any-device 7F or its own, model 15 or any-model 7F.
bool IsBclMessage(const Message &message, int ownDevice);

class BclReceiver {
public:
    explicit BclReceiver(int ownDevice = 0) : FOwnDevice(ownDevice) {}

    struct Outcome {
        Message Reply;
        std::uint8_t Error = Ok;
        bool Finished = false;  // this line was a successful "$end"
    };
    // Takes one BCL line (IsBclMessage must hold) and answers it.
    Outcome Receive(const Message &message);

    // The preset of the last completed script, if any.
    const std::optional<BclPreset> &Completed() const { return FCompleted; }
    // The user preset slot a "$store N" asked for, if any.
    std::optional<int> StoredSlot() const { return FStoredSlot; }

private:
    std::uint8_t RunLine(const std::string &text);
    std::uint8_t RunSection(const std::vector<std::string> &tokens);
    std::uint8_t RunSetting(const std::vector<std::string> &tokens);
    std::uint8_t RunPresetSetting(const std::vector<std::string> &tokens);
    std::uint8_t RunElementSetting(BclElement &element, const std::vector<std::string> &tokens);

    enum class Section { None, Rev, Preset, Encoder, Button };

    int FOwnDevice;
    int FNextIndex = -1;  // -1: nothing since the last script ended, only index 0 is taken
    bool FHaveRev = false;
    Section FSection = Section::None;
    int FElementNumber = 0;
    BclPreset FWorking;
    std::optional<BclPreset> FCompleted;
    std::optional<int> FStoredSlot;
};

} // namespace simbcl
