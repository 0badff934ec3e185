#include "controls/Vxadsr2.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <optional>

namespace {

// Integer a * b / c truncated toward zero, the product formed without
// overflow; c must not be 0.
long long ScaleDiv(long long a, long long b, long long c)
{
    return a * b / c;
}

// Unclamped slot values may place a marker anywhere; keep it far enough
// inside int that the drawing and the hit test cannot overflow.
int Coord(long long v)
{
    constexpr long long kLimit = 1LL << 30;
    return int(std::clamp(v, -kLimit, kLimit));
}

int ClampSlot(long long value, int max)
{
    if (value > max)
        value = max;
    if (value < 0)
        value = 0;
    return int(value);
}

// Marker positions for a W x H control; nothing when Max is 0.
std::optional<std::array<QPoint, Tvxadsr2::kMarkerCount>>
MarkerPositions(const std::array<int, Tvxadsr2::kSlotCount> &v, int max, int w, int h1)
{
    if (max == 0)
        return std::nullopt;
    const long long q = (w - 1) / 4;
    const long long m = max;
    const auto level = [&](long long value) { return Coord(h1 - ScaleDiv(value, h1, m)); };
    const int y0 = level(v[7]);
    const long long x1 = ScaleDiv(m - v[0], q, m);
    const long long x2 = x1 + ScaleDiv(m - v[2], q, m);
    const long long x3 = x2 + ScaleDiv(m - v[4], q, m);
    const long long x4 = (w - 1) - ScaleDiv(m - v[6], q, m);
    const int y3 = level(v[5]);
    return std::array<QPoint, Tvxadsr2::kMarkerCount>{
        QPoint(0, y0),         QPoint(Coord(x1), level(v[1])), QPoint(Coord(x2), level(v[3])),
        QPoint(Coord(x3), y3), QPoint(Coord(x4), y3),          QPoint(w - 1, y0)};
}

} // namespace

Tvxadsr2::Tvxadsr2(QWidget *owner)
    : QWidget(owner)
    , DrawingBuffer_(0, 0, QImage::Format_RGB32)
{
    InstallAccessibleFactory();
    // Qt would give the focus on any button; only a left press takes it.
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(100, 80);
    OnChange_ = [this](QObject *sender) { xOnChange(sender); };
    GradientFill({0, 0, 100, 80});
    Values_.fill(49);
}

Tvxadsr2::~Tvxadsr2() = default;

void Tvxadsr2::Redraw()
{
    repaint();
}

void Tvxadsr2::MarkGradientStale()
{
    GradientReady_ = false;
}

void Tvxadsr2::SetMax(int value)
{
    if (Max_ == value)
        return;
    Max_ = value;
    Redraw();
}

void Tvxadsr2::SetLineColor(TColor value)
{
    if (LineColor_ == value)
        return;
    LineColor_ = value;
    Redraw();
}

void Tvxadsr2::SetAlwayDetect(bool value)
{
    AlwayDetect_ = value;
}

void Tvxadsr2::SetShowHint(bool value)
{
    ShowHint_ = value;
}

void Tvxadsr2::SetFillEnabled(bool value)
{
    if (FillEnabled_ == value)
        return;
    FillEnabled_ = value;
    Redraw();
}

void Tvxadsr2::SetGradientColor(TColor value)
{
    if (GradientColor_ == value)
        return;
    GradientColor_ = value;
    MarkGradientStale();
    Redraw();
}

void Tvxadsr2::SetGradientEnabled(bool value)
{
    if (GradientEnabled_ == value)
        return;
    GradientEnabled_ = value;
    MarkGradientStale();
    Redraw();
}

void Tvxadsr2::SetGradientNbOfColors(int value)
{
    if (GradientNbOfColors_ == value)
        return;
    if (value != 0 && (value < 2 || value > 256))
        return;
    GradientNbOfColors_ = value;
    MarkGradientStale();
    Redraw();
}

void Tvxadsr2::SetGradientType(tGradientType2 value)
{
    if (GradientType_ == value)
        return;
    GradientType_ = value;
    MarkGradientStale();
    Redraw();
}

void Tvxadsr2::SetMarkerSize(int value)
{
    if (MarkerSize_ == value)
        return;
    MarkerSize_ = value;
    Redraw();
}

void Tvxadsr2::SetMarkerColor(TColor value)
{
    if (MarkerColor_ == value)
        return;
    MarkerColor_ = value;
    Redraw();
}

void Tvxadsr2::SetShowVLines(bool value)
{
    if (ShowVLines_ == value)
        return;
    ShowVLines_ = value;
    Redraw();
}

void Tvxadsr2::SetColor(TColor value)
{
    if (Color_ == value)
        return;
    Color_ = value;
    Redraw();
}

void Tvxadsr2::SetTabStop(bool value)
{
    setFocusPolicy(value ? Qt::TabFocus : Qt::NoFocus);
}

void Tvxadsr2::xOnChange(QObject *)
{
}

void Tvxadsr2::SetValue(int value, int index)
{
    if (index < 0 || index >= kSlotCount || Values_[std::size_t(index)] == value)
        return;
    Values_[std::size_t(index)] = value;
    Redraw();
    AnnounceValueChange(this);
}

QString Tvxadsr2::DefaultAccessibleValueText() const
{
    return QStringLiteral("attack %1, decay %2, break point %3, slope %4, sustain %5, release %6")
        .arg(Values_[0])
        .arg(Values_[2])
        .arg(Values_[3])
        .arg(Values_[4])
        .arg(Values_[5])
        .arg(Values_[6]);
}

int Tvxadsr2::GetValue(int index) const
{
    if (index < 0 || index >= kSlotCount)
        return 0;
    return Values_[std::size_t(index)];
}

void Tvxadsr2::GradientFill(const VxDraw::TRect &rect)
{
    VxDraw::GradientFill(GradientBitmap_, size(), rect, GradientType_, GradientColor_, Color_,
                         GradientNbOfColors_);
    GradientBuiltSize_ = size();
    GradientBuiltColor_ = ColorToRGB(Color_);
    GradientReady_ = true;
}

void Tvxadsr2::Affiche()
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return;
    const auto points = MarkerPositions(Values_, Max_, w, h - 1);
    if (!points)
        return;

    if (DrawingBuffer_.size() != size())
        DrawingBuffer_ = QImage(size(), QImage::Format_RGB32);
    Points_ = *points;
    const VxDraw::TRect whole{0, 0, w, h};

    if (GradientEnabled_) {
        if (!GradientReady_ || GradientBuiltSize_ != size()
            || GradientBuiltColor_ != ColorToRGB(Color_))
            GradientFill(whole);
        VxDraw::CopyRect(DrawingBuffer_, {0, 0}, GradientBitmap_, whole);
    } else {
        VxDraw::FillRect(DrawingBuffer_, whole, Color_);
    }

    if (FillEnabled_)
        VxDraw::DrawPolygon(DrawingBuffer_, Points_.data(), kMarkerCount, LineColor_, LineColor_);
    else
        VxDraw::DrawPolyline(DrawingBuffer_, Points_.data(), kMarkerCount, LineColor_);

    if (ShowVLines_) {
        const QPoint plateau = Points_[3];
        const int y0 = Points_[0].y();
        VxDraw::DrawDottedLine(DrawingBuffer_, plateau, {plateau.x(), y0 - 1}, MarkerColor_,
                               LineColor_);
        VxDraw::DrawDottedLine(DrawingBuffer_, {0, y0}, {w - 1, y0}, MarkerColor_, LineColor_);
    }

    VxDraw::DrawPolyMarkers(DrawingBuffer_, Points_.data(), kMarkerCount, MarkerSize_,
                            MarkerColor_);
}

void Tvxadsr2::paintEvent(QPaintEvent *)
{
    Affiche();
    QPainter painter(this);
    painter.drawImage(0, 0, DrawingBuffer_);
}

bool Tvxadsr2::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !ShowHint_) {
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void Tvxadsr2::RaiseOnChange()
{
    AnnounceValueChange(this);
    if (OnChange_)
        OnChange_(this);
}

bool Tvxadsr2::DragPossible() const
{
    // The update divides by the quarter width and by H - 2.
    return (width() - 1) / 4 > 0 && height() - 2 > 0;
}

void Tvxadsr2::DragUpdate(int x, int y)
{
    const int s = SelectedMarker_;
    if (s < 0 || s >= kMarkerCount || !DragPossible())
        return;
    const int q = (width() - 1) / 4;
    const int d = height() - 2;
    const int m = Max_;
    const QPoint marker = Points_[std::size_t(s)];

    static constexpr int kTimeSlot[kMarkerCount] = {-1, 0, 2, 4, 6, -1};
    static constexpr int kLevelSlot[kMarkerCount] = {7, 1, 3, 5, 5, 7};
    const int timeSlot = kTimeSlot[s];
    if (timeSlot >= 0) {
        // Markers 1..3 lengthen their segment to the right; the release
        // (marker 4) is measured back from the right edge.
        const long long delta = s == 4 ? 1LL * x - marker.x() : 1LL * marker.x() - x;
        int &slot = Values_[std::size_t(timeSlot)];
        slot = ClampSlot(slot + ScaleDiv(delta, m, q), m);
    }
    int &level = Values_[std::size_t(kLevelSlot[s])];
    level = ClampSlot(level + ScaleDiv(1LL * marker.y() - y, m, d), m);
}

void Tvxadsr2::MouseDown(Qt::MouseButton button, Qt::MouseButtons, int x, int y)
{
    if (button != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    SelectedMarker_ = VxDraw::IsMouseOnMarker(Points_.data(), kMarkerCount, x, y, MarkerSize_);
    if (SelectedMarker_ >= 0 && DragPossible())
        Dragging_ = true;
}

void Tvxadsr2::MouseMove(Qt::MouseButtons held, int x, int y)
{
    if (!held.testFlag(Qt::LeftButton))
        return;
    if (Dragging_ && SelectedMarker_ >= 0) {
        DragUpdate(x, y);
        if (AlwayDetect_)
            RaiseOnChange();
    }
    Redraw();
}

void Tvxadsr2::MouseUp(Qt::MouseButton button, Qt::MouseButtons, int x, int y)
{
    if (button == Qt::LeftButton && Dragging_ && SelectedMarker_ >= 0) {
        DragUpdate(x, y);
        Redraw();
        RaiseOnChange();
    }
    Dragging_ = false;
}

void Tvxadsr2::mousePressEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    MouseDown(event->button(), event->buttons(), p.x(), p.y());
    event->accept();
}

void Tvxadsr2::mouseMoveEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    MouseMove(event->buttons(), p.x(), p.y());
    event->accept();
}

void Tvxadsr2::mouseReleaseEvent(QMouseEvent *event)
{
    const QPoint p = event->position().toPoint();
    MouseUp(event->button(), event->buttons(), p.x(), p.y());
    event->accept();
}
