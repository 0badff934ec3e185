#pragma once
// New values for a patch drawn at random: the random patch (each row anywhere
// in its random range) and the mutation (each row a small step away from
// where it is). Both leave locked rows and the row without a parameter
// exactly as they are. The random source is the caller's, so that a test
// can choose every draw.
// Thread: any; pure functions.

#include "dw/Patch.h"

#include <bitset>
#include <functional>
#include <string>

namespace dw {

// The rows the user locked: a random patch or a mutation never changes them.
using TLockSet = std::bitset<ParamCount>;

// A uniformly drawn integer from lo to hi inclusive (lo <= hi).
using TPick = std::function<int(int lo, int hi)>;

// Every unlocked live row drawn from 0..RandomMax, in row order (one draw per
// such row); the other rows keep their values.
TPatch RandomValues(const TPatch &current, const TLockSet &locks, const TPick &pick);

// Every unlocked live row moved by a small step within 0..MaxValue: a row
// with value names to a neighbouring name, another row by 1 to about a tenth
// of its range, up or down (down where up leaves the range, and the other
// way round). A value outside the range is first brought into it.
TPatch MutateValues(const TPatch &current, const TLockSet &locks, const TPick &pick);

// The largest step a mutation takes on the row (1 for a row with names).
int MutateStep(int row);

// The locks as kept in the settings file: the locked row numbers in
// ascending order, separated by commas ("15,20,36"); "" when none.
std::string LocksToText(const TLockSet &locks);
// The reverse; anything that is not a live row number is skipped.
TLockSet LocksFromText(const std::string &text);

} // namespace dw
