#include "ArtworkGeometry.h"

#include "ArtworkPaint.h"

#include "core/Layout.h"
#include "dw/Params.h"

#include <QFontMetrics>
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace artwork {

namespace {

// Section headers and the shared pictures carry no value label, so the table
// cannot say where they belong.
struct NameSection {
    const char *label;
    const char *section;
};

constexpr NameSection kHeaderSections[] = {
    {"Label43", "Oscillator 1"},
    {"Label46", "Oscillator 2"},
    {"Label47", "Modulation generator"},
    {"Label1", "Mixer"},
    {"Label59", "Filter"},
    {"Label48", "Filter envelope"},
    {"Label7", "Amplifier"},
    {"Label49", "Amplifier envelope"},
    {"Label14", "Bend"},
    {"Label64", "Auto Bend"},
    {"Label53", "Delay"},
};

constexpr NameSection kPictureSections[] = {
    {"gOsc1", "Oscillator 1"},
    {"gOsc2", "Oscillator 2"},
    {"VCFadsr", "Filter envelope"},
    {"VCAadsr", "Amplifier envelope"},
};

QString HeaderSectionOf(const QString &label)
{
    for (const NameSection &h : kHeaderSections) {
        if (label == QLatin1String(h.label))
            return QString::fromLatin1(h.section);
    }
    throw std::logic_error("caption label without a section");
}

int RowOfLabel(const QString &labelName)
{
    for (int i = 0; i < dw::ParamCount; ++i) {
        if (labelName == QLatin1String(ParamDesign(i).LabelName))
            return i;
    }
    return -1;
}

// Boxes are chosen by hand around the window's fixed label places; the test
// checks that every label and picture falls inside its own box.
const std::vector<TSectionBox> kBoxes = {
    {"Oscillator 1", QRect(QPoint(28, 112), QPoint(222, 318))},
    {"Oscillator 2", QRect(QPoint(28, 335), QPoint(218, 582))},
    {"Modulation generator", QRect(QPoint(302, 10), QPoint(494, 164))},
    {"Mixer", QRect(QPoint(233, 186), QPoint(352, 300))},
    {"Filter", QRect(QPoint(386, 189), QPoint(578, 324))},
    {"Filter envelope", QRect(QPoint(397, 372), QPoint(591, 686))},
    {"Amplifier", QRect(QPoint(666, 256), QPoint(901, 324))},
    {"Amplifier envelope", QRect(QPoint(663, 369), QPoint(870, 639))},
    {"Bend", QRect(QPoint(239, 346), QPoint(377, 416))},
    {"Auto Bend", QRect(QPoint(224, 501), QPoint(361, 608))},
    {"Delay", QRect(QPoint(586, 10), QPoint(763, 166))},
    {"Voice", QRect(QPoint(24, 626), QPoint(206, 676))},
};

} // namespace

QString WidestValueText(int row)
{
    const QFont font = layout::ValueLabelFont();
    QString widest = QString::fromLatin1(ParamDesign(row).LabelName);
    int width = layout::TextWidth(font, widest);
    auto consider = [&](const QString &text) {
        const int w = layout::TextWidth(font, text);
        if (w > width) {
            width = w;
            widest = text;
        }
    };
    if (const std::vector<std::string> *names = dw::ParamDef(row).Names) {
        for (const std::string &name : *names)
            consider(QString::fromStdString(name));
    }
    for (int v = 0; v <= 127; ++v)
        consider(QString::number(v));
    return widest;
}

QRect WidestValueRect(int row, int left, int top)
{
    return layout::ValueLabelRect(left, top, WidestValueText(row));
}

std::vector<TPlacedItem> BlockPageItems()
{
    std::vector<TPlacedItem> items;
    const QFont captionFont = layout::CaptionLabelFont();
    for (const layout::TCaptionLabel &c : layout::CaptionLabels()) {
        const QString section = c.ValueLabel.isEmpty()
                                    ? HeaderSectionOf(c.Name)
                                    : QString::fromLatin1(dw::ParamCaption(RowOfLabel(c.ValueLabel)).Section);
        const QRect r(c.Left, c.Top, layout::TextWidth(captionFont, c.Caption), layout::CaptionLabelHeight);
        items.push_back({c.Name, section, r});
    }
    for (int row = 0; row < dw::ParamCount; ++row) {
        const TParamDesign &d = ParamDesign(row);
        if (d.LabelName[0] == '\0')
            continue;
        items.push_back({QString::fromLatin1(d.LabelName), QString::fromLatin1(dw::ParamCaption(row).Section),
                         WidestValueRect(row, d.DiagLeft, d.DiagTop)});
    }
    for (const NameSection &p : kPictureSections) {
        const layout::TSharedControl &c = layout::SharedControl(p.label);
        items.push_back({QString::fromLatin1(p.label), QString::fromLatin1(p.section),
                         QRect(c.DiagLeft, c.DiagTop, c.Width, c.Height)});
    }
    return items;
}

std::vector<QRect> BlockPageCovered()
{
    std::vector<QRect> covered;
    for (const TPlacedItem &item : BlockPageItems())
        covered.push_back(item.Rect);
    for (const layout::TSharedControl &c : layout::SharedControls())
        covered.emplace_back(c.DiagLeft, c.DiagTop, c.Width, c.Height);
    return covered;
}

const std::vector<TSectionBox> &SectionBoxes() { return kBoxes; }

const TSectionBox &SectionBox(const QString &section)
{
    for (const TSectionBox &b : kBoxes) {
        if (b.Section == section)
            return b;
    }
    throw std::logic_error("no box for section");
}


// ---- Block diagram lines and texts ----------------------------------------

const std::vector<TSignalLine> &SignalLines()
{
    static const std::vector<TSignalLine> lines = {
        // audio path
        {{{222, 140}, {258, 140}, {258, 186}}, true},   // Osc 1 -> mixer
        {{{218, 341}, {262, 341}, {262, 300}}, true},   // Osc 2 -> mixer
        {{{352, 250}, {386, 250}}, true},               // mixer -> filter
        {{{578, 290}, {666, 290}}, true},               // filter -> amplifier
        {{{720, 256}, {720, 166}}, true},               // amplifier -> delay
        {{{763, 88}, {800, 88}}, true},                 // delay -> out
        // modulation generator to both oscillators and the filter
        {{{302, 60}, {12, 60}, {12, 460}, {28, 460}}, true},
        {{{12, 215}, {28, 215}}, true},
        {{{450, 164}, {450, 189}}, true},
        // envelopes
        {{{540, 372}, {540, 324}}, true},
        {{{760, 369}, {760, 324}}, true},
        // bend and auto bend to both oscillators
        {{{239, 395}, {229, 395}}, false},
        {{{229, 501}, {229, 327}, {140, 327}, {140, 318}}, true},
        {{{140, 327}, {140, 335}}, true},
    };
    return lines;
}

const std::vector<QPoint> &SignalJunctions()
{
    static const std::vector<QPoint> dots = {{12, 215}, {229, 395}, {140, 327}};
    return dots;
}

std::vector<TArtText> BlockTexts()
{
    std::vector<TArtText> texts;
    const QFont caption = layout::CaptionLabelFont();
    constexpr int gap = 2; // as the window leaves between a caption and its value label
    const std::pair<const char *, const char *> mixerLevels[] = {{"lEnc48", "Osc 1"}, {"lEnc49", "Osc 2"}};
    for (const auto &[label, name] : mixerLevels) {
        const TParamDesign &d = ParamDesign(RowOfLabel(QString::fromLatin1(label)));
        const QString text = QString::fromLatin1(name);
        const int w = layout::TextWidth(caption, text);
        const int top = d.DiagTop + (layout::ValueLabelHeight - layout::CaptionLabelHeight) / 2;
        texts.push_back({text, caption, QRect(d.DiagLeft - gap - w, top, w, layout::CaptionLabelHeight), true});
    }
    const QFont out = ArtFont(13, true);
    texts.push_back({QStringLiteral("OUT"), out,
                     QRect(806, 80, layout::TextWidth(out, QStringLiteral("OUT")), 17)});
    const QFont title = ArtFont(20, true);
    const QString titleText = QStringLiteral("KORG DW-8000  voice");
    texts.push_back({titleText, title, QRect(28, 706, layout::TextWidth(title, titleText), 26)});
    const QFont sub = ArtFont(12, false);
    const QString subText = QStringLiteral("Tavrelk: BCR2000 front panel for the DW-8000");
    texts.push_back({subText, sub, QRect(28, 734, layout::TextWidth(sub, subText), 16)});
    return texts;
}

// ---- Controller picture -----------------------------------------------------

int RowOfController(int controller)
{
    for (int i = 0; i < dw::ParamCount; ++i) {
        if (dw::ParamDef(i).Controller == controller && ParamDesign(i).LabelName[0] != '\0')
            return i;
    }
    return -1;
}

int BcrColumnCentre(int column)
{
    int sum = 0;
    int count = 0;
    for (int first : {20, 44, 52, 60}) {
        const int row = RowOfController(first + column);
        if (row < 0)
            continue;
        const TParamDesign &d = ParamDesign(row);
        sum += WidestValueRect(row, d.BcrLeft, d.BcrTop).center().x();
        ++count;
    }
    return (sum + count / 2) / count;
}

int BcrRowTop(int firstController)
{
    int sum = 0;
    int count = 0;
    for (int cc = firstController; cc < firstController + 8; ++cc) {
        const int row = RowOfController(cc);
        if (row < 0)
            continue;
        sum += ParamDesign(row).BcrTop;
        ++count;
    }
    return (sum + count / 2) / count;
}

namespace {

constexpr int kPushRow = 12, kTopEncoderRow = 20, kUpperButtonRow = 28, kLowerButtonRow = 36;
constexpr int kEncoderRows[] = {44, 52, 60};
constexpr int kButtonWidth = 62, kButtonHeight = 24;
constexpr int kKnobRadius = 17, kPushKnobRadius = 15;

QFont NameFont() { return ArtFont(10, false); }

// Short section names: the long ones do not fit a column.
QString ShortSection(const QString &section)
{
    static const std::pair<const char *, const char *> names[] = {
        {"Oscillator 1", "Osc 1"}, {"Oscillator 2", "Osc 2"}, {"Modulation generator", "Mod Gen"},
        {"Filter envelope", "VCF Env"}, {"Amplifier envelope", "VCA Env"}, {"Filter", "VCF"},
        {"Amplifier", "VCA"}, {"Voice", ""},
    };
    for (const auto &n : names) {
        if (section == QLatin1String(n.first))
            return QString::fromLatin1(n.second);
    }
    return section;
}

QStringList NameLines(int controller)
{
    if (controller == dw::RandomPatchController)
        return {QStringLiteral("Random Patch")};
    const int row = RowOfController(controller);
    if (row < 0)
        return {};
    const dw::TParamCaption &caption = dw::ParamCaption(row);
    QStringList lines;
    const QString section = ShortSection(QString::fromLatin1(caption.Section));
    if (!section.isEmpty())
        lines << section;
    lines << QString::fromLatin1(caption.Name);
    return lines;
}

// Lines centred on x, one under the other from top.
void AddCentredLines(std::vector<TArtText> &out, const QStringList &lines, int x, int top, const QFont &font)
{
    const int height = QFontMetrics(font).height();
    for (const QString &line : lines) {
        const int w = layout::TextWidth(font, line);
        out.push_back({line, font, QRect(x - w / 2, top, w, height)});
        top += height;
    }
}

} // namespace

std::vector<TBcrControl> BcrControls()
{
    std::vector<TBcrControl> controls;
    const int pushTop = BcrRowTop(kPushRow);
    const int encTop = BcrRowTop(kTopEncoderRow);
    for (int c = 0; c < 8; ++c) {
        const QPoint centre(BcrColumnCentre(c), (pushTop + layout::ValueLabelHeight + encTop) / 2);
        constexpr int r = kPushKnobRadius + LedRingMargin;
        const QRect knob(centre.x() - r, centre.y() - r, 2 * r + 1, 2 * r + 1);
        controls.push_back({TBcrKind::PushEncoder, kTopEncoderRow + c, kPushRow + c, centre, knob});
    }
    for (int first : {kUpperButtonRow, kLowerButtonRow}) {
        const int top = BcrRowTop(first) - 2;
        for (int c = 0; c < 8; ++c) {
            const QRect face(BcrColumnCentre(c) - kButtonWidth / 2, top, kButtonWidth, kButtonHeight);
            controls.push_back({TBcrKind::Button, first + c, -1, face.center(), face});
        }
    }
    for (int first : kEncoderRows) {
        const int y = BcrRowTop(first) - 27;
        for (int c = 0; c < 8; ++c) {
            const QPoint centre(BcrColumnCentre(c), y);
            constexpr int r = kKnobRadius + LedRingMargin;
            const QRect knob(centre.x() - r, y - r, 2 * r + 1, 2 * r + 1);
            controls.push_back({TBcrKind::Encoder, first + c, -1, centre, knob});
        }
    }
    return controls;
}

std::vector<TArtText> BcrNameTexts()
{
    std::vector<TArtText> texts;
    const QFont font = NameFont();
    for (const TBcrControl &c : BcrControls()) {
        QStringList lines = NameLines(c.Controller);
        int top = 0;
        switch (c.Kind) {
        case TBcrKind::PushEncoder: {
            const QStringList push = NameLines(c.PushController);
            // A push encoder's two parameters share the column's section.
            if (!push.isEmpty())
                lines << push.last();
            top = BcrRowTop(kTopEncoderRow) + layout::ValueLabelHeight + 2;
            break;
        }
        case TBcrKind::Button:
            top = c.Body.bottom() + 2;
            break;
        case TBcrKind::Encoder:
            top = BcrRowTop(c.Controller - (c.Controller - 44) % 8) + layout::ValueLabelHeight + 2;
            break;
        }
        AddCentredLines(texts, lines, c.Centre.x(), top, font);
    }
    return texts;
}

std::vector<QRect> BcrPageCovered()
{
    std::vector<QRect> covered;
    for (int row = 0; row < dw::ParamCount; ++row) {
        const TParamDesign &d = ParamDesign(row);
        if (d.LabelName[0] != '\0')
            covered.push_back(WidestValueRect(row, d.BcrLeft, d.BcrTop));
    }
    for (const layout::TSharedControl &c : layout::SharedControls())
        covered.emplace_back(c.BcrLeft, c.BcrTop, c.Width, c.Height);
    return covered;
}

QRect OscillatorFrame() { return QRect(QPoint(790, 4), QPoint(938, 324)); }
QRect EnvelopeFrame() { return QRect(QPoint(737, 412), QPoint(938, 712)); }
QRect BcrMainBody() { return QRect(QPoint(4, 3), QPoint(733, 758)); }
QRect BcrKeyColumn() { return QRect(QPoint(700, 3), QPoint(786, 404)); }

std::vector<TArtText> BcrFrameTexts()
{
    std::vector<TArtText> texts;
    const QFont head = ArtFont(13, true);
    const QFont small = ArtFont(10, true);
    const int smallHeight = QFontMetrics(small).height();
    auto add = [&](const QString &text, const QFont &font, int left, int top, int height) {
        texts.push_back({text, font, QRect(left, top, layout::TextWidth(font, text), height)});
    };
    auto addRight = [&](const QString &text, const QFont &font, int right, int top, int height) {
        const int w = layout::TextWidth(font, text);
        texts.push_back({text, font, QRect(right - w, top, w, height)});
    };
    const layout::TSharedControl &osc1 = layout::SharedControl("gOsc1");
    const layout::TSharedControl &osc2 = layout::SharedControl("gOsc2");
    const layout::TSharedControl &vcf = layout::SharedControl("VCFadsr");
    const layout::TSharedControl &vca = layout::SharedControl("VCAadsr");
    const QRect of = OscillatorFrame();
    const QRect ef = EnvelopeFrame();
    add(QStringLiteral("Oscillators"), head, of.left() + 6, of.top() + 4, 18);
    addRight(QStringLiteral("Osc 1"), small, of.right() - 6, osc1.BcrTop - smallHeight - 2, smallHeight);
    addRight(QStringLiteral("Osc 2"), small, of.right() - 6, osc2.BcrTop - smallHeight - 2, smallHeight);
    add(QStringLiteral("Envelopes"), head, ef.left() + 6, ef.top() + 4, 18);
    addRight(QStringLiteral("VCF"), small, ef.right() - 6, vcf.BcrTop - smallHeight - 2, smallHeight);
    addRight(QStringLiteral("VCA"), small, ef.right() - 6, vca.BcrTop - smallHeight - 2, smallHeight);
    return texts;
}

namespace {

struct KeyBlock {
    const char *caption;
    int top;
    int rows;
    int perRow;
};

constexpr KeyBlock kKeyBlocks[] = {{"GROUP", 24, 2, 2}, {"STORE", 84, 1, 1}, {"LEARN", 112, 1, 1},
                                   {"EDIT", 140, 1, 1},  {"EXIT", 168, 1, 1},  {"PRESET", 206, 1, 2},
                                   {"USER", 252, 2, 2}};
constexpr int kKeyWidth = 18, kKeyHeight = 12, kKeyGap = 4;

int KeysLeft() { return BcrKeyColumn().right() - 2 * kKeyWidth - kKeyGap - 4; }

} // namespace

std::vector<QRect> BcrRightKeys()
{
    std::vector<QRect> keys;
    for (const KeyBlock &b : kKeyBlocks) {
        const int rowLeft = b.perRow == 2 ? KeysLeft() : KeysLeft() + (kKeyWidth + kKeyGap) / 2;
        for (int r = 0; r < b.rows; ++r) {
            for (int k = 0; k < b.perRow; ++k)
                keys.emplace_back(rowLeft + k * (kKeyWidth + kKeyGap), b.top + r * (kKeyHeight + 5), kKeyWidth,
                                  kKeyHeight);
        }
    }
    return keys;
}

std::vector<TArtText> BcrRightKeyTexts()
{
    std::vector<TArtText> texts;
    const QFont font = ArtFont(8, true);
    const int centre = KeysLeft() + kKeyWidth + kKeyGap / 2;
    for (const KeyBlock &b : kKeyBlocks) {
        const QString caption = QString::fromLatin1(b.caption);
        const int w = layout::TextWidth(font, caption);
        texts.push_back({caption, font, QRect(centre - w / 2, b.top - 12, w, 11)});
    }
    return texts;
}

std::vector<TArtText> BcrLogoTexts()
{
    const QFont logo = ArtFont(18, true);
    const QFont logoSmall = ArtFont(11, true);
    const QString name = QStringLiteral("BCR2000");
    const QString model = QStringLiteral("B-CONTROL ROTARY");
    const int bottom = BcrMainBody().bottom();
    return {{name, logo, QRect(20, bottom - 34, layout::TextWidth(logo, name), 24)},
            {model, logoSmall, QRect(120, bottom - 27, layout::TextWidth(logoSmall, model), 16)}};
}

} // namespace artwork
