#include "controls/Vxgrafsw.h"

#include "controls/VxDraw.h"

#include <QEvent>
#include <QPainter>

Tvxgrafsw::Tvxgrafsw(QWidget *owner)
    : QWidget(owner)
{
    InstallAccessibleFactory();
    resize(30, 30);
}

Tvxgrafsw::~Tvxgrafsw() = default;

void Tvxgrafsw::Repaint()
{
    ApplyAutoSize();
    repaint();
}

void Tvxgrafsw::ApplyAutoSize()
{
    int w = width();
    int h = height();
    OptimalSize(w, h);
    if (w != width() || h != height())
        resize(w, h);
}

void Tvxgrafsw::SetBitmap(const QImage &bitmap)
{
    // One pixel layout for strip and glyph buffer keeps the copy a memcpy.
    const auto format = bitmap.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    Bitmap_ = bitmap.isNull() ? QImage() : bitmap.convertToFormat(format);
    Repaint();
}

void Tvxgrafsw::SetAutoSize(bool value)
{
    if (AutoSize_ == value)
        return;
    AutoSize_ = value;
    if (value)
        Repaint();
}

void Tvxgrafsw::SetGlyph(int count)
{
    if (Glyph_ == count || count <= 0 || count >= 256)
        return;
    Glyph_ = count;
    Repaint();
}

void Tvxgrafsw::SetState(int index)
{
    if (State_ == index)
        return;
    if (index < 0 || index >= Glyph_)
        index = 0;
    State_ = index;
    Repaint();
    AnnounceValueChange(this);
}

QString Tvxgrafsw::DefaultAccessibleValueText() const
{
    return QStringLiteral("picture %1 of %2").arg(State_ + 1).arg(Glyph_);
}

void Tvxgrafsw::SetShowHint(bool value)
{
    ShowHint_ = value;
}

int Tvxgrafsw::GetBitmapWidth() const
{
    return Bitmap_.width() / Glyph_;
}

void Tvxgrafsw::OptimalSize(int &width, int &height) const
{
    if (Bitmap_.isNull() || !AutoSize_)
        return;
    width = GetBitmapWidth();
    height = Bitmap_.height();
}

void Tvxgrafsw::Affiche()
{
    const int gw = GetBitmapWidth();
    const int bh = Bitmap_.height();
    VxDraw::TRect source{0, 0, gw, bh};
    if (State_ > 0 && State_ <= Glyph_ - 1)
        source = {State_ * gw, 0, (State_ + 1) * gw, bh};
    if (GlyphBuffer_.width() != gw || GlyphBuffer_.height() != bh
        || GlyphBuffer_.format() != Bitmap_.format())
        GlyphBuffer_ = gw > 0 && bh > 0 ? QImage(gw, bh, Bitmap_.format()) : QImage();
    VxDraw::CopyRect(GlyphBuffer_, {0, 0}, Bitmap_, source);
}

void Tvxgrafsw::paintEvent(QPaintEvent *)
{
    ApplyAutoSize();
    if (Bitmap_.isNull())
        return;
    Affiche();
    if (GlyphBuffer_.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(0, 0, GlyphBuffer_);
}

bool Tvxgrafsw::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !ShowHint_) {
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}
