// The settings file refused or strange: the editor starts and ends all the
// same, says "Unable to write to <file>" where a write fails, and leaves the
// previous file as it was.

#include "EditorFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.flush();
}

// chattr +i / -i, without starting a process.
bool SetImmutable(const QString &path, bool on)
{
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class SettingsFileFaultTest : public EditorFixture {
protected:
    QString UnableText() const { return QStringLiteral("Unable to write to %1").arg(settingsPath); }

    // Start-up and shut-down go through; a refused write is reported. With
    // the devices open, start-up ends with the fetched patch's echoes.
    void RunEditorOnce()
    {
        ASSERT_NO_THROW(Start());
        if (main->MidiPCToSynth->State() == mosOpen && main->MidiPCtoBC->State() == mosOpen)
            EXPECT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
        ASSERT_NO_THROW(Stop());
    }

    // Said once for the whole run, start and exit together.
    void ExpectUnableToWriteShown()
    {
        EXPECT_TRUE(SawBox(UnableText())) << "expected \"" << UnableText().toStdString() << "\"";
        EXPECT_EQ(boxes.size(), 1u);
        for (const TMessageBoxRequest &b : boxes)
            EXPECT_EQ(b.Text, UnableText());
    }
};

TEST_F(SettingsFileFaultTest, UnwritableFolder)
{
    SaveSimDevices();
    const QByteArray before = ReadAll(settingsPath);
    // Root ignores permissions; the immutable attribute stops it too.
    ASSERT_TRUE(SetImmutable(dir.path(), true))
        << "cannot make a folder unwritable here (immutable attribute refused: " << std::strerror(errno) << ")";
    RunEditorOnce();
    SetImmutable(dir.path(), false);
    ExpectUnableToWriteShown();
    EXPECT_EQ(ReadAll(settingsPath), before);
}

TEST_F(SettingsFileFaultTest, FullDisk)
{
    const QString mountPoint = dir.filePath(QStringLiteral("small"));
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    ASSERT_EQ(::mount("tmpfs", mountPoint.toLocal8Bit().constData(), "tmpfs", 0, "size=64k"), 0)
        << "cannot mount a small tmpfs for the full disk: " << std::strerror(errno);
    struct Unmount {
        QString path;
        ~Unmount() { ::umount2(path.toLocal8Bit().constData(), MNT_DETACH); }
    } unmount{mountPoint};

    settingsPath = QDir(mountPoint).filePath(QStringLiteral("tavrelk.INI"));
    SaveSimDevices();
    const QByteArray before = ReadAll(settingsPath);
    // Fill what is left, a page at a time, until the disk refuses.
    QFile filler(QDir(mountPoint).filePath(QStringLiteral("filler")));
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    const QByteArray page(4096, 'x');
    while (filler.write(page) == page.size()) {
    }
    filler.close();

    RunEditorOnce();
    ExpectUnableToWriteShown();
    EXPECT_EQ(ReadAll(settingsPath), before);
}

TEST_F(SettingsFileFaultTest, FileThatIsADirectory)
{
    ASSERT_TRUE(QDir().mkpath(settingsPath));
    RunEditorOnce();
    ExpectUnableToWriteShown();
    EXPECT_TRUE(QFileInfo(settingsPath).isDir());
    EXPECT_TRUE(SentTo(Synth()).empty()); // defaults: no device assigned
}

TEST_F(SettingsFileFaultTest, InvalidUtf8IsKeptByteForByte)
{
    SaveSimDevices();
    const QByteArray junk = "; \xff\xfe\xc3\x28 not UTF-8 \x80\n[Other]\nKey=\xed\xa0\x80\xf8\x88\x80\x80\x80\n";
    ASSERT_TRUE(WriteAll(settingsPath, junk + ReadAll(settingsPath)));
    RunEditorOnce();
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(ReadAll(settingsPath).startsWith(junk));
    EXPECT_EQ(Setting("MidiDevices", "Input"), Synth()); // still read and applied
}

TEST_F(SettingsFileFaultTest, TenMegabyteFile)
{
    SaveSimDevices();
    QByteArray big = ReadAll(settingsPath);
    QByteArray filler;
    filler.reserve(10 * 1024 * 1024);
    for (int i = 0; filler.size() < 10 * 1024 * 1024; ++i)
        filler += "; comment line " + QByteArray::number(i) + " of a settings file grown by accident\n";
    big += filler;
    ASSERT_TRUE(WriteAll(settingsPath, big));
    RunEditorOnce();
    EXPECT_TRUE(boxes.empty());
    const QByteArray after = ReadAll(settingsPath);
    EXPECT_TRUE(after.contains(filler));
    EXPECT_EQ(Setting("MidiDevices", "CtrlInput"), Controller());
    EXPECT_EQ(Setting("DWSynth", "MidiChan"), "0");
}
