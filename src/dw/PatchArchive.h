#pragma once
// Patches gathered from the files people keep, for the patch library: every
// form the librarian reads, the named .DW8 files of an old librarian, files
// with several dumps in a row, and files that mix in other devices' messages.
// Unlike a bank the librarian sends, an archive file is read for whatever
// DW-8000 programs it holds: foreign messages are skipped and counted, not
// refused.
// Thread: any; pure functions, no state.

#include "dw/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dw {

struct TArchivePatch {
    TDataBlock Data{};
    std::string Name; // the file's own name for it (.DW8), else empty
    int Program = -1; // 0..63 when the file says where it was stored, else -1
};

struct TArchiveRead {
    bool Ok = false;
    std::string Error; // why the file was refused, a sentence for the user
    std::vector<TArchivePatch> Patches; // in file order
    int Skipped = 0; // messages that were not DW-8000 programs
};

// A .DW8 file: 00 40, then records of 70 bytes (name length, 16 name bytes,
// 00, 51 data bytes, 00).
TArchiveRead ParseDw8(const std::vector<std::uint8_t> &bytes);

// Every complete DW-8000 dump in a stream of MIDI messages, on any channel;
// a write request after a dump or a program change before it numbers it.
TArchiveRead ScanSysex(const std::vector<std::uint8_t> &bytes);

// A file's patches whatever its form: a .DW8 by its header, a raw data block,
// else the lenient scan (which takes every bank the librarian reads).
TArchiveRead ReadArchive(const std::vector<std::uint8_t> &bytes);

} // namespace dw
