#include "controls/Wall.h"

#include <QEvent>
#include <QPainter>

namespace {

struct BevelColors {
    TColor top;
    TColor bottom;
};

BevelColors ColorsOf(TPanelBevel bevel)
{
    if (bevel == bvLowered)
        return {clBtnShadow, clBtnHighlight};
    return {clBtnHighlight, clBtnShadow};
}

// Paints 'width' rings of a 3D frame inside rect, shrinking rect by one pixel
// per ring: top row and left column in the top colour, bottom row and right
// column in the bottom colour; the top-right corner pixel is left alone.
void Frame3D(QPainter &painter, QRect &rect, TColor top, TColor bottom, int width)
{
    const QColor topColor = ToQColor(top);
    const QColor bottomColor = ToQColor(bottom);
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        const int l = rect.left();
        const int t = rect.top();
        const int w = rect.width();
        const int h = rect.height();
        painter.fillRect(QRect(l, t, w - 1, 1), topColor);
        painter.fillRect(QRect(l, t, 1, h), topColor);
        painter.fillRect(QRect(l, t + h - 1, w, 1), bottomColor);
        painter.fillRect(QRect(l + w - 1, t + 1, 1, h - 1), bottomColor);
        rect.adjust(1, 1, -1, -1);
    }
}

} // namespace

void TWallpaper::TPicture::SetGraphic(const QImage &graphic)
{
    Graphic_ = graphic;
    if (OnChange)
        OnChange(this);
}

bool TWallpaper::TPicture::LoadFromFile(const QString &fileName)
{
    QImage loaded;
    if (!loaded.load(fileName))
        return false;
    SetGraphic(loaded);
    return true;
}

TWallpaper::TWallpaper(QWidget *owner)
    : QWidget(owner)
    , Wallpaper_(std::make_unique<TPicture>())
{
    Wallpaper_->OnChange = [this](TPicture *sender) { WallpaperChanged(sender); };
    SetAlign(alTop);
}

TWallpaper::~TWallpaper()
{
    Wallpaper_->OnChange = nullptr;
}

void TWallpaper::SetWallpaper(const TPicture &picture)
{
    Wallpaper_->Assign(picture);
}

void TWallpaper::SetWallpaper(const QImage &picture)
{
    Wallpaper_->SetGraphic(picture);
}

void TWallpaper::WallpaperChanged(TPicture *)
{
    update();
}

void TWallpaper::SetBevelOuter(TPanelBevel value)
{
    if (BevelOuter_ == value)
        return;
    BevelOuter_ = value;
    update();
}

void TWallpaper::SetBevelInner(TPanelBevel value)
{
    if (BevelInner_ == value)
        return;
    BevelInner_ = value;
    update();
}

void TWallpaper::SetBevelWidth(int value)
{
    if (BevelWidth_ == value || value < 1)
        return;
    BevelWidth_ = value;
    update();
}

void TWallpaper::SetBorderWidth(int value)
{
    if (BorderWidth_ == value || value < 0)
        return;
    BorderWidth_ = value;
    update();
}

void TWallpaper::SetColor(TColor value)
{
    if (Color_ == value)
        return;
    Color_ = value;
    update();
}

void TWallpaper::SetCaption(const QString &value)
{
    if (Caption_ == value)
        return;
    Caption_ = value;
    update();
}

void TWallpaper::SetShowHint(bool value)
{
    ShowHint_ = value;
}

void TWallpaper::SetAlign(TAlign value)
{
    Align_ = value;
    QWidget *const parent = parentWidget();
    if (parent != WatchedParent_) {
        if (WatchedParent_ != nullptr)
            WatchedParent_->removeEventFilter(this);
        WatchedParent_ = parent;
        if (parent != nullptr)
            parent->installEventFilter(this);
    }
    ApplyAlign();
}

void TWallpaper::ApplyAlign()
{
    const QWidget *parent = parentWidget();
    if (parent == nullptr || Align_ == alNone)
        return;
    const QRect area = parent->contentsRect();
    QRect g = geometry();
    switch (Align_) {
    case alTop:
        g = QRect(area.left(), area.top(), area.width(), g.height());
        break;
    case alBottom:
        g = QRect(area.left(), area.bottom() + 1 - g.height(), area.width(), g.height());
        break;
    case alLeft:
        g = QRect(area.left(), area.top(), g.width(), area.height());
        break;
    case alRight:
        g = QRect(area.right() + 1 - g.width(), area.top(), g.width(), area.height());
        break;
    case alClient:
        g = area;
        break;
    case alNone:
        break;
    }
    setGeometry(g);
}

bool TWallpaper::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == WatchedParent_ && event->type() == QEvent::Resize)
        ApplyAlign();
    return QWidget::eventFilter(watched, event);
}

bool TWallpaper::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::ToolTip:
        if (!ShowHint_) {
            event->ignore();
            return true;
        }
        break;
    case QEvent::ParentChange:
        SetAlign(Align_);
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

int TWallpaper::FrameWidth() const
{
    int frame = BorderWidth_;
    if (BevelOuter_ != bvNone)
        frame += BevelWidth_;
    if (BevelInner_ != bvNone)
        frame += BevelWidth_;
    return frame;
}

QRect TWallpaper::InnerRect() const
{
    const int f = FrameWidth();
    return rect().adjusted(f, f, -f, -f);
}

void TWallpaper::PaintPanel(QPainter &painter) const
{
    painter.fillRect(rect(), ToQColor(Color_));
    QRect r = rect();
    if (BevelOuter_ != bvNone) {
        const BevelColors c = ColorsOf(BevelOuter_);
        Frame3D(painter, r, c.top, c.bottom, BevelWidth_);
    }
    r.adjust(BorderWidth_, BorderWidth_, -BorderWidth_, -BorderWidth_);
    if (BevelInner_ != bvNone) {
        const BevelColors c = ColorsOf(BevelInner_);
        Frame3D(painter, r, c.top, c.bottom, BevelWidth_);
    }
    if (!Caption_.isEmpty()) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(r, Qt::AlignCenter, Caption_);
    }
}

void TWallpaper::PaintTiles(QPainter &painter) const
{
    const QImage &picture = Wallpaper_->Graphic();
    const int pw = picture.width();
    const int ph = picture.height();
    if (pw <= 0 || ph <= 0)
        return;
    const int f = FrameWidth();
    const QRect inner = InnerRect();
    const int columns = (width() - 2 * f) / pw;
    const int rows = (height() - 2 * f) / ph;
    if (columns < 0 || rows < 0)
        return;
    painter.save();
    painter.setClipRect(inner);
    for (int c = 0; c <= columns; ++c)
        for (int r = 0; r <= rows; ++r)
            painter.drawImage(inner.left() + c * pw, inner.top() + r * ph, picture);
    painter.restore();
}

void TWallpaper::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    PaintPanel(painter);
    PaintTiles(painter);
}
