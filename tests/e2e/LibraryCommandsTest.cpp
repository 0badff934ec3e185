// tavrelk-bank's library commands on a library of their own (XDG_DATA_HOME):
// import with its summary, find, find --like, export, and a refused library.

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kBank = TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx";

struct TRun {
    int Code = -1;
    QString Out, Err;
};

class LibraryCommands : public ::testing::Test {
protected:
    TRun Bank(const QStringList &args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", FDir.filePath("data"));
        p.setProcessEnvironment(env);
        p.start(TAVRELK_BANK, args);
        EXPECT_TRUE(p.waitForFinished(120000));
        return {p.exitCode(), QString::fromLocal8Bit(p.readAllStandardOutput()),
                QString::fromLocal8Bit(p.readAllStandardError())};
    }
    QString Path(const QString &name) const { return FDir.filePath(name); }
    QString LibraryFile() const { return FDir.filePath("data/tavrelk/patches.sqlite"); }

    QTemporaryDir FDir;
};

QStringList Lines(const QString &text) { return text.split('\n', Qt::SkipEmptyParts); }

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST_F(LibraryCommands, ImportSummarisesAndFindsWhatItKept)
{
    Write(Path("broken.syx"), QByteArray("\xF0\x42\x30\x03\x40\x01", 6));
    const TRun import = Bank({"import", kBank, Path("broken.syx")});
    EXPECT_EQ(import.Code, 0) << import.Err.toStdString();
    EXPECT_TRUE(import.Out.contains("1 file read: 64 new patches, 0 already in the library.")) << import.Out.toStdString();
    EXPECT_TRUE(import.Out.contains(Path("broken.syx") + ": ")) << import.Out.toStdString();
    EXPECT_TRUE(QFile::exists(LibraryFile()));

    const TRun again = Bank({"import", kBank});
    EXPECT_TRUE(again.Out.contains("0 new patches, 64 already")) << again.Out.toStdString();

    const TRun all = Bank({"find"});
    EXPECT_EQ(all.Code, 0);
    const QStringList lines = Lines(all.Out);
    ASSERT_EQ(lines.size(), 64);
    EXPECT_TRUE(lines[0].contains("KorgDW8000_bank_a 11  ")) << lines[0].toStdString();
    const TRun one = Bank({"find", "bank_a", "88"});
    ASSERT_EQ(Lines(one.Out).size(), 1) << one.Out.toStdString();
    EXPECT_TRUE(one.Out.contains("KorgDW8000_bank_a 88"));
    EXPECT_EQ(Lines(Bank({"find", "--favourite"}).Out).size(), 0);
}

TEST_F(LibraryCommands, LikePutsTheFilesPatchFirstAndExportWritesABank)
{
    ASSERT_EQ(Bank({"import", kBank}).Code, 0);
    // A single dump of program 35 of the bank, written out here.
    const QByteArray program35 = Read(kBank).mid(20 * 64, 57);
    Write(Path("p35.syx"), program35);
    const TRun like = Bank({"find", "--like", Path("p35.syx"), "--limit", "3"});
    ASSERT_EQ(like.Code, 0) << like.Err.toStdString();
    const QStringList lines = Lines(like.Out);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains("KorgDW8000_bank_a 35") && lines[0].contains("distance 0.000")) << like.Out.toStdString();

    QByteArray other = program35;
    other[5 + 15] = char(program35[5 + 15] ^ 1); // another cutoff: a 65th patch
    Write(Path("extra.syx"), other);
    ASSERT_EQ(Bank({"import", Path("extra.syx")}).Code, 0);
    const TRun tooMany = Bank({"export", Path("all.syx")});
    EXPECT_EQ(tooMany.Code, 1);
    EXPECT_TRUE(tooMany.Err.contains("65 patches match; a bank holds 64")) << tooMany.Err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("all.syx")));
    const TRun exported = Bank({"export", "--like", Path("p35.syx"), "--limit", "2", Path("two.syx")});
    ASSERT_EQ(exported.Code, 0) << exported.Err.toStdString();
    const QByteArray bytes = Read(Path("two.syx"));
    ASSERT_EQ(bytes.size(), 2 * 64);
    EXPECT_EQ(bytes.mid(5, 51), program35.mid(5, 51));
    EXPECT_EQ(bytes.mid(57, 7), QByteArray("\xF0\x42\x30\x03\x11\x00\xF7", 7));
    EXPECT_EQ(bytes.mid(64 + 57, 7), QByteArray("\xF0\x42\x30\x03\x11\x01\xF7", 7));
}

TEST_F(LibraryCommands, AnUnreadableLibraryIsReportedAndLeftAlone)
{
    QDir().mkpath(QFileInfo(LibraryFile()).path());
    Write(LibraryFile(), QByteArray(4096, 'z'));
    for (const QStringList &args : {QStringList{"import", kBank}, QStringList{"find"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const TRun run = Bank(args);
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(run.Err.contains("cannot be read")) << run.Err.toStdString();
        EXPECT_EQ(Read(LibraryFile()), QByteArray(4096, 'z'));
    }
}

TEST_F(LibraryCommands, BadArgumentsSayWhy)
{
    const struct {
        QStringList args;
        int code;
        const char *says;
    } cases[] = {
        {{"import"}, 2, "needs a file or folder"},
        {{"export", "--tag", "x"}, 2, "ending .syx"},
        {{"find", "--limit", "0"}, 2, "--limit"},
        {{"find", "--colour", "red"}, 2, "unknown option --colour"},
        {{"find", "--like", "/no/such.syx"}, 1, "/no/such.syx"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const TRun run = Bank(c.args);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_TRUE(run.Err.contains(c.says)) << run.Err.toStdString();
    }
}
