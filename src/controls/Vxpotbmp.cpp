#include "controls/Vxpotbmp.h"

#include "platform/Colors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

// ---- TPotDrag --------------------------------------------------------------

bool TPotDrag::Start(int c, int state, int min, int max, int cursorRange)
{
    PressedButton = Qt::LeftButton;
    const std::int64_t range = std::int64_t(max) - min;
    if (range <= 0 || cursorRange == 0)
        return false;
    Origin = c + std::int64_t(state) * cursorRange / range;
    Dragging = true;
    return true;
}

std::optional<std::int64_t> TPotDrag::ValueAt(std::int64_t origin, int c, int min, int max,
                                              int cursorRange)
{
    if (cursorRange == 0)
        return std::nullopt;
    const std::int64_t range = std::int64_t(max) - min;
    return range * (origin - c) / cursorRange;
}

std::optional<int> TPotDrag::MoveTo(int c, int min, int max, int cursorRange)
{
    if (!Dragging)
        return std::nullopt;
    const auto value = ValueAt(Origin, c, min, max, cursorRange);
    if (!value)
        return std::nullopt;
    Moved = true;
    return ClampToRange(*value, min, max);
}

std::int64_t TPotDrag::LeftRelease(std::int64_t clicked, int c, int state, int min, int max,
                                   int cursorRange) const
{
    if (!Moved)
        return clicked;
    const auto dragged = ValueAt(Origin, c, min, max, cursorRange);
    return dragged ? *dragged : state;
}

int TPotDrag::RightRelease(int state, int step, int max) const
{
    const std::int64_t value = PressedButton == Qt::RightButton ? std::int64_t(state) + step : max;
    return value > max ? max : int(value);
}

void TPotDrag::Reset()
{
    Origin = 0;
    Dragging = false;
    Moved = false;
}

int ClampToRange(std::int64_t value, int min, int max)
{
    if (value > max)
        value = max;
    if (value < min)
        value = min;
    return int(value);
}

int DragCoordinate(tOrientation mouvement, QPoint pos)
{
    return mouvement == posHorizontal ? pos.x() : pos.y();
}

// ---- Tvxpotbmp -------------------------------------------------------------

namespace {

// One-pixel frame with the right and bottom edges exclusive.
void FrameOnto(QImage &image, int width, int height, TColor color)
{
    if (width <= 0 || height <= 0)
        return;
    const QRgb rgb = ToQColor(color).rgba();
    const auto put = [&](int x, int y) {
        if (image.valid(x, y))
            image.setPixel(x, y, rgb);
    };
    for (int x = 0; x < width; ++x) {
        put(x, 0);
        put(x, height - 1);
    }
    for (int y = 0; y < height; ++y) {
        put(0, y);
        put(width - 1, y);
    }
}

} // namespace

Tvxpotbmp::Tvxpotbmp(QWidget *owner)
    : QWidget(owner)
    , m_onChange([this](QObject *sender) { xOnChange(sender); })
{
    InstallAccessibleFactory();
    setFocusPolicy(Qt::StrongFocus);
    resize(30, 30);
}

Tvxpotbmp::~Tvxpotbmp() = default;

void Tvxpotbmp::SetBitmap(const QImage &bitmap)
{
    m_bitmap = bitmap.copy();
    Redraw();
}

void Tvxpotbmp::SetAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (value)
        Redraw();
}

void Tvxpotbmp::SetGlyph(int value)
{
    if (value == m_glyph || value < 1 || value > 256)
        return;
    m_glyph = value;
    Redraw();
}

void Tvxpotbmp::SetState(int value)
{
    if (value == m_state)
        return;
    m_state = ClampToRange(value, m_min, m_max);
    Redraw();
    AnnounceValueChange(this);
}

void Tvxpotbmp::SetAccessibleCurrent(int value)
{
    const int before = m_state;
    m_state = ClampToRange(value, m_min, m_max);
    Redraw();
    if (m_state != before)
        RaiseOnChange();
}

void Tvxpotbmp::SetMin(int value)
{
    if (value == m_min)
        return;
    m_min = value;
    Redraw();
}

void Tvxpotbmp::SetMax(int value)
{
    if (value == m_max)
        return;
    m_max = value;
    Redraw();
}

void Tvxpotbmp::SetCursorRange(int value) { m_cursorRange = value; }
void Tvxpotbmp::SetAlwayDetect(bool value) { m_alwayDetect = value; }
void Tvxpotbmp::SetMouvement(tOrientation value) { m_mouvement = value; }

void Tvxpotbmp::SetShowHint(bool value)
{
    if (value == m_showHint)
        return;
    // Qt has no per-widget hint switch: a tool tip shows whenever one is set.
    m_showHint = value;
}

int Tvxpotbmp::GetBitmapWidth() const { return m_bitmap.width() / m_glyph; }

void Tvxpotbmp::OptimalSize(int &width, int &height) const
{
    if (m_bitmap.isNull() || !m_autoSize)
        return;
    width = GetBitmapWidth();
    height = m_bitmap.height();
}

void Tvxpotbmp::xOnChange(QObject *) {}

void Tvxpotbmp::RaiseOnChange()
{
    AnnounceValueChange(this);
    if (m_onChange)
        m_onChange(this);
}

void Tvxpotbmp::EnsureSurfaceSize()
{
    if (m_surface.size() == size())
        return;
    QImage grown(size(), QImage::Format_ARGB32_Premultiplied);
    grown.fill(Qt::transparent);
    if (!m_surface.isNull()) {
        QPainter p(&grown);
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.drawImage(0, 0, m_surface);
    }
    m_surface = grown;
}

bool Tvxpotbmp::Affiche()
{
    const int gw = GetBitmapWidth();
    const int h = m_bitmap.height();
    const std::int64_t range = std::int64_t(m_max) - m_min;
    if (range == 0)
        return false;
    std::int64_t i = std::llabs((std::int64_t(m_state) - m_min) * m_glyph / range);
    if (i >= m_glyph)
        i = m_glyph - 1;
    if (gw <= 0 || h <= 0)
        return false;
    m_glyphBuffer = m_bitmap.copy(int(i) * gw, 0, gw, h);

    EnsureSurfaceSize();
    QPainter p(&m_surface);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, m_glyphBuffer);
    return true;
}

void Tvxpotbmp::Paint()
{
    EnsureSurfaceSize();
    int gw = 0;
    int h = 0;
    if (!m_bitmap.isNull()) {
        Affiche();
        gw = GetBitmapWidth();
        h = m_bitmap.height();
    }
    FrameOnto(m_surface, gw, h, hasFocus() ? clYellow : clBlack);
}

void Tvxpotbmp::Redraw()
{
    Paint();
    m_composedForRepaint = true;
    repaint();
    m_composedForRepaint = false;
}

void Tvxpotbmp::paintEvent(QPaintEvent *)
{
    if (!m_composedForRepaint)
        Paint();
    QPainter p(this);
    p.drawImage(0, 0, m_surface);
}

int Tvxpotbmp::ClickStep(Qt::KeyboardModifiers shift) const
{
    return (shift & Qt::ShiftModifier) ? m_max / 10 : 1;
}

void Tvxpotbmp::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos)
{
    if (button == Qt::LeftButton) {
        setFocus(Qt::MouseFocusReason);
        m_drag.Start(DragCoordinate(m_mouvement, pos), m_state, m_min, m_max, m_cursorRange);
    } else if (button == Qt::RightButton) {
        m_drag.PressedButton = Qt::RightButton;
        setFocus(Qt::MouseFocusReason);
    }
}

void Tvxpotbmp::MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, QPoint pos)
{
    if (!(buttons & Qt::LeftButton))
        return;
    if (const auto value = m_drag.MoveTo(DragCoordinate(m_mouvement, pos), m_min, m_max, m_cursorRange)) {
        m_state = *value;
        if (m_alwayDetect)
            RaiseOnChange();
    }
    Redraw();
}

void Tvxpotbmp::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos)
{
    const int step = ClickStep(shift);
    if (button == Qt::LeftButton) {
        const std::int64_t value = m_drag.LeftRelease(std::int64_t(m_state) - step, DragCoordinate(m_mouvement, pos),
                                                      m_state, m_min, m_max, m_cursorRange);
        m_state = ClampToRange(value, m_min, m_max);
        Redraw();
        RaiseOnChange();
    } else if (button == Qt::RightButton) {
        m_state = m_drag.RightRelease(m_state, step, m_max);
        Redraw();
        RaiseOnChange();
    }
    m_drag.Reset();
}

void Tvxpotbmp::KeyDown(QKeyEvent *event)
{
    const int step = ClickStep(event->modifiers());
    const int before = m_state;
    std::int64_t value = m_state;
    switch (event->key()) {
    case Qt::Key_PageUp: value += step; break;
    case Qt::Key_PageDown: value -= step; break;
    case Qt::Key_End: value = m_min; break;
    case Qt::Key_Home: value = m_max; break;
    default: return;
    }
    event->accept();
    if (value == before)
        return;
    m_state = ClampToRange(value, m_min, m_max);
    Redraw();
    RaiseOnChange();
}

void Tvxpotbmp::mousePressEvent(QMouseEvent *event)
{
    MouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void Tvxpotbmp::mouseMoveEvent(QMouseEvent *event)
{
    MouseMove(event->buttons(), event->modifiers(), event->position().toPoint());
}

void Tvxpotbmp::mouseReleaseEvent(QMouseEvent *event)
{
    MouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

void Tvxpotbmp::keyPressEvent(QKeyEvent *event)
{
    QWidget::keyPressEvent(event);
    KeyDown(event);
}

void Tvxpotbmp::enterEvent(QEnterEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    Redraw();
    QWidget::enterEvent(event);
}

void Tvxpotbmp::leaveEvent(QEvent *event)
{
    if (QWidget *parent = parentWidget())
        parent->setFocus(Qt::MouseFocusReason);
    else
        clearFocus();
    Redraw();
    QWidget::leaveEvent(event);
}
