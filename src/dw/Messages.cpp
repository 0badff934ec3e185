#include "dw/Messages.h"

#include <algorithm>

namespace dw {
namespace {

constexpr bool IsChannel(int channel) { return channel >= 0 && channel <= 15; }
constexpr bool IsDataByte(int value) { return value >= 0 && value <= 0x7F; }

} // namespace

TParamMsg InitialParamMsg() { return {0xF0, KorgId, 0x00, Dw8000Id, FuncParamChange, 0x00, 0x00, 0xF7}; }

std::optional<TParamMsg> BuildParamChange(int channel, int paramNo, int value)
{
    if (!IsChannel(channel) || !IsDataByte(paramNo) || !IsDataByte(value))
        return std::nullopt;
    return TParamMsg{0xF0, KorgId, ChannelByte(channel), Dw8000Id, FuncParamChange,
                     std::uint8_t(paramNo), std::uint8_t(value), 0xF7};
}

std::optional<TDumpRequest> BuildDumpRequest(int channel)
{
    if (!IsChannel(channel))
        return std::nullopt;
    return TDumpRequest{0xF0, KorgId, ChannelByte(channel), Dw8000Id, FuncDumpRequest, 0xF7};
}

std::optional<TEcho> BuildEcho(int channel, int controller, int value)
{
    if (!IsChannel(channel) || !IsDataByte(controller) || !IsDataByte(value))
        return std::nullopt;
    return TEcho{std::uint8_t(0xB0 + channel), std::uint8_t(controller), std::uint8_t(value)};
}

std::optional<TParamMsg> BuildRowChange(int channel, int row, int value)
{
    return BuildParamChange(channel, ParamDef(row).ParamNo, value);
}

std::optional<TEcho> BuildRowEcho(int row, int value)
{
    const TParamDef &d = ParamDef(row);
    return BuildEcho(d.Channel, d.Controller, value);
}

std::optional<TDump> BuildDump(int channel, const TDataBlock &data)
{
    if (!IsChannel(channel))
        return std::nullopt;
    TDump d{0xF0, KorgId, ChannelByte(channel), Dw8000Id, FuncDump};
    for (int i = 0; i < DataSize; ++i) {
        if (!IsDataByte(data[std::size_t(i)]))
            return std::nullopt;
        d[std::size_t(i) + 5] = data[std::size_t(i)];
    }
    d[DumpSize - 1] = 0xF7;
    return d;
}

std::optional<TWriteRequest> BuildWriteRequest(int channel, int program)
{
    if (!IsChannel(channel) || program < 0 || program >= BankSize)
        return std::nullopt;
    return TWriteRequest{0xF0, KorgId, ChannelByte(channel), Dw8000Id, FuncWriteRequest, std::uint8_t(program), 0xF7};
}

std::optional<TProgramChange> BuildProgramChange(int channel, int program)
{
    if (!IsChannel(channel) || program < 0 || program >= BankSize)
        return std::nullopt;
    return TProgramChange{std::uint8_t(0xC0 + channel), std::uint8_t(program)};
}

std::optional<TDeviceIdRequest> BuildDeviceIdRequest(int channel)
{
    if (!IsChannel(channel))
        return std::nullopt;
    return TDeviceIdRequest{0xF0, KorgId, std::uint8_t(0x40 + channel), 0xF7};
}

namespace {

bool HasHeader(const std::uint8_t *data, std::size_t size, int channel, std::uint8_t function, std::size_t length)
{
    return IsChannel(channel) && data != nullptr && size == length && data[0] == 0xF0 && data[1] == KorgId &&
           data[2] == ChannelByte(channel) && data[3] == Dw8000Id && data[4] == function && data[size - 1] == 0xF7;
}

} // namespace

std::optional<TDataBlock> DumpData(const std::uint8_t *data, std::size_t size, int channel)
{
    if (!HasHeader(data, size, channel, FuncDump, DumpSize))
        return std::nullopt;
    TDataBlock block{};
    for (int i = 0; i < DataSize; ++i) {
        if (!IsDataByte(data[std::size_t(i) + 5]))
            return std::nullopt;
        block[std::size_t(i)] = data[std::size_t(i) + 5];
    }
    return block;
}

TWriteAnswer ClassifyWriteAnswer(const std::uint8_t *data, std::size_t size, int channel)
{
    if (HasHeader(data, size, channel, FuncWriteCompleted, 6))
        return TWriteAnswer::Completed;
    if (HasHeader(data, size, channel, FuncWriteError, 6))
        return TWriteAnswer::Error;
    return TWriteAnswer::None;
}

bool IsDeviceId(const std::uint8_t *data, std::size_t size, int channel)
{
    return IsChannel(channel) && data != nullptr && size == 5 && data[0] == 0xF0 && data[1] == KorgId &&
           data[2] == ChannelByte(channel) && data[3] == Dw8000Id && data[4] == 0xF7;
}

TControllerAction ClassifyControllerMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    TControllerAction action;
    if ((status & 0xF0) != 0xB0)
        return action;
    const int row = FindControllerRow(status & 0x0F, data1);
    if (row >= 0) {
        action.kind = TControllerAction::SetParameter;
        action.row = row;
        action.value = data2;
    } else if (data1 == RandomPatchController && data2 == 1) {
        action.kind = TControllerAction::RandomPatch;
    } else if (data1 == MutateController && data2 == 1) {
        action.kind = TControllerAction::Mutate;
    } else if (data1 == UndoController || data1 == RedoController) {
        action.kind = data2 != 1                      ? TControllerAction::HistoryKeyReleased
                      : data1 == UndoController ? TControllerAction::Undo
                                                      : TControllerAction::Redo;
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
    return IsChannel(channel) && buf.ReceivedSize >= 5 && buf.Bytes[1] == KorgId &&
           buf.Bytes[2] == ChannelByte(channel) && buf.Bytes[3] == Dw8000Id && buf.Bytes[4] == FuncDump;
}

TDumpResult ParseDump(TPatch &patch, const TSysexBuf &buf, int channel, const std::function<void(int row)> &onRow)
{
    if (!IsDumpHeader(buf, channel))
        return TDumpResult::Ignored;
    for (int i = 0; i < ParamCount; ++i) {
        const std::size_t offset = std::size_t(DumpOffset(i));
        if (offset >= buf.ReceivedSize)
            return TDumpResult::TooSmall;
        patch[i] = ValueFromDump(i, buf.Bytes[offset]);
        if (onRow)
            onRow(i);
    }
    return TDumpResult::Complete;
}

} // namespace dw
