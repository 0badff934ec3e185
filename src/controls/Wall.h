#pragma once
// TWallpaper: a panel with the classic bevelled frame that repeats a picture
// at its natural size from the inner rectangle's top-left corner, clipped to
// the inner rectangle. Other widgets may be placed on it as on any panel.
//
// Threads: a QWidget; every member runs on the UI thread only.
//
// A change of the picture only schedules a repaint (update()); painting
// happens when the window system next asks for it.

#include "platform/Colors.h"

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

class TWallpaper : public QWidget
{
    Q_OBJECT

public:
    // The panel's picture: one drawable image and a change notification
    // that fires after every change of its content.
    class TPicture
    {
    public:
        const QImage &Graphic() const { return Graphic_; }
        void SetGraphic(const QImage &graphic);
        void Assign(const TPicture &source) { SetGraphic(source.Graphic()); }
        bool LoadFromFile(const QString &fileName);
        int Width() const { return Graphic_.width(); }
        int Height() const { return Graphic_.height(); }

        std::function<void(TPicture *sender)> OnChange;

    private:
        QImage Graphic_;
    };

    explicit TWallpaper(QWidget *owner = nullptr);
    ~TWallpaper() override;

    TPicture &Wallpaper() { return *Wallpaper_; }
    const TPicture &Wallpaper() const { return *Wallpaper_; }
    void SetWallpaper(const TPicture &picture);
    void SetWallpaper(const QImage &picture);

    TPanelBevel BevelOuter() const { return BevelOuter_; }
    void SetBevelOuter(TPanelBevel value);
    TPanelBevel BevelInner() const { return BevelInner_; }
    void SetBevelInner(TPanelBevel value);
    int BevelWidth() const { return BevelWidth_; }
    void SetBevelWidth(int value);
    int BorderWidth() const { return BorderWidth_; }
    void SetBorderWidth(int value);
    TColor Color() const { return Color_; }
    void SetColor(TColor value);
    const QString &Caption() const { return Caption_; }
    void SetCaption(const QString &value);
    bool ShowHint() const { return ShowHint_; }
    void SetShowHint(bool value);
    // Docking in the parent's client area, redone when the parent resizes.
    TAlign Align() const { return Align_; }
    void SetAlign(TAlign value);

    // BorderWidth plus BevelWidth for each bevel that is not bvNone.
    int FrameWidth() const;
    // The client rectangle shrunk by the frame width on every side.
    QRect InnerRect() const;

    // Runs after every change of the picture: schedules a repaint.
    void WallpaperChanged(TPicture *sender);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void PaintPanel(QPainter &painter) const;
    void PaintTiles(QPainter &painter) const;
    void ApplyAlign();

    std::unique_ptr<TPicture> Wallpaper_;
    TPanelBevel BevelOuter_ = bvRaised;
    TPanelBevel BevelInner_ = bvNone;
    int BevelWidth_ = 1;
    int BorderWidth_ = 0;
    TColor Color_ = clBtnFace;
    QString Caption_;
    bool ShowHint_ = true;
    TAlign Align_ = alNone;
    QWidget *WatchedParent_ = nullptr;
};
