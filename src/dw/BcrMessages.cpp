#include "dw/BcrMessages.h"

#include <iterator>

namespace dw {

namespace {

constexpr std::uint8_t kBehringer[] = {0x00, 0x20, 0x32};
constexpr std::uint8_t kBcr2000 = 0x15;
constexpr std::uint8_t kAnyModel = 0x7F;

// F0 00 20 32 <dev 00..0F or 7F> <15 or 7F> <command>, ending in F7.
bool IsBehringerCommand(const std::uint8_t *data, std::size_t size, std::uint8_t command)
{
    if (data == nullptr || size < 8 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return false;
    for (std::size_t i = 0; i < 3; ++i) {
        if (data[1 + i] != kBehringer[i])
            return false;
    }
    const std::uint8_t dev = data[4];
    if (dev > 0x0F && dev != 0x7F)
        return false;
    if (data[5] != kBcr2000 && data[5] != kAnyModel)
        return false;
    if (data[6] != command)
        return false;
    for (std::size_t i = 1; i + 1 < size; ++i) {
        if (data[i] >= 0x80)
            return false;
    }
    return true;
}

} // namespace

std::array<std::uint8_t, 8> BuildBcrIdentityRequest()
{
    return {0xF0, 0x00, 0x20, 0x32, 0x7F, kBcr2000, 0x01, 0xF7};
}

std::optional<std::string> ParseBcrIdentityReply(const std::uint8_t *data, std::size_t size)
{
    if (!IsBehringerCommand(data, size, 0x02))
        return std::nullopt;
    return std::string(reinterpret_cast<const char *>(data) + 7, size - 8);
}

std::optional<TBclReply> ParseBclReply(const std::uint8_t *data, std::size_t size)
{
    if (size != 11 || !IsBehringerCommand(data, size, 0x21))
        return std::nullopt;
    return TBclReply{data[7] << 7 | data[8], data[9]};
}

std::optional<TBclLine> ParseBclLine(const std::uint8_t *data, std::size_t size)
{
    if (size < 10 || !IsBehringerCommand(data, size, 0x20))
        return std::nullopt;
    return TBclLine{data[7] << 7 | data[8], std::string(reinterpret_cast<const char *>(data) + 9, size - 10)};
}

const char *BclErrorName(int code)
{
    // The unit's reply codes; the gaps are codes it does not define.
    static const char *const kNames[] = {
        "ok",                          // 0
        "unknown token",               // 1
        "$ or . expected",             // 2
        "missing argument",            // 3
        "wrong model",                 // 4
        "wrong revision",              // 5
        "no $rev block",               // 6
        nullptr,                       // 7
        "no section",                  // 8
        "element number out of range", // 9
        "not a number",                // 10
        "value out of range",          // 11
        "invalid text argument",       // 12
        "setting not allowed here",    // 13
        "wrong number of arguments",   // 14
        "too much output data",        // 15
        nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, // 16..21
        "index sequence error (a line was lost)", // 22
        nullptr,                       // 23
    };
    if (code < 0 || code >= int(std::size(kNames)) || kNames[code] == nullptr)
        return "unknown error";
    return kNames[code];
}

std::optional<std::array<std::uint8_t, 4>> BuildDwIdentityRequest(int channel)
{
    if (channel < 0 || channel > 15)
        return std::nullopt;
    return std::array<std::uint8_t, 4>{0xF0, 0x42, std::uint8_t(0x40 + channel), 0xF7};
}

std::optional<int> ParseDwIdentityAnswer(const std::uint8_t *data, std::size_t size)
{
    if (data == nullptr || size != 5 || data[0] != 0xF0 || data[1] != 0x42 || (data[2] & 0xF0) != 0x30 ||
        data[3] != 0x03 || data[4] != 0xF7)
        return std::nullopt;
    return data[2] & 0x0F;
}

} // namespace dw
