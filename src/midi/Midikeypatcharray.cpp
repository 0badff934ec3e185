#include "midi/Midikeypatcharray.h"

bool SetPatchChannels(TKeyPatchArray &entries, std::uint8_t index, TMidiChannels channels)
{
    if (index > 127)
        return false;
    entries[index] = 0;
    for (TMidiChannel ch = 0; ch < 16; ++ch)
        if (channels.Contains(ch))
            entries[index] |= std::uint16_t(1u << ch);
    return true;
}
