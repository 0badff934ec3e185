#include "controls/Vxkeyf.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Row of each 8-row period that the horizontal hatch paints, counted from
// the buffer's top edge (the brush origin).
constexpr int kHatchRow = 3;

// A linear curve's end is kept this close to its pivot (far outside any
// picture), so that the line walk's arithmetic stays inside 64 bits.
constexpr long double kCurveReach = 2147483648.0L;  // 2^31
// Products below this are formed exactly in 64 bits.
constexpr long double kExactProduct = 4611686018427387904.0L;  // 2^62

// Colour of a new drawing-buffer area before anything is drawn on it; the
// rubber strips show it between their hatch lines.
constexpr TColor kFreshBufferColor = clWhite;

std::int64_t CeilDiv(std::int64_t n, std::int64_t d)  // d > 0
{
    return n >= 0 ? (n + d - 1) / d : -((-n) / d);
}

// Unchecked slot values may place a marker anywhere; keep it far enough
// inside int that the drawing and the hit test cannot overflow.
int Coord(std::int64_t v)
{
    constexpr std::int64_t kLimit = std::int64_t(1) << 30;
    return int(std::clamp(v, -kLimit, kLimit));
}

int ClampSlot(std::int64_t value, int max)
{
    if (value > max)
        value = max;
    if (value < 0)
        value = 0;
    return int(value);
}

QRgb PixelOf(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return qRgb(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

void PutPixel(QImage &image, std::int64_t x, std::int64_t y, QRgb pixel)
{
    if (x < 0 || y < 0 || x >= image.width() || y >= image.height())
        return;
    if (image.depth() == 32)
        reinterpret_cast<QRgb *>(image.scanLine(int(y)))[x] = pixel;
    else
        image.setPixel(int(x), int(y), pixel);
}

// Screen angle (counter-clockwise, y up) of (x, y) seen from (cx, cy).
double ScreenAngle(double x, double y, double cx, double cy)
{
    return std::atan2(cy - y, x - cx);
}

double TurnFrom(double from, double to)
{
    constexpr double twoPi = 6.283185307179586;
    double d = std::fmod(to - from, twoPi);
    if (d < 0)
        d += twoPi;
    return d;
}

} // namespace

Tvxkeyf::Tvxkeyf(QWidget *owner)
    : QWidget(owner)
    , m_onChange([this](QObject *sender) { xOnChange(sender); })
{
    InstallAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    GradientFill({0, 0, width(), height()});
}

Tvxkeyf::~Tvxkeyf() = default;

// ---- properties --------------------------------------------------------------

void Tvxkeyf::SetMax(int value)
{
    if (value == m_max)
        return;
    m_max = value;
    Redraw();
}

void Tvxkeyf::SetLineColor(TColor value)
{
    if (value == m_lineColor)
        return;
    m_lineColor = value;
    Redraw();
}

void Tvxkeyf::SetAlwayDetect(bool value) { m_alwayDetect = value; }

void Tvxkeyf::SetShowHint(bool value)
{
    if (value == m_showHint)
        return;
    // Qt has no per-widget hint switch: a tool tip shows whenever one is set.
    m_showHint = value;
}

void Tvxkeyf::SetGradientColor(TColor value)
{
    if (value == m_gradientColor)
        return;
    m_gradientColor = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetGradientEnabled(bool value)
{
    if (value == m_gradientEnabled)
        return;
    m_gradientEnabled = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetGradientNbOfColors(int value)
{
    if (value == m_gradientNbOfColors || (value != 0 && (value < 2 || value > 256)))
        return;
    m_gradientNbOfColors = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetGradientType(tGradientTypek value)
{
    if (value == m_gradientType)
        return;
    m_gradientType = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetMarkerColor(TColor value)
{
    if (value == m_markerColor)
        return;
    m_markerColor = value;
    Redraw();
}

void Tvxkeyf::SetRubberColor(TColor value)
{
    if (value == m_rubberColor)
        return;
    m_rubberColor = value;
    Redraw();
}

void Tvxkeyf::SetRubberSize(int value)
{
    if (value == m_rubberSize)
        return;
    m_rubberSize = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetRubberEnabled(bool value)
{
    if (value == m_rubberEnabled)
        return;
    m_rubberEnabled = value;
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetMarkerSize(int value)
{
    if (value == m_markerSize)
        return;
    m_markerSize = value;
    Redraw();
}

void Tvxkeyf::SetExpCoeff(int value) { m_expCoeff = value; }

void Tvxkeyf::SetColor(TColor value)
{
    if (value == m_color)
        return;
    m_color = value;
    // The colour is one end of the gradient, so a cached one is out of date.
    m_gradientReady = false;
    Redraw();
}

void Tvxkeyf::SetValue(int value, int index)
{
    if (index < 0 || index >= kSlotCount || m_values[std::size_t(index)] == value)
        return;
    m_values[std::size_t(index)] = value;
    Redraw();
    AnnounceValueChange(this);
}

QString Tvxkeyf::DefaultAccessibleValueText() const
{
    const auto kind = [](int k) {
        switch (k) {
        case 0: return QStringLiteral("linear falling");
        case 2: return QStringLiteral("exponential rising");
        case 3: return QStringLiteral("linear rising");
        default: return QStringLiteral("exponential falling"); // drawn so
        }
    };
    return QStringLiteral("level %1, key %2, left %3 %4, right %5 %6")
        .arg(m_values[0])
        .arg(m_values[2])
        .arg(kind(m_values[1]))
        .arg(m_values[4])
        .arg(kind(m_values[3]))
        .arg(m_values[5]);
}

int Tvxkeyf::GetValue(int index) const
{
    if (index < 0 || index >= kSlotCount)
        return 0;
    return m_values[std::size_t(index)];
}

void Tvxkeyf::xOnChange(QObject *) {}

void Tvxkeyf::RaiseOnChange()
{
    AnnounceValueChange(this);
    if (m_onChange)
        m_onChange(this);
}

// ---- drawing -----------------------------------------------------------------

void Tvxkeyf::GradientFill(const VxDraw::TRect &rect)
{
    VxDraw::GradientFill(m_gradient, size(), rect, tGradientType2(m_gradientType),
                         m_gradientColor, m_color, m_gradientNbOfColors);
    m_gradientReady = true;
}

void Tvxkeyf::DrawPolyMarkers(const QPoint *points, int count)
{
    VxDraw::DrawPolyMarkers(m_buffer, points, count, m_markerSize, m_markerColor);
}

bool Tvxkeyf::IsInsideRect(const VxDraw::TRect &rect, int x, int y)
{
    return VxDraw::IsInsideRect(rect, x, y);
}

void Tvxkeyf::SizeBuffer()
{
    if (m_buffer.size() == size())
        return;
    // Like a classic bitmap resize: new area blank, old picture kept at the
    // top left.
    QImage resized(size(), QImage::Format_RGB32);
    resized.fill(PixelOf(kFreshBufferColor));
    if (!m_buffer.isNull())
        VxDraw::CopyRect(resized, {0, 0}, m_buffer, {0, 0, m_buffer.width(), m_buffer.height()});
    m_buffer = resized;
}

void Tvxkeyf::HatchStrip(const VxDraw::TRect &rect)
{
    const QRgb pixel = PixelOf(m_rubberColor);
    const int left = std::max(rect.Left, 0);
    const int right = std::min(rect.Right, m_buffer.width());
    const int bottom = std::min(rect.Bottom, m_buffer.height());
    for (int y = std::max(rect.Top, 0); y < bottom; ++y) {
        if (y % 8 != kHatchRow)
            continue;
        for (int x = left; x < right; ++x)
            PutPixel(m_buffer, x, y, pixel);
    }
}

bool Tvxkeyf::Compose()
{
    SizeBuffer();
    const int W = width();
    const int H = height();
    const int M = m_max;
    if (M == 0)
        return false;

    const int s = m_rubberEnabled ? m_rubberSize : 0;
    const int PW = m_rubberEnabled ? W - 2 * s : W;
    const VxDraw::TRect plot{s, 0, s + PW, H};
    const int h = H - 1;
    const int d = PW - 1;
    m_plotD = d;
    m_plotH = h;

    const int yL = Coord(h - std::int64_t(h) * m_values[0] / M);
    const int xK = Coord(std::int64_t(d) * m_values[2] / M + s);
    m_markers = {QPoint(s, yL), QPoint(s + d, yL), QPoint(xK, 0), QPoint(xK, h), QPoint(xK, yL)};

    if (m_rubberEnabled) {
        HatchStrip({0, 0, s, H});
        HatchStrip({PW + s, 0, PW + 2 * s, H});
    }

    if (m_gradientEnabled) {
        if (!m_gradientReady)
            GradientFill(plot);
        VxDraw::CopyRect(m_buffer, {plot.Left, plot.Top}, m_gradient, plot);
    } else {
        VxDraw::FillRect(m_buffer, plot, m_color);
    }

    VxDraw::DrawDottedLine(m_buffer, m_markers[2], m_markers[3], m_markerColor, m_lineColor);
    VxDraw::DrawDottedLine(m_buffer, m_markers[0], m_markers[1], m_markerColor, m_lineColor);

    const auto curve = [this](int kind, int amount, TCurveSide side) {
        if (kind == 0 || kind == 3)
            return fc_lin(amount, kind, side);
        fc_exp(amount, kind, side);
        return true;
    };
    if (!curve(m_values[3], m_values[5], csRight) || !curve(m_values[1], m_values[4], csLeft))
        return false;

    DrawPolyMarkers(m_markers.data(), kMarkerCount);
    return true;
}

void Tvxkeyf::Affiche()
{
    if (Compose())
        m_surface = m_buffer.copy();
}

bool Tvxkeyf::LinearCurveEnd(QPoint pivot, int amount, int kind, TCurveSide side, int max, int d,
                             int h, std::int64_t &endX, std::int64_t &endY)
{
    const std::int64_t half = d / 2;
    if (half == 0 || max == 0)
        return false;
    std::int64_t dx = half + (std::int64_t(max) - amount) * d / max;
    std::int64_t dy = std::int64_t(amount) * h / half;
    if (kind == 3)
        dy = -dy;
    // dy * dx overflows for amounts far outside 0..max; such an end lies far
    // outside the picture, so it is pulled in along the same line instead.
    const long double product = static_cast<long double>(dy) * dx;
    const long double rise = product / max;
    const long double run = static_cast<long double>(dx);
    if (std::fabs(product) < kExactProduct && std::fabs(rise) <= kCurveReach
        && std::fabs(run) <= kCurveReach) {
        dy = dy * dx / max;
    } else {
        const long double shrink = kCurveReach / std::max(std::fabs(rise), std::fabs(run));
        dx = std::llround(run * shrink);
        dy = std::llround(rise * shrink);
    }
    endX = side == csRight ? pivot.x() + dx : pivot.x() - dx;
    endY = pivot.y() + dy;
    return true;
}

bool Tvxkeyf::fc_lin(int amount, int kind, TCurveSide side)
{
    std::int64_t x = 0;
    std::int64_t y = 0;
    const QPoint pivot = m_markers[4];
    if (!LinearCurveEnd(pivot, amount, kind, side, m_max, m_plotD, m_plotH, x, y))
        return false;
    DrawClippedLine(m_buffer, pivot.x(), pivot.y(), x, y, m_lineColor);
    return true;
}

Tvxkeyf::TArcGeometry Tvxkeyf::ExpCurveArc(QPoint pivot, int amount, int kind, TCurveSide side,
                                           int max, int expCoeff, int h)
{
    // Kept far inside int range so that the box edges cannot overflow.
    constexpr std::int64_t reach = std::int64_t(1) << 28;
    const int r = int(std::clamp<std::int64_t>((std::int64_t(max) - amount) * expCoeff + 20,
                                               -reach, reach));
    const int X = pivot.x();
    const int Y = pivot.y();
    const int L = X - r;
    const int R = X + r;
    const int t = 3 * h;
    if (kind == 2) {
        const VxDraw::TRect box{L, Y - t, R, Y};
        return side == csLeft ? TArcGeometry{box, {L, Y - t}, {X, Y}}
                              : TArcGeometry{box, {X, Y}, {R, Y - t}};
    }
    const VxDraw::TRect box{L, Y, R, Y + t};
    return side == csLeft ? TArcGeometry{box, {X, Y}, {L, Y + t}}
                          : TArcGeometry{box, {R, Y + t}, {X, Y}};
}

void Tvxkeyf::fc_exp(int amount, int kind, TCurveSide side)
{
    const TArcGeometry arc =
        ExpCurveArc(m_markers[4], amount, kind, side, m_max, m_expCoeff, m_plotH);
    DrawArc(m_buffer, arc.Box, arc.Start, arc.End, m_lineColor);
}

void Tvxkeyf::DrawArc(QImage &image, const VxDraw::TRect &box, QPoint start, QPoint end,
                      TColor color)
{
    const double a = (double(box.Right) - box.Left) / 2;
    const double b = (double(box.Bottom) - box.Top) / 2;
    if (a <= 0 || b <= 0 || image.isNull())
        return;
    const double cx = (double(box.Left) + box.Right) / 2;
    const double cy = (double(box.Top) + box.Bottom) / 2;
    const double from = ScreenAngle(start.x(), start.y(), cx, cy);
    const double span = TurnFrom(from, ScreenAngle(end.x(), end.y(), cx, cy));
    const bool whole = span == 0;
    const QRgb pixel = PixelOf(color);
    const auto plot = [&](double x, double y) {
        if (whole || TurnFrom(from, ScreenAngle(x, y, cx, cy)) <= span + 1e-9)
            PutPixel(image, std::int64_t(x), std::int64_t(y), pixel);
    };

    // Walk x where the curve is flatter than 45 degrees and y where it is
    // steeper, so the outline stays connected; only rows and columns inside
    // the image are visited, however large the ellipse.
    const double diag = std::sqrt(a * a + b * b);
    const double xReach = a * a / diag;
    const double yReach = b * b / diag;
    const int width = image.width();
    const int height = image.height();

    const double xFirst = std::max(0.0, std::ceil(cx - xReach));
    const double xLast = std::min(double(width - 1), std::floor(cx + xReach));
    for (double x = xFirst; x <= xLast; ++x) {
        const double u = (x - cx) / a;
        const double v = b * std::sqrt(std::max(0.0, 1 - u * u));
        plot(x, std::floor(cy - v + 0.5));
        plot(x, std::floor(cy + v + 0.5));
    }
    const double yFirst = std::max(0.0, std::ceil(cy - yReach));
    const double yLast = std::min(double(height - 1), std::floor(cy + yReach));
    for (double y = yFirst; y <= yLast; ++y) {
        const double v = (y - cy) / b;
        const double u = a * std::sqrt(std::max(0.0, 1 - v * v));
        plot(std::floor(cx - u + 0.5), y);
        plot(std::floor(cx + u + 0.5), y);
    }
}

void Tvxkeyf::DrawClippedLine(QImage &image, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                              std::int64_t y1, TColor color)
{
    const QRgb pixel = PixelOf(color);
    const std::int64_t dx = std::llabs(x1 - x0);
    const std::int64_t dy = std::llabs(y1 - y0);
    const std::int64_t sx = x1 >= x0 ? 1 : -1;
    const std::int64_t sy = y1 >= y0 ? 1 : -1;
    const bool xMajor = dx >= dy;
    const std::int64_t steps = xMajor ? dx : dy;
    const std::int64_t major = xMajor ? dx : dy;
    const std::int64_t minor = xMajor ? dy : dx;
    // Walking the major axis, the minor axis has advanced
    // max(0, ceil((2 i minor - major) / (2 major))) times at step i: the
    // closed form of the incremental walk in VxDraw::DrawLine.
    const std::int64_t majorStart = xMajor ? x0 : y0;
    const std::int64_t majorDir = xMajor ? sx : sy;
    const std::int64_t limit = xMajor ? image.width() : image.height();
    std::int64_t first = majorDir > 0 ? -majorStart : majorStart - (limit - 1);
    std::int64_t last = majorDir > 0 ? (limit - 1) - majorStart : majorStart;
    first = std::max<std::int64_t>(first, 0);
    last = std::min<std::int64_t>(last, steps - 1);
    for (std::int64_t i = first; i <= last; ++i) {
        const std::int64_t k = std::max<std::int64_t>(0, CeilDiv(2 * i * minor - major, 2 * major));
        if (xMajor)
            PutPixel(image, x0 + sx * i, y0 + sy * k, pixel);
        else
            PutPixel(image, x0 + sx * k, y0 + sy * i, pixel);
    }
}

void Tvxkeyf::Redraw()
{
    Affiche();
    m_composedForRepaint = true;
    repaint();
    m_composedForRepaint = false;
}

void Tvxkeyf::paintEvent(QPaintEvent *)
{
    if (!m_composedForRepaint)
        Affiche();
    QPainter p(this);
    p.drawImage(0, 0, m_surface);
}

// ---- hit tests and editing -----------------------------------------------------

int Tvxkeyf::IsMouseOnMarker(const QPoint *points, int count, int x, int y) const
{
    return VxDraw::IsMouseOnMarker(points, count, x, y, m_markerSize,
                                   VxDraw::MarkerOrder::HighestFirst);
}

int Tvxkeyf::IsMouseOnRubber(int x, int y) const
{
    const int W = m_buffer.width();
    const int H = m_buffer.height();
    if (IsInsideRect({0, 0, m_rubberSize, H}, x, y))
        return kLeftRubber;
    if (IsInsideRect({W - m_rubberSize, 0, W, H}, x, y))
        return kRightRubber;
    return -1;
}

void Tvxkeyf::StripUpdate(int &kind, int &amount, int y) const
{
    const int M = m_max;
    const int yP = m_markers[4].y();
    // A pivot on the edge row leaves no travel to scale by: any distance past
    // it is the full amount.
    const auto scaled = [M](std::int64_t distance, std::int64_t travel) -> std::int64_t {
        if (travel == 0)
            return distance > 0 ? M : 0;
        return distance * M / travel;
    };
    std::int64_t value;
    if (y > yP) {
        if (kind == 3)
            kind = 0;
        else if (kind == 2)
            kind = 1;
        value = scaled(std::int64_t(y) - yP, std::int64_t(height()) - 2 - yP);
    } else {
        if (kind == 0)
            kind = 3;
        else if (kind == 1)
            kind = 2;
        value = scaled(std::int64_t(yP) - y, yP);
    }
    amount = ClampSlot(value, M);
}

void Tvxkeyf::EditUpdate(QPoint pos)
{
    const int M = m_max;
    const int H = height();
    const std::int64_t plotWidth = std::int64_t(width()) - 2 * std::int64_t(m_rubberSize);
    const int s = m_selected;
    if ((s == 0 || s == 1 || s == 4) && H != 0) {
        const QPoint marker = m_markers[std::size_t(s)];
        m_values[0] = ClampSlot(m_values[0] + (std::int64_t(marker.y()) - pos.y()) * M / H, M);
    }
    if ((s == 2 || s == 3 || s == 4) && plotWidth != 0) {
        const QPoint marker = m_markers[std::size_t(s)];
        m_values[2] =
            ClampSlot(m_values[2] + (std::int64_t(pos.x()) - marker.x()) * M / plotWidth, M);
    }
    if (s == kLeftRubber)
        StripUpdate(m_values[1], m_values[4], pos.y());
    else if (s == kRightRubber)
        StripUpdate(m_values[3], m_values[5], pos.y());
}

void Tvxkeyf::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos)
{
    if (button != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    m_selected = IsMouseOnMarker(m_markers.data(), kMarkerCount, pos.x(), pos.y());
    if (m_selected < 0 && m_rubberEnabled)
        m_selected = IsMouseOnRubber(pos.x(), pos.y());
}

void Tvxkeyf::MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, QPoint pos)
{
    if (!(buttons & Qt::LeftButton))
        return;
    EditUpdate(pos);
    if (m_alwayDetect)
        RaiseOnChange();
    Redraw();
}

void Tvxkeyf::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos)
{
    if (button != Qt::LeftButton)
        return;
    EditUpdate(pos);
    Redraw();
    RaiseOnChange();
}

void Tvxkeyf::mousePressEvent(QMouseEvent *event)
{
    MouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void Tvxkeyf::mouseMoveEvent(QMouseEvent *event)
{
    MouseMove(event->buttons(), event->modifiers(), event->position().toPoint());
}

void Tvxkeyf::mouseReleaseEvent(QMouseEvent *event)
{
    MouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void Tvxkeyf::resizeEvent(QResizeEvent *event)
{
    // The gradient is built at the control's size.
    m_gradientReady = false;
    QWidget::resizeEvent(event);
}
