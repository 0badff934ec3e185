#include "core/Layout.h"

#include "dw/Params.h"

#include <QFontMetrics>
#include <cstring>
#include <stdexcept>

namespace layout {

namespace {

QFont MakeFont(int pixels, bool bold)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

struct CaptionSpec {
    const char *caption;
    const char *valueLabel;
};

// Captions that stand left of the value label they name, on the same line.
constexpr CaptionSpec kNamed[] = {
    {"Octave", "lBtn29"}, {" Wave", "lBtn28"}, {"Octave", "lBtn37"}, {" Interval", "lBtn38"},
    {"Detune", "lBtn39"}, {" Wave", "lBtn36"},
    {" MG Freq ", "lEnc20"}, {" MG Delay ", "lEnc21"}, {" MG Wave ", "lBtn13"},
    {" MG > VCF ", "lEnc46"}, {" MG > Osc ", "lEnc47"}, {" AT MG > Osc ", "lBtn40"},
    {" Noise ", "lEnc50"},
    {" Cutoff", "lEnc44"}, {" Resonance ", "lEnc45"}, {" Kbd Track ", "lBtn32"},
    {" Velocity ", "lEnc58"}, {" After Touch ", "lBtn41"},
    {" Attack", "lEnc52"}, {"Decay", "lEnc53"}, {"Break point", "lEnc54"}, {"Slope", "lEnc55"},
    {"Sustain", "lEnc56"}, {"Release", "lEnc57"}, {" Env Intensity", "lEnc59"}, {"Polarity", "lBtn33"},
    {" Attack", "lEnc60"}, {"Decay", "lEnc61"}, {"Break point", "lEnc62"}, {"Slope", "lEnc63"},
    {"Sustain", "lEnc64"}, {"Release", "lEnc65"},
    {"Velocity VCA ", "lEnc66"}, {" After Touch ", "lBtn42"},
    {"Bend VCF", "lBtn31"}, {"Bend Osc", "lBtn30"},
    {"  Select ", "lBtn14"}, {" Mode", "lBtn15"}, {" Intensity", "lEnc23"}, {" Time ", "lEnc22"},
    {"Time Coarse ", "lBtn18"}, {" Time Fine ", "lEnc26"}, {" Feedback ", "lEnc25"},
    {" LFO Freq ", "lEnc24"}, {" LFO Intensity ", "lBtn16"}, {" Level ", "lEnc27"},
    {"Assign Mode", "lBtn35"}, {"Portamento", "lEnc67"},
};

struct HeaderSpec {
    const char *name;
    const char *caption;
    int left, top;
};

constexpr HeaderSpec kHeaders[] = {
    {"Label43", " Oscillator 1 ", 57, 118},
    {"Label46", " Oscillator 2 ", 47, 338},
    {"Label47", "Mod Gen (LFO)", 307, 15},
    {"Label1", " Mixer ", 273, 190},
    {"Label59", " Voltage Controller Filter ", 389, 194},
    {"Label48", "  VCF Envelope ", 403, 377},
    {"Label7", "  Voltage Controlled Amplifier  ", 671, 261},
    {"Label49", "  VCA Envelope ", 669, 374},
    {"Label14", " Bend ", 244, 351},
    {"Label64", " Auto Bend ", 236, 506},
    {"Label53", " Delay", 593, 17},
};

constexpr int CaptionGap = 2; // pixels between a caption and its value label

const TParamDesign *DesignOf(const char *labelName)
{
    for (int i = 0; i < dw::ParamCount; ++i) {
        if (std::strcmp(ParamDesign(i).LabelName, labelName) == 0)
            return &ParamDesign(i);
    }
    return nullptr;
}

std::vector<TCaptionLabel> BuildCaptions()
{
    std::vector<TCaptionLabel> out;
    for (const HeaderSpec &h : kHeaders) {
        TCaptionLabel c;
        c.Name = QString::fromLatin1(h.name);
        c.Caption = QString::fromLatin1(h.caption);
        c.Left = h.left;
        c.Top = h.top;
        c.FontColor = clWhite;
        c.Background = clBlack;
        out.push_back(c);
    }
    const QFont font = CaptionLabelFont();
    for (const CaptionSpec &s : kNamed) {
        const TParamDesign *d = DesignOf(s.valueLabel);
        if (d == nullptr)
            throw std::logic_error("caption names an unknown value label");
        TCaptionLabel c;
        c.ValueLabel = QString::fromLatin1(s.valueLabel);
        c.Name = QStringLiteral("lCap") + c.ValueLabel;
        c.Caption = QString::fromLatin1(s.caption);
        c.Left = d->DiagLeft - CaptionGap - TextWidth(font, c.Caption);
        c.Top = d->DiagTop + (ValueLabelHeight - CaptionLabelHeight) / 2;
        if (c.ValueLabel == QLatin1String("lEnc50")) {
            c.FontColor = clWhite;
            c.Background = clGray;
        }
        out.push_back(c);
    }
    return out;
}

} // namespace

QFont BaseFont() { return MakeFont(11, false); }
QFont PageFont() { return MakeFont(13, true); }
QFont ValueLabelFont() { return MakeFont(16, true); }
QFont CaptionLabelFont() { return MakeFont(13, true); }
QFont ButtonFont() { return MakeFont(13, false); }

int TextWidth(const QFont &font, const QString &text)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

QRect ValueLabelRect(int left, int top, const QString &text)
{
    return QRect(left, top, TextWidth(ValueLabelFont(), text), ValueLabelHeight);
}

const std::vector<TCaptionLabel> &CaptionLabels()
{
    static const std::vector<TCaptionLabel> labels = BuildCaptions();
    return labels;
}

const std::vector<TSharedControl> &SharedControls()
{
    static const std::vector<TSharedControl> controls = {
        {"gOsc1", 76, 181, 796, 28, 122, 136},
        {"gOsc2", 76, 442, 796, 180, 122, 136},
        {"VCFadsr", 401, 561, 742, 437, 186, 121},
        {"VCAadsr", 667, 517, 742, 585, 188, 118},
        {"bGetPatch", 737, 682, 570, 727, 159, 29},
        {"bMidiSetup", 737, 727, 737, 727, 80, 29},
        {"sbDonate", 828, 724, 828, 724, 98, 33},
    };
    return controls;
}

const TSharedControl &SharedControl(const char *name)
{
    for (const TSharedControl &c : SharedControls()) {
        if (std::strcmp(c.Name, name) == 0)
            return c;
    }
    throw std::logic_error("unknown shared control");
}

} // namespace layout

namespace {

const TParamDesign kDesign[dw::ParamCount] = {
    {"lBtn29", 112, 136, 160, 155},
    {"lBtn28", 112, 156, 47, 154},
    {"lEnc48", 288, 244, 415, 367},
    {"lBtn14", 298, 529, 246, 11},
    {"lBtn15", 298, 545, 326, 11},
    {"lEnc22", 298, 585, 242, 83},
    {"lEnc23", 298, 565, 326, 83},
    {"lBtn37", 108, 357, 160, 214},
    {"lBtn36", 108, 417, 47, 213},
    {"lEnc49", 288, 276, 499, 367},
    {"lBtn38", 108, 377, 225, 214},
    {"lBtn39", 108, 397, 332, 214},
    {"lEnc50", 288, 212, 583, 367},
    {"lBtn35", 124, 630, 642, 155},
    {"", 0, 0, 0, 0},
    {"lEnc44", 488, 223, 77, 367},
    {"lEnc45", 488, 243, 162, 367},
    {"lBtn32", 488, 263, 411, 155},
    {"lBtn33", 514, 537, 486, 155},
    {"lEnc59", 514, 517, 670, 514},
    {"lEnc52", 514, 397, 79, 514},
    {"lEnc53", 514, 417, 164, 514},
    {"lEnc54", 514, 437, 248, 514},
    {"lEnc55", 514, 457, 332, 514},
    {"lEnc56", 514, 477, 417, 514},
    {"lEnc57", 514, 497, 501, 514},
    {"lEnc58", 488, 282, 586, 514},
    {"lEnc60", 806, 392, 77, 657},
    {"lEnc61", 806, 412, 167, 657},
    {"lEnc62", 806, 432, 246, 657},
    {"lEnc63", 806, 452, 330, 657},
    {"lEnc64", 806, 472, 415, 657},
    {"lEnc65", 806, 492, 499, 657},
    {"lEnc66", 811, 281, 582, 657},
    {"lBtn13", 409, 81, 140, 10},
    {"lEnc20", 409, 41, 73, 87},
    {"lEnc21", 409, 61, 158, 87},
    {"lEnc47", 409, 121, 330, 367},
    {"lEnc46", 409, 101, 246, 367},
    {"lBtn30", 315, 393, 244, 154},
    {"lBtn31", 315, 373, 329, 155},
    {"lBtn18", 700, 58, 578, 9},
    {"lEnc26", 700, 78, 578, 86},
    {"lEnc25", 700, 38, 495, 86},
    {"lEnc24", 700, 98, 410, 86},
    {"lBtn16", 700, 118, 410, 9},
    {"lEnc27", 700, 142, 663, 86},
    {"lEnc67", 124, 652, 666, 657},
    {"lBtn40", 409, 141, 413, 214},
    {"lBtn41", 487, 302, 499, 214},
    {"lBtn42", 811, 301, 582, 214},
};

} // namespace

const TParamDesign &ParamDesign(int row) { return kDesign[row]; }
