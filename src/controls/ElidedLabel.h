#pragma once
// TElidedLabel: a one-line label that takes the room its layout gives it and
// asks for none: a text longer than the room is drawn cut with an ellipsis,
// so that a long text never pushes its neighbours aside or covers them.
// text() (and so the accessible name) stays whole; the client puts it in
// the tooltip when the cut part matters.
// Thread: the user-interface thread only.

#include <QLabel>

class TElidedLabel : public QLabel {
public:
    explicit TElidedLabel(QWidget *parent = nullptr);

    // The text as drawn in the present width.
    QString ShownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
