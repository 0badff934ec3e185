#pragma once
// The BCR2000's side of the conversation beyond control changes: the answer
// to each BCL line (command 21), the identity request and its answer
// (command 02), and the DW-8000's device ID request and answer used to find
// the synthesizer. Pure builders and parsers.
// Thread: any; the functions keep no state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace dw {

// F0 00 20 32 7F 15 01 F7: any BCR2000 on the cable, please identify.
std::array<std::uint8_t, 8> BuildBcrIdentityRequest();

// F0 00 20 32 <dev> 15 02 <identity text> F7 (model 7F accepted too): the
// text, or nothing for any other message.
std::optional<std::string> ParseBcrIdentityReply(const std::uint8_t *data, std::size_t size);

// F0 00 20 32 <dev> 15 21 <idx-hi> <idx-lo> <err> F7, exactly 11 bytes: a
// command 21 of another length is a preset name, not an answer.
struct TBclReply {
    int Index = 0;
    int Error = 0;
};
std::optional<TBclReply> ParseBclReply(const std::uint8_t *data, std::size_t size);

// A BCL line's index and text (F0 00 20 32 <dev> <model> 20 hi lo text F7);
// nothing for a message that is no BCL line.
struct TBclLine {
    int Index = 0;
    std::string Text;
};
std::optional<TBclLine> ParseBclLine(const std::uint8_t *data, std::size_t size);

// The unit's name of a reply code 0..23 ("ok", "unknown token", ...);
// "unknown error" for a code it does not define.
const char *BclErrorName(int code);

// F0 42 4n F7: which device listens on channel n (0..15)? Nothing outside 0..15.
std::optional<std::array<std::uint8_t, 4>> BuildDwIdentityRequest(int channel);

// F0 42 3n 03 F7 from a DW-8000 (or EX-8000): its channel 0..15, or nothing.
std::optional<int> ParseDwIdentityAnswer(const std::uint8_t *data, std::size_t size);

} // namespace dw
