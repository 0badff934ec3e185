#include "controls/Vxpotlab.h"
#include "ControlsTestSupport.h"

#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct LabelFixture : ::testing::Test {
    std::unique_ptr<Tvxpotlab> label = std::make_unique<Tvxpotlab>();

    void SetUp() override { label->show(); }

    void Click(Qt::MouseButton button, Qt::KeyboardModifiers shift = Qt::NoModifier)
    {
        QTest::mouseClick(label.get(), button, shift, QPoint(2, 2));
    }
};

} // namespace

TEST_F(LabelFixture, StartsEmptyAndShowsTheValueOnceItChanges)
{
    EXPECT_EQ(label->text(), QString());
    EXPECT_EQ(label->Max(), 100);
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    label->SetState(250);
    EXPECT_EQ(label->State(), 100);
    EXPECT_EQ(label->text(), "100");
    label->SetState(-3);
    EXPECT_EQ(label->text(), "0");
}

TEST_F(LabelFixture, NamesSetTheRangeAndTheCaption)
{
    label->SetStrValues(QStringList{"Saw", "Square", "Pulse"});
    EXPECT_TRUE(label->UseStrings());
    EXPECT_EQ(label->Min(), 0);
    EXPECT_EQ(label->Max(), 2);
    EXPECT_EQ(label->text(), QString());  // the caption waits for a change

    Click(Qt::RightButton);
    EXPECT_EQ(label->State(), 1);
    EXPECT_EQ(label->text(), "Square");

    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 10));
    SendMove(label.get(), QPoint(2, -40));
    EXPECT_EQ(label->text(), "Pulse");
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, -40));
    EXPECT_EQ(label->State(), 2);

    // Max after the names turns the names off again.
    label->SetMax(10);
    EXPECT_FALSE(label->UseStrings());
    label->SetState(1);
    EXPECT_EQ(label->text(), "1");

    // A null list keeps the old names.
    label->SetStrValues(nullptr);
    EXPECT_EQ(label->Max(), 2);
    label->SetState(0);
    EXPECT_EQ(label->text(), "Saw");
}

TEST_F(LabelFixture, UseStringsWithoutNamesKeepsMaxAndShowsNumbers)
{
    label->SetMin(5);
    label->SetMax(20);
    label->SetUseStrings(true);
    EXPECT_EQ(label->Min(), 0);
    EXPECT_EQ(label->Max(), 20);
    label->SetState(7);
    EXPECT_EQ(label->text(), "7");

    label->SetStrValues(QStringList{"a", "b"});
    EXPECT_EQ(label->Max(), 1);
    // A value without a name shows as its number.
    label->SetMin(-1);
    label->SetState(-1);
    EXPECT_EQ(label->text(), "-1");
    label->SetMax(5);
    label->SetUseStrings(true);  // Max goes back to the names
    EXPECT_EQ(label->Max(), 1);
}

TEST_F(LabelFixture, DragFollowsThePointerFromItsOrigin)
{
    label->SetState(40);
    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 50));
    const std::pair<int, int> moves[] = {{50, 40}, {47, 60}, {41, 100}, {57, 0}, {30, 100}};
    for (const auto &[y, expected] : moves) {
        SendMove(label.get(), QPoint(2, y));
        EXPECT_EQ(label->State(), expected) << "y " << y;
        EXPECT_EQ(label->text(), QString::number(expected));
    }
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 47));
    EXPECT_EQ(label->State(), 60);

    // Horizontal: moving left raises the value.
    label->SetMouvement(posHorizontal);
    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 50));
    SendMove(label.get(), QPoint(17, 0));
    EXPECT_EQ(label->State(), 80);
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(17, 0));
}

TEST_F(LabelFixture, ClicksStepByOneOrShiftJump)
{
    label->SetState(50);
    Click(Qt::LeftButton);
    EXPECT_EQ(label->State(), 49);
    Click(Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(label->State(), 39);
    Click(Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(label->State(), 49);
    label->SetShiftJump(3);
    Click(Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(label->State(), 52);
    label->SetState(99);
    Click(Qt::RightButton, Qt::ShiftModifier);
    EXPECT_EQ(label->State(), 100);
}

TEST_F(LabelFixture, ReleaseOfTheOtherButtonJumpsToAnEnd)
{
    label->SetState(30);
    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    QTest::mouseRelease(label.get(), Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(label->State(), 100);

    QTest::mousePress(label.get(), Qt::RightButton, Qt::NoModifier, QPoint(2, 2));
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    EXPECT_EQ(label->State(), 0);
    EXPECT_EQ(label->text(), "0");
}

TEST_F(LabelFixture, EmptyRangeOrZeroTravelRefusesTheDragInsteadOfDividingByZero)
{
    label->SetState(8);
    label->SetCursorRange(0);
    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 20));
    SendMove(label.get(), QPoint(2, 0));
    EXPECT_EQ(label->State(), 8);
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 0));
    EXPECT_EQ(label->State(), 7);

    label->SetCursorRange(15);
    label->SetStrValues(QStringList{});  // Max -1: below Min
    QTest::mousePress(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 20));
    SendMove(label.get(), QPoint(2, 0));
    QTest::mouseRelease(label.get(), Qt::LeftButton, Qt::NoModifier, QPoint(2, 0));
    EXPECT_EQ(label->State(), 0);
}
