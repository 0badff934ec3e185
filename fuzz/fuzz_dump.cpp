// The dump check and parse as the editor applies a sysex event from the
// synthesizer: classify, stage, header test, row by row. Any bytes, any channel.

#include "dw/Messages.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int channel = data[0] % 17 - 1; // -1: no channel selected yet
    const std::uint8_t *sysex = data + 1;
    const std::size_t length = size - 1;

    static dw::TPatch patch;
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
    if (header && channel == dw::NoChannel)
        std::abort();
    int rows = 0;
    const dw::TDumpResult r = dw::ParseDump(patch, buf, channel, [&](int row) {
        const int v = patch[row];
        if (row != rows++ || v < 0 || v > dw::ParamDef(row).MaxValue)
            std::abort();
        const std::optional<dw::TEcho> e = dw::BuildRowEcho(row, v);
        if (!e || (*e)[1] != std::uint8_t(dw::ParamDef(row).Controller) || (*e)[2] != std::uint8_t(v))
            std::abort();
        const std::optional<dw::TParamMsg> m = dw::BuildRowChange(channel, row, v);
        if (!m || (*m)[6] != v)
            std::abort();
    });
    if (!header && r != dw::TDumpResult::Ignored)
        std::abort();
    if (r == dw::TDumpResult::Complete && rows != dw::ParamCount)
        std::abort();
    return 0;
}
