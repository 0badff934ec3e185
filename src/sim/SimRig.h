#pragma once
// The two simulated devices on the in-process virtual MIDI backend: a
// DW-8000 and a BCR2000, each appearing as one input and one output device,
// so that the editor talks to them exactly as to hardware.
// Threads: construct and destroy on the UI thread (device creation belongs
// to it); the simulators themselves may be driven from any thread. What the
// editor sends reaches them on the backend's delivery thread, and their
// answers are injected from there.

#include "platform/VirtualMidiService.h"
#include "sim/SimBcr2000.h"
#include "sim/SimDw8000.h"

#include <memory>

class TSimRig {
public:
    static constexpr const char *SynthDeviceName = "DW-8000 (simulated)";
    static constexpr const char *ControllerDeviceName = "BCR2000 (simulated)";

    explicit TSimRig(platform::VirtualMidiService &service);
    ~TSimRig();
    TSimRig(const TSimRig &) = delete;
    TSimRig &operator=(const TSimRig &) = delete;

    SimDw8000 &Synth() { return *FSynth; }
    SimBcr2000 &Controller() { return *FController; }
    platform::VirtualMidiDevice &SynthDevice() { return *FSynthDevice; }
    platform::VirtualMidiDevice &ControllerDevice() { return *FControllerDevice; }

    // A small set of plausible DW-8000 programs (a pad, a bass, a lead, ...),
    // written so that the demonstration has something real to show.
    static void LoadDemoPrograms(SimDw8000 &synth);

private:
    std::shared_ptr<SimDw8000> FSynth;
    std::shared_ptr<SimBcr2000> FController;
    std::shared_ptr<platform::VirtualMidiDevice> FSynthDevice;
    std::shared_ptr<platform::VirtualMidiDevice> FControllerDevice;
};
