#include "dw/Params.h"

#include <array>

namespace dw {
namespace {

using Names = std::vector<std::string>;

const Names kOctave = {"16'", " 8'", " 4'", "INHIBIT"};
const Names kWave = {"Brass&Str", "Clarinet", "Ac. Piano", "Elec Piano", "E Pno(Hard)", "Clavinet",
                     "Organ", "Brass", "Saxophone", "Violin", "Ac.Guitar", "Guitar Dist",
                     "Elec.Bass", "DigitalBass", "Bell", "Org Whistle"};
const Names kSelect = {"Off", "OSC1", "OSC2", "Both"};
const Names kMode = {"Up", "Down"};
const Names kInterval = {"Unison", "3rd Down", "Third", "Fourth", "Fifth", "INHIBIT", "INHIBIT", "INHIBIT"};
// A DW-8000 has four assign modes; real patches use all of them.
const Names kAssign = {"Poly 1", "Poly 2", "Unison 1", "Unison 2"};
const Names kTrack = {"Off", "Quarter", "Half", "Full"};
const Names kPolarity = {"Normal", "Invert"};
const Names kMgWave = {"Triangle", "Saw Dwn", "Saw Up", "Square"};
const Names kOnOff = {"Off", "On"};

constexpr int F = 10; // filter graph slots are stored as 10 + slot

// controller, envelope slot, dump mask, max value, random max, names
struct Row {
    int controller, envSlot, dumpMask, maxValue, randomMax;
    const Names *names;
};

const Row kRows[ParamCount] = {
    {29, -1, 3, 2, 2, &kOctave},     {28, -1, 15, 15, 15, &kWave},   {48, -1, 31, 31, 31, nullptr},
    {14, -1, 3, 3, 3, &kSelect},     {15, -1, 1, 1, 1, &kMode},      {22, -1, 31, 31, 31, nullptr},
    {23, -1, 31, 31, 31, nullptr},   {37, -1, 3, 2, 2, &kOctave},    {36, -1, 15, 15, 15, &kWave},
    {49, -1, 31, 31, 31, nullptr},   {38, -1, 7, 4, 4, &kInterval},  {39, -1, 7, 6, 6, nullptr},
    {50, -1, 31, 31, 31, nullptr},   {35, -1, 3, 3, 3, &kAssign},    {0, -1, 31, 31, 31, nullptr},
    {44, -1, 63, 63, 63, nullptr},   {45, -1, 31, 31, 31, nullptr},  {32, -1, 3, 3, 3, &kTrack},
    {33, -1, 1, 1, 1, &kPolarity},   {59, -1, 31, 31, 31, nullptr},  {52, F + 0, 31, 31, 31, nullptr},
    {53, F + 2, 31, 31, 31, nullptr}, {54, F + 3, 31, 31, 31, nullptr}, {55, F + 4, 31, 31, 31, nullptr},
    {56, F + 5, 31, 31, 31, nullptr}, {57, F + 6, 31, 31, 31, nullptr}, {58, -1, 7, 7, 7, nullptr},
    {60, 0, 31, 31, 31, nullptr},    {61, 2, 31, 31, 31, nullptr},   {62, 3, 31, 31, 31, nullptr},
    {63, 4, 31, 31, 31, nullptr},    {64, 5, 31, 31, 31, nullptr},   {65, 6, 31, 31, 31, nullptr},
    {66, -1, 7, 7, 7, nullptr},      {13, -1, 3, 3, 3, &kMgWave},    {20, -1, 31, 31, 31, nullptr},
    {21, -1, 31, 31, 3, nullptr},    {47, -1, 31, 31, 31, nullptr},  {46, -1, 31, 31, 31, nullptr},
    {30, -1, 15, 12, 12, nullptr},   {31, -1, 1, 1, 1, &kOnOff},     {18, -1, 7, 7, 7, nullptr},
    {26, -1, 15, 15, 15, nullptr},   {25, -1, 15, 15, 15, nullptr},  {24, -1, 31, 31, 31, nullptr},
    {16, -1, 31, 31, 31, nullptr},   {27, -1, 15, 15, 15, nullptr},  {67, -1, 31, 31, 31, nullptr},
    {40, -1, 3, 3, 3, nullptr},      {41, -1, 3, 3, 3, nullptr},     {42, -1, 3, 3, 3, nullptr},
};

std::array<TParamDef, ParamCount> MakeDefs()
{
    std::array<TParamDef, ParamCount> defs{};
    for (int i = 0; i < ParamCount; ++i) {
        const Row &r = kRows[i];
        // The unused row keeps parameter number 0, so a dump fills it from parameter 0's byte.
        defs[std::size_t(i)] = {IsLiveRow(i) ? i : 0, 0, r.controller, r.envSlot,
                                r.dumpMask,          r.maxValue, r.randomMax, r.names};
    }
    return defs;
}

const std::array<TParamDef, ParamCount> kDefs = MakeDefs();

const TParamCaption kCaptions[ParamCount] = {
    {"Oscillator 1", "Octave"},
    {"Oscillator 1", "Wave"},
    {"Mixer", "Osc 1 level"},
    {"Auto Bend", "Select"},
    {"Auto Bend", "Mode"},
    {"Auto Bend", "Time"},
    {"Auto Bend", "Intensity"},
    {"Oscillator 2", "Octave"},
    {"Oscillator 2", "Wave"},
    {"Mixer", "Osc 2 level"},
    {"Oscillator 2", "Interval"},
    {"Oscillator 2", "Detune"},
    {"Mixer", "Noise"},
    {"Voice", "Assign Mode"},
    {"", ""},
    {"Filter", "Cutoff"},
    {"Filter", "Resonance"},
    {"Filter", "Kbd Track"},
    {"Filter envelope", "Polarity"},
    {"Filter envelope", "Env Intensity"},
    {"Filter envelope", "Attack"},
    {"Filter envelope", "Decay"},
    {"Filter envelope", "Break point"},
    {"Filter envelope", "Slope"},
    {"Filter envelope", "Sustain"},
    {"Filter envelope", "Release"},
    {"Filter", "Velocity"},
    {"Amplifier envelope", "Attack"},
    {"Amplifier envelope", "Decay"},
    {"Amplifier envelope", "Break point"},
    {"Amplifier envelope", "Slope"},
    {"Amplifier envelope", "Sustain"},
    {"Amplifier envelope", "Release"},
    {"Amplifier", "Velocity"},
    {"Modulation generator", "MG Wave"},
    {"Modulation generator", "MG Freq"},
    {"Modulation generator", "MG Delay"},
    {"Modulation generator", "MG > Osc"},
    {"Modulation generator", "MG > VCF"},
    {"Bend", "Bend Osc"},
    {"Bend", "Bend VCF"},
    {"Delay", "Time Coarse"},
    {"Delay", "Time Fine"},
    {"Delay", "Feedback"},
    {"Delay", "LFO Freq"},
    {"Delay", "LFO Intensity"},
    {"Delay", "Level"},
    {"Voice", "Portamento"},
    {"Modulation generator", "AT MG > Osc"},
    {"Filter", "After Touch"},
    {"Amplifier", "After Touch"},
};

} // namespace

const TParamDef &ParamDef(int row) { return kDefs.at(std::size_t(row)); }

int ValueFromDump(int row, unsigned char b)
{
    const TParamDef &d = ParamDef(row);
    const int v = b & d.DumpMask;
    return v > d.MaxValue ? d.MaxValue : v;
}

std::string DisplayText(int row, int value)
{
    const Names *names = ParamDef(row).Names;
    if (names != nullptr && value >= 0 && std::size_t(value) < names->size())
        return (*names)[std::size_t(value)];
    return std::to_string(value);
}

const TParamCaption &ParamCaption(int row) { return kCaptions[std::size_t(row)]; }

int FindControllerRow(int channel, int controller)
{
    for (int i = 0; i < ParamCount; ++i) {
        const TParamDef &d = kDefs[std::size_t(i)];
        if (IsLiveRow(i) && d.Channel == channel && d.Controller == controller)
            return i;
    }
    return -1;
}

} // namespace dw
