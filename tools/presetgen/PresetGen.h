#pragma once
// The BCR2000 preset that makes the controller the editor's front panel,
// derived from the editor's parameter table so that the two cannot disagree.
// Everything here is a pure function of that table.
// Thread: any; nothing here keeps state.

#include <cstdint>
#include <string>
#include <vector>

namespace presetgen {

enum class ElementKind { Encoder, Button };

// One BCR2000 element, numbered as in its BCL script ($encoder N / $button N).
struct BcrElement {
    ElementKind Kind = ElementKind::Encoder;
    int Number = 0;

    bool operator==(const BcrElement &o) const { return Kind == o.Kind && Number == o.Number; }
};

enum class ButtonMode { None, Step, Toggle, Momentary };

// How one element is programmed.
struct ElementProgram {
    BcrElement Element;
    int Row = -1;          // parameter row, or -1 for the random-patch button and the user keys
    int Controller = 0;
    int MaxValue = 0;      // the range is 0..MaxValue
    ButtonMode Mode = ButtonMode::None;  // None for encoders
};

// The element whose control change the editor expects on `controller`:
// controllers 12-19 are the pushes of the top encoders (buttons 1-8), 20-27
// the top encoders, 28-35 and 36-43 the two button rows (33-40, 41-48), and
// 44-51, 52-59, 60-67 the three encoder rows (33-40, 41-48, 49-56).
// Returns false for a controller outside 12..67.
bool ElementForController(int controller, BcrElement &element);

// "encoder 33", "button 48".
std::string ElementName(const BcrElement &element);

// Every programmed element: one per live table row and the random-patch
// button in controller order, then the user keys undo, redo and mutate.
std::vector<ElementProgram> PresetElements();

// The BCL script, one line per entry, from "$rev R1" to "$end". It programs
// the unit's temporary preset only (no $store).
std::vector<std::string> PresetScript();

// One BCL line as the sysex message F0 00 20 32 7F 15 20 hi lo <text> F7.
// Throws std::invalid_argument for text outside ASCII 32..127 or an index
// beyond 14 bits.
std::vector<std::uint8_t> BclMessage(int index, const std::string &line);

// The whole preset file: every script line as a message, back to back.
std::vector<std::uint8_t> PresetFile();

// A Markdown table of what each control does, for the README.
std::string MarkdownTable();

} // namespace presetgen
