#include "controls/VxDraw.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace VxDraw {

namespace {

QRgb PixelOf(TColor rgb)
{
    return qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

QRgb PixelOfColor(TColor color)
{
    return PixelOf(ColorToRGB(color));
}

bool IsDirect(const QImage &image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
        || image.format() == QImage::Format_ARGB32_Premultiplied;
}

// Clipped pixel writes into one image; 32-bit formats are written through a
// raw row pointer (the image is detached once, here), others pixel by pixel.
class Surface
{
public:
    explicit Surface(QImage &image)
        : image_(image)
        , width_(image.width())
        , height_(image.height())
    {
        if (IsDirect(image) && width_ > 0 && height_ > 0) {
            bits_ = image.bits();
            stride_ = image.bytesPerLine();
        }
    }

    int Width() const { return width_; }
    int Height() const { return height_; }

    void Put(int x, int y, QRgb pixel)
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return;
        if (bits_ != nullptr)
            Row(y)[x] = pixel;
        else
            image_.setPixel(x, y, pixel);
    }

    // Fills the clipped span [x0, x1) of row y.
    void Span(int y, int x0, int x1, QRgb pixel)
    {
        if (y < 0 || y >= height_)
            return;
        x0 = std::max(x0, 0);
        x1 = std::min(x1, width_);
        if (x0 >= x1)
            return;
        if (bits_ != nullptr) {
            FillDirect(Row(y) + x0, std::size_t(x1 - x0), pixel);
            return;
        }
        for (int x = x0; x < x1; ++x)
            image_.setPixel(x, y, pixel);
    }

    void Fill(const TRect &rect, QRgb pixel)
    {
        const int top = std::max(rect.Top, 0);
        const int bottom = std::min(rect.Bottom, height_);
        for (int y = top; y < bottom; ++y)
            Span(y, rect.Left, rect.Right, pixel);
    }

private:
    QRgb *Row(int y) { return reinterpret_cast<QRgb *>(bits_ + std::ptrdiff_t(y) * stride_); }

    // Long runs are copied from a row of the colour (the library's copy is
    // vectorised; a plain store loop is not).
    void FillDirect(QRgb *to, std::size_t count, QRgb pixel)
    {
        if (count < 16) {
            std::fill(to, to + count, pixel);
            return;
        }
        if (patternPixel_ != pixel || pattern_.size() < count) {
            pattern_.assign(std::max<std::size_t>(count, std::size_t(width_)), pixel);
            patternPixel_ = pixel;
        }
        std::memcpy(to, pattern_.data(), count * sizeof(QRgb));
    }

    QImage &image_;
    int width_;
    int height_;
    uchar *bits_ = nullptr;
    qsizetype stride_ = 0;
    std::vector<QRgb> pattern_;
    QRgb patternPixel_ = 0;
};

// Coordinates beyond this are pulled in along the line before it is walked,
// which keeps the closed-form step below inside 64-bit arithmetic.
constexpr long long kFar = 1LL << 28;

// Cuts the segment to the square [-kFar, kFar]; false when it misses it.
bool PullIn(QPoint &from, QPoint &to)
{
    const auto near = [](QPoint p) { return std::llabs(p.x()) <= kFar && std::llabs(p.y()) <= kFar; };
    if (near(from) && near(to))
        return true;
    const double x0 = from.x(), y0 = from.y();
    const double dx = double(to.x()) - x0, dy = double(to.y()) - y0;
    const double far = double(kFar);
    double t0 = 0.0, t1 = 1.0;
    // Keeps the part of the line where p * t <= q.
    const auto keep = [&](double p, double q) {
        if (p == 0.0)
            return q >= 0.0;
        const double r = q / p;
        if (p < 0.0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        return t0 <= t1;
    };
    if (!keep(-dx, x0 + far) || !keep(dx, far - x0) || !keep(-dy, y0 + far) || !keep(dy, far - y0))
        return false;
    from = QPoint(qRound(x0 + t0 * dx), qRound(y0 + t0 * dy));
    to = QPoint(qRound(x0 + t1 * dx), qRound(y0 + t1 * dy));
    return true;
}

// Visits the pixels of a line from 'from' up to, not including, 'to' (the
// classic Bresenham walk), but only the steps whose coordinate along the
// major axis lies inside width x height: a line from far outside costs no
// more than one across the image. plot gets the step index from 'from'.
template <typename Plot>
void WalkLine(QPoint from, QPoint to, int width, int height, Plot plot)
{
    if (!PullIn(from, to))
        return;
    const long long dx = std::llabs(static_cast<long long>(to.x()) - from.x());
    const long long dy = std::llabs(static_cast<long long>(to.y()) - from.y());
    const long long steps = std::max(dx, dy);
    if (steps == 0)
        return;
    const int sx = to.x() >= from.x() ? 1 : -1;
    const int sy = to.y() >= from.y() ? 1 : -1;
    const bool xMajor = dx >= dy;
    const long long minor = xMajor ? dy : dx;
    const long long major0 = xMajor ? from.x() : from.y();
    const long long extent = xMajor ? width : height;
    const bool forward = (xMajor ? sx : sy) > 0;
    const long long first = std::max(0LL, forward ? -major0 : major0 - (extent - 1));
    const long long last = std::min(steps - 1, forward ? extent - 1 - major0 : major0);
    if (first > last)
        return;
    // The incremental walk's error starts at 2 * minor - steps and moves the
    // minor axis while positive; after 'first' steps the minor offset k and
    // the error have this closed form.
    long long k = (2 * minor * first + steps - 1) / (2 * steps);
    long long err = 2 * minor * (first + 1) - steps - 2 * steps * k;
    for (long long i = first; i <= last; ++i) {
        const long long x = from.x() + sx * (xMajor ? i : k);
        const long long y = from.y() + sy * (xMajor ? k : i);
        plot(i, int(x), int(y));
        if (err > 0) {
            ++k;
            err -= 2 * steps;
        }
        err += 2 * minor;
    }
}

struct GradientColors {
    ColorTriple start;
    ColorTriple middle;
    ColorTriple end;
};

GradientColors ColorsFor(tGradientType2 type, TColor gradientColor, TColor color)
{
    const ColorTriple grad = SplitColor(gradientColor);
    const ColorTriple base = SplitColor(color);
    switch (type) {
    case gr2HorizCenterToBorder:
    case gr2VertCenterToBorder:
        return {base, grad, base};
    case gr2HorizBorderToCenter:
    case gr2VertBorderToCenter:
        return {grad, base, grad};
    default:
        break;
    }
    const bool gradientFirst = type == gr2LeftToRight || type == gr2TopToBottom;
    const ColorTriple start = gradientFirst ? grad : base;
    const ColorTriple end = gradientFirst ? base : grad;
    const ColorTriple middle{start.r + (end.r - start.r) / 2, start.g + (end.g - start.g) / 2,
                             start.b + (end.b - start.b) / 2};
    return {start, middle, end};
}

ColorTriple Minus(const ColorTriple &a, const ColorTriple &b)
{
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}

// Band layout along one axis [a, b): calls paint(from, to, colour) per band.
template <typename Paint>
void PaintBands(int a, int b, const ColorTriple &start, const ColorTriple &step1,
                const ColorTriple &middle, const ColorTriple &step2, int nbOfColors, Paint paint)
{
    if (nbOfColors < 2)
        return;
    const int half1 = (b - a) / 2;
    const int half2 = (b - a) - half1;
    const int n1 = nbOfColors / 2;
    const int n2 = nbOfColors - n1;
    const auto half = [&](int origin, int length, int count, const ColorTriple &base,
                          const ColorTriple &step) {
        for (int k = 0; k < count; ++k) {
            const int from = origin + MulDiv(k, length, count);
            const int to = origin + MulDiv(k + 1, length, count);
            if (from == to)
                continue;
            const ColorTriple c{base.r + MulDiv(k, step.r, count), base.g + MulDiv(k, step.g, count),
                                base.b + MulDiv(k, step.b, count)};
            paint(from, to, PixelOf(BandColor(c)));
        }
    };
    half(a, half1, n1, start, step1);
    half(a + half1, half2, n2, middle, step2);
}

// The square (x - half, y - half, x + half, y + half), saturated to int.
TRect Around(QPoint p, int half)
{
    const auto edge = [](long long v) {
        return int(std::clamp<long long>(v, INT_MIN, INT_MAX));
    };
    return {edge(1LL * p.x() - half), edge(1LL * p.y() - half), edge(1LL * p.x() + half),
            edge(1LL * p.y() + half)};
}

} // namespace

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long n = static_cast<long long>(a) * b;
    const bool negative = (n < 0) != (c < 0);
    const long long an = n < 0 ? -n : n;
    const long long ac = c < 0 ? -static_cast<long long>(c) : c;
    const long long q = (2 * an + ac) / (2 * ac);
    return static_cast<int>(negative ? -q : q);
}

ColorTriple SplitColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)};
}

TColor BandColor(const ColorTriple &c)
{
    return RGBColor(std::uint8_t(c.r & 0xFF), std::uint8_t(c.g & 0xFF), std::uint8_t(c.b & 0xFF));
}

bool IsHorizontal(tGradientType2 type)
{
    return type == gr2LeftToRight || type == gr2RightToLeft || type == gr2HorizCenterToBorder
        || type == gr2HorizBorderToCenter;
}

int EffectiveBandCount(tGradientType2 type, int nbOfColors, QSize controlSize)
{
    if (nbOfColors != 0)
        return nbOfColors;
    const int extent = IsHorizontal(type) ? controlSize.width() : controlSize.height();
    return std::clamp(extent, 2, 256);
}

void HorizGradientFill(QImage &image, const TRect &rect, const ColorTriple &start,
                       const ColorTriple &step1, const ColorTriple &middle,
                       const ColorTriple &step2, int nbOfColors)
{
    Surface surface(image);
    PaintBands(rect.Left, rect.Right, start, step1, middle, step2, nbOfColors,
               [&](int from, int to, QRgb pixel) {
                   surface.Fill({from, rect.Top, to, rect.Bottom}, pixel);
               });
}

void VertGradientFill(QImage &image, const TRect &rect, const ColorTriple &start,
                      const ColorTriple &step1, const ColorTriple &middle,
                      const ColorTriple &step2, int nbOfColors)
{
    Surface surface(image);
    PaintBands(rect.Top, rect.Bottom, start, step1, middle, step2, nbOfColors,
               [&](int from, int to, QRgb pixel) {
                   surface.Fill({rect.Left, from, rect.Right, to}, pixel);
               });
}

void GradientFill(QImage &bitmap, QSize controlSize, const TRect &rect, tGradientType2 type,
                  TColor gradientColor, TColor color, int nbOfColors)
{
    if (bitmap.size() != controlSize || bitmap.format() != QImage::Format_RGB32) {
        bitmap = QImage(controlSize.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
        bitmap.fill(Qt::black);
    }
    const GradientColors colors = ColorsFor(type, gradientColor, color);
    const ColorTriple step1 = Minus(colors.middle, colors.start);
    const ColorTriple step2 = Minus(colors.end, colors.middle);
    const int n = EffectiveBandCount(type, nbOfColors, controlSize);
    if (IsHorizontal(type))
        HorizGradientFill(bitmap, rect, colors.start, step1, colors.middle, step2, n);
    else
        VertGradientFill(bitmap, rect, colors.start, step1, colors.middle, step2, n);
}

void FillRect(QImage &image, const TRect &rect, TColor color)
{
    Surface(image).Fill(rect, PixelOfColor(color));
}

void FrameRect(QImage &image, const TRect &rect, TColor color)
{
    if (rect.Right <= rect.Left || rect.Bottom <= rect.Top)
        return;
    const QRgb pixel = PixelOfColor(color);
    Surface surface(image);
    surface.Span(rect.Top, rect.Left, rect.Right, pixel);
    surface.Span(rect.Bottom - 1, rect.Left, rect.Right, pixel);
    const int top = std::max(rect.Top + 1, 0);
    const int bottom = std::min(rect.Bottom - 1, surface.Height());
    for (int y = top; y < bottom; ++y) {
        surface.Put(rect.Left, y, pixel);
        surface.Put(rect.Right - 1, y, pixel);
    }
}

void CopyRect(QImage &dst, QPoint dstTopLeft, const QImage &src, const TRect &srcRect)
{
    // Clip the source rectangle to the source image, then the result to dst.
    int sx = srcRect.Left, sy = srcRect.Top;
    int w = srcRect.Width(), h = srcRect.Height();
    int dx = dstTopLeft.x(), dy = dstTopLeft.y();
    const auto clip = [&w](int &s, int &d, int limitS, int limitD) {
        const int shift = std::max({0, -s, -d});
        s += shift;
        d += shift;
        w -= shift;
        w = std::min({w, limitS - s, limitD - d});
    };
    clip(sx, dx, src.width(), dst.width());
    std::swap(w, h);
    clip(sy, dy, src.height(), dst.height());
    std::swap(w, h);
    if (w <= 0 || h <= 0)
        return;
    if (IsDirect(dst) && src.format() == dst.format()) {
        for (int row = 0; row < h; ++row) {
            const auto *from = reinterpret_cast<const QRgb *>(src.constScanLine(sy + row)) + sx;
            auto *to = reinterpret_cast<QRgb *>(dst.scanLine(dy + row)) + dx;
            std::memcpy(to, from, sizeof(QRgb) * std::size_t(w));
        }
        return;
    }
    Surface surface(dst);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            surface.Put(dx + col, dy + row, src.pixel(sx + col, sy + row));
}

void DrawLine(QImage &image, QPoint from, QPoint to, TColor color)
{
    const QRgb pixel = PixelOfColor(color);
    Surface surface(image);
    WalkLine(from, to, surface.Width(), surface.Height(),
             [&](long long, int x, int y) { surface.Put(x, y, pixel); });
}

void DrawPolyline(QImage &image, const QPoint *points, int count, TColor color)
{
    for (int i = 0; i + 1 < count; ++i)
        DrawLine(image, points[i], points[i + 1], color);
}

void DrawPolygon(QImage &image, const QPoint *points, int count, TColor pen, TColor brush)
{
    if (count < 2)
        return;
    struct Edge {
        int yTop;    // first row whose centre lies below the upper end
        int yBottom; // last such row
        double x0;   // x at the centre of row yTop
        double dxdy;
    };
    std::vector<Edge> edges;
    edges.reserve(std::size_t(count));
    int top = INT_MAX, bottom = INT_MIN;
    for (int i = 0; i < count; ++i) {
        QPoint a = points[i];
        QPoint b = points[(i + 1) % count];
        if (a.y() == b.y())
            continue; // a horizontal edge crosses no pixel centre
        if (a.y() > b.y())
            std::swap(a, b);
        // Rows y with a.y < y + 0.5 < b.y: y from a.y to b.y - 1.
        // In double: the differences of far-out points overflow an int.
        const double dxdy = (double(b.x()) - a.x()) / (double(b.y()) - a.y());
        edges.push_back({a.y(), b.y() - 1, a.x() + 0.5 * dxdy, dxdy});
        top = std::min(top, a.y());
        bottom = std::max(bottom, b.y() - 1);
    }
    Surface surface(image);
    const QRgb fill = PixelOfColor(brush);
    top = std::max(top, 0);
    bottom = std::min(bottom, surface.Height() - 1);
    std::vector<double> crossings;
    crossings.reserve(edges.size());
    for (int y = top; y <= bottom; ++y) {
        crossings.clear();
        for (const Edge &e : edges)
            if (e.yTop <= y && y <= e.yBottom)
                crossings.push_back(e.x0 + (double(y) - e.yTop) * e.dxdy);
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            // Pixels whose centre x + 0.5 lies in [left crossing, right crossing).
            const auto column = [&](double x) {
                return int(std::clamp(std::ceil(x - 0.5), -1.0, double(surface.Width()) + 1.0));
            };
            surface.Span(y, column(crossings[i]), column(crossings[i + 1]), fill);
        }
    }
    for (int i = 0; i < count; ++i)
        DrawLine(image, points[i], points[(i + 1) % count], pen);
}

void DrawDottedLine(QImage &image, QPoint from, QPoint to, TColor dotColor, TColor gapColor)
{
    const QRgb dot = PixelOfColor(dotColor);
    const QRgb gap = PixelOfColor(gapColor);
    Surface surface(image);
    WalkLine(from, to, surface.Width(), surface.Height(), [&](long long i, int x, int y) {
        surface.Put(x, y, (i / kDotLength) % 2 == 0 ? dot : gap);
    });
}

bool IsInsideRect(const TRect &rect, int x, int y)
{
    return rect.Left <= x && x <= rect.Right && rect.Top <= y && y <= rect.Bottom;
}

int MarkerTolerance(int markerSize)
{
    return std::max(markerSize, 5);
}

void DrawPolyMarkers(QImage &image, const QPoint *points, int count, int markerSize, TColor color)
{
    if (markerSize <= 0)
        return;
    for (int i = 0; i < count; ++i)
        FrameRect(image, Around(points[i], markerSize), color);
}

int IsMouseOnMarker(const QPoint *points, int count, int x, int y, int markerSize, MarkerOrder order)
{
    const int t = MarkerTolerance(markerSize);
    for (int n = 0; n < count; ++n) {
        const int i = order == MarkerOrder::LowestFirst ? n : count - 1 - n;
        if (IsInsideRect(Around(points[i], t), x, y))
            return i;
    }
    return -1;
}

} // namespace VxDraw
