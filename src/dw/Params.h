#pragma once
// The DW-8000's 51 parameters as the editor knows them: the controller that
// moves each, its range, the mask of its dump byte, its value names and its
// caption. No pixels and no labels: the windows build their rows from these
// definitions.
// Rows are addressed by DW-8000 parameter number 0..50.
// Thread: any; everything here is constant data and pure functions.

#include <string>
#include <vector>

namespace dw {

constexpr int ParamCount = 51;
// Parameter 14 has no control: it takes no part in controller matching, the
// echo after a fetch or the random patch.
constexpr int UnusedRow = 14;
// Controller 43 value 1, matching no row, is the random-patch button.
constexpr int RandomPatchController = 43;
// The user keys at the BCR2000's lower right: undo, redo and mutate, each
// acting on value 1 (pressed). The editor sets the undo and redo keys' lights
// (value 1 lit) to show whether there is something to undo or redo.
constexpr int UndoController = 68;
constexpr int RedoController = 69;
constexpr int MutateController = 70;

constexpr bool IsLiveRow(int row) { return row != UnusedRow; }

struct TParamDef {
    int ParamNo;      // parameter number in messages; 0 for the unused row
    int Channel;      // the controller's MIDI channel 0..15 for this row
    int Controller;   // controller number on that channel; 0 for the unused row
    int EnvSlot;      // -1 none; 0..6 amplifier graph slot; 10..16 filter graph slot + 10
    int DumpMask;     // applied to the dump byte
    int MaxValue;     // a dump value above it is clamped to it
    int RandomMax;    // a random patch draws 0..RandomMax
    const std::vector<std::string> *Names;  // value names, or nullptr
};

// Definition of row 0..50.
const TParamDef &ParamDef(int row);

// Offset of the row's value in a 57-byte dump (header of 5 bytes first).
inline int DumpOffset(int row) { return ParamDef(row).ParamNo + 5; }

// A dump byte masked with DumpMask, then clamped to MaxValue.
int ValueFromDump(int row, unsigned char b);

// The name of the value, or its decimal number when the row has no names or
// the value lies beyond them.
std::string DisplayText(int row, int value);

// The live row moved by this controller on this channel, or -1.
int FindControllerRow(int channel, int controller);

// The synthesizer's own words for a row: the section of its panel and the
// parameter within it, e.g. "Oscillator 1", "Octave"; empty for the unused row.
struct TParamCaption {
    const char *Section;
    const char *Name;
};
const TParamCaption &ParamCaption(int row);

} // namespace dw
