#include "dw/PatchArchive.h"

#include "dw/SyxFile.h"

#include <algorithm>

namespace dw {
namespace {

constexpr std::size_t kDw8Header = 2;
constexpr std::size_t kDw8Record = 70;
constexpr std::size_t kDw8NameSize = 16;
constexpr std::size_t kDw8DataAt = 18; // length byte, name, one 00

std::string At(std::size_t offset) { return " (at byte " + std::to_string(offset) + ")"; }

TArchiveRead Refuse(std::string why)
{
    TArchiveRead r;
    r.Error = std::move(why);
    return r;
}

// Names come from 1990s PCs: control characters are dropped, anything else
// outside ASCII shows as '?'.
std::string Dw8Name(const std::uint8_t *record)
{
    const std::size_t length = std::min<std::size_t>(record[0], kDw8NameSize);
    std::string name;
    for (std::size_t k = 0; k < length; ++k) {
        const std::uint8_t c = record[1 + k];
        if (c >= 0x20)
            name += c < 0x7F ? char(c) : '?';
    }
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    return name;
}

bool IsDw8(const std::vector<std::uint8_t> &bytes)
{
    return bytes.size() >= kDw8Header && bytes[0] == 0x00 && bytes[1] == 0x40;
}

std::size_t MessageEnd(const std::vector<std::uint8_t> &bytes, std::size_t start)
{
    std::size_t end = start + 1;
    while (end < bytes.size() && bytes[end] < 0x80)
        ++end;
    return end;
}

// A Korg DW-8000 message, whatever its channel, and the channel.
int DwChannel(const std::uint8_t *m, std::size_t size)
{
    if (size < 6 || m[1] != KorgId || (m[2] & 0xF0) != 0x30 || m[3] != Dw8000Id)
        return NoChannel;
    return m[2] & 0x0F;
}

} // namespace

TArchiveRead ParseDw8(const std::vector<std::uint8_t> &bytes)
{
    if (!IsDw8(bytes))
        return Refuse("The file is not a .DW8 file: it does not start with 00 40.");
    const std::size_t body = bytes.size() - kDw8Header;
    if (body == 0)
        return Refuse("The .DW8 file holds no patch.");
    if (body % kDw8Record != 0)
        return Refuse("The .DW8 file ends inside a patch" + At(kDw8Header + body / kDw8Record * kDw8Record) +
                      ": it is truncated.");
    TArchiveRead r;
    for (std::size_t at = kDw8Header; at < bytes.size(); at += kDw8Record) {
        const std::uint8_t *record = bytes.data() + at;
        if (record[0] > kDw8NameSize)
            return Refuse("A name in the .DW8 file is " + std::to_string(record[0]) + " characters long" + At(at) +
                          "; the form allows 16.");
        TArchivePatch p;
        for (std::size_t k = 0; k < std::size_t(DataSize); ++k) {
            const std::uint8_t b = record[kDw8DataAt + k];
            if (b > 0x7F)
                return Refuse("A patch in the .DW8 file holds byte " + std::to_string(b) + At(at + kDw8DataAt + k) +
                              ", which no DW-8000 parameter takes.");
            p.Data[k] = b;
        }
        p.Name = Dw8Name(record);
        r.Patches.push_back(std::move(p));
    }
    r.Ok = true;
    return r;
}

TArchiveRead ScanSysex(const std::vector<std::uint8_t> &bytes)
{
    TArchiveRead r;
    int pendingChange = -1;
    bool lastWasDump = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t b = bytes[i];
        if ((b & 0xF0) == 0xC0 && i + 1 < bytes.size() && bytes[i + 1] < BankSize) {
            pendingChange = bytes[i + 1];
            lastWasDump = false;
            i += 2;
            continue;
        }
        if (b != 0xF0) {
            // Running status, clock, other channels' notes: skip to the next status byte.
            ++r.Skipped;
            ++i;
            while (i < bytes.size() && bytes[i] < 0x80)
                ++i;
            continue;
        }
        const std::size_t end = MessageEnd(bytes, i);
        const bool complete = end < bytes.size() && bytes[end] == 0xF7;
        const std::size_t size = (complete ? end + 1 : end) - i;
        const std::uint8_t *m = bytes.data() + i;
        const int channel = complete ? DwChannel(m, size) : NoChannel;
        const std::optional<TDataBlock> data =
            channel != NoChannel && m[4] == FuncDump ? DumpData(m, size, channel) : std::nullopt;
        if (data) {
            r.Patches.push_back({*data, {}, pendingChange});
            pendingChange = -1;
            lastWasDump = true;
        } else if (channel != NoChannel && m[4] == FuncWriteRequest && size == std::size_t(WriteRequestSize) &&
                   lastWasDump && m[5] < BankSize) {
            r.Patches.back().Program = m[5];
            lastWasDump = false;
        } else {
            ++r.Skipped;
            lastWasDump = false;
        }
        i = complete ? end + 1 : end;
    }
    if (r.Patches.empty())
        return Refuse(r.Skipped == 0 ? "The file is empty."
                                     : "The file holds no DW-8000 program (" + std::to_string(r.Skipped) +
                                           " other messages).");
    r.Ok = true;
    return r;
}

TArchiveRead ReadArchive(const std::vector<std::uint8_t> &bytes)
{
    if (IsDw8(bytes))
        return ParseDw8(bytes);
    // Everything else as MIDI messages: numbers only where the file states them.
    TArchiveRead scanned = ScanSysex(bytes);
    if (scanned.Ok || bytes.empty() || bytes[0] == 0xF0 || (bytes[0] & 0xF0) == 0xC0)
        return scanned;
    const TSyxRead syx = ParseSyx(bytes); // a raw data block, or the librarian's reason
    if (!syx.Ok) {
        scanned.Error = syx.Error;
        return scanned;
    }
    TArchiveRead r;
    r.Ok = true;
    for (const TFileProgram &p : syx.File.Programs)
        r.Patches.push_back({p.Data, {}, -1});
    return r;
}

} // namespace dw
