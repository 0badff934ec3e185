#include "engine/History.h"

#include <algorithm>

namespace engine {

const char *StepName(TStepKind kind)
{
    switch (kind) {
    case TStepKind::Move: return "controller move";
    case TStepKind::Random: return "random patch";
    case TStepKind::Mutate: return "mutation";
    case TStepKind::Fetch: return "patch fetched";
    case TStepKind::Load: return "patch loaded";
    case TStepKind::CompareEdit: return "edit while comparing";
    }
    return "change";
}

THistory::THistory(TClock clock) : FClock(std::move(clock)) {}

void THistory::Push(TStep step)
{
    FSteps.erase(FSteps.begin() + std::ptrdiff_t(FDone), FSteps.end());
    step.Changes.shrink_to_fit();
    FSteps.push_back(std::move(step));
    if (FSteps.size() > Capacity)
        FSteps.pop_front();
    FDone = FSteps.size();
}

void THistory::Record(TStepKind kind, const dw::TPatch &before, const dw::TPatch &after, int gestureRow)
{
    EndGesture();
    TStep step{kind, -1, {}};
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (before[row] != after[row])
            step.Changes.push_back({std::uint8_t(row), std::uint8_t(before[row]), std::uint8_t(after[row])});
    }
    if (step.Changes.empty())
        return;
    Push(std::move(step));
    if (gestureRow >= 0) {
        FGestureRow = gestureRow;
        FLastMove = FClock();
    }
}

void THistory::RecordMove(int row, int before, int after)
{
    const auto now = FClock();
    const bool joins = FGestureRow == row && CanUndo() && !CanRedo() && now - FLastMove < GestureRest;
    FLastMove = now;
    if (!joins) {
        EndGesture();
        if (before == after)
            return;
        Push({TStepKind::Move, -1, {{std::uint8_t(row), std::uint8_t(before), std::uint8_t(after)}}});
        FGestureRow = row;
        return;
    }
    TStep &step = FSteps.back();
    auto it = std::find_if(step.Changes.begin(), step.Changes.end(), [row](const TRowChange &c) { return c.Row == row; });
    if (it == step.Changes.end()) {
        it = step.Changes.insert(std::lower_bound(step.Changes.begin(), step.Changes.end(), row,
                                                  [](const TRowChange &c, int r) { return c.Row < r; }),
                                 {std::uint8_t(row), std::uint8_t(before), std::uint8_t(after)});
    }
    it->After = std::uint8_t(after);
    if (it->After != it->Before)
        return;
    // Back where the gesture started: the row has no change to undo.
    step.Changes.erase(it);
    if (step.Changes.empty()) {
        FSteps.pop_back();
        FDone = FSteps.size();
        EndGesture();
    }
}

void THistory::NoteWrite(int program)
{
    if (CanUndo())
        FSteps[FDone - 1].WrittenProgram = std::int8_t(program);
}

std::optional<TRestore> THistory::Undo()
{
    EndGesture();
    if (!CanUndo())
        return std::nullopt;
    const TStep &step = FSteps[--FDone];
    TRestore r{step.Kind, {}, step.WrittenProgram};
    for (const TRowChange &c : step.Changes)
        r.Rows.emplace_back(c.Row, c.Before);
    return r;
}

std::optional<TRestore> THistory::Redo()
{
    EndGesture();
    if (!CanRedo())
        return std::nullopt;
    const TStep &step = FSteps[FDone++];
    TRestore r{step.Kind, {}, -1};
    for (const TRowChange &c : step.Changes)
        r.Rows.emplace_back(c.Row, c.After);
    return r;
}

std::size_t THistory::Bytes() const
{
    std::size_t bytes = 0;
    for (const TStep &s : FSteps)
        bytes += sizeof(TStep) + s.Changes.capacity() * sizeof(TRowChange);
    return bytes;
}

} // namespace engine
