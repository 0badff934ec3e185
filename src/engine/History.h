#pragma once
// THistory: the history of the edited values, for undo and redo. Each step
// keeps only the rows it changed, each with its value before and after, so
// a controller move costs a few bytes and a whole new patch some 150. It
// holds the last Capacity steps: past that the oldest step is dropped, so
// memory stays flat however long the session. Nothing but the end of the
// process clears it; a new step after undos drops the steps that could have
// been redone.
//
// The moves of one row on the controller are one gesture, one step: a move
// joins the step before it while that step is a move of the same row (or a
// step its first move opened) and the row rested less than GestureRest.
// The clock is injected so that a test can make the rest pass.
//
// Undo and redo only tell which rows take which values: sending them is the
// editor's business. A program written on the synthesizer is not undone;
// the history notes the write against the step it wrote, so that the window
// can say so.
// Thread: the user-interface thread (plain data, no locking).

#include "dw/Patch.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace engine {

enum class TStepKind : std::uint8_t {
    Move,        // a gesture on the controller
    Random,      // a random patch
    Mutate,      // a mutation
    Fetch,       // a patch fetched from the synthesizer
    Load,        // a patch loaded from a file or a bank
    CompareEdit, // a move while comparing: the edits set aside are replaced
};

// "controller move", "random patch", ... for the window's notes.
const char *StepName(TStepKind kind);

struct TRowChange {
    std::uint8_t Row;
    std::uint8_t Before;
    std::uint8_t After;
};

struct TStep {
    TStepKind Kind;
    std::int8_t WrittenProgram = -1; // the program (0..63) last written while this step was the latest, or -1
    std::vector<TRowChange> Changes; // in row order
};

// What an undo or redo restores.
struct TRestore {
    TStepKind Kind;
    std::vector<std::pair<int, int>> Rows; // row, value to take
    int WrittenProgram = -1;               // the write this undo leaves as it is, or -1
};

class THistory {
public:
    using TClock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::size_t Capacity = 10000;
    static constexpr std::chrono::milliseconds GestureRest{1000};

    explicit THistory(TClock clock = &std::chrono::steady_clock::now);

    // A step from `before` to `after` (the rows that differ); nothing when no
    // row differs. It ends the gesture under way; when gestureRow is a row,
    // the new step opens a gesture of that row.
    void Record(TStepKind kind, const dw::TPatch &before, const dw::TPatch &after, int gestureRow = -1);
    // A controller move of one row from `before` to `after`.
    void RecordMove(int row, int before, int after);
    // A program was written with the values as they now are.
    void NoteWrite(int program);

    bool CanUndo() const { return FDone > 0; }
    bool CanRedo() const { return FDone < FSteps.size(); }
    std::size_t UndoCount() const { return FDone; }
    std::size_t RedoCount() const { return FSteps.size() - FDone; }
    // The step an undo / a redo would restore, or null.
    const TStep *NextUndo() const { return CanUndo() ? &FSteps[FDone - 1] : nullptr; }
    const TStep *NextRedo() const { return CanRedo() ? &FSteps[FDone] : nullptr; }

    // The values before the latest step, which is then redone by Redo.
    std::optional<TRestore> Undo();
    std::optional<TRestore> Redo();

    // Bytes held by the steps (what a step costs, for the benchmark).
    std::size_t Bytes() const;

private:
    void Push(TStep step);
    void EndGesture() { FGestureRow = -1; }

    TClock FClock;
    std::deque<TStep> FSteps;
    std::size_t FDone = 0;  // steps applied; the ones after them can be redone
    int FGestureRow = -1;   // the row whose gesture the latest step is, or -1
    std::chrono::steady_clock::time_point FLastMove;
};

} // namespace engine
