#include "dw/SyxFile.h"

#include "dw/Program.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#else
#include <io.h>
#endif

namespace dw {
namespace {

std::string At(std::size_t offset) { return " (at byte " + std::to_string(offset) + ")"; }

bool IsKorgDw(const std::vector<std::uint8_t> &m)
{
    return m.size() >= 5 && m[1] == KorgId && (m[2] & 0xF0) == 0x30 && m[3] == Dw8000Id;
}

} // namespace

TSyxRead ParseSyx(const std::vector<std::uint8_t> &bytes)
{
    TSyxRead r;
    auto refuse = [&r](std::string why) {
        r.Error = std::move(why);
        r.File = {};
        return r;
    };
    if (bytes.empty())
        return refuse("The file is empty.");
    if (bytes.size() == std::size_t(DataSize) && bytes[0] != 0xF0) {
        if (std::any_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b > 0x7F; }))
            return refuse("The file is not a DW-8000 file: 51 bytes, but not a data block.");
        r.File.Form = TSyxForm::RawBlock;
        r.File.Programs.push_back({0, {}});
        std::copy(bytes.begin(), bytes.end(), r.File.Programs[0].Data.begin());
        r.Ok = true;
        return r;
    }

    std::vector<TFileProgram> programs;
    std::vector<bool> numbered; // the program came from a write request or a program change
    bool sawStoring = false;
    int pendingChange = -1;
    bool lastWasDump = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::uint8_t b = bytes[i];
        if ((b & 0xF0) == 0xC0) {
            if (i + 1 >= bytes.size() || bytes[i + 1] > 0x7F)
                return refuse("The file ends inside a program change" + At(i) + ": it is truncated.");
            if (bytes[i + 1] >= BankSize)
                return refuse("The file selects program " + std::to_string(bytes[i + 1]) +
                              ", which a DW-8000 does not have" + At(i) + ".");
            pendingChange = bytes[i + 1];
            sawStoring = true;
            lastWasDump = false;
            i += 2;
            continue;
        }
        if (b != 0xF0)
            return refuse("The file is not a DW-8000 file: unexpected byte " + std::to_string(b) + At(i) + ".");
        std::size_t end = i + 1;
        while (end < bytes.size() && bytes[end] < 0x80)
            ++end;
        if (end >= bytes.size() || bytes[end] != 0xF7)
            return refuse("The file ends inside a message" + At(i) + ": it is truncated.");
        const std::vector<std::uint8_t> m(bytes.begin() + std::ptrdiff_t(i), bytes.begin() + std::ptrdiff_t(end) + 1);
        if (!IsKorgDw(m))
            return refuse("The file holds a message that is not for a DW-8000" + At(i) + ".");
        const int channel = m[2] & 0x0F;
        if (m[4] == FuncDump) {
            const std::optional<TDataBlock> data = DumpData(m.data(), m.size(), channel);
            if (!data)
                return refuse("A dump in the file is " + std::to_string(m.size()) + " bytes long instead of " +
                              std::to_string(DumpSize) + At(i) + ": it is truncated or damaged.");
            if (programs.empty())
                r.File.Channel = channel;
            programs.push_back({pendingChange, *data});
            numbered.push_back(pendingChange >= 0);
            pendingChange = -1;
            lastWasDump = true;
        } else if (m[4] == FuncWriteRequest && m.size() == std::size_t(WriteRequestSize)) {
            if (!lastWasDump)
                return refuse("The file has a write request without a dump before it" + At(i) + ".");
            if (m[5] >= BankSize)
                return refuse("The file writes program " + std::to_string(m[5]) +
                              ", which a DW-8000 does not have" + At(i) + ".");
            programs.back().Program = m[5];
            numbered.back() = true;
            sawStoring = true;
            lastWasDump = false;
        } else {
            return refuse("The file holds a DW-8000 message that is neither a dump nor a write request" + At(i) +
                          ".");
        }
        i = end + 1;
    }
    if (programs.empty())
        return refuse("The file holds no DW-8000 program.");
    if (programs.size() > std::size_t(BankSize))
        return refuse("The file holds " + std::to_string(programs.size()) + " programs; a DW-8000 has 64.");
    // Dumps without a number of their own take their place in the file.
    std::array<bool, BankSize> used{};
    for (std::size_t k = 0; k < programs.size(); ++k) {
        if (!numbered[k])
            programs[k].Program = int(k);
        if (used[std::size_t(programs[k].Program)])
            return refuse("The file holds program " + ProgramText(programs[k].Program) + " twice.");
        used[std::size_t(programs[k].Program)] = true;
    }
    r.File.Form = programs.size() == 1 && !sawStoring ? TSyxForm::Dump : TSyxForm::Bank;
    r.File.Programs = std::move(programs);
    r.Ok = true;
    return r;
}

std::vector<std::uint8_t> DumpFileBytes(int channel, const TDataBlock &data)
{
    const std::optional<TDump> dump = BuildDump(channel, data);
    return dump ? std::vector<std::uint8_t>(dump->begin(), dump->end()) : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> BankFileBytes(int channel, const std::vector<TFileProgram> &programs)
{
    std::vector<std::uint8_t> out;
    out.reserve(programs.size() * std::size_t(DumpSize + WriteRequestSize));
    for (const TFileProgram &p : programs) {
        const std::optional<TDump> dump = BuildDump(channel, p.Data);
        const std::optional<TWriteRequest> write = BuildWriteRequest(channel, p.Program);
        if (!dump || !write)
            return {};
        out.insert(out.end(), dump->begin(), dump->end());
        out.insert(out.end(), write->begin(), write->end());
    }
    return out;
}

TSyxRead ReadSyxFile(const std::string &path)
{
    std::vector<std::uint8_t> bytes;
    TSyxRead read;
    if (!ReadFileBytes(path, bytes, read.Error)) {
        read.Unreadable = true;
        return read;
    }
    return ParseSyx(bytes);
}

bool ReadFileBytes(const std::string &path, std::vector<std::uint8_t> &bytes, std::string &error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "Cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // No DW-8000 file comes near this. The size is not asked for (a pipe has
    // none): one byte past the limit is enough to know.
    constexpr std::size_t kLimit = 1 << 20;
    bytes.clear();
    char chunk[1 << 16];
    while (bytes.size() <= kLimit) {
        const std::size_t wanted = std::min(sizeof chunk, kLimit + 1 - bytes.size());
        if (in.read(chunk, std::streamsize(wanted)).gcount() <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    }
    if (in.bad()) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        bytes.clear();
        return false;
    }
    if (bytes.size() > kLimit) {
        error = path + " is too large for a DW-8000 file.";
        bytes.clear();
        return false;
    }
    return true;
}

namespace {

std::string Reason() { return std::strerror(errno); }

#ifndef _WIN32
// Writes every byte, then makes the system put them on the disk; the close
// is checked too, as a network file system reports late failures there.
bool WriteDurably(const std::string &temp, const std::vector<std::uint8_t> &bytes, std::string &reason)
{
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        reason = Reason();
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            reason = n < 0 ? Reason() : "nothing was written";
            ::close(fd);
            return false;
        }
        done += std::size_t(n);
    }
    if (::fsync(fd) != 0) {
        reason = Reason();
        ::close(fd);
        return false;
    }
    if (::close(fd) != 0) {
        reason = Reason();
        return false;
    }
    return true;
}

// After a rename the new name is durable only once its folder is. A file
// system that cannot sync a folder (EINVAL) has nothing to sync.
bool SyncFolderOf(const std::string &path, std::string &reason)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        reason = Reason();
        return false;
    }
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    if (!synced)
        reason = Reason();
    ::close(fd);
    return synced;
}
#else
bool WriteDurably(const std::string &temp, const std::vector<std::uint8_t> &bytes, std::string &reason)
{
    std::FILE *f = std::fopen(temp.c_str(), "wb");
    if (!f) {
        reason = Reason();
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0 &&
                         _commit(_fileno(f)) == 0;
    if (!written)
        reason = Reason();
    if (std::fclose(f) != 0 && written) {
        reason = Reason();
        return false;
    }
    return written;
}

bool SyncFolderOf(const std::string &, std::string &) { return true; }
#endif

} // namespace

bool WriteFileBytes(const std::string &path, const std::vector<std::uint8_t> &bytes, std::string &error)
{
    const std::string temp = path + ".part";
    std::string reason;
    if (!WriteDurably(temp, bytes, reason)) {
        error = "Cannot write " + path + ": " + reason;
        std::remove(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = "Cannot write " + path + ": " + Reason();
        std::remove(temp.c_str());
        return false;
    }
    if (!SyncFolderOf(path, reason)) {
        error = path + " was written, but its folder could not be synced to the disk: " + reason;
        return false;
    }
    return true;
}

std::string DescribeProgram(const TFileProgram &program)
{
    const TPatch p = PatchFromBlock(program.Data);
    std::string line = ProgramText(program.Program) + "  " + DisplayText(1, p[1]) + " / " + DisplayText(8, p[8]) +
                       ", " + DisplayText(13, p[13]) + ", cutoff " + std::to_string(p[15]) + ", resonance " +
                       std::to_string(p[16]);
    const std::vector<int> bad = RowsOutOfRange(program.Data);
    if (!bad.empty()) {
        line += "  (out of range:";
        for (int row : bad)
            line += std::string(" ") + ParamName(row);
        line += ")";
    }
    return line;
}

} // namespace dw
