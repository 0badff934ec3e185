#pragma once
// A small window beside the editor in the demonstration: it plays the part
// of the person at the instruments, choosing programs on the simulated
// DW-8000 and turning the simulated BCR2000's controls. It talks only to the
// simulators; the editor hears about it over MIDI like about real devices.
// Thread: the user-interface thread.

#include <QWidget>

class QLabel;
class TSimRig;

class TDemoPanel : public QWidget {
    Q_OBJECT
public:
    explicit TDemoPanel(TSimRig &rig, QWidget *parent = nullptr);

private:
    void StepProgram(int delta);

    TSimRig &FRig;
    QLabel *FProgram = nullptr;
};
