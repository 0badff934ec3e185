#include "dw/Program.h"
#include "dw/SyxFile.h"

#include "RealBank.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dw;

namespace {

using Bytes = std::vector<std::uint8_t>;

TDataBlock Block(std::uint8_t fill)
{
    TDataBlock b{};
    b.fill(fill);
    return b;
}

} // namespace

TEST(SyxFile, RealBankRoundTripsByteForByte)
{
    const Bytes bank = ReadBank();
    ASSERT_EQ(bank.size(), 4096u);
    const TSyxRead read = ParseSyx(bank);
    ASSERT_TRUE(read.Ok) << read.Error;
    EXPECT_EQ(read.File.Form, TSyxForm::Bank);
    EXPECT_EQ(read.File.Channel, 0);
    ASSERT_EQ(read.File.Programs.size(), 64u);
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(read.File.Programs[std::size_t(p)].Program, p);
    EXPECT_EQ(BankFileBytes(0, read.File.Programs), bank);
    // And through the editor's values: nothing in the real bank is out of range.
    for (const TFileProgram &p : read.File.Programs) {
        EXPECT_TRUE(RowsOutOfRange(p.Data).empty()) << ProgramText(p.Program);
        EXPECT_EQ(BlockFromPatch(PatchFromBlock(p.Data), p.Data), p.Data);
    }
}

TEST(SyxFile, ReadsDumpRawBlockAndBankWithProgramChanges)
{
    TDataBlock data = Block(1);
    data[14] = 57; // the byte without a row survives
    const Bytes dump = DumpFileBytes(4, data);
    ASSERT_EQ(dump.size(), 57u);
    TSyxRead r = ParseSyx(dump);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.File.Form, TSyxForm::Dump);
    EXPECT_EQ(r.File.Channel, 4);
    EXPECT_EQ(r.File.Programs.at(0).Data, data);

    r = ParseSyx(Bytes(data.begin(), data.end()));
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.File.Form, TSyxForm::RawBlock);
    EXPECT_EQ(r.File.Programs.at(0).Data, data);

    // Program changes number the dumps after them.
    Bytes withChanges = {0xC2, 40};
    withChanges.insert(withChanges.end(), dump.begin(), dump.end());
    withChanges.insert(withChanges.end(), {0xC2, 7});
    const Bytes second = DumpFileBytes(2, Block(2));
    withChanges.insert(withChanges.end(), second.begin(), second.end());
    r = ParseSyx(withChanges);
    ASSERT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.File.Form, TSyxForm::Bank);
    ASSERT_EQ(r.File.Programs.size(), 2u);
    EXPECT_EQ(r.File.Programs[0].Program, 40);
    EXPECT_EQ(r.File.Programs[1].Program, 7);
    EXPECT_EQ(r.File.Programs[1].Data, Block(2));
}

TEST(SyxFile, OtherChannelIsRewrittenWhenWritten)
{
    const TSyxRead r = ParseSyx(DumpFileBytes(9, Block(3)));
    ASSERT_TRUE(r.Ok);
    const Bytes out = DumpFileBytes(0, r.File.Programs[0].Data);
    EXPECT_EQ(out[2], 0x30);
    const Bytes bank = BankFileBytes(15, r.File.Programs);
    ASSERT_EQ(bank.size(), 64u);
    EXPECT_EQ(bank[2], 0x3F);
    EXPECT_EQ(bank[57 + 2], 0x3F);
}

TEST(SyxFile, OutOfRangeBytesAreNamedAndBroughtIntoRange)
{
    TDataBlock data = Block(0);
    data[0] = 0x0C;  // OSC 1 octave, highest 2: the stray byte a public patch carried
    data[10] = 7;    // OSC 2 interval, highest 4
    data[14] = 60;   // the byte without a row is not checked
    const std::vector<int> bad = RowsOutOfRange(data);
    ASSERT_EQ(bad, (std::vector<int>{0, 10}));
    EXPECT_STREQ(ParamName(0), "OSC 1 octave");
    const TDataBlock fitted = FitToRanges(data);
    EXPECT_EQ(fitted[0], 0);  // masked to its bits, as a dump is read
    EXPECT_EQ(fitted[10], 4); // then clamped
    EXPECT_EQ(fitted[14], 60);
    EXPECT_TRUE(RowsOutOfRange(fitted).empty());
}

TEST(SyxFile, TruncatedAndForeignFilesAreRefusedWithAReason)
{
    const Bytes bank = ReadBank();
    const Bytes dump = DumpFileBytes(0, Block(1));
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    Bytes shortDump = dump;
    shortDump.erase(shortDump.begin() + 30, shortDump.end() - 1); // framed, but 28 bytes long
    Bytes sixtyFive;
    for (int p = 0; p < 65; ++p)
        sixtyFive = join({sixtyFive, dump});
    struct Case {
        Bytes bytes;
        const char *says;
    };
    const std::vector<Case> cases = {
        {{}, "empty"},
        {Bytes(bank.begin(), bank.begin() + 4000), "truncated"},
        {shortDump, "truncated"},
        {{0xF0, 0x41, 0x10, 0x42, 0x12, 0x00, 0xF7}, "not for a DW-8000"},
        {{0xF0, 0x42, 0x30, 0x03, 0x11, 0x05, 0xF7}, "without a dump"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 6}, "not a DW-8000 file"},
        {Bytes(51, 0x90), "not a data block"},
        {join({dump, {0xC3}}), "ends inside a program change"},
        {join({{0xC3, 0x90}, dump}), "ends inside a program change"},
        {join({{0xC0, 64}, dump}), "selects program 64"},
        {join({dump, {0xF0, 0x42, 0x30, 0x03, 0x11, 64, 0xF7}}), "writes program 64"},
        {sixtyFive, "holds 65 programs"},
        {join({dump, {0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7}}), "neither a dump nor a write request"},
        {join({Bytes(bank.begin(), bank.begin() + 64), Bytes(bank.begin(), bank.begin() + 64)}), "twice"},
        // An unnumbered dump takes its place in the file (program 11), where
        // the next dump's write request puts program 11 too.
        {join({dump, dump, {0xF0, 0x42, 0x30, 0x03, 0x11, 0, 0xF7}}), "holds program 11 twice"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.says);
        const TSyxRead r = ParseSyx(c.bytes);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Error.find(c.says), std::string::npos) << r.Error;
        EXPECT_TRUE(r.File.Programs.empty());
    }
}

namespace {

// A folder of the test's own, removed with everything in it.
struct TTempFolder {
    TTempFolder()
    {
        char name[] = "/tmp/syxfile-XXXXXX";
        Path = mkdtemp(name);
    }
    ~TTempFolder() { std::filesystem::remove_all(Path); }
    std::string File(const char *name) const { return Path + "/" + name; }
    std::string Path;
};

void WriteRaw(const std::string &path, const Bytes &bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes ReadRaw(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(SyxFile, ReadStopsOneBytePastTheLimitEvenFromAPipe)
{
    constexpr std::size_t kLimit = 1 << 20;
    signal(SIGPIPE, SIG_IGN); // the reader stops early: the writer's end breaks
    const TTempFolder folder;
    struct Case {
        std::size_t size;
        bool pipe;
        bool accepted;
    };
    for (const Case c : {Case{kLimit, false, true}, Case{kLimit + 1, false, false}, Case{4096, true, true},
                         Case{3 * kLimit, true, false}}) {
        SCOPED_TRACE(std::to_string(c.size) + (c.pipe ? " bytes through a pipe" : " bytes in a file"));
        const std::string path = folder.File(c.pipe ? "fifo" : "file");
        std::thread writer;
        if (c.pipe) {
            ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
            writer = std::thread([&path, size = c.size] {
                const int fd = open(path.c_str(), O_WRONLY);
                const Bytes zeros(size, 0);
                std::size_t done = 0;
                ssize_t n = 0;
                while (done < size && (n = write(fd, zeros.data() + done, size - done)) > 0)
                    done += std::size_t(n);
                close(fd);
            });
        } else {
            WriteRaw(path, Bytes(c.size, 0));
        }
        Bytes bytes;
        std::string error;
        EXPECT_EQ(ReadFileBytes(path, bytes, error), c.accepted) << error;
        EXPECT_EQ(bytes.size(), c.accepted ? c.size : 0u);
        if (!c.accepted) {
            EXPECT_NE(error.find("too large"), std::string::npos) << error;
        }
        if (writer.joinable())
            writer.join();
        std::remove(path.c_str());
    }
}

TEST(SyxFile, WriteReplacesTheFileOrLeavesTheOldOneWhenItCannotWrite)
{
    const TTempFolder folder;
    const std::string path = folder.File("bank.syx");
    const Bytes old = {0xF0, 1, 2, 0xF7};
    WriteRaw(path, {9, 9, 9, 9});
    std::string error;
    ASSERT_TRUE(WriteFileBytes(path, old, error)) << error;
    EXPECT_EQ(ReadRaw(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path), {}), 1); // no temporary file left

    // Both fail for root too, who ignores permissions: the temporary file's
    // name is taken by a folder, or the file's own name is (the rename fails).
    std::filesystem::create_directory(path + ".part");
    EXPECT_FALSE(WriteFileBytes(path, {5, 6, 7}, error));
    EXPECT_NE(error.find("Cannot write " + path + ": Is a directory"), std::string::npos) << error;
    EXPECT_EQ(ReadRaw(path), old);
    std::filesystem::remove(path + ".part");

    const std::string folderPath = folder.File("taken");
    std::filesystem::create_directory(folderPath);
    WriteRaw(folderPath + "/inside", old);
    EXPECT_FALSE(WriteFileBytes(folderPath, {5, 6, 7}, error));
    EXPECT_NE(error.find("Cannot write " + folderPath + ": "), std::string::npos) << error;
    EXPECT_EQ(ReadRaw(folderPath + "/inside"), old);
    EXPECT_FALSE(std::filesystem::exists(folderPath + ".part")); // the temporary file went
}

TEST(LibraryMessages, BuildersAndAnswers)
{
    EXPECT_EQ(*BuildWriteRequest(3, 63), (TWriteRequest{0xF0, 0x42, 0x33, 0x03, 0x11, 63, 0xF7}));
    EXPECT_FALSE(BuildWriteRequest(3, 64));
    EXPECT_EQ(*BuildProgramChange(15, 0), (TProgramChange{0xCF, 0}));
    EXPECT_EQ(*BuildDeviceIdRequest(2), (TDeviceIdRequest{0xF0, 0x42, 0x42, 0xF7}));
    TDataBlock bad = Block(0);
    bad[7] = 0x80;
    EXPECT_FALSE(BuildDump(0, bad)); // no status byte inside a dump
    const std::uint8_t done[] = {0xF0, 0x42, 0x31, 0x03, 0x21, 0xF7};
    const std::uint8_t refused[] = {0xF0, 0x42, 0x31, 0x03, 0x22, 0xF7};
    EXPECT_EQ(ClassifyWriteAnswer(done, 6, 1), TWriteAnswer::Completed);
    EXPECT_EQ(ClassifyWriteAnswer(refused, 6, 1), TWriteAnswer::Error);
    EXPECT_EQ(ClassifyWriteAnswer(done, 6, 0), TWriteAnswer::None); // another channel
    const Bytes dump = DumpFileBytes(1, Block(5));
    EXPECT_TRUE(DumpData(dump.data(), dump.size(), 1));
    EXPECT_FALSE(DumpData(dump.data(), dump.size() - 1, 1));
    const std::uint8_t id[] = {0xF0, 0x42, 0x31, 0x03, 0xF7};
    EXPECT_TRUE(IsDeviceId(id, 5, 1));
}

// What every reader of .syx files gets: the programs, a refusal of the bytes
// (the caller names the file), or a file that could not be read (the error names it).
TEST(SyxFile, ReadSyxFileTellsAnUnreadableFileFromARefusedOne)
{
    const TTempFolder folder;
    WriteRaw(folder.File("dump.syx"), DumpFileBytes(2, Block(5)));
    WriteRaw(folder.File("foreign.syx"), {0xF0, 0x43, 0x00, 0xF7});
    struct Row {
        const char *name;
        bool ok, unreadable;
    };
    for (const Row &row : {Row{"dump.syx", true, false}, Row{"foreign.syx", false, false}, Row{"missing.syx", false, true}}) {
        SCOPED_TRACE(row.name);
        const std::string path = folder.File(row.name);
        const TSyxRead read = ReadSyxFile(path);
        EXPECT_EQ(read.Ok, row.ok) << read.Error;
        EXPECT_EQ(read.Unreadable, row.unreadable);
        EXPECT_EQ(read.Error.find(path) != std::string::npos, row.unreadable) << read.Error;
        if (row.ok) {
            ASSERT_EQ(read.File.Programs.size(), 1u);
            EXPECT_EQ(read.File.Channel, 2);
            EXPECT_EQ(read.File.Programs[0].Data, Block(5));
        }
    }
}
