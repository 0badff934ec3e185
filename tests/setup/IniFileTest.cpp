#include "setup/IniFile.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.filePath("tavrelk.INI");
};

TEST_F(IniFileTest, MissingFileReadsDefaultsAndFirstWritesCreateTheSixKeys)
{
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "None");
    EXPECT_EQ(ini.ReadInteger("DWSynth", "MidiChan", 0), 0);
    EXPECT_TRUE(ini.ReadBool("Donate", "Button", true));
    EXPECT_FALSE(QFile::exists(path));

    for (const char *key : {"Input", "Output", "CtrlInput", "CtrlOutput"})
        ini.WriteString("MidiDevices", key, "None");
    ini.WriteInteger("DWSynth", "MidiChan", 0);
    ini.WriteBool("Donate", "Button", true);
    EXPECT_EQ(ReadAll(path), "[MidiDevices]\nInput=None\nOutput=None\nCtrlInput=None\nCtrlOutput=None\n"
                             "\n[DWSynth]\nMidiChan=0\n\n[Donate]\nButton=1\n");
}

TEST_F(IniFileTest, SectionsAndKeysMatchRegardlessOfCaseAndAWriteReplacesTheValue)
{
    WriteAll(path, "[mididevices]\nINPUT=BCR2000 Port 1\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", "None"), "BCR2000 Port 1");
    ini.WriteString("MIDIDEVICES", "input", "DW");
    EXPECT_EQ(ReadAll(path), "[mididevices]\nINPUT=DW\n");
}

TEST_F(IniFileTest, ValuesAreTheTextAfterTheEqualsSignUnquoted)
{
    TIniFile ini(path);
    ini.WriteString("S", "Quoted", "\"USB MIDI\"");
    ini.WriteString("S", "Equals", "a=b ");
    EXPECT_EQ(ini.ReadString("S", "Quoted", ""), "\"USB MIDI\"");
    EXPECT_EQ(ini.ReadString("S", "Equals", ""), "a=b ");
    EXPECT_EQ(ini.ReadString("S", "Absent", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadString("Other", "Quoted", "dflt"), "dflt");
}

TEST_F(IniFileTest, LineBreakInAValueCannotInjectAKey)
{
    TIniFile ini(path);
    ini.WriteString("MidiDevices", "Input", "evil\nOutput=stolen");
    EXPECT_EQ(ini.ReadString("MidiDevices", "Output", "None"), "None");
    EXPECT_EQ(ini.ReadString("MidiDevices", "Input", ""), "evil Output=stolen");
}

TEST_F(IniFileTest, IntegersAndFlags)
{
    WriteAll(path, "[N]\ndec=15\nneg=-3\nhex=0x1F\nHEX=0XfF\nbig=0xFFFFFFFF\nspace= 7 \n"
                   "word=abc\nempty=\ntail=12abc\nover=99999999999\nbadhex=0x\nsigned=0x-1\n"
                   "[F]\none=1\nzero=0\nfive=5\nminus=-1\nword=yes\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("N", "dec", 9), 15);
    EXPECT_EQ(ini.ReadInteger("N", "neg", 9), -3);
    EXPECT_EQ(ini.ReadInteger("N", "hex", 9), 31);
    EXPECT_EQ(ini.ReadInteger("N", "HEX2", 9), 9);
    EXPECT_EQ(ini.ReadInteger("N", "big", 9), -1);
    EXPECT_EQ(ini.ReadInteger("N", "space", 9), 7);
    for (const char *bad : {"word", "empty", "tail", "over", "badhex", "signed"})
        EXPECT_EQ(ini.ReadInteger("N", bad, 9), 9) << bad;

    EXPECT_TRUE(ini.ReadBool("F", "one", false));
    EXPECT_FALSE(ini.ReadBool("F", "zero", true));
    EXPECT_TRUE(ini.ReadBool("F", "five", false));
    EXPECT_TRUE(ini.ReadBool("F", "minus", false));
    EXPECT_FALSE(ini.ReadBool("F", "word", false));
    EXPECT_TRUE(ini.ReadBool("F", "word", true));

    ini.WriteInteger("N", "dec", -42);
    ini.WriteBool("F", "five", false);
    EXPECT_EQ(ini.ReadString("N", "dec", ""), "-42");
    EXPECT_EQ(ini.ReadString("F", "five", ""), "0");
}

TEST_F(IniFileTest, RewriteKeepsCommentsUnknownLinesOtherKeysAndLineEnds)
{
    const QByteArray before = "; written by hand\r\n[DWSynth]\r\nMidiChan=3\r\n# note\r\n"
                              "junk without equals\r\n\r\n[Other]\r\nKey=\xff\xfe raw\r\n";
    WriteAll(path, before);
    TIniFile ini(path);
    ini.WriteInteger("dwsynth", "MidiChan", 4);
    ini.WriteString("DWSynth", "New", "x");
    EXPECT_EQ(ReadAll(path), "; written by hand\r\n[DWSynth]\r\nMidiChan=4\r\n# note\r\n"
                             "junk without equals\r\nNew=x\r\n\r\n[Other]\r\nKey=\xff\xfe raw\r\n");
}

TEST_F(IniFileTest, FirstOfDuplicateSectionsAndKeysIsTheOneReadAndWritten)
{
    WriteAll(path, "[S]\nK=1\nK=2\n[S]\nK=3\n");
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "K", 0), 1);
    ini.WriteInteger("S", "K", 7);
    EXPECT_EQ(ReadAll(path), "[S]\nK=7\nK=2\n[S]\nK=3\n");
}

TEST_F(IniFileTest, InvalidUtf8AndVeryLongLinesReadWithoutHarm)
{
    QByteArray content = "[S]\nBad=\xc3\x28\x80\xff\nLong=" + QByteArray(1 << 20, 'a') + "\nAfter=5";
    WriteAll(path, content);
    TIniFile ini(path);
    EXPECT_EQ(ini.ReadString("S", "Long", "").size(), 1 << 20);
    EXPECT_FALSE(ini.ReadString("S", "Bad", "").isEmpty());
    EXPECT_EQ(ini.ReadInteger("S", "After", 0), 5);
    ini.WriteInteger("S", "After", 6);
    EXPECT_EQ(ReadAll(path), content.replace("After=5", "After=6\n"));
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
    WriteAll(path, "[DWSynth]\nMidiChan=3\n");
    const QString folder = dir.path();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    // root ignores permissions; the immutable attribute stops it too.
    bool immutable = false;
    if (QTemporaryFile(folder + "/probe").open())
        immutable = QProcess::execute("chattr", {"+i", folder}) == 0;
    const bool locked = !QTemporaryFile(folder + "/probe").open();
    if (locked) {
        TIniFile ini(path);
        try {
            ini.WriteInteger("DWSynth", "MidiChan", 4);
            ADD_FAILURE() << "no error";
        } catch (const EIniFileError &e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + path.toStdString());
        }
        EXPECT_EQ(ReadAll(path), "[DWSynth]\nMidiChan=3\n");
    }
    if (immutable)
        QProcess::execute("chattr", {"-i", folder});
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (!locked)
        GTEST_SKIP() << "cannot make a folder unwritable here";
}

TEST_F(IniFileTest, FullDiskKeepsTheOldFile)
{
    WriteAll(path, "[DWSynth]\nMidiChan=3\n");
    TIniFile ini(path);
    // A file size limit makes every write past 8 bytes fail as on a full disk.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = old;
    tiny.rlim_cur = 8;
    setrlimit(RLIMIT_FSIZE, &tiny);
    EXPECT_THROW(ini.WriteString("DWSynth", "Long", QString(64, 'x')), EIniFileError);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadAll(path), "[DWSynth]\nMidiChan=3\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"tavrelk.INI"});
}

TEST(SettingsFilePath, ExtensionReplacedByIniBesideTheExecutableOrInTheUserFolder)
{
    EXPECT_EQ(IniFileNameForExecutable("/opt/tavrelk/tavrelk"), "/opt/tavrelk/tavrelk.INI");
    EXPECT_EQ(IniFileNameForExecutable("/opt/tav.relk/Tavrelk.exe"), "/opt/tav.relk/Tavrelk.INI");
    EXPECT_EQ(IniFileNameForExecutable("/a/b.c.d"), "/a/b.c.INI");
    EXPECT_EQ(ChooseSettingsFilePath("/usr/bin/tavrelk", true, "/home/u/.config/tavrelk"),
              "/usr/bin/tavrelk.INI");
    EXPECT_EQ(ChooseSettingsFilePath("/usr/bin/tavrelk", false, "/home/u/.config/tavrelk"),
              "/home/u/.config/tavrelk/tavrelk.INI");

    QTemporaryDir dir;
    EXPECT_EQ(SettingsFilePath(dir.filePath("mybuild")), dir.filePath("mybuild.INI"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

} // namespace
