#pragma once
// The longest pause between two paints of a value field, as the window's own
// repainting goes. Labels repaint only from the message loop (the graphs also
// repaint inside handlers), so a gap here is a gap in the window's repainting.
// Thread: the user-interface thread.

#include <QApplication>
#include <QEvent>
#include <QLabel>

#include <algorithm>
#include <chrono>

class TPaintGaps : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    TPaintGaps() { qApp->installEventFilter(this); }
    ~TPaintGaps() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && qobject_cast<QLabel *>(o) != nullptr) {
            const Clock::time_point now = Clock::now();
            if (last != Clock::time_point{})
                longest = std::max(longest, now - last);
            last = now;
            ++paints;
        }
        return false;
    }
    void Restart() { last = Clock::now(); longest = {}; paints = 0; }

    Clock::time_point last{};
    Clock::duration longest{};
    long paints = 0;
};
