#pragma once
// Tvxadsr2: the eight-value envelope graph (attack, decay, break point,
// slope, sustain, release, base level) with draggable corner markers.
//
// Threads: a QWidget; every member runs on the UI thread only.
//
// Each picture is composed in an owned RGB32 drawing buffer by Affiche and
// copied to the window in one block from the paint hook. Setters that change
// a drawn property redraw at once (repaint(), synchronous).

#include "controls/Accessible.h"
#include "controls/VxDraw.h"
#include "platform/Colors.h"

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <array>
#include <functional>

class Tvxadsr2 : public QWidget, public TAccessibleValue
{
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    static constexpr int kSlotCount = 8;
    static constexpr int kMarkerCount = 6;

    explicit Tvxadsr2(QWidget *owner = nullptr);
    ~Tvxadsr2() override;

    int Max() const { return Max_; }
    void SetMax(int value);
    TColor LineColor() const { return LineColor_; }
    void SetLineColor(TColor value);
    bool AlwayDetect() const { return AlwayDetect_; }
    void SetAlwayDetect(bool value);
    bool ShowHint() const { return ShowHint_; }
    void SetShowHint(bool value);
    bool FillEnabled() const { return FillEnabled_; }
    void SetFillEnabled(bool value);
    TColor GradientColor() const { return GradientColor_; }
    void SetGradientColor(TColor value);
    bool GradientEnabled() const { return GradientEnabled_; }
    void SetGradientEnabled(bool value);
    int GradientNbOfColors() const { return GradientNbOfColors_; }
    // Accepts 0 (automatic) or 2..256; anything else is ignored.
    void SetGradientNbOfColors(int value);
    tGradientType2 GradientType() const { return GradientType_; }
    void SetGradientType(tGradientType2 value);
    int MarkerSize() const { return MarkerSize_; }
    void SetMarkerSize(int value);
    TColor MarkerColor() const { return MarkerColor_; }
    void SetMarkerColor(TColor value);
    bool ShowVLines() const { return ShowVLines_; }
    void SetShowVLines(bool value);
    // Plain background and the gradient's second colour.
    TColor Color() const { return Color_; }
    void SetColor(TColor value);
    bool TabStop() const { return focusPolicy() != Qt::NoFocus; }
    void SetTabStop(bool value);

    // Raised with the control as sender when a drag changed values; holds
    // xOnChange until a client assigns another. An empty function is allowed.
    const TNotifyEvent &OnChange() const { return OnChange_; }
    void SetOnChange(TNotifyEvent handler) { OnChange_ = std::move(handler); }
    void xOnChange(QObject *sender);

    // Slot index 0..7; the value is stored unclamped. An index outside 0..7
    // is ignored (GetValue returns 0 for it).
    void SetValue(int value, int index);
    int GetValue(int index) const;

    // Composes the whole picture into the drawing buffer; the paint hook
    // copies it to the window. Abandoned silently (buffer, markers and
    // gradient left as they were) when Max is 0 or the control is empty.
    void Affiche();

    // Rebuilds the gradient bitmap at the control's size, bands over rect.
    void GradientFill(const VxDraw::TRect &rect);

    // Results of the last drawing, for the mouse handling and for tests.
    const std::array<QPoint, kMarkerCount> &MarkerPoints() const { return Points_; }
    const QImage &DrawingBuffer() const { return DrawingBuffer_; }
    const QImage &GradientBitmap() const { return GradientBitmap_; }

    QAccessible::Role AccessibleRole() const override { return QAccessible::Chart; }
    bool GradientReady() const { return GradientReady_; }
    bool Dragging() const { return Dragging_; }
    int SelectedMarker() const { return SelectedMarker_; }

protected:
    // "attack 5, decay 1, break point 20, slope 31, sustain 10, release 10": the slots as stored.
    QString DefaultAccessibleValueText() const override;

    // The mouse hooks, in the control's pixel coordinates; 'held' is the set
    // of buttons down during (press, move) or after (release) the event.
    virtual void MouseDown(Qt::MouseButton button, Qt::MouseButtons held, int x, int y);
    virtual void MouseMove(Qt::MouseButtons held, int x, int y);
    virtual void MouseUp(Qt::MouseButton button, Qt::MouseButtons held, int x, int y);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void Redraw();
    void MarkGradientStale();
    void RaiseOnChange();
    bool DragPossible() const;
    void DragUpdate(int x, int y);

    TColor LineColor_ = clTeal;
    TColor MarkerColor_ = clAqua;
    TColor GradientColor_ = clNavy;
    TColor Color_ = clBlack;
    int MarkerSize_ = 3;
    int Max_ = 99;
    bool ShowHint_ = true;
    bool AlwayDetect_ = true;
    bool FillEnabled_ = false;
    bool GradientEnabled_ = false;
    int GradientNbOfColors_ = 64;
    tGradientType2 GradientType_ = gr2VertCenterToBorder;
    bool ShowVLines_ = true;
    std::array<int, kSlotCount> Values_{};
    std::array<QPoint, kMarkerCount> Points_{};
    bool GradientReady_ = false;
    // Size and colour the gradient bitmap was last built for: a change of
    // either rebuilds it even though no gradient property changed.
    QSize GradientBuiltSize_;
    TColor GradientBuiltColor_ = clBlack;
    bool Dragging_ = false;
    TNotifyEvent OnChange_;
    int SelectedMarker_ = -1;
    QImage DrawingBuffer_;
    QImage GradientBitmap_;
};
