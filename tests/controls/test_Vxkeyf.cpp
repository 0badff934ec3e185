#include "controls/Vxkeyf.h"
#include "ControlsTestSupport.h"
#include "platform/Colors.h"

#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <random>

namespace {

QRgb Px(TColor color) { return ToQColor(color).rgb(); }

// A shown 200 x 100 graph with the initial properties: strips 7 wide, plot
// area x 7..192, d = 185, h = 99, Max 99.
struct KeyfFixture : ::testing::Test {
    std::unique_ptr<Tvxkeyf> graph = std::make_unique<Tvxkeyf>();
    int changes = 0;

    void SetUp() override
    {
        graph->resize(200, 100);
        graph->SetOnChange([this](QObject *sender) {
            EXPECT_EQ(sender, graph.get());
            ++changes;
        });
        graph->show();
    }

    QRgb At(int x, int y) const { return graph->LastPicture().pixel(x, y); }

    void Drag(QPoint from, std::initializer_list<QPoint> moves)
    {
        QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, from);
        QPoint last = from;
        for (QPoint p : moves) {
            SendMove(graph.get(), p);
            last = p;
        }
        QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, last);
    }
};

} // namespace

TEST(KeyfGeometry, LinearCurveEndsFollowAmountKindAndSide)
{
    struct Case {
        int amount, kind;
        Tvxkeyf::TCurveSide side;
        std::int64_t x, y;
    };
    const Case cases[] = {
        {0, 0, Tvxkeyf::csRight, 396, 49},  {33, 0, Tvxkeyf::csRight, 334, 125},
        {99, 0, Tvxkeyf::csRight, 211, 147}, {33, 3, Tvxkeyf::csRight, 334, -27},
        {33, 0, Tvxkeyf::csLeft, -96, 125},
    };
    for (const Case &c : cases) {
        std::int64_t x = 0, y = 0;
        ASSERT_TRUE(Tvxkeyf::LinearCurveEnd({119, 49}, c.amount, c.kind, c.side, 99, 185, 99, x, y));
        EXPECT_EQ(x, c.x) << "amount " << c.amount << " kind " << c.kind;
        EXPECT_EQ(y, c.y) << "amount " << c.amount << " kind " << c.kind;
    }
    std::int64_t x = 0, y = 0;
    EXPECT_FALSE(Tvxkeyf::LinearCurveEnd({0, 0}, 0, 0, Tvxkeyf::csRight, 99, 1, 99, x, y));
    EXPECT_FALSE(Tvxkeyf::LinearCurveEnd({0, 0}, 0, 0, Tvxkeyf::csRight, 0, 185, 99, x, y));
}

TEST(KeyfGeometry, ExponentialArcBoxNarrowsWithTheAmount)
{
    const QPoint pivot(119, 49);
    const std::pair<int, int> radii[] = {{0, 1010}, {89, 120}, {99, 20}};
    for (const auto &[amount, r] : radii) {
        const auto arc = Tvxkeyf::ExpCurveArc(pivot, amount, 1, Tvxkeyf::csRight, 99, 10, 99);
        EXPECT_EQ(arc.Box, (VxDraw::TRect{119 - r, 49, 119 + r, 49 + 297})) << amount;
        EXPECT_EQ(arc.Start, QPoint(119 + r, 49 + 297));
        EXPECT_EQ(arc.End, pivot);
    }
    const auto leftRise = Tvxkeyf::ExpCurveArc(pivot, 99, 2, Tvxkeyf::csLeft, 99, 10, 99);
    EXPECT_EQ(leftRise.Box, (VxDraw::TRect{99, 49 - 297, 139, 49}));
    EXPECT_EQ(leftRise.Start, QPoint(99, 49 - 297));
    EXPECT_EQ(leftRise.End, pivot);
}

TEST(KeyfGeometry, ArcRunsCounterClockwiseBetweenTheRays)
{
    QImage image(50, 50, QImage::Format_RGB32);
    const auto count = [&](int x0, int x1, int y0, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += image.pixel(x, y) == Px(clWhite);
        return n;
    };
    const VxDraw::TRect box{5, 5, 45, 35};  // centre (25, 20)

    image.fill(Qt::black);
    Tvxkeyf::DrawArc(image, box, {45, 5}, {45, 5}, clWhite);  // equal rays: whole ellipse
    for (QPoint p : {QPoint(5, 20), QPoint(45, 20), QPoint(25, 5), QPoint(25, 35)})
        EXPECT_EQ(image.pixel(p), Px(clWhite)) << p.x() << "," << p.y();

    // From the ray to the right round to the ray upwards: the upper right
    // quarter only.
    image.fill(Qt::black);
    Tvxkeyf::DrawArc(image, box, {45, 20}, {25, 0}, clWhite);
    EXPECT_EQ(count(0, 25, 0, 50), 0);
    EXPECT_EQ(count(0, 50, 21, 50), 0);

    // Every column of that quarter is painted: the outline has no holes.
    for (int x = 25; x <= 45; ++x)
        EXPECT_GT(count(x, x + 1, 0, 21), 0) << "column " << x;

    // A huge box is walked only where it meets the image.
    image.fill(Qt::black);
    Tvxkeyf::DrawArc(image, {-1000000, 10, 1000050, 1000000}, {0, 10}, {0, 10}, clWhite);
    EXPECT_EQ(image.pixel(25, 10), Px(clWhite));
}

TEST(KeyfGeometry, ClippedLineMatchesTheSharedLineWherePixelsAreVisible)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(-80, 140);
    for (int n = 0; n < 400; ++n) {
        const QPoint a(coord(rng), coord(rng));
        const QPoint b(coord(rng), coord(rng));
        QImage expected(60, 60, QImage::Format_RGB32);
        expected.fill(Qt::black);
        QImage actual = expected;
        VxDraw::DrawLine(expected, a, b, clWhite);
        Tvxkeyf::DrawClippedLine(actual, a.x(), a.y(), b.x(), b.y(), clWhite);
        ASSERT_EQ(actual, expected) << a.x() << "," << a.y() << " -> " << b.x() << "," << b.y();
    }
    // Far-away end points cost nothing and paint only what is visible.
    QImage image(60, 60, QImage::Format_RGB32);
    image.fill(Qt::black);
    Tvxkeyf::DrawClippedLine(image, 10, 10, 4000000000LL, 10, clWhite);
    EXPECT_EQ(image.pixel(59, 10), Px(clWhite));
    EXPECT_EQ(image.pixel(9, 10), Px(clBlack));
}

TEST_F(KeyfFixture, NewGraphLiesFlatAlongTheBottomRow)
{
    EXPECT_TRUE(Tvxkeyf().GradientReady());
    graph->Affiche();
    const auto &m = graph->Markers();
    EXPECT_EQ(m[0], QPoint(7, 99));
    EXPECT_EQ(m[1], QPoint(192, 99));
    EXPECT_EQ(m[2], QPoint(7, 0));
    EXPECT_EQ(m[3], QPoint(7, 99));
    EXPECT_EQ(m[4], QPoint(7, 99));
    for (int x : {0, 3, 12, 100, 185, 199})
        EXPECT_EQ(At(x, 99), Px(clTeal)) << x;
    EXPECT_EQ(At(100, 98), Px(clBlack));

    graph->SetValue(99, 0);
    graph->SetValue(99, 2);
    EXPECT_EQ(graph->Markers()[4], QPoint(192, 0));  // top row, last plot column
}

TEST_F(KeyfFixture, DottedLinesStripsAndMarkersArePlacedPixelExactly)
{
    graph->SetValue(50, 0);
    graph->SetValue(60, 2);
    graph->SetValue(33, 4);  // left curve off the level line
    EXPECT_EQ(graph->Markers()[4], QPoint(119, 49));

    // Key line: three dots, three gaps, end point left out.
    EXPECT_EQ(At(119, 0), Px(clAqua));
    EXPECT_EQ(At(119, 5), Px(clTeal));
    EXPECT_EQ(At(119, 6), Px(clAqua));
    EXPECT_EQ(At(119, 98), Px(clAqua));
    EXPECT_EQ(At(119, 99), Px(clBlack));
    // Level line from marker 0.
    EXPECT_EQ(At(8, 49), Px(clAqua));
    EXPECT_EQ(At(10, 49), Px(clTeal));

    // Marker frames 6 pixels on a side around the pivot.
    EXPECT_EQ(At(116, 46), Px(clAqua));
    EXPECT_EQ(At(121, 51), Px(clAqua));
    EXPECT_EQ(At(122, 46), Px(clBlack));

    // Strips: one hatch row in eight, the rest not painted by the strip.
    for (int x : {0, 6, 193, 199})
        EXPECT_EQ(At(x, 11), Px(clSilver)) << x;
    EXPECT_EQ(At(3, 12), Px(clWhite));
    EXPECT_EQ(At(7, 11), Px(clBlack));
    graph->SetRubberSize(20);
    EXPECT_EQ(At(10, 12), Px(clBlack));  // old plot pixels stay behind the hatch
    EXPECT_EQ(At(10, 19), Px(clSilver));
}

TEST_F(KeyfFixture, LeftLinearCurveLeavesTheControlOnItsExactLine)
{
    graph->SetValue(50, 0);
    graph->SetValue(60, 2);
    graph->SetValue(33, 4);  // left: kind 0, amount 33, ends at (-96, 125)
    // Line (119, 49) -> (-96, 125): 215 across, 76 down.
    for (int x = 0; x <= 112; ++x) {
        const int i = 119 - x;
        const int y = 49 + int(std::ceil(i * 76.0 / 215 - 0.5));
        ASSERT_EQ(At(x, y), Px(clTeal)) << "x " << x;
        ASSERT_NE(At(x, y - 1), Px(clTeal)) << "x " << x;
        ASSERT_NE(At(x, y + 1), Px(clTeal)) << "x " << x;
    }
    EXPECT_EQ(At(0, 91), Px(clTeal));
}

TEST_F(KeyfFixture, ExponentialCurvesBendAwayFromThePivotOnTheirOwnSide)
{
    graph->SetValue(50, 0);
    graph->SetValue(60, 2);
    graph->SetValue(99, 5);
    graph->SetValue(1, 3);  // right: exponential falling, r = 20
    // Box (99, 49)-(139, 346): centre (119, 197.5), half-height 148.5.
    const int below = int(std::floor(197.5 - 148.5 * std::sqrt(0.75) + 0.5));
    EXPECT_EQ(At(129, below), Px(clTeal));
    EXPECT_NE(At(109, below), Px(clTeal));

    graph->SetValue(2, 3);  // now rising
    const int above = int(std::floor(-99.5 + 148.5 * std::sqrt(0.75) + 0.5));
    EXPECT_EQ(At(129, above), Px(clTeal));
    EXPECT_NE(At(129, below), Px(clTeal));

    graph->SetValue(99, 4);
    graph->SetValue(2, 1);  // left rising too
    EXPECT_EQ(At(109, above), Px(clTeal));
    graph->SetValue(9, 1);  // unknown kinds fall
    EXPECT_EQ(At(109, below), Px(clTeal));
}

TEST_F(KeyfFixture, PressPrefersThePivotThenMarkersThenStrips)
{
    graph->Affiche();
    // All of markers 0, 3 and 4 sit at (7, 99).
    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(9, 97));
    EXPECT_EQ(graph->SelectedMarker(), 4);
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(9, 97));

    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 50));
    EXPECT_EQ(graph->SelectedMarker(), Tvxkeyf::kLeftRubber);
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 50));
    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(196, 50));
    EXPECT_EQ(graph->SelectedMarker(), Tvxkeyf::kRightRubber);
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(196, 50));
    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));
    EXPECT_EQ(graph->SelectedMarker(), -1);
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 50));

    const QPoint overlapping[] = {{10, 10}, {12, 12}};
    EXPECT_EQ(graph->IsMouseOnMarker(overlapping, 2, 11, 11), 1);
    EXPECT_EQ(graph->IsMouseOnMarker(overlapping, 2, 5, 5), 0);
    EXPECT_EQ(graph->IsMouseOnMarker(overlapping, 2, 20, 20), -1);
}

TEST_F(KeyfFixture, MarkerDragsMoveLevelKeyOrBoth)
{
    graph->SetValue(50, 0);
    graph->SetValue(60, 2);
    // Level: marker 0 at (7, 49) up by 20 rows: 20 * 99 / 100 = 19.
    Drag({7, 49}, {{7, 29}});
    EXPECT_EQ(graph->GetValue(0), 69);
    EXPECT_EQ(graph->GetValue(2), 60);
    // Key: marker 2 at (119, 0) right by 40: 40 * 99 / 186 = 21.
    Drag({119, 0}, {{159, 0}});
    EXPECT_EQ(graph->GetValue(2), 81);
    EXPECT_EQ(graph->GetValue(0), 69);
    // Pivot moves both, and far drags clamp to 0..Max.
    const QPoint pivot = graph->Markers()[4];
    Drag(pivot, {{5000, 5000}});
    EXPECT_EQ(graph->GetValue(0), 0);
    EXPECT_EQ(graph->GetValue(2), 99);
    EXPECT_EQ(changes, 2 + 2 + 2);

    // Without AlwayDetect only the release notifies; other buttons do nothing.
    graph->SetAlwayDetect(false);
    Drag(graph->Markers()[4], {{20, 30}, {30, 30}});
    EXPECT_EQ(changes, 7);
    const int selected = graph->SelectedMarker();
    QTest::mouseClick(graph.get(), Qt::RightButton, Qt::NoModifier, QPoint(50, 90));
    EXPECT_EQ(graph->SelectedMarker(), selected);
    EXPECT_EQ(changes, 7);
}

TEST_F(KeyfFixture, StripDragsTurnCurvesAndSetTheirAmounts)
{
    graph->SetValue(50, 0);  // pivot row 49
    Drag({3, 30}, {{3, 0}});
    EXPECT_EQ(graph->GetValue(1), 3);
    EXPECT_EQ(graph->GetValue(4), 99);
    Drag({3, 30}, {{3, 98}});
    EXPECT_EQ(graph->GetValue(1), 0);
    EXPECT_EQ(graph->GetValue(4), 99);
    Drag({3, 30}, {{3, 64}});  // (64 - 49) * 99 / 49
    EXPECT_EQ(graph->GetValue(4), 30);

    graph->SetValue(1, 3);
    Drag({196, 60}, {{196, 0}});
    EXPECT_EQ(graph->GetValue(3), 2);
    EXPECT_EQ(graph->GetValue(5), 99);
    Drag({196, 60}, {{196, 98}});
    EXPECT_EQ(graph->GetValue(3), 1);
    EXPECT_EQ(graph->GetValue(5), 99);
    EXPECT_EQ(graph->GetValue(1), 0);  // the other side untouched
}

TEST_F(KeyfFixture, StripDragWithThePivotOnAnEdgeRowDoesNotDivideByZero)
{
    graph->SetValue(99, 0);  // pivot on the top row
    ASSERT_EQ(graph->Markers()[4].y(), 0);
    Drag({3, 30}, {{3, -5}});
    EXPECT_EQ(graph->GetValue(1), 3);
    EXPECT_EQ(graph->GetValue(4), 99);
    Drag({3, 30}, {{3, 0}});
    EXPECT_EQ(graph->GetValue(4), 0);

    graph->SetValue(1, 0);  // pivot on row H - 2
    ASSERT_EQ(graph->Markers()[4].y(), 98);
    Drag({3, 30}, {{3, 99}});
    EXPECT_EQ(graph->GetValue(1), 0);
    EXPECT_EQ(graph->GetValue(4), 99);
}

TEST_F(KeyfFixture, DisabledStripsLeaveTheWholeWidthToThePlot)
{
    graph->SetRubberEnabled(false);
    EXPECT_EQ(graph->Markers()[0], QPoint(0, 99));
    EXPECT_EQ(graph->Markers()[1], QPoint(199, 99));
    EXPECT_NE(At(0, 11), Px(clSilver));

    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 50));
    EXPECT_EQ(graph->SelectedMarker(), -1);
    SendMove(graph.get(), QPoint(3, 0));
    EXPECT_EQ(changes, 1);  // nothing selected, still notified
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(3, 0));
    EXPECT_EQ(graph->GetValue(1), 0);
    EXPECT_EQ(graph->GetValue(4), 0);

    // The key still scales by the width less both strips: 93 * 99 / 186.
    QTest::mousePress(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(1, 1));
    SendMove(graph.get(), QPoint(93, 1));
    EXPECT_EQ(graph->GetValue(2), 49);
    // The release applies the update once more from the moved marker (98, 0).
    QTest::mouseRelease(graph.get(), Qt::LeftButton, Qt::NoModifier, QPoint(93, 1));
    EXPECT_EQ(graph->GetValue(2), 47);
}

TEST_F(KeyfFixture, GradientIsCachedUntilItsInputsChange)
{
    graph->SetGradientColor(clRed);
    EXPECT_FALSE(graph->GradientReady());  // not drawn while disabled
    graph->SetLineColor(clLime);
    EXPECT_FALSE(graph->GradientReady());
    graph->SetGradientType(grkTopToBottom);
    graph->SetGradientEnabled(true);
    EXPECT_TRUE(graph->GradientReady());
    EXPECT_EQ(At(50, 0), Px(clRed));  // first band: the gradient colour
    EXPECT_EQ(At(50, 97), qRgb(8, 0, 0));
    EXPECT_EQ(At(3, 12), Px(clWhite));  // strips are not part of the plot

    graph->SetGradientNbOfColors(257);  // ignored
    graph->SetGradientNbOfColors(0);

    // Colour and size are inputs of the gradient too.
    graph->SetColor(clBlue);
    EXPECT_EQ(At(50, 97), qRgb(8, 0, 247));
    graph->resize(220, 60);
    graph->Affiche();
    EXPECT_EQ(graph->GradientBitmap().size(), QSize(220, 60));
    EXPECT_EQ(At(150, 55), qRgb(21, 0, 234));
}

TEST_F(KeyfFixture, UnworkableGeometryAbandonsTheDrawingOrTheEdit)
{
    graph->SetValue(50, 0);
    const QImage before = graph->LastPicture();
    graph->SetMax(0);
    EXPECT_EQ(graph->LastPicture(), before);
    graph->SetMax(99);

    // Plot area 0 wide: linear curves cannot be drawn, the edit cannot scale
    // the key by it.
    graph->resize(14, 100);
    graph->Affiche();
    EXPECT_EQ(graph->LastPicture().size(), QSize(200, 100));
    Drag(graph->Markers()[2], {{50, 0}});
    EXPECT_EQ(graph->GetValue(2), 0);
    graph->SetValue(1, 1);
    graph->SetValue(1, 3);
    EXPECT_EQ(graph->LastPicture().size(), QSize(14, 100));

    // Slot indexes are checked.
    graph->SetValue(5, 6);
    graph->SetValue(5, -1);
    EXPECT_EQ(graph->GetValue(6), 0);
}

TEST_F(KeyfFixture, HugeSlotsNoLongerWrapTheLevelAndKeyLinesIntoThePicture)
{
    const auto plotIsPlain = [&] {
        // Clear of the strips and of the key line's markers at x = 7.
        for (int y = 5; y < 95; ++y)
            for (int x = 11; x < 193; ++x)
                if (At(x, y) != Px(clBlack))
                    return false;
        return true;
    };
    graph->SetMax(1);
    graph->SetValue(-1605189797, 0);  // used to land on row 50
    EXPECT_GE(graph->Markers()[0].y(), 1 << 30);
    EXPECT_TRUE(plotIsPlain());

    graph->SetValue(INT_MAX, 0);
    EXPECT_LE(graph->Markers()[0].y(), -(1 << 30));
    EXPECT_TRUE(plotIsPlain());

    // A key far to either side leaves the key line out as well.
    for (int key : {INT_MIN, INT_MAX}) {
        graph->SetValue(key, 2);
        for (int y = 5; y < 95; ++y)
            ASSERT_EQ(At(100, y), Px(clBlack)) << key << " row " << y;
    }
}

TEST(KeyfGeometry, ExtremeAmountNoLongerOverflowsTheLinearCurveEnd)
{
    std::int64_t x = 0, y = 0;
    ASSERT_TRUE(Tvxkeyf::LinearCurveEnd({119, 49}, INT_MIN, 0, Tvxkeyf::csRight, 99, 185, 99, x, y));
    // Pulled in to 2^31 rows above the pivot, along the same line: the exact
    // end lies 4012974770 across and 93671714074396430 up.
    EXPECT_EQ(y, 49 - (std::int64_t(1) << 31));
    EXPECT_EQ(x, 119 + 92);

    for (int amount : {INT_MIN, INT_MAX})
        for (int max : {1, INT_MAX, -1})
            for (int kind : {0, 3}) {
                ASSERT_TRUE(Tvxkeyf::LinearCurveEnd({0, 0}, amount, kind, Tvxkeyf::csLeft, max,
                                                    1 << 24, 1 << 24, x, y));
                EXPECT_LE(std::llabs(x), std::int64_t(1) << 31) << amount << " " << max;
                EXPECT_LE(std::llabs(y), std::int64_t(1) << 31) << amount << " " << max;
            }
}

TEST_F(KeyfFixture, ExtremeAmountNoLongerOverflowsTheDrawing)
{
    graph->SetValue(50, 0);
    graph->SetValue(60, 2);  // pivot (119, 49)
    ASSERT_EQ(At(119, 6), Px(clAqua));  // a dot of the key line
    graph->SetValue(INT_MIN, 5);
    // The right curve now rises almost straight up from the pivot, over the
    // key line's dots.
    for (int y = 6; y < 45; ++y)
        ASSERT_EQ(At(119, y), Px(clTeal)) << "row " << y;

    graph->SetValue(INT_MIN, 4);
    graph->SetValue(1, 3);  // exponential sides take the extreme amounts as well
    graph->SetValue(2, 1);
    // Each maximum is drawn, curves and all, not abandoned: the key line
    // moves with it.
    graph->SetMax(INT_MAX);  // level and key at the bottom left corner
    EXPECT_EQ(graph->Markers()[4], QPoint(7, 99));
    EXPECT_EQ(At(7, 0), Px(clAqua));
    EXPECT_NE(At(119, 0), Px(clAqua));
    graph->SetMax(-1);  // both far outside the picture
    EXPECT_NE(At(7, 0), Px(clAqua));
}
