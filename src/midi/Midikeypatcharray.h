#pragma once
// Patch and key arrays for patch caching: 128 words, one per patch or key
// number, each a mask of the channels that use it. Pure functions: any thread.

#include "midi/MidiType.h"

#include <array>
#include <cstdint>

using TKeyPatchArray = std::array<std::uint16_t, 128>;

// False (array untouched) when index > 127.
bool SetPatchChannels(TKeyPatchArray &entries, std::uint8_t index, TMidiChannels channels);
