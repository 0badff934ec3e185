#pragma once
// DW-8000 files: a single dump, a raw 51-byte data block, or a bank (dumps,
// each followed by the write request that stores it, or preceded by a
// program change). Reading checks the whole file before it hands anything
// back, so a truncated or foreign file changes nothing. Files keep the
// channel they were made on; a reader rewrites it to the channel in use by
// building the messages afresh.
// Thread: any; no state. The file functions touch only the path given.

#include "dw/Messages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace dw {

enum class TSyxForm { Dump, RawBlock, Bank };

struct TFileProgram {
    int Program = 0; // 0..63
    TDataBlock Data{};
};

struct TSyxFile {
    TSyxForm Form = TSyxForm::Dump;
    int Channel = NoChannel; // of the first dump; NoChannel for a raw block
    std::vector<TFileProgram> Programs; // in file order; one for a dump or a raw block
};

struct TSyxRead {
    bool Ok = false;
    std::string Error; // why the file was refused, a sentence for the user
    TSyxFile File;
    // The file could not be read at all (Error names it); otherwise its
    // bytes were refused and the caller names the file as its user knows it.
    bool Unreadable = false;
};

// Parses a file's bytes. Program numbers come from the write requests, else
// from program changes before the dumps, else from the dumps' order.
TSyxRead ParseSyx(const std::vector<std::uint8_t> &bytes);

// A single 57-byte dump.
std::vector<std::uint8_t> DumpFileBytes(int channel, const TDataBlock &data);
// Each program as its dump followed by its write request (64 x 64 bytes for a
// whole bank). Empty when the channel or a byte cannot be sent.
std::vector<std::uint8_t> BankFileBytes(int channel, const std::vector<TFileProgram> &programs);

// Reads and parses a file (ReadFileBytes, then ParseSyx): every reader of
// `.syx` files goes through here.
TSyxRead ReadSyxFile(const std::string &path);

// Reads a whole file; false with the reason in `error`.
bool ReadFileBytes(const std::string &path, std::vector<std::uint8_t> &bytes, std::string &error);
// Writes a file through a temporary one beside it, so that a failed write
// leaves the old file as it was; false with the reason in `error`.
bool WriteFileBytes(const std::string &path, const std::vector<std::uint8_t> &bytes, std::string &error);

// One line a program: number, waveforms, cutoff, envelope sketch; for `list`.
std::string DescribeProgram(const TFileProgram &program);

} // namespace dw
