// Undo and redo of every kind of step, from the keys and from the BCR2000's
// user keys, against the simulated units; locks.

#include "EditorFixture.h"

#include "core/EditActions.h"
#include "dw/Params.h"
#include "engine/History.h"

#include <QAction>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>
#include <map>
#include <set>

namespace {

using Patch = SimDw8000::Patch;
using Clock = std::chrono::steady_clock;

bool IsParamChange(const std::vector<std::uint8_t> &m) { return m.size() == 8 && m[4] == 0x41; }
bool IsDataLoad(const std::vector<std::uint8_t> &m) { return m.size() == 57 && m[4] == 0x40; }

class HistoryFixture : public EditorFixture {
protected:
    void StartWithPatch()
    {
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; })); // the start-up fetch shown
        Settle();
        main->Editor().SetPause([](std::chrono::microseconds) {});
        main->Editor().SetHistoryClock([this] { return now; }); // a gesture rests only when the test says so
    }

    // The synthesizer's edit buffer and the controller's values, by live row.
    struct Units {
        std::array<int, dw::ParamCount> Synth{};
        std::array<int, dw::ParamCount> Bcr{};
        bool operator==(const Units &o) const { return Synth == o.Synth && Bcr == o.Bcr; }
    };
    Units Snapshot() const
    {
        Units u;
        const Patch synth = rig->Synth().CurrentPatch();
        for (int row = 0; row < dw::ParamCount; ++row) {
            if (!dw::IsLiveRow(row))
                continue;
            u.Synth[std::size_t(row)] = synth[std::size_t(row)];
            u.Bcr[std::size_t(row)] = rig->Controller().Value(0, dw::ParamDef(row).Controller).value_or(-1);
        }
        return u;
    }
    void ExpectEditorShows(const Units &u) const
    {
        EXPECT_EQ(main->ValueLabel("lEnc44")->text(), QString::fromStdString(dw::DisplayText(15, u.Synth[15])));
    }
    bool Reaches(const Units &u) { return WaitFor([&] { return Snapshot() == u; }); }

    int Light(int controller) const { return rig->Controller().Value(0, controller).value_or(-1); }

    // One undo or redo: each changed row once on both units, as parameter
    // changes (few rows) or one data load; nothing for an unchanged row.
    void ExpectSentOnce(const Units &from, const Units &to)
    {
        Settle(100);
        std::set<int> changed;
        for (int row = 0; row < dw::ParamCount; ++row) {
            if (dw::IsLiveRow(row) && from.Synth[std::size_t(row)] != to.Synth[std::size_t(row)])
                changed.insert(row);
        }
        ASSERT_FALSE(changed.empty());
        const auto toSynth = SentTo(Synth());
        if (changed.size() * 8 <= 57) {
            std::multiset<int> rows;
            for (const auto &m : toSynth) {
                ASSERT_TRUE(IsParamChange(m.bytes));
                rows.insert(m.bytes[5]);
                EXPECT_EQ(m.bytes[6], to.Synth[m.bytes[5]]);
            }
            EXPECT_EQ(rows, std::multiset<int>(changed.begin(), changed.end()));
        } else {
            ASSERT_EQ(toSynth.size(), 1u);
            ASSERT_TRUE(IsDataLoad(toSynth[0].bytes));
        }
        std::multiset<int> echoed;
        for (const auto &m : SentTo(Controller())) {
            ASSERT_EQ(m.bytes.size(), 3u);
            const int row = dw::FindControllerRow(0, m.bytes[1]);
            if (row < 0) {
                EXPECT_TRUE(m.bytes[1] == dw::UndoController || m.bytes[1] == dw::RedoController) << int(m.bytes[1]);
                continue;
            }
            echoed.insert(row);
            EXPECT_EQ(m.bytes[2], to.Bcr[std::size_t(row)]);
        }
        EXPECT_EQ(echoed, std::multiset<int>(changed.begin(), changed.end()));
    }

    enum class Via { Keys, Bcr };
    void Press(Via via, QAction *action, int userKey)
    {
        if (via == Via::Keys) {
            action->trigger();
        } else {
            rig->Controller().TurnEncoder(userKey, 1); // pressed
            rig->Controller().TurnEncoder(userKey, 0); // and released
        }
    }
    void Undo(Via via) { Press(via, main->EditActions->UndoAction, dw::UndoController); }
    void Redo(Via via) { Press(via, main->EditActions->RedoAction, dw::RedoController); }

    void RightClick(QLabel *label)
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), label->mapToGlobal(QPointF(2, 2)),
                          Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &press);
    }

    struct StepCase {
        const char *Name;
        std::function<void()> Prepare; // before the values the undo must restore
        std::function<void()> Make;    // one step
    };
    // Each kind of step, made as a user makes it.
    std::vector<StepCase> Steps()
    {
        auto none = [] {};
        return {
            {"controller gesture", none, [this] {
                 for (const int v : {10, 20, 33})
                     rig->Controller().TurnEncoder(44, v); // cutoff, one gesture
             }},
            {"random patch from button 48", none, [this] {
                 rig->Controller().PressRandomButton();
                 rig->Controller().ReleaseRandomButton();
             }},
            {"mutate from the keys", none, [this] { main->EditActions->MutateAction->trigger(); }},
            {"mutate from user key 3", none,
             [this] { Press(Via::Bcr, main->EditActions->MutateAction, dw::MutateController); }},
            {"program selected on the synthesizer", none, [this] { rig->Synth().SelectProgram(9); }},
            {"Get Patch", none, [this] {
                 Patch p = rig->Synth().CurrentPatch();
                 for (std::uint8_t &v : p)
                     v = std::uint8_t(v == 0);
                 rig->Synth().SetCurrentPatch(p);
                 main->bGetPatchClick();
             }},
            {"patch loaded from a file or bank", none, [this] {
                 dw::TDataBlock block{};
                 block.fill(1);
                 main->Editor().LoadBlock(block);
             }},
            {"compare ended by a move",
             [this] {
                 rig->Controller().TurnEncoder(45, 3); // an edit that compare sets aside
                 ASSERT_TRUE(WaitFor([&] { return main->Editor().Patch()[16] == 3; }));
                 Settle(100);
                 now += std::chrono::seconds(2);
             },
             [this] {
                 main->Editor().ToggleCompare(); // no step
                 Settle(100);
                 rig->Controller().TurnEncoder(44, 7); // edits the patch heard
             }},
        };
    }

    Clock::time_point now{};
};

TEST_F(HistoryFixture, EveryKindOfStepIsUndoneAndRedoneExactlyFromTheKeysAndFromTheBcr2000)
{
    StartWithPatch();
    for (const Via via : {Via::Keys, Via::Bcr}) {
        for (const StepCase &c : Steps()) {
            SCOPED_TRACE(std::string(c.Name) + (via == Via::Keys ? ", keys" : ", BCR2000 keys"));
            now += std::chrono::seconds(2); // the previous gesture has rested
            c.Prepare();
            const Units before = Snapshot();
            const std::size_t steps = main->Editor().History().UndoCount();
            c.Make();
            ASSERT_TRUE(WaitFor([&] { return main->Editor().History().UndoCount() > steps && !(Snapshot() == before); }));
            Settle(100);
            const Units after = Snapshot();
            EXPECT_EQ(main->Editor().History().UndoCount(), steps + 1) << "one step";
            EXPECT_EQ(Light(dw::UndoController), 1);
            EXPECT_NE(Light(dw::RedoController), 1); // 0, or never set: a unit given the preset starts unlit

            service->ClearSentMessages();
            Undo(via);
            ASSERT_TRUE(Reaches(before));
            ExpectSentOnce(after, before);
            ExpectEditorShows(before);
            EXPECT_EQ(Light(dw::RedoController), 1);

            service->ClearSentMessages();
            Redo(via);
            ASSERT_TRUE(Reaches(after));
            ExpectSentOnce(before, after);
            ExpectEditorShows(after);
            EXPECT_EQ(Light(dw::RedoController), 0);
            EXPECT_FALSE(main->Editor().Comparing());
        }
    }
}

TEST_F(HistoryFixture, UndoingEverythingPutsOutTheUndoLightAndANewChangeDropsTheRedo)
{
    StartWithPatch();
    const Units start = Snapshot();
    EXPECT_FALSE(main->EditActions->UndoAction->isEnabled()) << "the start-up fetch is no step";
    rig->Controller().TurnEncoder(44, 1);
    ASSERT_TRUE(WaitFor([&] { return main->Editor().Patch()[15] == 1; }));
    now += std::chrono::seconds(2);
    rig->Controller().TurnEncoder(44, 2);
    ASSERT_TRUE(WaitFor([&] { return main->Editor().History().UndoCount() == 2; }));
    Undo(Via::Bcr);
    Undo(Via::Bcr);
    ASSERT_TRUE(Reaches(start));
    ASSERT_TRUE(WaitFor([&] { return Light(dw::UndoController) == 0 && Light(dw::RedoController) == 1; }));
    EXPECT_FALSE(main->EditActions->UndoAction->isEnabled());

    // A press with nothing to undo sends nothing to the synthesizer, and
    // the key's light is set again after its release.
    service->ClearSentMessages();
    Undo(Via::Bcr);
    rig->Controller().TurnEncoder(45, 9); // the marker
    ASSERT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); }));
    ASSERT_EQ(SentTo(Synth()).size(), 1u);
    EXPECT_EQ(SentTo(Synth())[0].bytes[5], 16) << "only the marker's row";
    ASSERT_TRUE(WaitFor([&] { return Light(dw::UndoController) == 1 && Light(dw::RedoController) == 0; }));
    EXPECT_FALSE(main->Editor().History().CanRedo()) << "the move dropped the redo";
}

TEST_F(HistoryFixture, RandomAndMutateNeverChangeALockedRowAndLocksSurviveARestart)
{
    StartWithPatch();
    const std::vector<int> locked = {0, 15, 36, 50};
    for (const int row : locked)
        RightClick(main->ValueLabel(QLatin1String(ParamDesign(row).LabelName)));
    EXPECT_EQ(Setting("Locks", "Rows"), "0,15,36,50");
    ASSERT_NE(main->EditActions->LockMark(15), nullptr);
    EXPECT_FALSE(main->EditActions->LockMark(15)->isHidden());
    EXPECT_EQ(main->EditActions->LockMark(16), nullptr);
    main->ShowBcrLayout(); // the mark follows its label to the other page
    EXPECT_EQ(main->EditActions->LockMark(15)->parentWidget(), main->ValueLabel("lEnc44")->parentWidget());
    main->ShowBlockDiagram();

    Stop();
    StartWithPatch();
    for (const int row : locked)
        EXPECT_TRUE(main->Editor().Locked(row)) << row;
    EXPECT_EQ(main->Editor().Locks().count(), locked.size());

    const Units before = Snapshot();
    for (int round = 0; round < 2; ++round) {
        service->ClearSentMessages();
        if (round == 0) {
            rig->Controller().PressRandomButton();
            rig->Controller().ReleaseRandomButton();
        } else {
            main->EditActions->MutateAction->trigger();
        }
        ASSERT_TRUE(WaitFor([&] { return main->Editor().History().UndoCount() == std::size_t(round + 1); }));
        Settle(100);
        for (const auto &m : SentTo(Synth())) {
            ASSERT_TRUE(IsParamChange(m.bytes));
            EXPECT_EQ(std::count(locked.begin(), locked.end(), int(m.bytes[5])), 0) << "sent row " << int(m.bytes[5]);
        }
        EXPECT_EQ(SentTo(Synth()).size(), std::size_t(50 - locked.size()));
        const Units after = Snapshot();
        for (const int row : locked) {
            EXPECT_EQ(after.Synth[std::size_t(row)], before.Synth[std::size_t(row)]) << row;
            EXPECT_EQ(after.Bcr[std::size_t(row)], before.Bcr[std::size_t(row)]) << row;
        }
    }

    // Ctrl+Shift+L on the row last moved unlocks it again.
    rig->Controller().TurnEncoder(44, 12);
    ASSERT_TRUE(WaitFor([&] { return main->Editor().Patch()[15] == 12; }));
    main->EditActions->LockAction->trigger();
    EXPECT_FALSE(main->Editor().Locked(15));
    EXPECT_EQ(Setting("Locks", "Rows"), "0,36,50");
}

} // namespace
