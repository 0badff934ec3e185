#pragma once
// Cutting the controller preset file into the messages to send.
//
// A message is the bytes from the start offset to an F7, both included. The
// start offset is that of the most recent F0, or 0 before the first F0, and
// it is not reset after a message: a second F7 without an F0 between sends
// everything from the last F0 again. Bytes after the last F7 are not sent.
// A message must fit the 1000-byte message buffer; a longer one is returned
// as skipped (the uploader warns and goes on with the next message).
//
// Pure functions; any thread.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

constexpr std::size_t PresetMessageBufferSize = 1000;

struct TPresetMessage {
    std::size_t Offset = 0;  // of the message's first byte in the file
    std::size_t Length = 0;  // F0 (or file start) to F7, both included
    bool Skipped = false;    // longer than PresetMessageBufferSize: not to be sent
    std::vector<std::uint8_t> Bytes;  // the message; empty when skipped
};

// Where one message lies in the data.
struct TPresetSpan {
    std::size_t Offset = 0;
    std::size_t Length = 0;
    bool Skipped = false;
};

// Calls onMessage once per F7 in the data, in file order, holding nothing:
// the uploader sends each message from the data as it is found and pauses
// 10 ms after every one, skipped ones included.
void ForEachPresetMessage(const std::uint8_t *data, std::size_t size,
                          const std::function<void(const TPresetSpan &)> &onMessage);

// The same messages, each with a copy of its bytes.
std::vector<TPresetMessage> ScanPreset(const std::uint8_t *data, std::size_t size);
std::vector<TPresetMessage> ScanPreset(const std::vector<std::uint8_t> &data);
