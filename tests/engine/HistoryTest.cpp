#include "engine/History.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using engine::THistory;
using engine::TStepKind;
using Rows = std::vector<std::pair<int, int>>;

namespace {

struct HistoryTest : ::testing::Test {
    std::chrono::steady_clock::time_point now{};
    THistory history{[this] { return now; }};

    static dw::TPatch With(std::initializer_list<std::pair<int, int>> values)
    {
        dw::TPatch p;
        for (const auto &[row, v] : values)
            p[row] = v;
        return p;
    }
    Rows UndoRows() { return history.Undo().value().Rows; }
    Rows RedoRows() { return history.Redo().value().Rows; }
};

TEST_F(HistoryTest, AStepRestoresOnlyTheRowsItChangedBothWays)
{
    history.Record(TStepKind::Random, With({{2, 5}, {15, 40}}), With({{2, 9}, {15, 40}, {20, 3}}));
    ASSERT_EQ(history.UndoCount(), 1u);
    EXPECT_EQ(history.NextUndo()->Kind, TStepKind::Random);
    EXPECT_EQ(UndoRows(), (Rows{{2, 5}, {20, 0}}));
    EXPECT_FALSE(history.CanUndo());
    EXPECT_FALSE(history.Undo());
    EXPECT_EQ(RedoRows(), (Rows{{2, 9}, {20, 3}}));
    EXPECT_FALSE(history.Redo());
    history.Undo();
    history.Record(TStepKind::Fetch, With({{3, 1}}), With({{3, 1}})); // changes nothing: no step
    history.RecordMove(15, 20, 20);
    EXPECT_FALSE(history.CanUndo());
    EXPECT_TRUE(history.CanRedo());
}

TEST_F(HistoryTest, MovesOfOneRowAreOneGestureUntilAnotherRowMovesOrItRests)
{
    history.RecordMove(15, 10, 11);
    now += 900ms;
    history.RecordMove(15, 11, 12); // within the rest: same gesture
    now += 900ms;
    history.RecordMove(15, 12, 14);
    ASSERT_EQ(history.UndoCount(), 1u);
    history.RecordMove(16, 0, 1); // another row: a new step
    history.RecordMove(15, 14, 15); // and the first row again: another one
    ASSERT_EQ(history.UndoCount(), 3u);
    now += 1000ms; // rested a second
    history.RecordMove(15, 15, 16);
    ASSERT_EQ(history.UndoCount(), 4u);

    EXPECT_EQ(UndoRows(), (Rows{{15, 15}}));
    EXPECT_EQ(UndoRows(), (Rows{{15, 14}}));
    EXPECT_EQ(UndoRows(), (Rows{{16, 0}}));
    EXPECT_EQ(UndoRows(), (Rows{{15, 10}}));
}

TEST_F(HistoryTest, AGestureBackWhereItStartedLeavesNoStep)
{
    history.RecordMove(2, 0, 7);
    history.RecordMove(15, 10, 12);
    history.RecordMove(15, 12, 10);
    ASSERT_EQ(history.UndoCount(), 1u);
    history.RecordMove(15, 10, 11); // a new gesture, not joined to the move of row 2
    EXPECT_EQ(UndoRows(), (Rows{{15, 10}}));
    EXPECT_EQ(UndoRows(), (Rows{{2, 0}}));
}

TEST_F(HistoryTest, AMoveAfterAnUndoStartsAFreshStepAndDropsTheRedo)
{
    history.RecordMove(15, 10, 20);
    history.Record(TStepKind::Random, With({{2, 1}}), With({{2, 2}}));
    history.Undo();
    ASSERT_TRUE(history.CanRedo());
    history.RecordMove(15, 20, 21); // same row as the step now latest, but after an undo
    EXPECT_FALSE(history.CanRedo());
    ASSERT_EQ(history.UndoCount(), 2u);
    EXPECT_EQ(UndoRows(), (Rows{{15, 20}}));
    EXPECT_EQ(UndoRows(), (Rows{{15, 10}}));
}

TEST_F(HistoryTest, AStepOpeningAGestureTakesTheRowsFurtherMoves)
{
    // A move while comparing replaces the edits set aside: one step with
    // the rows that differ, to which the moves that follow belong.
    history.Record(TStepKind::CompareEdit, With({{2, 5}, {15, 30}}), With({{15, 31}}), 15);
    history.RecordMove(15, 31, 35);
    history.RecordMove(20, 0, 4); // ends it
    ASSERT_EQ(history.UndoCount(), 2u);
    history.Undo();
    const auto r = history.Undo();
    EXPECT_EQ(r->Kind, TStepKind::CompareEdit);
    EXPECT_EQ(r->Rows, (Rows{{2, 5}, {15, 30}}));
    EXPECT_EQ(RedoRows(), (Rows{{2, 0}, {15, 35}}));
}

TEST_F(HistoryTest, AWriteIsNamedByTheUndoThatLeavesItsValues)
{
    history.RecordMove(15, 0, 5);
    history.Record(TStepKind::Load, With({}), With({{3, 2}}));
    history.NoteWrite(12);
    EXPECT_EQ(history.Undo()->WrittenProgram, 12);
    EXPECT_EQ(history.Undo()->WrittenProgram, -1);
}

TEST_F(HistoryTest, PastTheCapacityTheOldestStepsGoAndMemoryStaysFlat)
{
    dw::TPatch a, b;
    for (int row = 0; row < dw::ParamCount; ++row)
        b[row] = 1;
    for (std::size_t i = 0; i < THistory::Capacity; ++i)
        history.Record(TStepKind::Random, i % 2 ? b : a, i % 2 ? a : b);
    const std::size_t full = history.Bytes();
    for (std::size_t i = 0; i < 500; ++i)
        history.RecordMove(int(i % 50), 0, 1 + int(i % 2));
    history.Record(TStepKind::Random, a, b);
    EXPECT_EQ(history.UndoCount(), THistory::Capacity);
    EXPECT_LE(history.Bytes(), full);
    std::size_t undone = 0;
    while (history.Undo())
        ++undone;
    EXPECT_EQ(undone, THistory::Capacity);
}

} // namespace
