#include "dw/Variation.h"

#include <gtest/gtest.h>

#include <random>

using namespace dw;

namespace {

struct Draws { // from a seeded generator, counted
    std::mt19937 gen{7};
    int count = 0;
    TPick Pick()
    {
        return [this](int lo, int hi) {
            ++count;
            return std::uniform_int_distribution<int>(lo, hi)(gen);
        };
    }
};

TPatch Middle()
{
    TPatch p;
    for (int row = 0; row < ParamCount; ++row)
        p[row] = ParamDef(row).MaxValue / 2;
    return p;
}

TEST(Variation, NothingLockedTheRandomPatchDrawsEachLiveRowOnceInItsRandomRange)
{
    TPatch before = Middle();
    before[UnusedRow] = 9;
    Draws d;
    // The extremes of every draw: all lows, then all highs.
    const TPatch low = RandomValues(before, {}, [](int lo, int) { return lo; });
    const TPatch high = RandomValues(before, {}, [](int, int hi) { return hi; });
    for (int row = 0; row < ParamCount; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(low[row], IsLiveRow(row) ? 0 : 9);
        EXPECT_EQ(high[row], IsLiveRow(row) ? ParamDef(row).RandomMax : 9);
    }
    EXPECT_EQ(high[36], 3); // MG delay stays short
    RandomValues(before, {}, d.Pick());
    EXPECT_EQ(d.count, ParamCount - 1);
}

TEST(Variation, LockedRowsKeepTheirValuesThroughRandomAndMutate)
{
    TLockSet locks;
    for (const int row : {0, 15, 36, 50})
        locks.set(std::size_t(row));
    TPatch before = Middle();
    before[15] = 100; // a controller value beyond the range stays as it is too
    Draws d;
    for (int round = 0; round < 200; ++round) {
        const TPatch r = RandomValues(before, locks, d.Pick());
        const TPatch m = MutateValues(before, locks, d.Pick());
        for (const int row : {0, 15, 36, 50, UnusedRow}) {
            ASSERT_EQ(r[row], before[row]) << "random, row " << row;
            ASSERT_EQ(m[row], before[row]) << "mutate, row " << row;
        }
    }
}

TEST(Variation, MutationMovesEveryUnlockedRowAStepOfAtMostATenthAndStaysInRange)
{
    Draws d;
    for (const int start : {0, 1, 2, 14, 31, 63, 127}) { // edges, a middle, beyond every range
        TPatch before;
        for (int row = 0; row < ParamCount; ++row)
            before[row] = start;
        for (int round = 0; round < 100; ++round) {
            const TPatch after = MutateValues(before, {}, d.Pick());
            for (int row = 0; row < ParamCount; ++row) {
                if (!IsLiveRow(row))
                    continue;
                const TParamDef &def = ParamDef(row);
                const int from = std::min(start, def.MaxValue);
                SCOPED_TRACE("row " + std::to_string(row) + " from " + std::to_string(start));
                ASSERT_GE(after[row], 0);
                ASSERT_LE(after[row], def.MaxValue);
                ASSERT_NE(after[row], from);
                ASSERT_LE(std::abs(after[row] - from), def.Names ? 1 : std::max(1, (def.MaxValue + 5) / 10));
            }
        }
    }
}

TEST(Variation, MutationStepsAreATenthOfTheRangeAndNamesStepToANeighbour)
{
    using Steps = std::initializer_list<std::pair<int, int>>; // row, step
    for (const auto &[row, step] :
         Steps{{15, 6}, {2, 3}, {43, 2}, {26, 1}, {39, 1}, {11, 1}, {1, 1}, {10, 1}, {0, 1}, {48, 1}})
        EXPECT_EQ(MutateStep(row), step) << "row " << row;
    TPatch p;
    p[10] = 4; // Interval at its top name
    EXPECT_EQ(MutateValues(p, {}, [](int, int hi) { return hi; })[10], 3);
}

TEST(Variation, LocksReadBackAsWrittenAndJunkIsSkipped)
{
    EXPECT_EQ(LocksToText(TLockSet().set(0).set(15).set(50)), "0,15,50");
    const struct {
        const char *text;
        const char *read;
    } cases[] = {
        {"", ""},       {"0,15,50", "0,15,50"}, {" 15 , 20", "15,20"}, {"14,51,99,-1,7x,,3", "3"},
        {"015,5", "5"}, {"abc", ""},            {"20,20", "20"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(LocksToText(LocksFromText(c.text)), c.read) << c.text;
}

} // namespace
