// Bank and patch files as they come from the web: any bytes through
// ParseSyx, in every form it takes (dump, raw block, bank with write
// requests or program changes). A file it accepts, written back as the bank
// tool and the window write it, reads back as the same programs.

#include "dw/SyxFile.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

bool SamePrograms(const std::vector<dw::TFileProgram> &a, const std::vector<dw::TFileProgram> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const auto &x, const auto &y) { return x.Program == y.Program && x.Data == y.Data; });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const dw::TSyxRead read = dw::ParseSyx(std::vector<std::uint8_t>(data, data + size));
    if (!read.Ok) {
        if (read.Error.empty() || !read.File.Programs.empty())
            std::abort(); // a refusal says why and hands nothing back
        return 0;
    }
    const std::vector<dw::TFileProgram> &programs = read.File.Programs;
    if (programs.empty() || programs.size() > std::size_t(dw::BankSize))
        std::abort();
    const int channel = read.File.Channel == dw::NoChannel ? 0 : read.File.Channel;
    if (channel < 0 || channel > 15)
        std::abort();

    const std::vector<std::uint8_t> bank = dw::BankFileBytes(channel, programs);
    if (bank.size() != programs.size() * 64)
        std::abort(); // every accepted byte can be written back
    const dw::TSyxRead again = dw::ParseSyx(bank);
    if (!again.Ok || again.File.Form != dw::TSyxForm::Bank || again.File.Channel != channel ||
        !SamePrograms(programs, again.File.Programs))
        std::abort();

    if (programs.size() == 1) { // and as the single dump the window saves
        const dw::TSyxRead dump = dw::ParseSyx(dw::DumpFileBytes(channel, programs[0].Data));
        if (!dump.Ok || dump.File.Form != dw::TSyxForm::Dump || dump.File.Programs.size() != 1 ||
            dump.File.Programs[0].Data != programs[0].Data)
            std::abort();
    }
    return 0;
}
