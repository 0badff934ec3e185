#include "midi/MidiType.h"

#include <cstdio>
#include <new>

void *GlobalSharedLockedAlloc(std::uint32_t size, THandle &handle)
{
    handle = platform::FixedBlock::Allocate(size);
    return handle.Address();
}

void GlobalSharedLockedFree(THandle &handle, void *)
{
    handle.Release();
}

TMyMidiHdr::TMyMidiHdr(std::uint16_t size)
{
    if (size == 0)
        return;
    Header = static_cast<platform::MIDIHDR *>(GlobalSharedLockedAlloc(sizeof(platform::MIDIHDR), HeaderBlock));
    Buffer = static_cast<std::uint8_t *>(GlobalSharedLockedAlloc(size, BufferBlock));
    if (!Header || !Buffer)
        throw std::bad_alloc();
    Header->lpData = Buffer;
    Header->dwBufferLength = size;
}

TMidiIO::TMidiIO(QObject *AOwner) : QObject(AOwner), Service(platform::CurrentMidiService()) {}

std::string MidiMessageToStr(std::uint8_t status)
{
    switch (status & 0xF0) {
    case 0x80: return "MIDI_NOTEOFF";
    case 0x90: return "MIDI_NOTEON";
    case 0xA0: return "MIDI_KEYAFTERTOUCH";
    case 0xB0: return "MIDI_CONTROLCHANGE";
    case 0xC0: return "MIDI_PROGRAMCHANGE";
    case 0xD0: return "MIDI_CHANAFTERTOUCH";
    case 0xE0: return "MIDI_PITCHBEND";
    case 0xF0: return "MIDI_BEGINSYSEX or MIDI_SYSTEMMESSAGE";
    default: {
        char text[48];
        std::snprintf(text, sizeof text, "Unknown MIDI Message 0x%02X | %u", status, unsigned(status));
        return text;
    }
    }
}
