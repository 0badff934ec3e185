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

std::uint8_t FirstByte(const TArchivePatch &p) { return p.Data[0]; }

} // namespace

TEST(PatchArchive, Dw8KeepsEachPatchsName)
{
    const Bytes file = Cat({{0x00, 0x40}, Dw8Record("BRASS ENS", 1), Dw8Record("Pad\x01", 2), Dw8Record("", 3),
                            Dw8Record("SIXTEEN CHARS OK", 4)});
    const TArchiveRead r = ReadArchive(file);
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(r.Patches.size(), 4u);
    EXPECT_EQ(r.Patches[0].Name, "BRASS ENS");
    EXPECT_EQ(r.Patches[1].Name, "Pad"); // a control character is not kept
    EXPECT_EQ(r.Patches[2].Name, "");
    EXPECT_EQ(r.Patches[3].Name, "SIXTEEN CHARS OK");
    EXPECT_EQ(FirstByte(r.Patches[1]), 2);
    EXPECT_EQ(r.Patches[3].Data[50], (4 + 50) & 0x0F);
    EXPECT_EQ(r.Patches[0].Program, -1);
}

TEST(PatchArchive, BrokenDw8FilesAreRefusedWithWhere)
{
    Bytes highByte = Cat({{0x00, 0x40}, Dw8Record("A", 1)});
    highByte[2 + 18 + 7] = 0x90;
    const struct {
        const char *what;
        Bytes file;
        const char *reason;
    } cases[] = {
        {"truncated record", Cat({{0x00, 0x40}, Dw8Record("A", 1), Bytes(69, 0)}), "at byte 72"},
        {"header only", {0x00, 0x40}, "no patch"},
        {"name too long", Cat({{0x00, 0x40}, Dw8Record("A", 1, 17)}), "17 characters"},
        {"data byte with bit 7", highByte, "at byte 27"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TArchiveRead r = ParseDw8(c.file);
        EXPECT_FALSE(r.Ok);
        EXPECT_TRUE(r.Patches.empty());
        EXPECT_NE(r.Error.find(c.reason), std::string::npos) << r.Error;
    }
}

TEST(PatchArchive, FilesTheLibrarianRefusesStillGiveTheirDumps)
{
    const Bytes otherSysex = {0xF0, 0x41, 0x10, 0x16, 0x12, 0x00, 0xF7}; // a Roland message
    const Bytes notes = {0x90, 0x3C, 0x40, 0x3C, 0x00};                  // running status
    const Bytes clock = {0xF8};
    const struct {
        const char *what;
        Bytes file;
        std::vector<int> firstBytes;
        std::vector<int> programs;
        int skipped;
    } cases[] = {
        {"dumps in a row", Cat({Dump(0, 1), Dump(0, 2), Dump(0, 3)}), {1, 2, 3}, {-1, -1, -1}, 0},
        {"channels differ", Cat({Dump(0, 1), Dump(5, 2)}), {1, 2}, {-1, -1}, 0},
        {"other devices mixed in", Cat({otherSysex, Dump(0, 4), notes, Write(0, 9), clock, Dump(0, 5)}),
         {4, 5}, {9, -1}, 3},
        {"program change before", Cat({{0xC0, 12}, otherSysex, Dump(0, 6)}), {6}, {12}, 1},
        {"a damaged dump among good ones", Cat({Dump(0, 1), Cut(Dump(0, 2), 3),
                                                Dump(0, 3)}),
         {1, 3}, {-1, -1}, 1},
        {"the same program twice", Cat({Dump(0, 1), Write(0, 0), Dump(0, 2), Write(0, 0)}), {1, 2}, {0, 0}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TArchiveRead r = ReadArchive(c.file);
        ASSERT_TRUE(r.Ok) << r.Error;
        ASSERT_EQ(r.Patches.size(), c.firstBytes.size());
        for (std::size_t k = 0; k < r.Patches.size(); ++k) {
            EXPECT_EQ(FirstByte(r.Patches[k]), c.firstBytes[k]) << k;
            EXPECT_EQ(r.Patches[k].Program, c.programs[k]) << k;
        }
        EXPECT_EQ(r.Skipped, c.skipped);
    }
}

TEST(PatchArchive, FilesWithoutADw8000ProgramAreRefused)
{
    const struct {
        const char *what;
        Bytes file;
        const char *reason;
    } cases[] = {
        {"empty", {}, "empty"},
        {"only other sysex", {0xF0, 0x41, 0x10, 0x16, 0x12, 0x00, 0xF7}, "no DW-8000 program (1 other"},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "not a DW-8000 file"},
        {"a dump cut short", Cut(Dump(0, 1), 27), "no DW-8000 program"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const TArchiveRead r = ReadArchive(c.file);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Error.find(c.reason), std::string::npos) << r.Error;
    }
}

TEST(PatchArchive, RealBankGivesItsSixtyFourNumberedPrograms)
{
    const TArchiveRead r = ReadArchive(ReadBank());
    ASSERT_TRUE(r.Ok) << r.Error;
    ASSERT_EQ(r.Patches.size(), 64u);
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(r.Patches[std::size_t(p)].Program, p);
    EXPECT_EQ(r.Skipped, 0);
}

TEST(PatchArchive, RawBlockAndSingleDumpHaveNoProgram)
{
    Bytes raw(51, 0x05);
    for (const Bytes &file : {raw, Dump(3, 5)}) {
        const TArchiveRead r = ReadArchive(file);
        ASSERT_TRUE(r.Ok) << r.Error;
        ASSERT_EQ(r.Patches.size(), 1u);
        EXPECT_EQ(r.Patches[0].Program, -1);
        EXPECT_EQ(FirstByte(r.Patches[0]), 5);
    }
}
