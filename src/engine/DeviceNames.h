#pragma once
// Device names as the user sees and stores them. The MIDI systems add
// numbers to a port's name that change with plug order and boot: RtMidi's
// ALSA names end in the sequencer's client and port ("BCR2000:BCR2000 MIDI 1
// 24:0"), and a2jmidid's JACK names carry them in brackets ("a2j:BCR2000
// [24] (capture): [0] BCR2000 MIDI 1"). The stable name leaves them out; it
// is what the lists show and the settings file keeps.
// Thread: pure functions, any thread.

#include <string>
#include <vector>

namespace engine {

// `name` without the system's client and port numbers.
std::string StableDeviceName(const std::string &name);

// Position of the device `name` stands for among `names` (as the system
// reports them), or -1: the first equal name, letters compared without case;
// failing that, the first whose stable name equals the stable name of `name`.
// So a name stored before the numbers changed, or without them, still finds
// its device, and a stored name that matches exactly keeps its own device
// among equal ones.
int FindDeviceName(const std::vector<std::string> &names, const std::string &name);

// Every position FindDeviceName would consider, best first (the exact
// matches in order, then the other stable matches in order).
std::vector<int> FindDeviceNames(const std::vector<std::string> &names, const std::string &name);

} // namespace engine
