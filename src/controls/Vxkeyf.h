#pragma once
// Tvxkeyf: a keyboard-follow (key-tracking) graph. Across the width lies the
// keyboard; a dotted key line marks the pivot key and a dotted level line the
// level; from their crossing, the pivot, a left and a right curve run out,
// each linear or exponential, falling or rising, with an amount that sets its
// steepness. A left-button drag on a marker moves the level and/or the key;
// a drag in one of the two hatched side strips (rubber strips) sets that
// side's direction and amount. Every edit raises OnChange.
//
// Value slots: 0 level, 1 left curve kind, 2 pivot key, 3 right curve kind,
// 4 left amount, 5 right amount. Kinds: 0 linear falling, 1 exponential
// falling, 2 exponential rising, 3 linear rising (others draw like 1).
//
// The picture is composed pixel by pixel in an off-screen buffer (see
// VxDraw.h) and reaches the screen in one copy.
//
// Threads: a widget; every member is for the UI thread only.

#include "controls/Accessible.h"
#include "controls/VxDraw.h"
#include "platform/Colors.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>

// Same axes and colours, value for value, as tGradientType2.
enum tGradientTypek : std::uint8_t {
    grkLeftToRight,
    grkRightToLeft,
    grkTopToBottom,
    grkBottomToTop,
    grkHorizCenterToBorder,
    grkHorizBorderToCenter,
    grkVertCenterToBorder,
    grkVertBorderToCenter,
};

class Tvxkeyf : public QWidget, public TAccessibleValue
{
public:
    using TNotifyEvent = std::function<void(QObject *sender)>;

    enum TCurveSide : std::uint8_t { csLeft, csRight };

    static constexpr int kSlotCount = 6;
    static constexpr int kMarkerCount = 5;
    static constexpr int kLeftRubber = 5;   // selection value of the left strip
    static constexpr int kRightRubber = 6;  // selection value of the right strip

    // The box and the two ray points that the arc primitive receives.
    struct TArcGeometry {
        VxDraw::TRect Box;
        QPoint Start;
        QPoint End;
    };

    explicit Tvxkeyf(QWidget *owner = nullptr);
    ~Tvxkeyf() override;

    int Max() const { return m_max; }
    TColor LineColor() const { return m_lineColor; }
    bool AlwayDetect() const { return m_alwayDetect; }
    bool ShowHint() const { return m_showHint; }
    TColor GradientColor() const { return m_gradientColor; }
    bool GradientEnabled() const { return m_gradientEnabled; }
    int GradientNbOfColors() const { return m_gradientNbOfColors; }
    tGradientTypek GradientType() const { return m_gradientType; }
    int MarkerSize() const { return m_markerSize; }
    TColor MarkerColor() const { return m_markerColor; }
    bool RubberEnabled() const { return m_rubberEnabled; }
    int RubberSize() const { return m_rubberSize; }
    int ExpCoeff() const { return m_expCoeff; }
    TColor RubberColor() const { return m_rubberColor; }
    TColor Color() const { return m_color; }
    const TNotifyEvent &OnChange() const { return m_onChange; }

    void SetMax(int value);
    void SetLineColor(TColor value);
    void SetAlwayDetect(bool value);
    void SetShowHint(bool value);
    void SetGradientColor(TColor value);
    void SetGradientEnabled(bool value);
    // Accepts 0 (automatic) and 2..256; ignores anything else.
    void SetGradientNbOfColors(int value);
    void SetGradientType(tGradientTypek value);
    void SetMarkerColor(TColor value);
    void SetRubberColor(TColor value);
    void SetRubberSize(int value);
    void SetRubberEnabled(bool value);
    void SetMarkerSize(int value);
    void SetExpCoeff(int value);
    // The plain background and the gradient's second colour.
    void SetColor(TColor value);
    // An empty handler is allowed; raising it then does nothing.
    void SetOnChange(TNotifyEvent handler) { m_onChange = std::move(handler); }

    // Stores the value unchecked and redraws when it differs. Indexes outside
    // 0..5 are ignored (GetValue gives 0 for them).
    void SetValue(int value, int index);
    int GetValue(int index) const;

    QAccessible::Role AccessibleRole() const override { return QAccessible::Chart; }

    // Composes the picture and puts it on the surface. Abandoned silently
    // (surface unchanged) when the geometry would divide by zero.
    void Affiche();

    // Rebuilds the gradient bitmap over rect and marks it ready.
    void GradientFill(const VxDraw::TRect &rect);
    void DrawPolyMarkers(const QPoint *points, int count);
    static bool IsInsideRect(const VxDraw::TRect &rect, int x, int y);

    // Marker hit test, tried from the last point down; -1 for none.
    int IsMouseOnMarker(const QPoint *points, int count, int x, int y) const;
    // kLeftRubber, kRightRubber or -1, on the drawing buffer's size.
    int IsMouseOnRubber(int x, int y) const;

    // Pure curve geometry. d is the plot width - 1, h the height - 1.
    // LinearCurveEnd fails (returns false) when d / 2 or max is 0; an end
    // more than 2^31 from the pivot is pulled in along the same line.
    static bool LinearCurveEnd(QPoint pivot, int amount, int kind, TCurveSide side, int max, int d,
                               int h, std::int64_t &endX, std::int64_t &endY);
    static TArcGeometry ExpCurveArc(QPoint pivot, int amount, int kind, TCurveSide side, int max,
                                    int expCoeff, int h);

    // The toolkit's arc primitive: the arc of the ellipse inscribed in box
    // (edges inclusive), counter-clockwise on screen from the ray through
    // start to the ray through end, clipped to the image. Equal rays draw
    // the whole ellipse.
    static void DrawArc(QImage &image, const VxDraw::TRect &box, QPoint start, QPoint end,
                        TColor color);
    // A solid line from 'from' to 'to' ('to' not painted), the same pixels as
    // VxDraw::DrawLine, but it only walks the part inside the image. The ends
    // must lie within 2^33 of each other and of the image.
    static void DrawClippedLine(QImage &image, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                                std::int64_t y1, TColor color);

    // The marker points, the selection and the pictures of the last drawing.
    const std::array<QPoint, kMarkerCount> &Markers() const { return m_markers; }
    int SelectedMarker() const { return m_selected; }
    bool GradientReady() const { return m_gradientReady; }
    const QImage &DrawingBuffer() const { return m_buffer; }
    const QImage &GradientBitmap() const { return m_gradient; }
    const QImage &LastPicture() const { return m_surface; }

    void xOnChange(QObject *sender);

protected:
    // "level 64, key 60, left linear falling 10, right exponential rising 20"
    QString DefaultAccessibleValueText() const override;

    // Draw one curve from the pivot; fc_lin fails when the plot is too narrow.
    bool fc_lin(int amount, int kind, TCurveSide side);
    void fc_exp(int amount, int kind, TCurveSide side);

    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, QPoint pos);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint pos);

    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Synchronous redraw: composes now (shown or not), then paints the
    // window at once if it is on screen.
    void Redraw();
    void RaiseOnChange();
    bool Compose();
    void SizeBuffer();
    void HatchStrip(const VxDraw::TRect &rect);
    void EditUpdate(QPoint pos);
    void StripUpdate(int &kind, int &amount, int y) const;

    int m_max = 99;
    TColor m_lineColor = clTeal;
    bool m_alwayDetect = true;
    bool m_showHint = true;
    TColor m_gradientColor = clNavy;
    bool m_gradientEnabled = false;
    int m_gradientNbOfColors = 64;
    tGradientTypek m_gradientType = grkVertCenterToBorder;
    int m_markerSize = 3;
    TColor m_markerColor = clAqua;
    bool m_rubberEnabled = true;
    int m_rubberSize = 7;
    int m_expCoeff = 10;
    TColor m_rubberColor = clSilver;
    TColor m_color = clBlack;

    std::array<int, kSlotCount> m_values{};
    std::array<QPoint, kMarkerCount> m_markers{};
    bool m_gradientReady = false;
    TNotifyEvent m_onChange;
    int m_selected = -1;
    // Geometry of the last drawing that the curves use.
    int m_plotD = 0;
    int m_plotH = 0;
    // Set while Redraw's own repaint runs, so the paint hook does not
    // compose the same picture twice.
    bool m_composedForRepaint = false;

    QImage m_buffer;
    QImage m_gradient;
    QImage m_surface;
};
