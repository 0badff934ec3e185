#include "core/DwMessages.h"

#include <algorithm>

namespace dw {

TParamMsg InitialParamMsg() { return {0xF0, KorgId, 0x00, Dw8000Id, FuncParamChange, 0x00, 0x00, 0xF7}; }

void SetParamMsgChannel(TParamMsg &msg, int channel) { msg[2] = ChannelByte(channel); }

void SetParamMsgRow(TParamMsg &msg, const TCcParam &row)
{
    msg[5] = std::uint8_t(row.ParamNo & 0xFF);
    msg[6] = std::uint8_t(row.Value & 0xFF);
}

TParamMsg BuildParamChange(int channel, int paramNo, int value)
{
    TParamMsg msg = InitialParamMsg();
    SetParamMsgChannel(msg, channel);
    msg[5] = std::uint8_t(paramNo & 0xFF);
    msg[6] = std::uint8_t(value & 0xFF);
    return msg;
}

TDumpRequest BuildDumpRequest(int channel)
{
    return {0xF0, KorgId, ChannelByte(channel), Dw8000Id, FuncDumpRequest, 0xF7};
}

TEcho BuildEcho(const TCcParam &row)
{
    return {std::uint8_t((0xB0 + row.Channel) & 0xFF), std::uint8_t(row.Controller & 0xFF),
            std::uint8_t(row.Value & 0xFF)};
}

TControllerAction ClassifyControllerMessage(const TParamTable &params, std::uint8_t status,
                                            std::uint8_t data1, std::uint8_t data2)
{
    TControllerAction action;
    if ((status & 0xF0) != 0xB0)
        return action;
    const int row = FindControllerRow(params, status & 0x0F, data1);
    if (row >= 0) {
        action.kind = TControllerAction::SetParameter;
        action.row = row;
        action.value = data2;
    } else if (data1 == RandomPatchController && data2 == 1) {
        action.kind = TControllerAction::RandomPatch;
    }
    return action;
}

TSynthAction ClassifySynthMessage(std::uint8_t status, std::size_t sysexSize)
{
    if ((status & 0xF0) == 0xC0)
        return TSynthAction::FetchPatch;
    if (sysexSize > 0)
        return TSynthAction::Dump;
    return TSynthAction::None;
}

bool StageSysex(TSysexBuf &buf, const std::uint8_t *data, std::size_t size)
{
    buf.Bytes.fill(0);
    if (size > TSysexBuf::Capacity || (size > 0 && data == nullptr)) {
        buf.ReceivedSize = 0;
        return false;
    }
    std::copy(data, data + size, buf.Bytes.begin());
    buf.ReceivedSize = size;
    return true;
}

bool IsDumpHeader(const TSysexBuf &buf, int channel)
{
    return buf.ReceivedSize >= 5 && buf.Bytes[1] == KorgId && buf.Bytes[2] == ChannelByte(channel) &&
           buf.Bytes[3] == Dw8000Id && buf.Bytes[4] == FuncDump;
}

TDumpResult ParseDump(TParamTable &params, const TSysexBuf &buf, int channel,
                      const std::function<void(int row)> &onRow)
{
    if (!IsDumpHeader(buf, channel))
        return TDumpResult::Ignored;
    for (int i = 0; i < ParamCount; ++i) {
        TCcParam &row = params[i];
        const std::size_t offset = std::size_t(row.ParamNo) + 5;
        if (offset >= buf.ReceivedSize)
            return TDumpResult::TooSmall;
        SetFromDump(row, buf.Bytes[offset]);
        if (onRow)
            onRow(i);
    }
    return TDumpResult::Complete;
}

} // namespace dw
