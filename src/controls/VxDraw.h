#pragma once
// Pixel-exact drawing shared by the graph controls (envelope graph,
// keyboard-follow graph): gradient background, solid and dotted one-pixel
// lines, even-odd polygons, marker frames and the marker hit test.
//
// Every routine writes pixels of a QImage itself (32-bit formats through a
// row pointer, others pixel by pixel) so that the results follow the
// classic raster rules the controls rely on, not Qt's:
//   - a line's end point is not painted;
//   - a rectangle's right and bottom edges are exclusive;
//   - a dotted pen paints its gaps in a second colour.
// Everything is clipped to the image, and a line costs no more than its
// visible part however far outside its ends lie; nothing is antialiased.
//
// Threads: pure functions over the caller's image; any thread may call them
// on an image it owns. Colours go through ColorToRGB, which reads the
// application palette for system colours (see platform/Colors.h).

#include "platform/Colors.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>

// Direction and shape of a gradient. Start of the axis is the left or top
// edge. Linear types run start colour -> end colour; centre types are
// symmetric about the centre line.
enum tGradientType2 : std::uint8_t {
    gr2LeftToRight,          // horizontal, GradientColor -> Color
    gr2RightToLeft,          // horizontal, Color -> GradientColor
    gr2TopToBottom,          // vertical, GradientColor -> Color
    gr2BottomToTop,          // vertical, Color -> GradientColor
    gr2HorizCenterToBorder,  // horizontal, edges Color, centre GradientColor
    gr2HorizBorderToCenter,  // horizontal, edges GradientColor, centre Color
    gr2VertCenterToBorder,   // vertical, edges Color, centre GradientColor
    gr2VertBorderToCenter,   // vertical, edges GradientColor, centre Color
};

namespace VxDraw {

// A rectangle as the classic toolkit holds it: Right and Bottom are one past
// the last column and row (so width = Right - Left).
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    friend constexpr bool operator==(const TRect &a, const TRect &b)
    {
        return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
    }
    friend constexpr bool operator!=(const TRect &a, const TRect &b) { return !(a == b); }
};

// One colour or one colour step, as signed components.
struct ColorTriple {
    int r = 0;
    int g = 0;
    int b = 0;
    friend constexpr bool operator==(const ColorTriple &a, const ColorTriple &b)
    {
        return a.r == b.r && a.g == b.g && a.b == b.b;
    }
    friend constexpr bool operator!=(const ColorTriple &a, const ColorTriple &b) { return !(a == b); }
};

// a * b / c with a 64-bit intermediate, rounded to nearest, halves away
// from zero. Returns -1 when c is 0 (the classic MulDiv contract).
int MulDiv(int a, int b, int c);

// Split a colour (system colours resolved) into its components.
ColorTriple SplitColor(TColor color);

// The solid colour of one band: each component reduced to its low byte,
// red + green * 256 + blue * 65536.
TColor BandColor(const ColorTriple &c);

// Number of gradient bands actually used: nbOfColors, or when it is 0 the
// control's extent along the gradient axis, clamped to 2..256.
int EffectiveBandCount(tGradientType2 type, int nbOfColors, QSize controlSize);

// True for the types that step along x.
bool IsHorizontal(tGradientType2 type);

// Paints the bands of one gradient axis into rect of image. nbOfColors must
// be at least 2 (EffectiveBandCount guarantees it); smaller values paint
// nothing. Horizontal steps along x (top/bottom fixed), vertical along y.
void HorizGradientFill(QImage &image, const TRect &rect, const ColorTriple &start,
                       const ColorTriple &step1, const ColorTriple &middle,
                       const ColorTriple &step2, int nbOfColors);
void VertGradientFill(QImage &image, const TRect &rect, const ColorTriple &start,
                      const ColorTriple &step1, const ColorTriple &middle,
                      const ColorTriple &step2, int nbOfColors);

// Rebuilds a gradient bitmap: sizes bitmap to controlSize (RGB32; a bitmap of
// another size or format is replaced, one of the right size keeps the pixels
// outside rect), works out start/middle/end and the two steps from type,
// gradientColor and color, and paints the bands over rect. nbOfColors is the
// property value (0 = automatic, resolved from controlSize).
void GradientFill(QImage &bitmap, QSize controlSize, const TRect &rect, tGradientType2 type,
                  TColor gradientColor, TColor color, int nbOfColors);

// Solid fill of rect (right/bottom exclusive).
void FillRect(QImage &image, const TRect &rect, TColor color);

// One-pixel frame along rect, right/bottom exclusive: columns Left..Right-1,
// rows Top..Bottom-1, border pixels only. An empty rect paints nothing.
void FrameRect(QImage &image, const TRect &rect, TColor color);

// Unchanged copy of srcRect of src onto dst with its top-left corner at
// dstTopLeft, clipped to both images.
void CopyRect(QImage &dst, QPoint dstTopLeft, const QImage &src, const TRect &srcRect);

// Solid one-pixel line from 'from' towards 'to'; 'to' itself is not painted.
void DrawLine(QImage &image, QPoint from, QPoint to, TColor color);

// Open poly-line through count points; each segment leaves out its end
// point, so the last point of the line is not painted.
void DrawPolyline(QImage &image, const QPoint *points, int count, TColor color);

// Closed polygon through count points: interior filled with brush by the
// even-odd rule (pixel centres inside), then every edge, the closing one
// included, outlined in pen.
void DrawPolygon(QImage &image, const QPoint *points, int count, TColor pen, TColor brush);

// Length in pixels of each dot and of each gap of the dotted pen.
constexpr int kDotLength = 3;

// Dotted one-pixel line from 'from' towards 'to' ('to' not painted): runs of
// kDotLength pixels in dotColor, starting at 'from', alternating with runs
// of kDotLength pixels in gapColor.
void DrawDottedLine(QImage &image, QPoint from, QPoint to, TColor dotColor, TColor gapColor);

// Edges inclusive: Left <= x <= Right and Top <= y <= Bottom.
bool IsInsideRect(const TRect &rect, int x, int y);

// The hit-test half-size: markerSize, but at least 5.
int MarkerTolerance(int markerSize);

// Marker frames: for each of the first count points (x, y), FrameRect over
// (x - S, y - S, x + S, y + S) in color, a frame 2S pixels on a side.
// markerSize <= 0 draws nothing.
void DrawPolyMarkers(QImage &image, const QPoint *points, int count, int markerSize, TColor color);

// Which marker wins where hit squares overlap.
enum class MarkerOrder { LowestFirst, HighestFirst };

// Index of the first point whose square of half-size MarkerTolerance(markerSize)
// contains (x, y), edges included; -1 when none does. LowestFirst tries
// 0 up to count-1, HighestFirst count-1 down to 0.
int IsMouseOnMarker(const QPoint *points, int count, int x, int y, int markerSize,
                    MarkerOrder order = MarkerOrder::LowestFirst);

} // namespace VxDraw
