#include "core/Layout.h"

#include "core/ParamTable.h"

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
    for (int i = 0; i < ParamCount; ++i) {
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
