#pragma once
// Every byte the editor exchanges with the DW-8000 and the BCR2000: pure
// builders and classifiers, no I/O. Every message the editor sends is made
// here; a builder refuses (returns nothing) a channel outside 0..15 or a
// data byte outside 0..127, so no status byte can ever land inside a
// message.
// Thread: any; the functions keep no state.

#include "dw/Patch.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace dw {

using TParamMsg = std::array<std::uint8_t, 8>;
using TDumpRequest = std::array<std::uint8_t, 6>;
using TEcho = std::array<std::uint8_t, 3>;

constexpr std::uint8_t KorgId = 0x42;
constexpr std::uint8_t Dw8000Id = 0x03;
constexpr std::uint8_t FuncDumpRequest = 0x10;
constexpr std::uint8_t FuncDump = 0x40;
constexpr std::uint8_t FuncParamChange = 0x41;
constexpr std::uint8_t FuncWriteRequest = 0x11;
constexpr std::uint8_t FuncWriteCompleted = 0x21;
constexpr std::uint8_t FuncWriteError = 0x22;
constexpr int DumpSize = 57;
constexpr int DataSize = 51;
constexpr int WriteRequestSize = 7;
constexpr int NoChannel = -1;

// 30 + channel, channel 0..15.
constexpr std::uint8_t ChannelByte(int channel) { return std::uint8_t(0x30 + (channel & 0x0F)); }

// F0 42 00 03 41 00 00 F7: the parameter-change message before any channel is set.
TParamMsg InitialParamMsg();

// F0 42 3c 03 41 pp vv F7.
std::optional<TParamMsg> BuildParamChange(int channel, int paramNo, int value);

// F0 42 3c 03 10 F7.
std::optional<TDumpRequest> BuildDumpRequest(int channel);

// (B0 + channel) controller value: the control change that sets a control.
std::optional<TEcho> BuildEcho(int channel, int controller, int value);

// The row's parameter change and echo, with the value given.
std::optional<TParamMsg> BuildRowChange(int channel, int row, int value);
std::optional<TEcho> BuildRowEcho(int row, int value);

// The 51 data bytes of a dump, as they travel (parameter number order).
using TDataBlock = std::array<std::uint8_t, DataSize>;
using TDump = std::array<std::uint8_t, DumpSize>;
using TWriteRequest = std::array<std::uint8_t, WriteRequestSize>;
using TProgramChange = std::array<std::uint8_t, 2>;
using TDeviceIdRequest = std::array<std::uint8_t, 4>;

// F0 42 3c 03 40 <51 bytes> F7: a data load when sent to the synthesizer.
std::optional<TDump> BuildDump(int channel, const TDataBlock &data);
// F0 42 3c 03 11 pp F7, program 0..63.
std::optional<TWriteRequest> BuildWriteRequest(int channel, int program);
// Cc pp, program 0..63.
std::optional<TProgramChange> BuildProgramChange(int channel, int program);
// F0 42 4c F7.
std::optional<TDeviceIdRequest> BuildDeviceIdRequest(int channel);

// The data bytes of a complete dump on this channel, or nothing.
std::optional<TDataBlock> DumpData(const std::uint8_t *data, std::size_t size, int channel);

// The synthesizer's answer to a write request on this channel.
enum class TWriteAnswer { None, Completed, Error };
TWriteAnswer ClassifyWriteAnswer(const std::uint8_t *data, std::size_t size, int channel);

// F0 42 3c 03 F7 on this channel.
bool IsDeviceId(const std::uint8_t *data, std::size_t size, int channel);

// What a message from the controller asks for.
struct TControllerAction {
    // Undo, Redo and Mutate are their keys pressed (value 1); a release or
    // any other value of the undo and redo keys is HistoryKeyReleased.
    enum Kind { None, SetParameter, RandomPatch, Undo, Redo, Mutate, HistoryKeyReleased } kind = None;
    int row = -1;
    int value = 0;
};
TControllerAction ClassifyControllerMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

// What a message from the synthesizer asks for.
enum class TSynthAction { None, FetchPatch, Dump };
TSynthAction ClassifySynthMessage(std::uint8_t status, std::size_t sysexSize);

// The receive buffer of one sysex message. A DW-8000 dump is 57 bytes; a
// longer message cannot be one and is not staged at all.
struct TSysexBuf {
    static constexpr std::size_t Capacity = 68;
    std::array<std::uint8_t, Capacity> Bytes{};
    std::size_t ReceivedSize = 0;
};

// Copies a received sysex into the buffer. Returns false (buffer emptied)
// when the message is longer than the buffer.
bool StageSysex(TSysexBuf &buf, const std::uint8_t *data, std::size_t size);

// Header test: Korg, this channel, DW-8000, data dump. Bytes not received
// count as absent, so a message shorter than the header never passes; with
// no channel (NoChannel) nothing passes.
bool IsDumpHeader(const TSysexBuf &buf, int channel);

enum class TDumpResult { Ignored, Complete, TooSmall };
constexpr const char *DumpTooSmallText = "Sysex block too small for patch";

// Applies an accepted dump row by row (ValueFromDump), calling onRow(row)
// after each. Stops at the first row whose byte lies beyond the message
// (TooSmall); the rows before it keep their new values. Ignored when the
// header test fails.
TDumpResult ParseDump(TPatch &patch, const TSysexBuf &buf, int channel,
                      const std::function<void(int row)> &onRow = {});

} // namespace dw
