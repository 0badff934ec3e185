#pragma once
// Closing a test's own RtMidi JACK output safely.

#include <rtmidi/RtMidi.h>

#include <chrono>
#include <thread>

// RtMidi frees a JACK output's ring before it stops the client's process
// thread: a cycle that began before the close could read the freed ring.
// The port is closed first and the cycle given time to end.
inline void CloseJackOutput(RtMidiOut &out)
{
    out.closePort();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
}
