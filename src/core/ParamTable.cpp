#include "core/ParamTable.h"

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

struct RowData {
    TParamDesign design;
    int envSlot;
    int dumpMask;
    int maxValue;
    const Names *names;
};

constexpr int F = 10; // filter graph slots are stored as 10 + slot

const RowData kRows[ParamCount] = {
    {{"Oscillator 1", "Octave", 29, "lBtn29", 112, 136, 160, 155}, -1, 3, 2, &kOctave},
    {{"Oscillator 1", "Wave", 28, "lBtn28", 112, 156, 47, 154}, -1, 15, 15, &kWave},
    {{"Mixer", "Osc 1 level", 48, "lEnc48", 288, 244, 415, 367}, -1, 31, 31, nullptr},
    {{"Auto Bend", "Select", 14, "lBtn14", 298, 529, 246, 11}, -1, 3, 3, &kSelect},
    {{"Auto Bend", "Mode", 15, "lBtn15", 298, 545, 326, 11}, -1, 1, 1, &kMode},
    {{"Auto Bend", "Time", 22, "lEnc22", 298, 585, 242, 83}, -1, 31, 31, nullptr},
    {{"Auto Bend", "Intensity", 23, "lEnc23", 298, 565, 326, 83}, -1, 31, 31, nullptr},
    {{"Oscillator 2", "Octave", 37, "lBtn37", 108, 357, 160, 214}, -1, 3, 2, &kOctave},
    {{"Oscillator 2", "Wave", 36, "lBtn36", 108, 417, 47, 213}, -1, 15, 15, &kWave},
    {{"Mixer", "Osc 2 level", 49, "lEnc49", 288, 276, 499, 367}, -1, 31, 31, nullptr},
    {{"Oscillator 2", "Interval", 38, "lBtn38", 108, 377, 225, 214}, -1, 7, 4, &kInterval},
    {{"Oscillator 2", "Detune", 39, "lBtn39", 108, 397, 332, 214}, -1, 7, 6, nullptr},
    {{"Mixer", "Noise", 50, "lEnc50", 288, 212, 583, 367}, -1, 31, 31, nullptr},
    {{"Voice", "Assign Mode", 35, "lBtn35", 124, 630, 642, 155}, -1, 3, 3, &kAssign},
    {{"", "", -1, "", 0, 0, 0, 0}, -1, 31, 31, nullptr},
    {{"Filter", "Cutoff", 44, "lEnc44", 488, 223, 77, 367}, -1, 63, 63, nullptr},
    {{"Filter", "Resonance", 45, "lEnc45", 488, 243, 162, 367}, -1, 31, 31, nullptr},
    {{"Filter", "Kbd Track", 32, "lBtn32", 488, 263, 411, 155}, -1, 3, 3, &kTrack},
    {{"Filter envelope", "Polarity", 33, "lBtn33", 514, 537, 486, 155}, -1, 1, 1, &kPolarity},
    {{"Filter envelope", "Env Intensity", 59, "lEnc59", 514, 517, 670, 514}, -1, 31, 31, nullptr},
    {{"Filter envelope", "Attack", 52, "lEnc52", 514, 397, 79, 514}, F + 0, 31, 31, nullptr},
    {{"Filter envelope", "Decay", 53, "lEnc53", 514, 417, 164, 514}, F + 2, 31, 31, nullptr},
    {{"Filter envelope", "Break point", 54, "lEnc54", 514, 437, 248, 514}, F + 3, 31, 31, nullptr},
    {{"Filter envelope", "Slope", 55, "lEnc55", 514, 457, 332, 514}, F + 4, 31, 31, nullptr},
    {{"Filter envelope", "Sustain", 56, "lEnc56", 514, 477, 417, 514}, F + 5, 31, 31, nullptr},
    {{"Filter envelope", "Release", 57, "lEnc57", 514, 497, 501, 514}, F + 6, 31, 31, nullptr},
    {{"Filter", "Velocity", 58, "lEnc58", 488, 282, 586, 514}, -1, 7, 7, nullptr},
    {{"Amplifier envelope", "Attack", 60, "lEnc60", 806, 392, 77, 657}, 0, 31, 31, nullptr},
    {{"Amplifier envelope", "Decay", 61, "lEnc61", 806, 412, 167, 657}, 2, 31, 31, nullptr},
    {{"Amplifier envelope", "Break point", 62, "lEnc62", 806, 432, 246, 657}, 3, 31, 31, nullptr},
    {{"Amplifier envelope", "Slope", 63, "lEnc63", 806, 452, 330, 657}, 4, 31, 31, nullptr},
    {{"Amplifier envelope", "Sustain", 64, "lEnc64", 806, 472, 415, 657}, 5, 31, 31, nullptr},
    {{"Amplifier envelope", "Release", 65, "lEnc65", 806, 492, 499, 657}, 6, 31, 31, nullptr},
    {{"Amplifier", "Velocity", 66, "lEnc66", 811, 281, 582, 657}, -1, 7, 7, nullptr},
    {{"Modulation generator", "MG Wave", 13, "lBtn13", 409, 81, 140, 10}, -1, 3, 3, &kMgWave},
    {{"Modulation generator", "MG Freq", 20, "lEnc20", 409, 41, 73, 87}, -1, 31, 31, nullptr},
    {{"Modulation generator", "MG Delay", 21, "lEnc21", 409, 61, 158, 87}, -1, 31, 31, nullptr},
    {{"Modulation generator", "MG > Osc", 47, "lEnc47", 409, 121, 330, 367}, -1, 31, 31, nullptr},
    {{"Modulation generator", "MG > VCF", 46, "lEnc46", 409, 101, 246, 367}, -1, 31, 31, nullptr},
    {{"Bend", "Bend Osc", 30, "lBtn30", 315, 393, 244, 154}, -1, 15, 12, nullptr},
    {{"Bend", "Bend VCF", 31, "lBtn31", 315, 373, 329, 155}, -1, 1, 1, &kOnOff},
    {{"Delay", "Time Coarse", 18, "lBtn18", 700, 58, 578, 9}, -1, 7, 7, nullptr},
    {{"Delay", "Time Fine", 26, "lEnc26", 700, 78, 578, 86}, -1, 15, 15, nullptr},
    {{"Delay", "Feedback", 25, "lEnc25", 700, 38, 495, 86}, -1, 15, 15, nullptr},
    {{"Delay", "LFO Freq", 24, "lEnc24", 700, 98, 410, 86}, -1, 31, 31, nullptr},
    {{"Delay", "LFO Intensity", 16, "lBtn16", 700, 118, 410, 9}, -1, 31, 31, nullptr},
    {{"Delay", "Level", 27, "lEnc27", 700, 142, 663, 86}, -1, 15, 15, nullptr},
    {{"Voice", "Portamento", 67, "lEnc67", 124, 652, 666, 657}, -1, 31, 31, nullptr},
    {{"Modulation generator", "AT MG > Osc", 40, "lBtn40", 409, 141, 413, 214}, -1, 3, 3, nullptr},
    {{"Filter", "After Touch", 41, "lBtn41", 487, 302, 499, 214}, -1, 3, 3, nullptr},
    {{"Amplifier", "After Touch", 42, "lBtn42", 811, 301, 582, 214}, -1, 3, 3, nullptr},
};

void ShowValue(const TCcParam &row)
{
    if (row.ValueLabel != nullptr)
        row.ValueLabel->SetCaption(DisplayText(row));
}

} // namespace

const TParamDesign &ParamDesign(int row) { return kRows[row].design; }

void BuildParams(TParamTable &params, const std::function<TValueLabel *(const std::string &)> &findLabel)
{
    for (TCcParam &p : params)
        p = TCcParam{};
    for (int i = 0; i < ParamCount; ++i) {
        if (!IsLiveRow(i))
            continue;
        const RowData &d = kRows[i];
        TCcParam &p = params[i];
        p.ParamNo = i;
        p.Controller = d.design.Controller;
        p.ValueLabel = findLabel ? findLabel(d.design.LabelName) : nullptr;
        p.BcrLeft = d.design.BcrLeft;
        p.BcrTop = d.design.BcrTop;
        p.EnvSlot = d.envSlot;
        p.DumpMask = d.dumpMask;
        p.MaxValue = d.maxValue;
        if (d.names != nullptr)
            p.ValueNames = *d.names; // every row owns its own copy
    }
    for (TCcParam &p : params) {
        if (p.ValueLabel != nullptr) {
            p.DiagLeft = p.ValueLabel->Left();
            p.DiagTop = p.ValueLabel->Top();
        }
    }
    for (TCcParam &p : params)
        p.RandomMax = p.MaxValue;
    params[36].RandomMax = 3;
    params[39].RandomMax = 12;
}

std::string DisplayText(const TCcParam &row)
{
    if (row.Value >= 0 && std::size_t(row.Value) < row.ValueNames.size())
        return row.ValueNames[std::size_t(row.Value)];
    return std::to_string(row.Value);
}

void SetFromController(TCcParam &row, int v)
{
    row.Value = v;
    ShowValue(row);
}

void SetFromDump(TCcParam &row, unsigned char b)
{
    row.Value = b & row.DumpMask;
    if (row.Value > row.MaxValue)
        row.Value = row.MaxValue;
    ShowValue(row);
}

int FindControllerRow(const TParamTable &params, int channel, int controller)
{
    for (int i = 0; i < ParamCount; ++i) {
        if (IsLiveRow(i) && params[i].Channel == channel && params[i].Controller == controller)
            return i;
    }
    return -1;
}
