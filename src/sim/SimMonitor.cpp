#include "sim/SimMonitor.h"

#include <cstdio>
#include <sstream>

namespace simmonitor {

namespace {

std::string Channel(std::uint8_t status) { return "channel " + std::to_string((status & 0x0F) + 1); }

// A program as the DW-8000 numbers it: bank 1-8, number 1-8.
std::string DwProgram(int program) { return std::to_string((program / 8 + 1) * 10 + program % 8 + 1); }

std::string DescribeSysex(const Message &m)
{
    const bool terminated = m.back() == 0xF7;
    if (m.size() >= 6 && m[1] == 0x42 && (m[2] & 0xF0) == 0x30 && m[3] == 0x03) {
        const std::string channel = "channel " + std::to_string((m[2] & 0x0F) + 1);
        switch (m[4]) {
        case 0x10: return "DW-8000 dump request, " + channel;
        case 0x11:
            if (m.size() == 7 && m[5] < 64)
                return "DW-8000 write request, " + channel + ", program " + DwProgram(m[5]);
            return "DW-8000 write request, " + channel;
        case 0x40:
            return "DW-8000 data dump, " + channel + ", " + std::to_string(m.size()) + " bytes"
                 + (terminated ? "" : ", cut off");
        case 0x41:
            if (m.size() == 8)
                return "DW-8000 parameter change, " + channel + ", parameter " + std::to_string(m[5]) + " = "
                     + std::to_string(m[6]);
            break;
        default: break;
        }
    }
    if (m.size() >= 10 && m[1] == 0x00 && m[2] == 0x20 && m[3] == 0x32) {
        const int index = (m[7] & 0x7F) << 7 | (m[8] & 0x7F);
        if (m[6] == 0x20)
            return "BCL line " + std::to_string(index) + ": " + std::string(m.begin() + 9, m.end() - 1);
        if (m[6] == 0x21 && m.size() == 11)
            return "BCL reply to line " + std::to_string(index) + ", error " + std::to_string(m[9]);
    }
    return "sysex, " + std::to_string(m.size()) + " bytes" + (terminated ? "" : ", cut off");
}

} // namespace

std::string HexBytes(const Message &message)
{
    std::string s;
    char hex[4];
    for (const std::uint8_t b : message) {
        std::snprintf(hex, sizeof hex, s.empty() ? "%02X" : " %02X", b);
        s += hex;
    }
    return s;
}

std::string Describe(const Message &m)
{
    if (m.empty())
        return "empty";
    const std::uint8_t status = m[0];
    if (status == 0xF0)
        return DescribeSysex(m);
    if (status == 0xFE)
        return "active sensing";
    switch (status & 0xF0) {
    case 0xB0:
        if (m.size() == 3)
            return "control change, " + Channel(status) + ", controller " + std::to_string(m[1]) + " = "
                 + std::to_string(m[2]);
        break;
    case 0xC0:
        if (m.size() == 2)
            return "program change, " + Channel(status) + ", "
                 + (m[1] < 64 ? "DW-8000 program " + DwProgram(m[1]) : "number " + std::to_string(m[1]));
        break;
    case 0x90:
        if (m.size() == 3)
            return "note on, " + Channel(status) + ", key " + std::to_string(m[1]);
        break;
    case 0x80:
        if (m.size() == 3)
            return "note off, " + Channel(status) + ", key " + std::to_string(m[1]);
        break;
    default: break;
    }
    return "MIDI message";
}

std::string MonitorLine(const std::string &direction, const std::string &device, const Message &message)
{
    return direction + " " + device + " " + HexBytes(message) + " | " + Describe(message);
}

bool ParseMonitorLine(const std::string &line, std::string &direction, std::string &device, Message &message)
{
    std::istringstream in(line);
    if (!(in >> direction >> device) || (direction != "RX" && direction != "TX"))
        return false;
    message.clear();
    std::string token;
    while (in >> token && token != "|") {
        if (token.size() != 2)
            return false;
        unsigned value = 0;
        if (std::sscanf(token.c_str(), "%2x", &value) != 1)
            return false;
        message.push_back(std::uint8_t(value));
    }
    return !message.empty();
}

} // namespace simmonitor
