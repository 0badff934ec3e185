#include "controls/Vxpotlab.h"

#include <QMouseEvent>

Tvxpotlab::Tvxpotlab(QWidget *owner)
    : QLabel(owner)
{
    InstallAccessibleFactory();
    resize(30, 30);
}

Tvxpotlab::~Tvxpotlab() = default;

void Tvxpotlab::SetState(int value)
{
    if (value == m_state)
        return;
    m_state = ClampToRange(value, m_min, m_max);
    UpdateCaption();
    Redraw();
}

void Tvxpotlab::SetMax(int value)
{
    if (value == m_max)
        return;
    m_max = value;
    m_useStrings = false;
}

void Tvxpotlab::SetUseStrings(bool value)
{
    m_useStrings = value;
    if (!value)
        return;
    m_min = 0;
    if (!m_strValues.isEmpty())
        m_max = int(m_strValues.size()) - 1;
}

void Tvxpotlab::SetStrValues(const QStringList *list)
{
    if (list)
        m_strValues = *list;
    m_useStrings = true;
    m_min = 0;
    m_max = int(m_strValues.size()) - 1;
}

void Tvxpotlab::SetAutoSize(bool value)
{
    if (value == m_autoSize)
        return;
    m_autoSize = value;
    if (value)
        adjustSize();
}

void Tvxpotlab::UpdateCaption()
{
    QString caption = QString::number(m_state);
    if (m_useStrings && m_state >= 0 && m_state < m_strValues.size())
        caption = m_strValues.at(m_state);
    setText(caption);
    if (m_autoSize)
        adjustSize();
    AnnounceValueChange(this);
}

void Tvxpotlab::Redraw()
{
    if (isVisible())
        repaint();
}

void Tvxpotlab::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers, QPoint pos)
{
    if (button == Qt::LeftButton)
        m_drag.Start(DragCoordinate(m_mouvement, pos), m_state, m_min, m_max, m_cursorRange);
    else if (button == Qt::RightButton)
        m_drag.PressedButton = Qt::RightButton;
}

void Tvxpotlab::MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers, QPoint pos)
{
    if (!(buttons & Qt::LeftButton))
        return;
    if (const auto value = m_drag.MoveTo(DragCoordinate(m_mouvement, pos), m_min, m_max, m_cursorRange)) {
        m_state = *value;
        UpdateCaption();
    }
    Redraw();
}

void Tvxpotlab::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos)
{
    const int step = (shift & Qt::ShiftModifier) ? m_shiftJump : 1;
    if (button == Qt::LeftButton) {
        const std::int64_t clicked = m_drag.PressedButton == Qt::RightButton ? std::int64_t(m_min)
                                                                             : std::int64_t(m_state) - step;
        const std::int64_t value = m_drag.LeftRelease(clicked, DragCoordinate(m_mouvement, pos), m_state, m_min,
                                                      m_max, m_cursorRange);
        m_state = ClampToRange(value, m_min, m_max);
        UpdateCaption();
        Redraw();
    } else if (button == Qt::RightButton) {
        m_state = m_drag.RightRelease(m_state, step, m_max);
        UpdateCaption();
        Redraw();
    }
    m_drag.Reset();
}

void Tvxpotlab::mousePressEvent(QMouseEvent *event)
{
    MouseDown(event->button(), event->modifiers(), event->position().toPoint());
}

void Tvxpotlab::mouseMoveEvent(QMouseEvent *event)
{
    MouseMove(event->buttons(), event->modifiers(), event->position().toPoint());
}

void Tvxpotlab::mouseReleaseEvent(QMouseEvent *event)
{
    MouseUp(event->button(), event->modifiers(), event->position().toPoint());
}
