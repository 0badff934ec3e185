#pragma once
// The main window's parameter table: one row per DW-8000 parameter number
// 0..50, built from the domain's definitions (ranges, masks and names come
// from there only) with the window's own data beside them: the label that
// shows the value and the label's places on the two pages.
// Thread: the user-interface thread only (like every window object).

#include "core/Layout.h"
#include "dw/Params.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// What a row needs of the label that shows its value. The row refers to it
// without owning it; a row without a label shows nothing.
class TValueLabel {
public:
    virtual ~TValueLabel() = default;
    virtual void SetCaption(const std::string &text) = 0;
    virtual int Left() const = 0;
    virtual int Top() const = 0;
};

struct TCcParam {
    int ParamNo = 0;
    int Value = 0;
    int Channel = 0;
    int Controller = 0;
    int EnvSlot = -1;  // -1 none; 0..6 amplifier graph slot; 10..16 filter graph slot + 10
    TValueLabel *ValueLabel = nullptr;
    int BcrLeft = 0;
    int BcrTop = 0;
    int DiagLeft = 0;
    int DiagTop = 0;
    int DumpMask = 31;
    int MaxValue = 31;
    int RandomMax = 31;
    std::vector<std::string> ValueNames;
};

using dw::IsLiveRow;
using dw::ParamCount;
using dw::RandomPatchController;
using dw::UnusedRow;

using TParamTable = std::array<TCcParam, ParamCount>;

// Fills the table as the main window does at creation. findLabel maps a
// label name to the window's label (or nullptr); it may be empty.
void BuildParams(TParamTable &params,
                 const std::function<TValueLabel *(const std::string &)> &findLabel = {});

// The row's display text for its current Value (dw::DisplayText): its value
// name, or the decimal number when it has none or the value lies beyond them.
std::string DisplayText(const TCcParam &row);

// A controller data byte (or random value) taken as it is, then shown.
void SetFromController(TCcParam &row, int v);

// A dump byte masked with DumpMask and clamped to MaxValue, then shown.
void SetFromDump(TCcParam &row, unsigned char b);

// Index of the live row whose channel and controller match, or -1
// (dw::FindControllerRow: the table is built from the same definitions).
int FindControllerRow(const TParamTable &params, int channel, int controller);
