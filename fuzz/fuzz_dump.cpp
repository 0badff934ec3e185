// The dump check and parse as the main window applies a sysex event from the
// synthesizer: classify, stage, header test, row by row. Any bytes, any channel.

#include "core/DwMessages.h"
#include "core/ParamTable.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int channel = data[0] % 17 - 1; // -1: no channel selected yet
    const std::uint8_t *sysex = data + 1;
    const std::size_t length = size - 1;

    static TParamTable params = [] {
        TParamTable t;
        BuildParams(t);
        return t;
    }();
    if (dw::ClassifySynthMessage(0xF0, length) != dw::TSynthAction::Dump)
        return 0;
    dw::TSysexBuf buf;
    if (!dw::StageSysex(buf, sysex, length)) {
        if (buf.ReceivedSize != 0)
            std::abort(); // a refused message must leave nothing staged
        return 0;
    }
    if (buf.ReceivedSize != length)
        std::abort();
    const bool header = dw::IsDumpHeader(buf, channel);
    int rows = 0;
    const dw::TDumpResult r = dw::ParseDump(params, buf, channel, [&](int row) {
        const TCcParam &p = params[std::size_t(row)];
        if (row != rows++ || p.Value < 0 || p.Value > p.MaxValue)
            std::abort();
        const dw::TEcho e = dw::BuildEcho(p);
        if (e[1] != std::uint8_t(p.Controller) || e[2] != std::uint8_t(p.Value))
            std::abort();
    });
    if (!header && r != dw::TDumpResult::Ignored)
        std::abort();
    if (r == dw::TDumpResult::Complete && rows != ParamCount)
        std::abort();
    return 0;
}
