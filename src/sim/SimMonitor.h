#pragma once
// The simulator's MIDI monitor: one line per message, readable by people and
// by scripts alike:
//   RX dw8000 F0 42 30 03 10 F7 | DW-8000 dump request, channel 1
//   TX bcr2000 B0 2C 3F | control change, channel 1, controller 44 = 63
// RX is what a simulated device received, TX what it sent; the bytes are
// exact, and everything after " | " is commentary.
// Thread: pure functions, any thread.

#include <cstdint>
#include <string>
#include <vector>

namespace simmonitor {

using Message = std::vector<std::uint8_t>;

// "F0 42 30 03 10 F7".
std::string HexBytes(const Message &message);

// What the message means to a DW-8000 or a BCR2000, in a few words.
std::string Describe(const Message &message);

std::string MonitorLine(const std::string &direction, const std::string &device, const Message &message);

// Reads the bytes back from a monitor line; false when it is not one.
bool ParseMonitorLine(const std::string &line, std::string &direction, std::string &device, Message &message);

} // namespace simmonitor
