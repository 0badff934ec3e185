#pragma once
// MIDI 1.0 status values the ports use (channel messages are ORed with the
// channel 0-15).

#include <cstdint>

constexpr std::uint8_t MIDI_NOTEOFF = 0x80;
constexpr std::uint8_t MIDI_NOTEON = 0x90;
constexpr std::uint8_t MIDI_KEYAFTERTOUCH = 0xA0;
constexpr std::uint8_t MIDI_CONTROLCHANGE = 0xB0;
constexpr std::uint8_t MIDI_PROGRAMCHANGE = 0xC0;
constexpr std::uint8_t MIDI_CHANAFTERTOUCH = 0xD0;
constexpr std::uint8_t MIDI_PITCHBEND = 0xE0;
constexpr std::uint8_t MIDI_BEGINSYSEX = 0xF0;
constexpr std::uint8_t MIDI_MTC_QUARTERFRAME = 0xF1;
constexpr std::uint8_t MIDI_ENDSYSEX = 0xF7;
constexpr std::uint8_t MIDI_TIMINGCLOCK = 0xF8;
constexpr std::uint8_t MIDI_ACTIVESENSING = 0xFE;
constexpr std::uint8_t MIDI_SYSTEMRESET = 0xFF;
