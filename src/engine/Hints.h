#pragma once
// Sentences the window and tavrelk-bank share.
// Thread: any (constants only).

namespace engine {

// Ends every "no dump came" message: what most often keeps a DW-8000 quiet.
inline const char *const NoDumpHint =
    "Check that the DW-8000's exclusive data setting is on, that it listens on the editor's MIDI channel, "
    "and the MIDI cables.";

} // namespace engine
