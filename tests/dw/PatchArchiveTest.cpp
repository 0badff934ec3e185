#include "dw/PatchArchive.h"

#include "RealBank.h"

#include <gtest/gtest.h>

#include <string>

using namespace dw;

namespace {

using Bytes = std::vector<std::uint8_t>;

// Written out byte by byte here, not with the editor's builders.
Bytes Dump(int channel, std::uint8_t fill)
{
    Bytes m = {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x40};
    for (int k = 0; k < 51; ++k)
        m.push_back(std::uint8_t((fill + k) & 0x0F));
    m.push_back(0xF7);
    return m;
}

Bytes Write(int channel, int program) { return {0xF0, 0x42, std::uint8_t(0x30 + channel), 0x03, 0x11, std::uint8_t(program), 0xF7}; }

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Dw8Record(const std::string &name, std::uint8_t fill, std::uint8_t nameLength = 0xFF)
{
    Bytes r = {nameLength == 0xFF ? std::uint8_t(name.size()) : nameLength};
    std::string padded = name;
    padded.resize(16, ' ');
    r.insert(r.end(), padded.begin(), padded.end());
    r.push_back(0x00);
    for (int k = 0; k < 51; ++k)
        r.push_back(std::uint8_t((fill + k) & 0x0F));
    r.push_back(0x00);
    return r;
}

Bytes Cut(Bytes b, std::size_t drop)
{
    b.resize(b.size() - drop);
    return b;
}

TDataBlock Pattern(std::uint8_t fill)
{
    TDataBlock b{};
    for (int k = 0; k < 51; ++k)
        b[std::size_t(k)] = std::uint8_t((fill + k) & 0x0F);
    return b;
}

} // namespace

TEST(PatchArchive, FilesGiveTheirPatchesNamesAndPrograms)
{
    const Bytes otherSysex = {0xF0, 0x41, 0x10, 0x16, 0x12, 0x00, 0xF7}; // a Roland message
    const Bytes notes = {0x90, 0x3C, 0x40, 0x3C, 0x00};                  // running status
    const Bytes clock = {0xF8};
    const TDataBlock raw = Pattern(5);
    std::vector<int> all64;
    for (int p = 0; p < 64; ++p)
        all64.push_back(p);
    const struct {
        const char *what;
        Bytes file;
        std::vector<int> programs;
        std::vector<int> fills; // of each patch's bytes; none given: not checked
        int skipped;
        std::vector<std::string> names;
    } cases[] = {
        {".DW8 names", Cat({{0x00, 0x40}, Dw8Record("BRASS ENS", 1), Dw8Record("Pad\x01", 2), Dw8Record("", 3),
                            Dw8Record("SIXTEEN CHARS OK", 4)}),
         {-1, -1, -1, -1}, {1, 2, 3, 4}, 0, {"BRASS ENS", "Pad", "", "SIXTEEN CHARS OK"}}, // no control character
        {"dumps in a row", Cat({Dump(0, 1), Dump(0, 2), Dump(0, 3)}), {-1, -1, -1}, {1, 2, 3}, 0, {}},
        {"channels differ", Cat({Dump(0, 1), Dump(5, 2)}), {-1, -1}, {1, 2}, 0, {}},
        {"other devices mixed in", Cat({otherSysex, Dump(0, 4), notes, Write(0, 9), clock, Dump(0, 5)}), {9, -1},
         {4, 5}, 3, {}},
        {"program change before", Cat({{0xC0, 12}, otherSysex, Dump(0, 6)}), {12}, {6}, 1, {}},
        {"a damaged dump among good ones", Cat({Dump(0, 1), Cut(Dump(0, 2), 3), Dump(0, 3)}), {-1, -1}, {1, 3}, 1, {}},
        {"the same program twice", Cat({Dump(0, 1), Write(0, 0), Dump(0, 2), Write(0, 0)}), {0, 0}, {1, 2}, 0, {}},
        {"a raw block", Bytes(raw.begin(), raw.end()), {-1}, {5}, 0, {}},
        {"a single dump", Dump(3, 5), {-1}, {5}, 0, {}},
        {"the real bank", ReadBank(), all64, {}, 0, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TArchiveRead r = ReadArchive(c.file);
        ASSERT_TRUE(r.Ok) << r.Error;
        ASSERT_EQ(r.Patches.size(), c.programs.size());
        for (std::size_t k = 0; k < r.Patches.size(); ++k) {
            EXPECT_EQ(r.Patches[k].Program, c.programs[k]) << k;
            if (!c.fills.empty())
                EXPECT_EQ(r.Patches[k].Data, Pattern(std::uint8_t(c.fills[k]))) << k;
            EXPECT_EQ(r.Patches[k].Name, c.names.empty() ? "" : c.names[k]) << k;
        }
        EXPECT_EQ(r.Skipped, c.skipped);
    }
}

TEST(PatchArchive, BrokenFilesAreRefusedWithWhere)
{
    Bytes highByte = Cat({{0x00, 0x40}, Dw8Record("A", 1)});
    highByte[2 + 18 + 7] = 0x90;
    const struct {
        const char *what;
        TArchiveRead (*read)(const Bytes &);
        Bytes file;
        const char *reason;
    } cases[] = {
        {"truncated record", ParseDw8, Cat({{0x00, 0x40}, Dw8Record("A", 1), Bytes(69, 0)}), "at byte 72"},
        {"header only", ParseDw8, {0x00, 0x40}, "no patch"},
        {"name too long", ParseDw8, Cat({{0x00, 0x40}, Dw8Record("A", 1, 17)}), "17 characters"},
        {"data byte with bit 7", ParseDw8, highByte, "at byte 27"},
        {"empty", ReadArchive, {}, "empty"},
        {"only other sysex", ReadArchive, {0xF0, 0x41, 0x10, 0x16, 0x12, 0x00, 0xF7}, "no DW-8000 program (1 other"},
        {"text", ReadArchive, {'h', 'e', 'l', 'l', 'o'}, "not a DW-8000 file"},
        {"a dump cut short", ReadArchive, Cut(Dump(0, 1), 27), "no DW-8000 program"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TArchiveRead r = c.read(c.file);
        EXPECT_FALSE(r.Ok);
        EXPECT_TRUE(r.Patches.empty());
        EXPECT_NE(r.Error.find(c.reason), std::string::npos) << r.Error;
    }
}
