#include "dw/Program.h"

namespace dw {
namespace {

const char *const kNames[ParamCount] = {
    "OSC 1 octave", "OSC 1 waveform", "OSC 1 level", "auto bend select", "auto bend mode",
    "auto bend time", "auto bend intensity", "OSC 2 octave", "OSC 2 waveform", "OSC 2 level",
    "OSC 2 interval", "OSC 2 detune", "noise level", "assign mode", "parameter no. memory",
    "VCF cutoff", "VCF resonance", "VCF keyboard tracking", "VCF EG polarity", "VCF EG intensity",
    "VCF EG attack", "VCF EG decay", "VCF EG break point", "VCF EG slope", "VCF EG sustain",
    "VCF EG release", "VCF velocity sensitivity", "VCA EG attack", "VCA EG decay", "VCA EG break point",
    "VCA EG slope", "VCA EG sustain", "VCA EG release", "VCA velocity sensitivity", "MG waveform",
    "MG frequency", "MG delay", "MG to OSC", "MG to VCF", "bend to OSC",
    "bend to VCF", "delay time", "delay factor", "delay feedback", "delay modulation frequency",
    "delay modulation intensity", "delay effect level", "portamento time", "aftertouch to OSC MG",
    "aftertouch to VCF", "aftertouch to VCA",
};

} // namespace

const char *ParamName(int row) { return row >= 0 && row < ParamCount ? kNames[row] : ""; }

TPatch PatchFromBlock(const TDataBlock &block)
{
    TPatch patch;
    for (int row = 0; row < ParamCount; ++row)
        patch[row] = ValueFromDump(row, block[std::size_t(DumpOffset(row) - 5)]);
    return patch;
}

TDataBlock BlockFromPatch(const TPatch &patch, const TDataBlock &base)
{
    TDataBlock block = base;
    for (int row = 0; row < ParamCount; ++row) {
        if (IsLiveRow(row))
            block[std::size_t(ParamDef(row).ParamNo)] = std::uint8_t(patch[row] & 0x7F);
    }
    return block;
}

std::vector<int> RowsOutOfRange(const TDataBlock &block)
{
    std::vector<int> rows;
    for (int row = 0; row < ParamCount; ++row) {
        if (IsLiveRow(row) && block[std::size_t(ParamDef(row).ParamNo)] > ParamDef(row).MaxValue)
            rows.push_back(row);
    }
    return rows;
}

TDataBlock FitToRanges(const TDataBlock &block)
{
    TDataBlock fitted = BlockFromPatch(PatchFromBlock(block), block);
    for (std::uint8_t &b : fitted)
        b &= 0x7F;
    return fitted;
}

std::string ProgramText(int index) { return std::to_string(ProgramNumber(index)); }

} // namespace dw
