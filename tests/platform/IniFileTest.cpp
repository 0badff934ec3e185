#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

class IniFileTest : public ::testing::Test {
protected:
    QByteArray Content()
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void SetContent(const QByteArray &content)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    QTemporaryDir dir;
    QString path = dir.filePath("tavrelk.INI");
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndWritesCreateSectionsAndKeys)
{
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "None");
    EXPECT_EQ(ini.ReadInteger("DWSynth", "MidiChan", 0), 0);
    EXPECT_TRUE(ini.ReadBool("Donate", "Button", true));
    EXPECT_FALSE(QFile::exists(path));

    ini.WriteString("MidiDevices", "Input", "None");
    ini.WriteString("MidiDevices", "Output", "None");
    ini.WriteInteger("DWSynth", "MidiChan", 0);
    ini.WriteBool("Donate", "Button", true);
    EXPECT_EQ(Content(), "[MidiDevices]\nInput=None\nOutput=None\n\n[DWSynth]\nMidiChan=0\n\n[Donate]\nButton=1\n");
}

TEST_F(IniFileTest, NamesMatchRegardlessOfCaseAndValuesAreTheUnquotedRestOfTheLine)
{
    SetContent("[mididevices]\nINPUT=BCR2000 Port 1\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "BCR2000 Port 1");
    ini.WriteString("MIDIDEVICES", "input", "\"DW\" a=b ");
    EXPECT_EQ(Content(), "[mididevices]\nINPUT=\"DW\" a=b \n");
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", ""), "\"DW\" a=b");  // blanks at the ends dropped
    EXPECT_EQ(ini.ReadString("Other", "Input", "dflt"), "dflt");
}

TEST_F(IniFileTest, ByteOrderMarkNoLongerHidesTheFirstSection)
{
    SetContent("\xEF\xBB\xBF[MidiDevices]\r\nInput=BCR2000\r\n\r\n[DWSynth]\r\nMidiChan=3\r\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "BCR2000");
    EXPECT_EQ(ini.ReadInteger("DWSynth", "MidiChan", 0), 3);

    // The rewrite changes the key in place instead of appending a second
    // section; the mark stays where the other editor put it.
    ini.WriteString("MidiDevices", "Input", "DW");
    ini.WriteString("MidiDevices", "Output", "BCR");
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[MidiDevices]\r\nInput=DW\r\nOutput=BCR\r\n\r\n[DWSynth]\r\n"
                         "MidiChan=3\r\n");

    // Only the file's first bytes are a mark: the same character starting a
    // value is the value's own and reads back.
    ini.WriteString("MidiDevices", "Input", QStringLiteral("\uFEFFDW"));
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), QStringLiteral("\uFEFFDW"));

    SetContent("\xEF\xBB\xBF");  // nothing but the mark
    ini.WriteInteger("DWSynth", "MidiChan", 1);
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[DWSynth]\nMidiChan=1\n");
}

TEST_F(IniFileTest, BlanksAroundSectionsKeysAndValuesNoLongerReachTheValue)
{
    SetContent("[ MidiDevices ]\n  Input = BCR2000 Port 1 \t\nOutput=\tDW \r\n\t[DWSynth]\nMidiChan = 0x2\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "BCR2000 Port 1");
    EXPECT_EQ(ini.ReadString("MidiDevices", "Output", "None"), "DW");
    EXPECT_EQ(ini.ReadInteger("DWSynth", "MidiChan", 0), 2);

    // Written back in the file's own layout, with no second section.
    ini.WriteString("MidiDevices", "Input", "BCR2000");
    ini.WriteString("MidiDevices", "Output", "");
    EXPECT_EQ(Content(), "[ MidiDevices ]\n  Input = BCR2000\nOutput=\t\r\n\t[DWSynth]\nMidiChan = 0x2\n");
    EXPECT_EQ(ini.ReadString("MidiDevices", "Output", "None"), "");
}

TEST_F(IniFileTest, LineBreakInAValueCannotInjectAKey)
{
    TIniFile ini(path);
    ini.WriteString("S", "Input", "evil\nOutput=stolen");
    EXPECT_EQ(ini.ReadString("S", "Output", "None"), "None");
}

TEST_F(IniFileTest, IntegersAndFlags)
{
    SetContent("[N]\ndec=15\nneg=-3\nhex=0x1F\nupper=0XfF\nbig=0xFFFFFFFF\nspace= 7 \nword=abc\nempty=\n"
               "tail=12abc\nover=99999999999\nbadhex=0x\nsigned=0x-1\n[F]\none=1\nzero=0\nfive=5\nword=yes\n");
    TIniFile ini(path);
    const std::pair<const char *, int> ints[] = {{"dec", 15}, {"neg", -3},  {"hex", 31},   {"upper", 255},
                                                 {"big", -1}, {"space", 7}, {"word", 9},   {"empty", 9},
                                                 {"tail", 9}, {"over", 9},  {"badhex", 9}, {"signed", 9}};
    for (const auto &[key, value] : ints)
        EXPECT_EQ(ini.ReadInteger("N", key, 9), value) << key;
    EXPECT_TRUE(ini.ReadBool("F", "one", false));
    EXPECT_FALSE(ini.ReadBool("F", "zero", true));
    EXPECT_TRUE(ini.ReadBool("F", "five", false));
    EXPECT_FALSE(ini.ReadBool("F", "word", false));
    EXPECT_TRUE(ini.ReadBool("F", "word", true));
    ini.WriteInteger("N", "dec", -42);
    ini.WriteBool("F", "five", false);
    EXPECT_EQ(ini.ReadString("N", "dec", ""), "-42");
    EXPECT_EQ(ini.ReadString("F", "five", ""), "0");
}

TEST_F(IniFileTest, RewriteKeepsCommentsUnknownLinesOtherKeysInvalidUtf8AndLineEnds)
{
    SetContent("; by hand\r\n[DWSynth]\r\nMidiChan=3\r\nlf only\njunk\r\n\r\n[Other]\r\nKey=\xc3\x28\xff\r\n");
    TIniFile ini(path);
    EXPECT_FALSE(ini.ReadString("Other", "Key", "").isEmpty());
    EXPECT_EQ(ini.ReadString("DWSynth", "MidiChan", ""), "3");
    ini.WriteInteger("dwsynth", "MidiChan", 4);
    ini.WriteString("DWSynth", "New", "x");
    EXPECT_EQ(Content(), "; by hand\r\n[DWSynth]\r\nMidiChan=4\r\nlf only\njunk\r\nNew=x\r\n\r\n[Other]\r\nKey=\xc3\x28\xff\r\n");
}

TEST_F(IniFileTest, VeryLongLineReadsWhole)
{
    SetContent("[S]\nLong=" + QByteArray(1 << 20, 'a') + "\nAfter=5");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "Long", "").size(), 1 << 20);
    EXPECT_EQ(ini.ReadInteger("S", "After", 0), 5);
}

TEST_F(IniFileTest, FileThatIsADirectoryReadsDefaultsAndRefusesWrites)
{
    ASSERT_TRUE(QDir().mkpath(path));
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("DWSynth", "MidiChan", 5), 5);
    EXPECT_THROW(ini.WriteInteger("DWSynth", "MidiChan", 1), EIniFileError);
}

TEST_F(IniFileTest, UnwritableFolderRaisesUnableToWriteAndKeepsTheOldFile)
{
    SetContent("[DWSynth]\nMidiChan=3\n");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    // root ignores permissions; the immutable attribute stops it too.
    const bool immutable = QProcess::execute("chattr", {"+i", dir.path()}) == 0;
    const bool locked = !QTemporaryFile(dir.filePath("probe")).open();
    if (locked) {
        try {
            TIniFile(path).WriteInteger("DWSynth", "MidiChan", 4);
            ADD_FAILURE() << "no error";
        } catch (const EIniFileError &e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.toStdString());
        }
        EXPECT_EQ(Content(), "[DWSynth]\nMidiChan=3\n");
    }
    if (immutable)
        QProcess::execute("chattr", {"-i", dir.path()});
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!locked)
        ADD_FAILURE() << "cannot make a folder unwritable here (needs chattr +i, or a non-root user)";
}

TEST_F(IniFileTest, FullDiskNoLongerReplacesTheFileWithATruncatedOne)
{
    SetContent("[DWSynth]\nMidiChan=3\n");
    // A file size limit makes every write past 8 bytes fail as on a full disk.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &tiny);
    EXPECT_THROW(TIniFile(path).WriteString("DWSynth", "Long", QString(64, 'x')), EIniFileError);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(Content(), "[DWSynth]\nMidiChan=3\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"tavrelk.INI"});
}

TEST(SettingsFilePath, ExtensionReplacedByIniBesideTheExecutableOrInTheUserFolder)
{
    EXPECT_EQ(IniFileNameForExecutable("/opt/tav.relk/tavrelk"), "/opt/tav.relk/tavrelk.INI");
    EXPECT_EQ(IniFileNameForExecutable("/a/b.c.exe"), "/a/b.c.INI");
    EXPECT_EQ(ChooseSettingsFilePath("/usr/bin/tavrelk", false, "/home/u/.config/tavrelk"),
              "/home/u/.config/tavrelk/tavrelk.INI");
    QTemporaryDir dir;
    EXPECT_EQ(SettingsFilePath(dir.filePath("tavrelk")), dir.filePath("tavrelk.INI"));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

} // namespace
