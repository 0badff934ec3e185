#pragma once
// A program as it travels and as files keep it: the 51 data bytes of a dump.
// The editor's patch (TPatch) holds the values of the rows it shows; a data
// block also keeps the byte the editor has no row for (parameter 14), so that
// a program read and written again stays the same byte for byte.
// Thread: any; pure functions.

#include "dw/Messages.h"
#include "dw/Patch.h"

#include <string>
#include <vector>

namespace dw {

// The parameter's name as the DW-8000's panel and manual call it.
const char *ParamName(int row);

// The values the editor takes from a block, exactly as from a received dump.
TPatch PatchFromBlock(const TDataBlock &block);

// The patch's values in a block; the byte without a row comes from `base`.
TDataBlock BlockFromPatch(const TPatch &patch, const TDataBlock &base);

// Live rows whose byte lies above the parameter's range (the unit keeps only
// the parameter's bits, and a value past its maximum does not sound right).
std::vector<int> RowsOutOfRange(const TDataBlock &block);

// The block with every value brought into its range, as the editor reads a
// dump; the byte without a row is kept.
TDataBlock FitToRanges(const TDataBlock &block);

// "11".."88" for 0..63.
std::string ProgramText(int index);

} // namespace dw
