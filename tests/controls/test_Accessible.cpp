// What a screen reader learns of the custom controls, read through Qt's own
// accessibility interfaces: name, role, value text and number, and one
// value-change event per change (none while a patch arrives quietly).

#include "../common/AccessibilitySwitch.h"
#include "controls/Accessible.h"
#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "controls/Vxkeyf.h"
#include "controls/Vxpotbmp.h"
#include "controls/Vxpotlab.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

struct SeenEvent {
    QObject *Object;
    QVariant Value;
};

std::vector<SeenEvent> &Seen()
{
    static std::vector<SeenEvent> seen;
    return seen;
}

void Record(QAccessibleEvent *event)
{
    if (event->type() == QAccessible::ValueChanged)
        Seen().push_back({event->object(), static_cast<QAccessibleValueChangeEvent *>(event)->value()});
}

// Accessibility on, as under a screen reader; its events reach the test.
class AccessibleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Seen().clear();
        FPrevious = QAccessible::installUpdateHandler(Record);
        ASSERT_TRUE(SetAccessibilityActive(true)) << "accessibility cannot be switched on here";
    }
    void TearDown() override
    {
        SetAccessibilityActive(false);
        QAccessible::installUpdateHandler(FPrevious);
    }
    std::vector<QVariant> ValuesSeenFor(QObject *o) const
    {
        std::vector<QVariant> out;
        for (const SeenEvent &e : Seen())
            if (e.Object == o)
                out.push_back(e.Value);
        return out;
    }
    QWidget window;

private:
    QAccessible::UpdateHandler FPrevious = nullptr;
};

struct ControlCase {
    const char *Kind;
    QAccessible::Role Role;
    // Makes the control in `parent`, and a setter of its value as the editor sets it.
    std::function<QWidget *(QWidget *parent, std::function<void(int)> &set)> Make;
    int Value;
    const char *ValueText;
    bool HasRange;
};

const ControlCase kCases[] = {
    {"envelope graph", QAccessible::Chart,
     [](QWidget *p, std::function<void(int)> &set) {
         auto *g = new Tvxadsr2(p);
         for (int slot = 0; slot < 8; ++slot)
             g->SetValue(slot, slot);
         set = [g](int v) { g->SetValue(v, 0); };
         return g;
     },
     17, "attack 17, decay 2, break point 3, slope 4, sustain 5, release 6", false},
    {"image switch", QAccessible::Graphic,
     [](QWidget *p, std::function<void(int)> &set) {
         auto *s = new Tvxgrafsw(p);
         s->SetGlyph(16);
         set = [s](int v) { s->SetState(v); };
         return s;
     },
     5, "picture 6 of 16", true},
    {"keyboard-follow graph", QAccessible::Chart,
     [](QWidget *p, std::function<void(int)> &set) {
         auto *k = new Tvxkeyf(p);
         const int values[] = {64, 0, 60, 2, 10, 20};
         for (int slot = 0; slot < 6; ++slot)
             k->SetValue(values[slot], slot);
         set = [k](int v) { k->SetValue(v, 0); };
         return k;
     },
     70, "level 70, key 60, left linear falling 10, right exponential rising 20", false},
    {"bitmap knob", QAccessible::Dial,
     [](QWidget *p, std::function<void(int)> &set) {
         auto *k = new Tvxpotbmp(p);
         k->SetMax(99);
         set = [k](int v) { k->SetState(v); };
         return k;
     },
     42, "42", true},
    {"value-list label", QAccessible::Slider,
     [](QWidget *p, std::function<void(int)> &set) {
         auto *l = new Tvxpotlab(p);
         l->SetStrValues(QStringList{"Off", "Slow", "Fast"});
         set = [l](int v) { l->SetState(v); };
         return l;
     },
     2, "Fast", true},
};

} // namespace

TEST_F(AccessibleTest, EachControlHasItsNameRoleValueAndOneEventPerChange)
{
    for (const ControlCase &c : kCases) {
        SCOPED_TRACE(c.Kind);
        std::function<void(int)> set;
        QWidget *w = c.Make(&window, set);
        w->setAccessibleName(QStringLiteral("VCF cutoff"));
        Seen().clear();
        set(c.Value);
        set(c.Value); // no change: no event
        set(c.Value - 1); // the marker

        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), c.Role);
        EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("VCF cutoff"));
        set(c.Value);
        EXPECT_EQ(iface->text(QAccessible::Value), QLatin1String(c.ValueText));
        QAccessibleValueInterface *value = iface->valueInterface();
        ASSERT_EQ(value != nullptr, c.HasRange);
        if (value != nullptr)
            EXPECT_EQ(value->currentValue().toInt(), c.Value);

        const std::vector<QVariant> seen = ValuesSeenFor(w);
        ASSERT_EQ(seen.size(), 3u) << "one event per change, none for a repeated value";
        if (c.HasRange) {
            EXPECT_EQ(seen[0].toInt(), c.Value);
            EXPECT_EQ(seen[1].toInt(), c.Value - 1);
        } else {
            EXPECT_EQ(seen[0].toString(), QLatin1String(c.ValueText));
        }
    }
}

TEST_F(AccessibleTest, NoEventsWhileQuietAndTheNextChangeIsHeardAgain)
{
    auto *switchA = new Tvxgrafsw(&window);
    auto *graph = new Tvxadsr2(&window);
    switchA->SetGlyph(16);
    Seen().clear();
    {
        const TQuietAccessibility outer;
        {
            const TQuietAccessibility inner;
            switchA->SetState(3);
        }
        for (int slot = 0; slot < 8; ++slot)
            graph->SetValue(30 - slot, slot);
    }
    switchA->SetState(4);
    ASSERT_EQ(Seen().size(), 1u);
    EXPECT_EQ(Seen()[0].Object, switchA);
    EXPECT_EQ(Seen()[0].Value.toInt(), 4);
    // The quiet changes are still there to be read.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(graph)->text(QAccessible::Value),
              QStringLiteral("attack 30, decay 28, break point 27, slope 26, sustain 25, release 24"));
}

TEST_F(AccessibleTest, TheClientsWordingReplacesTheControlsOwn)
{
    auto *wave = new Tvxgrafsw(&window);
    wave->SetGlyph(16);
    const QStringList names{"Sawtooth", "Square", "Piano", "Electric Piano 1"};
    wave->SetAccessibleValueText([wave, names] { return names.value(wave->State()); });
    wave->SetState(2);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(wave)->text(QAccessible::Value), QStringLiteral("Piano"));
    wave->SetAccessibleValueText({});
    EXPECT_EQ(QAccessible::queryAccessibleInterface(wave)->text(QAccessible::Value), QStringLiteral("picture 3 of 16"));
}

TEST_F(AccessibleTest, TheKnobIsTurnedByKeyAndByTheAssistiveToolAsByTheUser)
{
    auto *knob = new Tvxpotbmp(&window);
    knob->SetMax(99);
    knob->SetState(50);
    int changes = 0;
    knob->SetOnChange([&changes](QObject *) { ++changes; });
    window.show();
    Seen().clear();
    QTest::keyClick(knob, Qt::Key_PageUp);
    const int afterKey = knob->State();
    EXPECT_NE(afterKey, 50);
    QAccessibleValueInterface *value = QAccessible::queryAccessibleInterface(knob)->valueInterface();
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->currentValue().toInt(), afterKey);
    EXPECT_EQ(value->maximumValue().toInt(), 99);
    value->setCurrentValue(120); // beyond the range: the knob's own clamp
    EXPECT_EQ(knob->State(), 99);
    EXPECT_EQ(changes, 2);
    const std::vector<QVariant> seen = ValuesSeenFor(knob);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].toInt(), afterKey);
    EXPECT_EQ(seen[1].toInt(), 99);
}

TEST_F(AccessibleTest, ALabelWithoutANameIsNamedByItsCaption)
{
    auto *label = new Tvxpotlab(&window);
    label->SetStrValues(QStringList{"Off", "On"});
    label->SetState(1);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(label);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("On"));
    EXPECT_EQ(iface->text(QAccessible::Value), QStringLiteral("On"));
}
