#include "PresetGen.h"

#include "dw/Params.h"

#include <algorithm>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace presetgen {

namespace {

constexpr int MidiChannel = 1;  // the table's channel 0, as BCL numbers channels
constexpr const char *PresetName = "Korg DW-8000 Tavrelk";

struct ControllerBlock {
    int FirstController;
    ElementKind Kind;
    int FirstElement;
};

// The BCR2000's rows in the order of the table's controller numbers.
constexpr ControllerBlock kBlocks[] = {
    {12, ElementKind::Button, 1},   // pushes of the top encoders
    {20, ElementKind::Encoder, 1},  // top encoders, group 1
    {28, ElementKind::Button, 33},  // upper button row
    {36, ElementKind::Button, 41},  // lower button row
    {44, ElementKind::Encoder, 33},
    {52, ElementKind::Encoder, 41},
    {60, ElementKind::Encoder, 49},
};

ButtonMode ModeForRange(int maxValue) { return maxValue == 1 ? ButtonMode::Toggle : ButtonMode::Step; }

// Steps per turn: a short range needs fewer steps per turn to stay usable.
const char *Resolution(int maxValue) { return maxValue <= 20 ? "24 48 96 192" : "96 192 384 768"; }

void AppendElement(std::vector<std::string> &lines, const ElementProgram &p)
{
    const std::string head = ".easypar CC " + std::to_string(MidiChannel) + " " + std::to_string(p.Controller) + " ";
    if (p.Element.Kind == ElementKind::Encoder) {
        lines.push_back("$encoder " + std::to_string(p.Element.Number));
        lines.push_back("  " + head + "0 " + std::to_string(p.MaxValue) + " absolute");
        lines.push_back("  .showvalue on");
        lines.push_back("  .mode 1dot");
        lines.push_back(std::string("  .resolution ") + Resolution(p.MaxValue));
        lines.push_back("  .default 0");
        return;
    }
    lines.push_back("$button " + std::to_string(p.Element.Number));
    switch (p.Mode) {
    case ButtonMode::Step:
        // value1 is the top of the range: a press past it wraps to value2 (0).
        lines.push_back("  " + head + std::to_string(p.MaxValue) + " 0 increment 1");
        lines.push_back("  .showvalue on");
        lines.push_back("  .default " + std::to_string(p.MaxValue));
        break;
    case ButtonMode::Toggle:
        lines.push_back("  " + head + "1 0 toggleon");
        lines.push_back("  .showvalue on");
        break;
    case ButtonMode::Momentary:
        lines.push_back("  " + head + "1 0 toggleoff");
        lines.push_back("  .showvalue on");
        break;
    case ButtonMode::None:
        break;
    }
}

// The user keys at the lower right, momentary, each pressed for an action
// that belongs to no row.
struct UserKey {
    int Button;
    int Controller;
    const char *Action;
    const char *Effect;
};
constexpr UserKey kUserKeys[] = {
    {49, dw::UndoController, "Undo", "undoes the last change (as Ctrl+Z); lit while there is one to undo"},
    {50, dw::RedoController, "Redo", "redoes the change last undone (as Ctrl+Y); lit while there is one"},
    {51, dw::MutateController, "Mutate",
     "moves every unlocked parameter a small random step (as Ctrl+M)"},
};

// Where a user finds the element on the unit.
std::string Location(const BcrElement &e)
{
    const int column = (e.Number - 1) % 8 + 1;
    const std::string n = std::to_string(column);
    if (e.Kind == ElementKind::Button && e.Number >= 49 && e.Number <= 52)
        return "user key " + std::to_string(e.Number - 48) + " (lower right)";
    if (e.Kind == ElementKind::Button)
        return e.Number <= 8 ? "top knob " + n + ", pushed" : (e.Number <= 40 ? "upper button " : "lower button ") + n;
    if (e.Number <= 8)
        return "top knob " + n;
    return "knob row " + std::to_string((e.Number - 33) / 8 + 1) + ", knob " + n;
}

std::string Range(int maxValue) { return "0-" + std::to_string(maxValue); }

std::string ValueList(const dw::TParamDef &row)
{
    std::string s;
    if (row.Names == nullptr)
        return s;
    for (int v = 0; v <= row.MaxValue && std::size_t(v) < row.Names->size(); ++v) {
        if (!s.empty())
            s += ", ";
        std::string name = (*row.Names)[std::size_t(v)];
        const auto first = name.find_first_not_of(' ');
        s += first == std::string::npos ? name : name.substr(first);
    }
    return s;
}

} // namespace

bool ElementForController(int controller, BcrElement &element)
{
    for (auto b = std::rbegin(kBlocks); b != std::rend(kBlocks); ++b) {
        if (controller >= b->FirstController) {
            const int offset = controller - b->FirstController;
            if (offset >= 8)
                return false;
            element = {b->Kind, b->FirstElement + offset};
            return true;
        }
    }
    return false;
}

std::string ElementName(const BcrElement &element)
{
    return (element.Kind == ElementKind::Encoder ? "encoder " : "button ") + std::to_string(element.Number);
}

std::vector<ElementProgram> PresetElements()
{
    std::vector<ElementProgram> elements;
    for (int controller = 0; controller < 128; ++controller) {
        BcrElement element;
        if (!ElementForController(controller, element))
            continue;
        const int row = dw::FindControllerRow(0, controller);
        if (row >= 0) {
            const int max = dw::ParamDef(row).MaxValue;
            const ButtonMode mode = element.Kind == ElementKind::Button ? ModeForRange(max) : ButtonMode::None;
            elements.push_back({element, row, controller, max, mode});
        } else if (controller == dw::RandomPatchController) {
            elements.push_back({element, -1, controller, 1, ButtonMode::Momentary});
        }
    }
    for (const UserKey &k : kUserKeys)
        elements.push_back({{ElementKind::Button, k.Button}, -1, k.Controller, 1, ButtonMode::Momentary});
    return elements;
}

std::vector<std::string> PresetScript()
{
    std::vector<std::string> lines = {
        "$rev R1",
        "$preset",
        std::string("  .name '") + PresetName + "'",
        "  .snapshot off",
        "  .request off",
        // One encoder group: the group keys cannot switch the top row away
        // to encoders that send nothing.
        "  .egroups 1",
        "  .fkeys on",
        "  .lock off",
        "  .init",
    };
    for (const ElementProgram &p : PresetElements())
        AppendElement(lines, p);
    lines.push_back("$end");
    return lines;
}

std::vector<std::uint8_t> BclMessage(int index, const std::string &line)
{
    if (index < 0 || index > 0x3FFF)
        throw std::invalid_argument("BCL message index out of range");
    std::vector<std::uint8_t> m = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20,
                                   std::uint8_t(index >> 7), std::uint8_t(index & 0x7F)};
    for (const char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 32 || b > 127)
            throw std::invalid_argument("BCL text holds a character outside 32..127");
        m.push_back(b);
    }
    m.push_back(0xF7);
    return m;
}

std::vector<std::uint8_t> PresetFile()
{
    std::vector<std::uint8_t> file;
    const std::vector<std::string> script = PresetScript();
    for (std::size_t i = 0; i < script.size(); ++i) {
        const std::vector<std::uint8_t> m = BclMessage(int(i), script[i]);
        file.insert(file.end(), m.begin(), m.end());
    }
    return file;
}

std::string MarkdownTable()
{
    std::ostringstream out;
    out << "| Control | BCL element | CC | Parameter | Action | Values |\n";
    out << "|---|---|---|---|---|---|\n";
    for (const ElementProgram &p : PresetElements()) {
        out << "| " << Location(p.Element) << " | " << ElementName(p.Element) << " | " << p.Controller << " | ";
        if (p.Row < 0) {
            const auto key = std::find_if(std::begin(kUserKeys), std::end(kUserKeys),
                                          [&](const UserKey &k) { return k.Controller == p.Controller; });
            if (key == std::end(kUserKeys))
                out << "Random patch | press | every unlocked parameter gets a random value |\n";
            else
                out << key->Action << " | press | " << key->Effect << " |\n";
            continue;
        }
        const dw::TParamCaption &caption = dw::ParamCaption(p.Row);
        out << caption.Section << ": " << caption.Name << " | ";
        switch (p.Mode) {
        case ButtonMode::None: out << "turn"; break;
        case ButtonMode::Step: out << "press to step, wraps to the first"; break;
        case ButtonMode::Toggle: out << "press to toggle"; break;
        case ButtonMode::Momentary: out << "press"; break;
        }
        const std::string names = ValueList(dw::ParamDef(p.Row));
        out << " | " << (names.empty() ? Range(p.MaxValue) : names) << " |\n";
    }
    return out.str();
}

} // namespace presetgen
