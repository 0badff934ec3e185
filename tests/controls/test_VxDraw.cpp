#include "controls/VxDraw.h"

#include <gtest/gtest.h>

#include <QImage>

#include <climits>

using namespace VxDraw;

namespace VxDraw {
void PrintTo(const ColorTriple &c, std::ostream *os)
{
    *os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}
} // namespace VxDraw

namespace {

constexpr TColor kBack = 0x112233;

QImage Canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(0x33, 0x22, 0x11)); // kBack
    return image;
}

TColor At(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGBColor(std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)), std::uint8_t(qBlue(p)));
}

ColorTriple TripleAt(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return {qRed(p), qGreen(p), qBlue(p)};
}

} // namespace

TEST(VxDraw, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(5, 1, 2), 3);
    EXPECT_EQ(MulDiv(-5, 1, 2), -3);
    EXPECT_EQ(MulDiv(5, -1, -2), 3);
    EXPECT_EQ(MulDiv(1, -20, 32), -1); // -0.625
    EXPECT_EQ(MulDiv(100000, 100000, 100000), 100000); // product beyond 32 bits
    EXPECT_EQ(MulDiv(7, 3, 0), -1);
}

TEST(VxDraw, VerticalGradientBandsOfTheFilterGraph)
{
    // 186 x 121, 64 bands, (40, 40, 101) at the top fading to black.
    QImage image;
    GradientFill(image, QSize(186, 121), {0, 0, 186, 121}, gr2TopToBottom, 0x652828, clBlack, 64);
    ASSERT_EQ(image.size(), QSize(186, 121));
    struct Band {
        int firstRow;
        int lastRow;
        ColorTriple color;
    };
    const Band bands[] = {
        {0, 1, {40, 40, 101}}, {2, 3, {39, 39, 99}},   {58, 59, {21, 21, 53}},
        {60, 61, {20, 20, 51}}, {119, 120, {1, 1, 2}},
    };
    for (const Band &b : bands) {
        for (int y = b.firstRow; y <= b.lastRow; ++y) {
            EXPECT_EQ(TripleAt(image, 0, y), b.color) << "row " << y;
            EXPECT_EQ(TripleAt(image, 185, y), b.color) << "row " << y;
        }
    }
    EXPECT_NE(TripleAt(image, 0, 61), TripleAt(image, 0, 62));
}

TEST(VxDraw, OddAndAutomaticBandCounts)
{
    // 5 bands over 10 rows: 2 in the first half (rows 0-2, 3-4), 3 in the
    // second (rows 5-6, 7, 8-9); 0 -> 90 grey with the middle at 45.
    QImage odd = Canvas(3, 10);
    GradientFill(odd, QSize(3, 10), {0, 0, 3, 10}, gr2TopToBottom, clBlack, RGBColor(90, 90, 90), 5);
    const int expected[10] = {0, 0, 0, 23, 23, 45, 45, 60, 75, 75};
    for (int y = 0; y < 10; ++y)
        EXPECT_EQ(qRed(odd.pixel(1, y)), expected[y]) << "row " << y;

    EXPECT_EQ(EffectiveBandCount(gr2TopToBottom, 0, QSize(186, 121)), 121);
    EXPECT_EQ(EffectiveBandCount(gr2VertCenterToBorder, 0, QSize(10, 300)), 256);
    EXPECT_EQ(EffectiveBandCount(gr2LeftToRight, 0, QSize(186, 121)), 186);
    EXPECT_EQ(EffectiveBandCount(gr2HorizBorderToCenter, 0, QSize(1, 121)), 2);

    // 121 automatic bands on 121 rows: one row each.
    QImage automatic;
    GradientFill(automatic, QSize(20, 121), {0, 0, 20, 121}, gr2TopToBottom, 0x652828, clBlack, 0);
    EXPECT_EQ(TripleAt(automatic, 5, 1), (ColorTriple{40, 40, 100}));
    EXPECT_EQ(TripleAt(automatic, 5, 2), (ColorTriple{39, 39, 99}));
}

TEST(VxDraw, GradientTypesPickAxisAndColours)
{
    const TColor grad = RGBColor(200, 0, 0);
    const TColor base = RGBColor(0, 0, 200);
    struct Case {
        tGradientType2 type;
        ColorTriple first;  // first band on the axis
        ColorTriple middle; // first band of the second half
    };
    const Case cases[] = {
        {gr2LeftToRight, {200, 0, 0}, {100, 0, 100}},
        {gr2RightToLeft, {0, 0, 200}, {100, 0, 100}},
        {gr2TopToBottom, {200, 0, 0}, {100, 0, 100}},
        {gr2BottomToTop, {0, 0, 200}, {100, 0, 100}},
        {gr2HorizCenterToBorder, {0, 0, 200}, {200, 0, 0}},
        {gr2HorizBorderToCenter, {200, 0, 0}, {0, 0, 200}},
        {gr2VertCenterToBorder, {0, 0, 200}, {200, 0, 0}},
        {gr2VertBorderToCenter, {200, 0, 0}, {0, 0, 200}},
    };
    for (const Case &c : cases) {
        QImage image;
        GradientFill(image, QSize(40, 40), {0, 0, 40, 40}, c.type, grad, base, 4);
        const bool horiz = IsHorizontal(c.type);
        EXPECT_EQ(TripleAt(image, 0, 0), c.first) << int(c.type);
        EXPECT_EQ(horiz ? TripleAt(image, 20, 39) : TripleAt(image, 39, 20), c.middle) << int(c.type);
        EXPECT_EQ(horiz ? TripleAt(image, 0, 39) : TripleAt(image, 39, 0), c.first) << int(c.type);
    }
    // Bands stay inside their rectangle; fewer than two bands paint nothing.
    QImage image = Canvas(30, 30);
    HorizGradientFill(image, {5, 10, 25, 20}, {10, 20, 30}, {10, 10, 10}, {20, 30, 40}, {10, 10, 10}, 4);
    EXPECT_EQ(At(image, 4, 15), kBack);
    EXPECT_EQ(At(image, 10, 20), kBack);
    EXPECT_EQ(TripleAt(image, 24, 19), (ColorTriple{25, 35, 45}));
    QImage untouched = Canvas(10, 10);
    VertGradientFill(untouched, {0, 0, 10, 10}, {1, 2, 3}, {}, {}, {}, 1);
    EXPECT_EQ(untouched, Canvas(10, 10));
}

TEST(VxDraw, PolylineLeavesOutItsLastPointAndIsClipped)
{
    QImage poly = Canvas(12, 12);
    const QPoint pts[] = {{-5, -5}, {4, 4}, {8, 0}};
    DrawPolyline(poly, pts, 3, clRed);
    EXPECT_EQ(At(poly, 0, 0), clRed);
    EXPECT_EQ(At(poly, 4, 4), clRed); // each corner painted once, by the next segment
    EXPECT_EQ(At(poly, 7, 1), clRed);
    EXPECT_EQ(At(poly, 8, 0), kBack);
}

TEST(VxDraw, LineFarOutsideTheImageIsWalkedOnlyWhereVisibleInsteadOfHanging)
{
    // The visible part is pixel for pixel the full walk's.
    for (const QPoint end : {QPoint(2000, 1000), QPoint(700, 1000), QPoint(0, 0)}) {
        QImage big = Canvas(2001, 1001);
        DrawDottedLine(big, end, QPoint(2000, 1000) - end, clAqua, clTeal);
        QImage part = Canvas(20, 20);
        DrawDottedLine(part, end - QPoint(1000, 500), QPoint(1000, 500) - end, clAqua, clTeal);
        EXPECT_EQ(part, big.copy(1000, 500, 20, 20)) << end.x() << "," << end.y();
    }
    QImage far = Canvas(10, 10);
    DrawLine(far, {INT_MIN + 1, INT_MIN + 1}, {INT_MAX, INT_MAX}, clRed);
    EXPECT_EQ(At(far, 5, 5), clRed);
    EXPECT_EQ(At(far, 5, 6), kBack);
}

TEST(VxDraw, EvenOddPolygonFillsInsideAndOutlinesEveryEdge)
{
    QImage image = Canvas(20, 20);
    const QPoint square[] = {{2, 2}, {12, 2}, {12, 12}, {2, 12}};
    DrawPolygon(image, square, 4, clRed, clBlue);
    EXPECT_EQ(At(image, 7, 7), clBlue);
    EXPECT_EQ(At(image, 12, 12), clRed); // closed: every corner starts an edge
    EXPECT_EQ(At(image, 13, 7), kBack);
    EXPECT_EQ(At(image, 7, 13), kBack);

    // A self-crossing star: the even-odd rule leaves its centre empty.
    QImage star = Canvas(40, 40);
    const QPoint pts[] = {{20, 0}, {32, 38}, {0, 14}, {39, 14}, {8, 38}};
    DrawPolygon(star, pts, 5, clRed, clBlue);
    EXPECT_EQ(At(star, 20, 20), kBack);
    EXPECT_EQ(At(star, 20, 8), clBlue);
}

TEST(VxDraw, HitTestToleranceAndOverlapOrder)
{
    const QPoint pts[] = {{10, 10}, {14, 10}, {50, 50}};
    EXPECT_EQ(IsMouseOnMarker(pts, 3, 12, 10, 3), 0);
    EXPECT_EQ(IsMouseOnMarker(pts, 3, 12, 10, 3, MarkerOrder::HighestFirst), 1);
    EXPECT_EQ(IsMouseOnMarker(pts, 3, 55, 45, 0), 2); // at least 5, edges inclusive
    EXPECT_EQ(IsMouseOnMarker(pts, 2, 50, 50, 3), -1); // count limits the search
}
