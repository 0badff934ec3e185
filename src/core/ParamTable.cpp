#include "core/ParamTable.h"

namespace {

// The domain's row of a table row: its parameter number, except for the
// row without a control (whose parameter number is 0).
int DomainRow(const TCcParam &row) { return row.Controller == 0 ? dw::UnusedRow : row.ParamNo; }

void ShowValue(const TCcParam &row)
{
    if (row.ValueLabel != nullptr)
        row.ValueLabel->SetCaption(DisplayText(row));
}

} // namespace

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
        p.ValueLabel = findLabel ? findLabel(ParamDesign(i).LabelName) : nullptr;
        p.BcrLeft = ParamDesign(i).BcrLeft;
        p.BcrTop = ParamDesign(i).BcrTop;
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

std::string DisplayText(const TCcParam &row) { return dw::DisplayText(DomainRow(row), row.Value); }

void SetFromController(TCcParam &row, int v)
{
    row.Value = v;
    ShowValue(row);
}

void SetFromDump(TCcParam &row, unsigned char b)
{
    row.Value = dw::ValueFromDump(DomainRow(row), b);
    ShowValue(row);
}

int FindControllerRow(const TParamTable &, int channel, int controller) { return dw::FindControllerRow(channel, controller); }
