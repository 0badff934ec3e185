#include "controls/Vxpotbmp.h"
#include "ControlsTestSupport.h"
#include "platform/Colors.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Glyph i of the strip is filled with a colour that encodes i.
QRgb GlyphColor(int i) { return qRgb(i, 200, 255 - i); }

QImage Strip(int count, int glyphWidth, int height)
{
    QImage strip(count * glyphWidth, height, QImage::Format_RGB32);
    for (int i = 0; i < count; ++i)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < glyphWidth; ++x)
                strip.setPixel(i * glyphWidth + x, y, GlyphColor(i));
    return strip;
}

// The glyph the control shows, read from the middle of its picture.
int ShownGlyph(const Tvxpotbmp &knob)
{
    const QRgb p = knob.LastPicture().pixel(knob.GetBitmapWidth() / 2, knob.Bitmap().height() / 2);
    return qRed(p);
}

// A shown knob with a 64-glyph strip of 40 x 40 glyphs in a parent window,
// counting OnChange calls.
struct KnobFixture : ::testing::Test {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    Tvxpotbmp *knob = new Tvxpotbmp(window.get());
    int changes = 0;

    void SetUp() override
    {
        window->resize(200, 200);
        window->setFocusPolicy(Qt::StrongFocus);
        knob->SetBitmap(Strip(64, 40, 40));
        knob->SetGlyph(64);
        knob->setGeometry(10, 10, 50, 50);
        knob->SetOnChange([this](QObject *sender) {
            EXPECT_EQ(sender, knob);
            ++changes;
        });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
};

} // namespace

TEST_F(KnobFixture, GlyphIndexCutsTheRangeIntoEqualParts)
{
    EXPECT_EQ(knob->GetBitmapWidth(), 40);
    const std::pair<int, int> cases[] = {{0, 0}, {63, 31}, {126, 63}, {127, 63}, {2, 1}};
    for (const auto &[state, glyph] : cases) {
        knob->SetState(state);
        EXPECT_EQ(ShownGlyph(*knob), glyph) << "State " << state;
    }

    // State is clamped when set, but not when the range shrinks later.
    knob->SetState(200);
    EXPECT_EQ(knob->State(), 127);
    knob->SetMax(100);
    EXPECT_EQ(knob->State(), 127);
    EXPECT_EQ(ShownGlyph(*knob), 63);
}

TEST_F(KnobFixture, SingleGlyphShowsTheWholeBitmapForEveryValue)
{
    knob->SetGlyph(1);
    for (int state : {0, 64, 127}) {
        knob->SetState(state);
        EXPECT_EQ(knob->GlyphBuffer().size(), QSize(2560, 40));
        EXPECT_EQ(knob->GlyphBuffer(), knob->Bitmap());
    }
    knob->SetGlyph(257);  // ignored
    EXPECT_EQ(knob->Glyph(), 1);
}

TEST_F(KnobFixture, FocusFrameTurnsYellowOnEnterAndBlackOnLeave)
{
    const auto frame = [this] { return knob->LastPicture().pixel(39, 39); };
    window->setFocus();
    knob->SetState(1);  // redraw while unfocused
    EXPECT_EQ(frame(), ToQColor(clBlack).rgba());
    EXPECT_EQ(knob->LastPicture().pixel(0, 20), ToQColor(clBlack).rgba());
    EXPECT_EQ(knob->LastPicture().pixel(20, 20), GlyphColor(0));
    // Outside the glyph the surface is left alone.
    EXPECT_EQ(qAlpha(knob->LastPicture().pixel(45, 45)), 0);

    QEnterEvent enter(QPointF(5, 5), QPointF(15, 15), QPointF(15, 15));
    QCoreApplication::sendEvent(knob, &enter);
    EXPECT_TRUE(knob->hasFocus());
    EXPECT_EQ(frame(), ToQColor(clYellow).rgba());
    EXPECT_EQ(knob->LastPicture().pixel(39, 0), ToQColor(clYellow).rgba());

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(knob, &leave);
    EXPECT_TRUE(window->hasFocus());
    EXPECT_EQ(frame(), ToQColor(clBlack).rgba());
}

TEST_F(KnobFixture, EmptyBitmapDrawsNothing)
{
    Tvxpotbmp empty(window.get());
    empty.show();
    empty.SetState(3);
    EXPECT_EQ(empty.GetBitmapWidth(), 0);
    const QImage &picture = empty.LastPicture();
    ASSERT_EQ(picture.size(), QSize(30, 30));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(qAlpha(picture.pixel(x, y)), 0) << x << "," << y;
}

TEST_F(KnobFixture, VerticalDragFollowsThePointerAndClamps)
{
    knob->SetState(64);
    QTest::mousePress(knob, Qt::LeftButton, Qt::NoModifier, QPoint(20, 100));
    EXPECT_TRUE(knob->hasFocus());
    const std::pair<int, int> moves[] = {{100, 50}, {98, 101}, {97, 127}, {103, 0}, {-500, 127}};
    for (const auto &[y, expected] : moves) {
        SendMove(knob, QPoint(20, y));
        EXPECT_EQ(knob->State(), expected) << "y " << y;
    }
    EXPECT_EQ(changes, 5);
    EXPECT_EQ(ShownGlyph(*knob), 63);
    QTest::mouseRelease(knob, Qt::LeftButton, Qt::NoModifier, QPoint(20, 98));
    EXPECT_EQ(knob->State(), 101);
    EXPECT_EQ(changes, 6);
}

TEST_F(KnobFixture, DragWithoutAlwayDetectNotifiesOnlyAtRelease)
{
    knob->SetAlwayDetect(false);
    knob->SetMouvement(posHorizontal);
    knob->SetCursorRange(127);  // one pixel per step
    knob->SetState(64);
    QTest::mousePress(knob, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    SendMove(knob, QPoint(10, 40));  // left raises, y is ignored
    EXPECT_EQ(knob->State(), 74);
    SendMove(knob, QPoint(30, 0));
    EXPECT_EQ(knob->State(), 54);
    EXPECT_EQ(changes, 0);
    QTest::mouseRelease(knob, Qt::LeftButton, Qt::NoModifier, QPoint(25, 0));
    EXPECT_EQ(knob->State(), 59);
    EXPECT_EQ(changes, 1);

    // A move without the left button held changes nothing.
    SendMove(knob, QPoint(0, 0), Qt::NoButton);
    EXPECT_EQ(knob->State(), 59);
}

TEST_F(KnobFixture, ClicksStepByOneOrATenthOfMaxAndAnUnpairedRightReleaseJumpsToMax)
{
    knob->SetState(50);
    QTest::mouseClick(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 49);
    QTest::mouseClick(knob, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 37);
    QTest::mouseClick(knob, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 49);
    QTest::mouseClick(knob, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 50);
    EXPECT_EQ(changes, 4);
    knob->SetState(120);
    QTest::mouseClick(knob, Qt::RightButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 127);

    // A right release after a left press jumps to Max.
    knob->SetState(10);
    QTest::mousePress(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QTest::mouseRelease(knob, Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(knob->State(), 127);
    EXPECT_EQ(changes, 6);
}

TEST_F(KnobFixture, KeysStepAndJumpAndOnlyRealChangesNotify)
{
    knob->setFocus();
    knob->SetState(60);
    QTest::keyClick(knob, Qt::Key_PageUp);
    EXPECT_EQ(knob->State(), 61);
    QTest::keyClick(knob, Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(knob->State(), 49);
    QTest::keyClick(knob, Qt::Key_Home);
    EXPECT_EQ(knob->State(), 127);
    EXPECT_EQ(changes, 3);
    QTest::keyClick(knob, Qt::Key_Home);
    QTest::keyClick(knob, Qt::Key_A);
    EXPECT_EQ(changes, 3);
    QTest::keyClick(knob, Qt::Key_End);
    EXPECT_EQ(knob->State(), 0);
    EXPECT_EQ(changes, 4);

    // Without a handler the changes still happen.
    knob->SetOnChange(nullptr);
    QTest::keyClick(knob, Qt::Key_Home);
    EXPECT_EQ(knob->State(), 127);
}

TEST_F(KnobFixture, EmptyRangeOrZeroTravelRefusesTheDragInsteadOfDividingByZero)
{
    knob->SetState(20);
    knob->SetCursorRange(0);
    QTest::mousePress(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 20));
    SendMove(knob, QPoint(5, 0));
    EXPECT_EQ(knob->State(), 20);
    QTest::mouseRelease(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 0));
    EXPECT_EQ(knob->State(), 19);  // still a click

    knob->SetCursorRange(5);
    knob->SetMin(40);
    knob->SetMax(40);
    EXPECT_EQ(knob->LastPicture().pixel(0, 0), ToQColor(clYellow).rgba());  // frame still drawn
    QTest::mousePress(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 20));
    SendMove(knob, QPoint(5, 0));
    QTest::mouseRelease(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 0));
    EXPECT_EQ(knob->State(), 40);
}
