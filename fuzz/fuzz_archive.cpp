// Files people keep, as the patch library reads them: any bytes through the
// archive reader (old librarian's named files, dumps in a row on any
// channel, other devices' messages mixed in). What it accepts is in range
// and, written back as plain dumps, scans to the same patches in order.

#include "dw/PatchArchive.h"
#include "dw/SyxFile.h"

#include <cstdlib>
#include <vector>

namespace {

void CheckRead(const dw::TArchiveRead &read)
{
    if (!read.Ok) {
        if (read.Error.empty() || !read.Patches.empty())
            std::abort(); // a refusal says why and hands nothing back
        return;
    }
    if (read.Skipped < 0)
        std::abort();
    std::vector<std::uint8_t> dumps;
    for (const dw::TArchivePatch &p : read.Patches) {
        if (p.Program < -1 || p.Program > 63 || p.Name.size() > 16)
            std::abort();
        for (const std::uint8_t b : p.Data) {
            if (b > 0x7F)
                std::abort();
        }
        const std::vector<std::uint8_t> one = dw::DumpFileBytes(0, p.Data);
        dumps.insert(dumps.end(), one.begin(), one.end());
    }
    if (read.Patches.empty())
        return;
    const dw::TArchiveRead again = dw::ScanSysex(dumps);
    if (!again.Ok || again.Patches.size() != read.Patches.size() || again.Skipped != 0)
        std::abort();
    for (std::size_t i = 0; i < read.Patches.size(); ++i) {
        if (again.Patches[i].Data != read.Patches[i].Data)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    CheckRead(dw::ReadArchive(bytes));
    CheckRead(dw::ParseDw8(bytes));
    CheckRead(dw::ScanSysex(bytes));
    return 0;
}
