#pragma once
// Tvxgrafsw: shows one picture out of a strip of Glyph equal-width pictures
// lying side by side; State picks the picture.
//
// Threads: a QWidget; every member runs on the UI thread only.
//
// A repaint here is synchronous (repaint()): the setter returns after the
// control has painted. Only one picture is copied per drawing, into a glyph
// buffer that lives as long as the control.

#include "controls/Accessible.h"

#include <QImage>
#include <QWidget>

class Tvxgrafsw : public QWidget, public TAccessibleValue
{
    Q_OBJECT

public:
    explicit Tvxgrafsw(QWidget *owner = nullptr);
    ~Tvxgrafsw() override;

    // The strip. The control keeps its own copy; every call repaints.
    const QImage &Bitmap() const { return Bitmap_; }
    void SetBitmap(const QImage &bitmap);
    // On: the control takes the size of one picture when it draws.
    bool AutoSize() const { return AutoSize_; }
    void SetAutoSize(bool value);
    // Number of pictures in the strip; only 1..255 is taken. State is not
    // re-checked against a new count.
    int Glyph() const { return Glyph_; }
    void SetGlyph(int count);
    // Picture shown; an index outside 0..Glyph-1 becomes 0.
    int State() const { return State_; }
    void SetState(int index);
    bool ShowHint() const { return ShowHint_; }
    void SetShowHint(bool value);

    // Width of one picture: strip width / Glyph, truncated.
    int GetBitmapWidth() const;
    // Glyph width x strip height, when the strip is not empty and AutoSize
    // is on; otherwise width and height are left as they came.
    void OptimalSize(int &width, int &height) const;

    // Copies the current picture into the glyph buffer; the paint hook puts
    // the buffer on the window at (0, 0).
    void Affiche();
    const QImage &GlyphBuffer() const { return GlyphBuffer_; }

    QAccessible::Role AccessibleRole() const override { return QAccessible::Graphic; }
    bool HasAccessibleRange() const override { return true; }
    int AccessibleCurrent() const override { return State_; }
    int AccessibleMaximum() const override { return Glyph_ - 1; }

protected:
    // "picture 6 of 16"
    QString DefaultAccessibleValueText() const override;

    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    void Repaint();
    void ApplyAutoSize();

    bool AutoSize_ = true;
    int State_ = 0;
    int Glyph_ = 1;
    bool ShowHint_ = true;
    QImage Bitmap_;
    QImage GlyphBuffer_;
};
