#include "core/ParamTable.h"

namespace {

const TParamDesign kDesign[ParamCount] = {
    {"Oscillator 1", "Octave", "lBtn29", 112, 136, 160, 155},
    {"Oscillator 1", "Wave", "lBtn28", 112, 156, 47, 154},
    {"Mixer", "Osc 1 level", "lEnc48", 288, 244, 415, 367},
    {"Auto Bend", "Select", "lBtn14", 298, 529, 246, 11},
    {"Auto Bend", "Mode", "lBtn15", 298, 545, 326, 11},
    {"Auto Bend", "Time", "lEnc22", 298, 585, 242, 83},
    {"Auto Bend", "Intensity", "lEnc23", 298, 565, 326, 83},
    {"Oscillator 2", "Octave", "lBtn37", 108, 357, 160, 214},
    {"Oscillator 2", "Wave", "lBtn36", 108, 417, 47, 213},
    {"Mixer", "Osc 2 level", "lEnc49", 288, 276, 499, 367},
    {"Oscillator 2", "Interval", "lBtn38", 108, 377, 225, 214},
    {"Oscillator 2", "Detune", "lBtn39", 108, 397, 332, 214},
    {"Mixer", "Noise", "lEnc50", 288, 212, 583, 367},
    {"Voice", "Assign Mode", "lBtn35", 124, 630, 642, 155},
    {"", "", "", 0, 0, 0, 0},
    {"Filter", "Cutoff", "lEnc44", 488, 223, 77, 367},
    {"Filter", "Resonance", "lEnc45", 488, 243, 162, 367},
    {"Filter", "Kbd Track", "lBtn32", 488, 263, 411, 155},
    {"Filter envelope", "Polarity", "lBtn33", 514, 537, 486, 155},
    {"Filter envelope", "Env Intensity", "lEnc59", 514, 517, 670, 514},
    {"Filter envelope", "Attack", "lEnc52", 514, 397, 79, 514},
    {"Filter envelope", "Decay", "lEnc53", 514, 417, 164, 514},
    {"Filter envelope", "Break point", "lEnc54", 514, 437, 248, 514},
    {"Filter envelope", "Slope", "lEnc55", 514, 457, 332, 514},
    {"Filter envelope", "Sustain", "lEnc56", 514, 477, 417, 514},
    {"Filter envelope", "Release", "lEnc57", 514, 497, 501, 514},
    {"Filter", "Velocity", "lEnc58", 488, 282, 586, 514},
    {"Amplifier envelope", "Attack", "lEnc60", 806, 392, 77, 657},
    {"Amplifier envelope", "Decay", "lEnc61", 806, 412, 167, 657},
    {"Amplifier envelope", "Break point", "lEnc62", 806, 432, 246, 657},
    {"Amplifier envelope", "Slope", "lEnc63", 806, 452, 330, 657},
    {"Amplifier envelope", "Sustain", "lEnc64", 806, 472, 415, 657},
    {"Amplifier envelope", "Release", "lEnc65", 806, 492, 499, 657},
    {"Amplifier", "Velocity", "lEnc66", 811, 281, 582, 657},
    {"Modulation generator", "MG Wave", "lBtn13", 409, 81, 140, 10},
    {"Modulation generator", "MG Freq", "lEnc20", 409, 41, 73, 87},
    {"Modulation generator", "MG Delay", "lEnc21", 409, 61, 158, 87},
    {"Modulation generator", "MG > Osc", "lEnc47", 409, 121, 330, 367},
    {"Modulation generator", "MG > VCF", "lEnc46", 409, 101, 246, 367},
    {"Bend", "Bend Osc", "lBtn30", 315, 393, 244, 154},
    {"Bend", "Bend VCF", "lBtn31", 315, 373, 329, 155},
    {"Delay", "Time Coarse", "lBtn18", 700, 58, 578, 9},
    {"Delay", "Time Fine", "lEnc26", 700, 78, 578, 86},
    {"Delay", "Feedback", "lEnc25", 700, 38, 495, 86},
    {"Delay", "LFO Freq", "lEnc24", 700, 98, 410, 86},
    {"Delay", "LFO Intensity", "lBtn16", 700, 118, 410, 9},
    {"Delay", "Level", "lEnc27", 700, 142, 663, 86},
    {"Voice", "Portamento", "lEnc67", 124, 652, 666, 657},
    {"Modulation generator", "AT MG > Osc", "lBtn40", 409, 141, 413, 214},
    {"Filter", "After Touch", "lBtn41", 487, 302, 499, 214},
    {"Amplifier", "After Touch", "lBtn42", 811, 301, 582, 214},
};

void ShowValue(const TCcParam &row)
{
    if (row.ValueLabel != nullptr)
        row.ValueLabel->SetCaption(DisplayText(row));
}

} // namespace

const TParamDesign &ParamDesign(int row) { return kDesign[row]; }

void BuildParams(TParamTable &params, const std::function<TValueLabel *(const std::string &)> &findLabel)
{
    for (TCcParam &p : params)
        p = TCcParam{};
    for (int i = 0; i < ParamCount; ++i) {
        if (!IsLiveRow(i))
            continue;
        const dw::TParamDef &d = dw::ParamDef(i);
        TCcParam &p = params[std::size_t(i)];
        p.ParamNo = d.ParamNo;
        p.Channel = d.Channel;
        p.Controller = d.Controller;
        p.ValueLabel = findLabel ? findLabel(kDesign[i].LabelName) : nullptr;
        p.BcrLeft = kDesign[i].BcrLeft;
        p.BcrTop = kDesign[i].BcrTop;
        p.EnvSlot = d.EnvSlot;
        p.DumpMask = d.DumpMask;
        p.MaxValue = d.MaxValue;
        p.RandomMax = d.RandomMax;
        if (d.Names != nullptr)
            p.ValueNames = *d.Names; // every row owns its own copy
        if (p.ValueLabel != nullptr) {
            p.DiagLeft = p.ValueLabel->Left();
            p.DiagTop = p.ValueLabel->Top();
        }
    }
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
        if (IsLiveRow(i) && params[std::size_t(i)].Channel == channel && params[std::size_t(i)].Controller == controller)
            return i;
    }
    return -1;
}
