#include "sim/SimBcl.h"

#include <algorithm>
#include <cctype>

namespace simbcl {

namespace {

constexpr std::uint8_t BclCommand = 0x20;
constexpr std::uint8_t BclReply = 0x21;
constexpr std::uint8_t Bcr2000Model = 0x15;
constexpr std::uint8_t AnyDevice = 0x7F;
constexpr std::size_t HeaderSize = 9;  // F0 00 20 32 dev model 20 hi lo

const std::vector<std::string> kEncoderModes = {"absolute", "absolute/14", "relative-1", "relative-2",
                                                "relative-3", "relative-1/14", "relative-2/14",
                                                "relative-3/14"};
const std::vector<std::string> kLedModes = {"off", "1dot", "1dot/off", "12dot", "12dot/off", "bar",
                                            "bar/off", "spread", "pan", "qual", "cut", "damp"};
// The lower 24 encoders have single-dot rings only.
const std::vector<std::string> kLowerLedModes = {"off", "1dot", "1dot/off"};
const std::vector<std::string> kButtonLedModes = {"down", "up", "toggle", "incval", "updown"};

bool Contains(const std::vector<std::string> &list, const std::string &s)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

// Splits at blanks; a quoted 'text' is one token, kept with its quotes.
std::vector<std::string> Tokenize(const std::string &text, bool &badQuote)
{
    std::vector<std::string> tokens;
    badQuote = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end;
        if (text[i] == '\'') {
            end = text.find('\'', i + 1);
            if (end == std::string::npos) {
                badQuote = true;
                return tokens;
            }
            ++end;
        } else {
            end = text.find(' ', i);
            if (end == std::string::npos)
                end = text.size();
        }
        tokens.push_back(text.substr(i, end - i));
        i = end;
    }
    return tokens;
}

// A decimal number, optionally signed; false when the token is not one.
bool ParseNumber(const std::string &token, int &value)
{
    if (token.empty() || token.size() > 6)
        return false;
    std::size_t i = token[0] == '-' ? 1 : 0;
    if (i == token.size())
        return false;
    int v = 0;
    for (std::size_t k = i; k < token.size(); ++k) {
        if (!std::isdigit(static_cast<unsigned char>(token[k])))
            return false;
        v = v * 10 + (token[k] - '0');
    }
    value = i == 1 ? -v : v;
    return true;
}

// Reads tokens[at] as a number in low..high into value; returns the error.
std::uint8_t NumberArg(const std::vector<std::string> &tokens, std::size_t at, int low, int high, int &value)
{
    if (at >= tokens.size())
        return MissingArgument;
    if (!ParseNumber(tokens[at], value))
        return NotANumber;
    return value < low || value > high ? ValueOutOfRange : Ok;
}

std::uint8_t OnOffArg(const std::vector<std::string> &tokens, bool &value)
{
    if (tokens.size() < 2)
        return MissingArgument;
    if (tokens.size() > 2)
        return WrongArgumentCount;
    if (tokens[1] != "on" && tokens[1] != "off")
        return InvalidText;
    value = tokens[1] == "on";
    return Ok;
}

} // namespace

bool IsBclMessage(const Message &m, int ownDevice)
{
    return m.size() >= HeaderSize + 1 && m[0] == 0xF0 && m[1] == 0x00 && m[2] == 0x20 && m[3] == 0x32
        && (m[4] == AnyDevice || m[4] == ownDevice) && (m[5] == Bcr2000Model || m[5] == 0x7F)
        && m[6] == BclCommand && m.back() == 0xF7;
}

BclReceiver::Outcome BclReceiver::Receive(const Message &m)
{
    Outcome out;
    const int index = (m[7] & 0x7F) << 7 | (m[8] & 0x7F);
    if (index == 0) {
        FNextIndex = 0;  // index 0 always starts a new script
        FHaveRev = false;
        FSection = Section::None;
    }
    if (index != FNextIndex) {
        out.Error = IndexSequence;
    } else {
        ++FNextIndex;
        const std::string text(m.begin() + HeaderSize, m.end() - 1);
        const bool printable = std::all_of(text.begin(), text.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return b >= 32 && b <= 127;
        });
        out.Error = printable ? RunLine(text) : std::uint8_t(UnknownToken);
        out.Finished = out.Error == Ok && FNextIndex == -1;  // only "$end" closes the script
    }
    out.Reply = {0xF0, 0x00, 0x20, 0x32, std::uint8_t(FOwnDevice), Bcr2000Model, BclReply,
                 std::uint8_t(index >> 7), std::uint8_t(index & 0x7F), out.Error, 0xF7};
    return out;
}

std::uint8_t BclReceiver::RunLine(const std::string &text)
{
    bool badQuote = false;
    const std::vector<std::string> tokens = Tokenize(text, badQuote);
    if (badQuote)
        return InvalidText;
    if (tokens.empty() || tokens[0][0] == ';')
        return Ok;
    if (tokens[0][0] == '$')
        return RunSection(tokens);
    if (tokens[0][0] == '.')
        return RunSetting(tokens);
    return SectionOrSettingExpected;
}

std::uint8_t BclReceiver::RunSection(const std::vector<std::string> &tokens)
{
    const std::string &key = tokens[0];
    if (key == "$rev") {
        if (tokens.size() < 2)
            return MissingArgument;
        if (tokens.size() > 2)
            return WrongArgumentCount;
        if (tokens[1].empty() || tokens[1][0] != 'R')
            return WrongModel;
        if (tokens[1] != "R1")
            return WrongRevision;
        FHaveRev = true;
        FSection = Section::Rev;
        FWorking = FCompleted.value_or(BclPreset{});
        FStoredSlot.reset();
        return Ok;
    }
    const bool known = key == "$preset" || key == "$encoder" || key == "$button" || key == "$end"
                       || key == "$store" || key == "$recall";
    if (!known)
        return UnknownToken;
    if (!FHaveRev)
        return NoRevBlock;
    if (key == "$preset") {
        if (tokens.size() > 1)
            return WrongArgumentCount;
        const auto encoders = FWorking.Encoders;
        const auto buttons = FWorking.Buttons;
        FWorking = BclPreset{};
        FWorking.Encoders = encoders;
        FWorking.Buttons = buttons;
        FSection = Section::Preset;
        return Ok;
    }
    if (key == "$encoder" || key == "$button") {
        const bool encoder = key == "$encoder";
        int n = 0;
        if (const std::uint8_t e = NumberArg(tokens, 1, 1, encoder ? EncoderCount : ButtonCount, n))
            return e == ValueOutOfRange ? std::uint8_t(ElementOutOfRange) : e;
        if (tokens.size() > 2)
            return WrongArgumentCount;
        (encoder ? FWorking.Encoders : FWorking.Buttons)[n] = BclElement{};
        FSection = encoder ? Section::Encoder : Section::Button;
        FElementNumber = n;
        return Ok;
    }
    if (key == "$store" || key == "$recall") {
        int n = 0;
        if (const std::uint8_t e = NumberArg(tokens, 1, 1, 32, n))
            return e;
        if (key == "$store")
            FStoredSlot = n;
        return Ok;
    }
    // $end
    if (tokens.size() > 1)
        return WrongArgumentCount;
    FCompleted = FWorking;
    FHaveRev = false;
    FSection = Section::None;
    FNextIndex = -1;
    return Ok;
}

std::uint8_t BclReceiver::RunSetting(const std::vector<std::string> &tokens)
{
    switch (FSection) {
    case Section::None:
    case Section::Rev:
        return NoSection;
    case Section::Preset:
        return RunPresetSetting(tokens);
    case Section::Encoder:
        return RunElementSetting(FWorking.Encoders[FElementNumber], tokens);
    case Section::Button:
        return RunElementSetting(FWorking.Buttons[FElementNumber], tokens);
    }
    return NoSection;
}

std::uint8_t BclReceiver::RunPresetSetting(const std::vector<std::string> &tokens)
{
    const std::string &key = tokens[0];
    BclPreset &p = FWorking;
    if (key == ".name") {
        if (tokens.size() < 2)
            return MissingArgument;
        if (tokens.size() > 2)
            return WrongArgumentCount;
        const std::string &t = tokens[1];
        if (t.size() < 2 || t.front() != '\'' || t.back() != '\'' || t.size() - 2 > 24)
            return InvalidText;
        p.Name = t.substr(1, t.size() - 2);
        p.Name.resize(24, ' ');
        return Ok;
    }
    if (key == ".snapshot")
        return OnOffArg(tokens, p.Snapshot);
    if (key == ".request")
        return OnOffArg(tokens, p.Request);
    if (key == ".fkeys")
        return OnOffArg(tokens, p.FunctionKeys);
    if (key == ".lock")
        return OnOffArg(tokens, p.Lock);
    if (key == ".egroups") {
        if (tokens.size() > 2)
            return WrongArgumentCount;
        return NumberArg(tokens, 1, 1, 4, p.EncoderGroups);
    }
    if (key == ".init") {
        if (tokens.size() > 1)
            return WrongArgumentCount;
        p.Encoders.clear();
        p.Buttons.clear();
        return Ok;
    }
    if (key == ".easypar" || key == ".showvalue" || key == ".mode" || key == ".resolution" || key == ".default")
        return NotAllowedHere;
    return UnknownToken;
}

std::uint8_t BclReceiver::RunElementSetting(BclElement &el, const std::vector<std::string> &tokens)
{
    const std::string &key = tokens[0];
    const bool encoder = FSection == Section::Encoder;
    if (key == ".easypar") {
        if (tokens.size() < 2)
            return MissingArgument;
        if (tokens[1] != "CC")
            return InvalidText;  // NRPN, notes and the rest are not simulated
        const std::size_t wanted = encoder ? 7 : (tokens.size() > 6 && tokens[6] == "increment" ? 8 : 7);
        if (tokens.size() < wanted)
            return MissingArgument;
        if (tokens.size() > wanted)
            return WrongArgumentCount;
        BclElement e;
        int channel = 0;
        if (const std::uint8_t r = NumberArg(tokens, 2, 1, 16, channel))
            return r;
        e.Channel = channel - 1;
        for (auto [at, field] : {std::pair<std::size_t, int *>{3, &e.Controller}, {4, &e.Value1}, {5, &e.Value2}})
            if (const std::uint8_t r = NumberArg(tokens, at, 0, 127, *field))
                return r;
        e.Mode = tokens[6];
        if (encoder) {
            if (!Contains(kEncoderModes, e.Mode))
                return InvalidText;
            e.Default = e.Value1;
            e.LedMode = "1dot";
            const int steps = e.Value2 - e.Value1 <= 20 ? 24 : 96;
            e.Resolution = {steps, steps, steps, steps};
        } else {
            if (e.Mode == "increment") {
                if (const std::uint8_t r = NumberArg(tokens, 7, -127, 127, e.Increment))
                    return r;
                if (e.Increment == 0)
                    return ValueOutOfRange;
            } else if (e.Mode != "toggleon" && e.Mode != "toggleoff") {
                return InvalidText;
            }
            e.Default = e.Value2;
        }
        e.Programmed = true;
        el = e;
        return Ok;
    }
    if (key == ".showvalue")
        return OnOffArg(tokens, el.ShowValue);
    if (key == ".default") {
        if (tokens.size() > 2)
            return WrongArgumentCount;
        return NumberArg(tokens, 1, 0, 16383, el.Default);
    }
    if (key == ".mode") {
        if (tokens.size() < 2)
            return MissingArgument;
        if (tokens.size() > 2)
            return WrongArgumentCount;
        const std::vector<std::string> &allowed =
            !encoder ? kButtonLedModes : (FElementNumber > 32 ? kLowerLedModes : kLedModes);
        if (!Contains(allowed, tokens[1]))
            return InvalidText;
        if (!encoder && el.Mode == "increment" && tokens[1] != "incval")
            return NotAllowedHere;
        el.LedMode = tokens[1];
        return Ok;
    }
    if (key == ".resolution") {
        if (!encoder)
            return NotAllowedHere;
        if (tokens.size() < 2)
            return MissingArgument;
        if (tokens.size() > 5)
            return WrongArgumentCount;
        std::array<int, 4> r{};
        for (std::size_t i = 1; i < tokens.size(); ++i)
            if (const std::uint8_t e = NumberArg(tokens, i, 0, 10000, r[i - 1]))
                return e;
        // Speeds not given take the last one given.
        for (std::size_t i = tokens.size() - 1; i < 4; ++i)
            r[i] = r[tokens.size() - 2];
        el.Resolution = r;
        return Ok;
    }
    if (key == ".name" || key == ".init" || key == ".egroups" || key == ".fkeys" || key == ".lock"
        || key == ".snapshot" || key == ".request")
        return NotAllowedHere;
    return UnknownToken;
}

} // namespace simbcl
