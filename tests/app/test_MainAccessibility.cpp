// The main window as a screen reader meets it: names and values of the
// fields, graphs and device marks, one word for a whole patch, and the
// program shown with its edited mark.

#include "../common/AccessibilitySwitch.h"
#include "EditorFixture.h"

#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "core/DeviceStatus.h"

#include <QAccessible>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

namespace {

std::vector<QObject *> &ValueEvents()
{
    static std::vector<QObject *> seen;
    return seen;
}

void Record(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::ValueChanged)
        ValueEvents().push_back(event->object());
}

QString Text(QObject *o, QAccessible::Text t)
{
    QAccessibleInterface *i = QAccessible::queryAccessibleInterface(o);
    return i != nullptr ? i->text(t) : QStringLiteral("<no interface>");
}

class MainAccessibilityTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        ValueEvents().clear();
        FPrevious = QAccessible::installUpdateHandler(Record);
        ASSERT_TRUE(SetAccessibilityActive(true)) << "accessibility cannot be switched on here";
    }
    void TearDown() override
    {
        EditorFixture::TearDown();
        SetAccessibilityActive(false);
        QAccessible::installUpdateHandler(FPrevious);
    }
    QLabel *RowLabel(int row) const { return dynamic_cast<QLabel *>(main->Params[std::size_t(row)].ValueLabel); }
    long EventsFor(QObject *o) const { return std::count(ValueEvents().begin(), ValueEvents().end(), o); }
    QString Shown() const { return main->ProgramLabel->text(); }

private:
    QAccessible::UpdateHandler FPrevious = nullptr;
};

TEST_F(MainAccessibilityTest, FieldsGraphsAndButtonsHaveNamesAndValues)
{
    StartOnSimulator();
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (RowLabel(row) != nullptr)
            EXPECT_EQ(EventsFor(RowLabel(row)), 0) << "row " << row << ": a field being built, or a dump, said nothing";
    }
    struct Case {
        const char *Name;
        QWidget *Widget;
        const char *Expected;
        QString Value; // a part of the value, as the page shows it (empty: not checked)
    };
    const Case cases[] = {
        {"cutoff field", RowLabel(15), "Filter Cutoff", RowLabel(15)->text()},
        {"osc 1 wave picture", main->gOsc1, "Oscillator 1 Wave", {}},
        {"filter envelope", main->VCFadsr, "Filter envelope", QStringLiteral("Attack %1").arg(RowLabel(20)->text())},
        {"amplifier envelope", main->VCAadsr, "Amplifier envelope",
         QStringLiteral("Release %1").arg(RowLabel(32)->text())},
        {"fetch button", main->bGetPatch, "Get Patch From DW8000", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        ASSERT_NE(c.Widget, nullptr);
        EXPECT_EQ(Text(c.Widget, QAccessible::Name), QLatin1String(c.Expected));
        if (c.Value.isEmpty())
            continue;
        EXPECT_TRUE(Text(c.Widget, QAccessible::Value).contains(c.Value)) << Text(c.Widget, QAccessible::Value).toStdString();
        EXPECT_NE(c.Value.right(1), "-") << "a fetched patch shows no dash";
    }
}

TEST_F(MainAccessibilityTest, ADumpIsAnnouncedOnceAndAMoveByItsField)
{
    StartOnSimulator();
    SimDw8000::Patch patch = rig->Synth().CurrentPatch();
    for (std::size_t row = 0; row < patch.size(); ++row)
        patch[row] = std::uint8_t((patch[row] + 1) % (SimDw8000::ParameterMax(int(row)) + 1));
    rig->Synth().SetCurrentPatch(patch);
    ValueEvents().clear();
    main->bGetPatchClick();
    // The one word for the patch comes after all its rows were shown.
    ASSERT_TRUE(WaitFor([&] { return EventsFor(main->ProgramLabel) > 0; }));
    EXPECT_EQ(ValueEvents(), std::vector<QObject *>{main->ProgramLabel});
    EXPECT_EQ(main->Editor().Patch()[15], patch[15]);

    // One move outside a patch: its field (and its graph) speak.
    ValueEvents().clear();
    main->Editor().MoveParameter(20, (patch[20] + 5) % 32);
    EXPECT_EQ(EventsFor(RowLabel(20)), 1);
    EXPECT_EQ(EventsFor(main->VCFadsr), 1);
    EXPECT_EQ(EventsFor(RowLabel(15)), 0);
}

TEST_F(MainAccessibilityTest, DeviceMarksAreNamedByTheirState)
{
    struct Case {
        const char *Name;
        bool Chosen;
        const char *Ends;
    };
    const Case cases[] = {{"nothing chosen", false, ": none chosen"}, {"the simulators", true, ": connected to "}};
    const std::pair<engine::TRole, const char *> roles[] = {{engine::TRole::SynthIn, "DW-8000 in"},
                                                             {engine::TRole::SynthOut, "DW-8000 out"},
                                                             {engine::TRole::CtrlIn, "Controller in"},
                                                             {engine::TRole::CtrlOut, "Controller out"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.Chosen)
            SaveSimDevices();
        Start();
        for (const auto &[role, title] : roles) {
            const QString name = Text(main->DeviceStatus->RoleLabel(role), QAccessible::Name);
            EXPECT_TRUE(name.startsWith(QLatin1String(title)) && name.contains(QLatin1String(c.Ends)))
                << name.toStdString();
            EXPECT_FALSE(name.contains('<')) << "no markup";
        }
        Stop();
    }
}

TEST_F(MainAccessibilityTest, TheProgramShownAndItsEditedMark)
{
    StartOnSimulator();
    // A program change is shown even when no dump follows it.
    const dw::TPatch before = main->Editor().Patch();
    rig->Synth().DropNextAnswer();
    rig->Synth().SelectProgram(SimDw8000::ProgramOfNumber(27));
    ASSERT_TRUE(WaitFor([&] { return Shown() == "Program 27"; })) << Shown().toStdString();
    EXPECT_EQ(main->Editor().Patch(), before);

    const int program = SimDw8000::ProgramOfNumber(34);
    const SimDw8000::Patch held = rig->Synth().ProgramPatch(program);
    rig->Synth().SelectProgram(program); // the unit fetches the patch after a program change
    ASSERT_TRUE(WaitFor([&] {
        for (int row = 0; row < dw::ParamCount; ++row)
            if (dw::IsLiveRow(row) && main->Editor().Patch()[row] != held[std::size_t(row)])
                return false;
        return Shown() == "Program 34";
    })) << Shown().toStdString();
    EXPECT_EQ(Text(main->ProgramLabel, QAccessible::Value), "Program 34");

    const int fetched = main->Editor().Patch()[15];
    struct Step {
        const char *Name;
        std::function<void()> Act;
        const char *Shows;
    };
    const Step steps[] = {
        {"a move", [&] { main->Editor().MoveParameter(15, (fetched + 9) % 64); }, "Program 34, edited"},
        {"moved back to the fetched value", [&] { main->Editor().MoveParameter(15, fetched); }, "Program 34"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.Name);
        s.Act();
        EXPECT_EQ(Shown(), QLatin1String(s.Shows));
    }
    main->bGetPatchClick();
    EXPECT_TRUE(WaitFor([&] { return Shown() == "Program 34"; })) << "Get Patch takes the mark away";
}

} // namespace
