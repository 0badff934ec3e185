#pragma once
// A small window beside the editor in the demonstration: it plays the part
// of the person at the instruments, choosing programs on the simulated
// DW-8000 and turning the simulated BCR2000's controls. It talks only to the
// simulators; the editor hears about it over MIDI like about real devices.
// Thread: the user-interface thread.

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

class QLabel;
class TSimRig;

// Where the demonstration's windows go on a screen's available area: the
// panel beside the main window (right, then left), else below (then above),
// fully on the screen. When the main window leaves no room where it is, it
// is moved towards a screen edge as far as that makes room; on a screen too
// small for both side by side, the panel overlaps the main window's corner,
// still fully on the screen. Pure.
struct TDemoPlacement {
    QPoint Main;   // the main window frame's top left
    QPoint Panel;  // the panel frame's top left
};
TDemoPlacement PlaceDemoPanel(const QRect &screen, const QRect &mainFrame, const QSize &panelFrame, int gap = 8);

class TDemoPanel : public QWidget {
    Q_OBJECT
public:
    explicit TDemoPanel(TSimRig &rig, QWidget *parent = nullptr);

private:
    void StepProgram(int delta);

    TSimRig &FRig;
    QLabel *FProgram = nullptr;
};
