#pragma once
// Tvxpotlab: a label that holds an integer value between Min and Max and
// shows it as its caption, either as a number or, with UseStrings, as the
// value's name from StrValues. The mouse changes it as on the bitmap knob:
// a left-button drag, a left click one step down, a right click one step up.
// It takes no focus and raises no event; clients read State.
//
// Threads: a widget; every member is for the UI thread only.

#include "controls/Vxpotbmp.h"

#include <QLabel>
#include <QStringList>

class Tvxpotlab : public QLabel, public TAccessibleValue
{
public:
    explicit Tvxpotlab(QWidget *owner = nullptr);
    ~Tvxpotlab() override;

    int ShiftJump() const { return m_shiftJump; }
    int State() const { return m_state; }
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int CursorRange() const { return m_cursorRange; }
    bool AlwayDetect() const { return m_alwayDetect; }
    bool UseStrings() const { return m_useStrings; }
    tOrientation Mouvement() const { return m_mouvement; }
    const QStringList &GetStrValues() const { return m_strValues; }
    bool AutoSize() const { return m_autoSize; }

    void SetShiftJump(int value) { m_shiftJump = value; }
    // Stores, clamps to Min..Max, updates the caption and redraws.
    void SetState(int value);
    void SetMin(int value) { m_min = value; }
    // Also clears UseStrings: set Max before StrValues or UseStrings.
    void SetMax(int value);
    void SetCursorRange(int value) { m_cursorRange = value; }
    void SetAlwayDetect(bool value) { m_alwayDetect = value; }
    void SetMouvement(tOrientation value) { m_mouvement = value; }
    // True sets Min to 0 and, with at least one name, Max to the last index.
    void SetUseStrings(bool value);
    // Copies the names (when given), turns UseStrings on, Min 0, Max the
    // last index. Neither the value nor the caption changes.
    void SetStrValues(const QStringList *list);
    void SetStrValues(const QStringList &list) { SetStrValues(&list); }
    // The label fits itself to its caption while true.
    void SetAutoSize(bool value);

    QAccessible::Role AccessibleRole() const override { return QAccessible::Slider; }
    bool HasAccessibleRange() const override { return true; }
    int AccessibleCurrent() const override { return m_state; }
    int AccessibleMinimum() const override { return m_min; }
    int AccessibleMaximum() const override { return m_max; }
    void SetAccessibleCurrent(int value) override { SetState(value); }
    // Unnamed, it is known by its caption, as any label.
    QString DefaultAccessibleName() const override { return text(); }

protected:
    // The caption: the value's name, or the number.
    QString DefaultAccessibleValueText() const override { return text(); }

    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);

    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void UpdateCaption();
    void Redraw();

    int m_shiftJump = 10;
    int m_state = 0;
    int m_min = 0;
    int m_max = 100;
    int m_cursorRange = 15;
    bool m_alwayDetect = true;
    bool m_useStrings = false;
    tOrientation m_mouvement = posVertical;
    QStringList m_strValues;
    bool m_autoSize = true;

    TPotDrag m_drag;
};
