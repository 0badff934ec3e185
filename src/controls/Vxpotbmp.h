#pragma once
// Tvxpotbmp: a rotary control whose integer value is shown as one picture
// (glyph) out of a horizontal strip of equally wide glyphs. The value is
// changed by a left-button drag, by clicks (left one step down, right one
// step up) and by four keys; every change made by the user raises OnChange.
//
// TPotDrag holds the pointer-drag arithmetic that the knob shares with the
// value-list label (Vxpotlab.h).
//
// Threads: these are widgets; every member is for the UI thread only.

#include "controls/Accessible.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

// The pointer axis a drag follows.
enum tOrientation : std::uint8_t { posVertical, posHorizontal };

// Drag state and arithmetic of the pot-style controls. The coordinate c is
// the pointer's y (posVertical) or x (posHorizontal); moving it up or left
// raises the value. Intermediates are 64-bit, so large values never wrap.
struct TPotDrag {
    bool Dragging = false;
    bool Moved = false;
    std::int64_t Origin = 0;  // pointer coordinate that stands for the value 0
    Qt::MouseButton PressedButton = Qt::LeftButton;

    // A left press at c with the current value. Returns false, and starts no
    // drag, when Max <= Min or cursorRange is 0 (the arithmetic would divide
    // by zero or make no sense).
    bool Start(int c, int state, int min, int max, int cursorRange);

    // The value under the pointer at c, not yet clamped; empty when
    // cursorRange is 0.
    static std::optional<std::int64_t> ValueAt(std::int64_t origin, int c, int min, int max,
                                               int cursorRange);

    // While dragging: the value under the pointer at c, clamped, and the
    // drag counts as moved. Empty when not dragging or cursorRange is 0.
    std::optional<int> MoveTo(int c, int min, int max, int cursorRange);

    // The value a left release at c leaves, not yet clamped: `clicked` after
    // a click; after a drag the value under the pointer, or `state` when
    // cursorRange is 0.
    std::int64_t LeftRelease(std::int64_t clicked, int c, int state, int min, int max,
                             int cursorRange) const;
    // The value a right release leaves: `step` up from `state` when the
    // right button was pressed, else max; never above max.
    int RightRelease(int state, int step, int max) const;

    // After any release.
    void Reset();
};

// Above max becomes max, then below min becomes min.
int ClampToRange(std::int64_t value, int min, int max);

// The coordinate a drag follows.
int DragCoordinate(tOrientation mouvement, QPoint pos);

class Tvxpotbmp : public QWidget, public TAccessibleValue
{
public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    explicit Tvxpotbmp(QWidget *owner = nullptr);
    ~Tvxpotbmp() override;

    const QImage &Bitmap() const { return m_bitmap; }
    bool AutoSize() const { return m_autoSize; }
    int Glyph() const { return m_glyph; }
    int State() const { return m_state; }
    int Min() const { return m_min; }
    int Max() const { return m_max; }
    int CursorRange() const { return m_cursorRange; }
    bool AlwayDetect() const { return m_alwayDetect; }
    bool ShowHint() const { return m_showHint; }
    tOrientation Mouvement() const { return m_mouvement; }
    const TNotifyEvent &OnChange() const { return m_onChange; }

    // Copies the picture (also when it is the same one) and redraws.
    void SetBitmap(const QImage &bitmap);
    void SetAutoSize(bool value);
    // Ignores values outside 1..256.
    void SetGlyph(int value);
    // Stores, clamps to Min..Max and redraws; does not raise OnChange.
    void SetState(int value);
    // Neither re-clamps State.
    void SetMin(int value);
    void SetMax(int value);
    void SetCursorRange(int value);
    void SetAlwayDetect(bool value);
    void SetShowHint(bool value);
    void SetMouvement(tOrientation value);
    // An empty handler is allowed; raising it then does nothing.
    void SetOnChange(TNotifyEvent handler) { m_onChange = std::move(handler); }

    QAccessible::Role AccessibleRole() const override { return QAccessible::Dial; }
    bool HasAccessibleRange() const override { return true; }
    int AccessibleCurrent() const override { return m_state; }
    int AccessibleMinimum() const override { return m_min; }
    int AccessibleMaximum() const override { return m_max; }
    // As the user's own change: it raises OnChange.
    void SetAccessibleCurrent(int value) override;

    // Bitmap width / Glyph.
    int GetBitmapWidth() const;
    // The size that fits one glyph, when Bitmap is not empty and AutoSize is
    // true; otherwise width and height are left unchanged.
    void OptimalSize(int &width, int &height) const;

    // The handler OnChange holds from construction on; does nothing.
    void xOnChange(QObject *sender);

    // What the last drawing put on the control's surface (widget-sized).
    const QImage &LastPicture() const { return m_surface; }
    // The glyph composed by the last drawing.
    const QImage &GlyphBuffer() const { return m_glyphBuffer; }

    // Composes the current glyph and the focus frame onto the surface.
    void Paint();
    // Draws the current glyph; false when it had to be abandoned.
    bool Affiche();

protected:
    QString DefaultAccessibleValueText() const override { return QString::number(m_state); }

    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void KeyDown(QKeyEvent *event);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    // Synchronous redraw: composes now (shown or not), then paints the
    // window at once if it is on screen.
    void Redraw();
    void RaiseOnChange();
    void EnsureSurfaceSize();
    int ClickStep(Qt::KeyboardModifiers shift) const;

    QImage m_bitmap;
    bool m_autoSize = true;
    int m_glyph = 1;
    int m_state = 0;
    int m_min = 0;
    int m_max = 127;
    int m_cursorRange = 5;
    bool m_alwayDetect = true;
    bool m_showHint = true;
    tOrientation m_mouvement = posVertical;
    TNotifyEvent m_onChange;

    QImage m_glyphBuffer;
    QImage m_surface;
    TPotDrag m_drag;
    // Set while Redraw's own repaint runs, so the paint hook does not
    // compose the same picture twice.
    bool m_composedForRepaint = false;
};
