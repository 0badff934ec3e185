#include "engine/PatchImport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace engine;

namespace {

const QString kRealBank = TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx";

QByteArray Dump(int seed)
{
    QByteArray m("\xF0\x42\x30\x03\x40", 5);
    for (int k = 0; k < 51; ++k)
        m += char(k == 50 ? seed % 32 : k == 49 ? seed / 32 % 32 : k == 48 ? seed / 1024 % 32 : 0);
    m += char(0xF7);
    return m;
}

QByteArray Write(int program) { return QByteArray("\xF0\x42\x30\x03\x11", 5) + char(program) + char(0xF7); }

QByteArray Dw8(const std::vector<std::pair<QByteArray, int>> &named)
{
    QByteArray f("\x00\x40", 2);
    for (const auto &[name, seed] : named) {
        f += char(name.size());
        f += name.leftJustified(16, ' ');
        f += char(0);
        f += Dump(seed).mid(5, 51);
        f += char(0);
    }
    return f;
}

void Put(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Files of `perFile` dumps each with write requests, seeds from `first` on.
void PutBanks(const QString &dir, int files, int perFile, int first)
{
    for (int f = 0; f < files; ++f) {
        QByteArray bank;
        for (int p = 0; p < perFile; ++p)
            bank += Dump(first + f * perFile + p) + Write(p);
        Put(QString("%1/bank%2.syx").arg(dir).arg(f, 5, 10, QChar('0')), bank);
    }
}

QString ScalarOf(const QString &path, const QString &sql)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "probe");
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(sql) && q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase("probe");
    return value;
}

class PatchImportTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FLib.Open()) << FLib.Error().toStdString(); }
    QTemporaryDir FDir;
    QString FPath = FDir.filePath("patches.sqlite");
    QString FFiles = FDir.filePath("files");
    TPatchLibrary FLib{FPath};
};

} // namespace

TEST_F(PatchImportTest, AFolderWithBrokenFilesGivesOneSummary)
{
    Put(FFiles + "/good/one.syx", Dump(1));
    Put(FFiles + "/good/deeper/two dumps.SYX", Dump(2) + Dump(3));
    Put(FFiles + "/named.dw8", Dw8({{"FAT BASS", 4}, {"", 5}, {"AGAIN", 1}}));
    Put(FFiles + "/mixed.syx", QByteArray("\xF0\x41\x10\xF7\xF8", 5) + Dump(6) + Write(20));
    Put(FFiles + "/empty.syx", {});
    Put(FFiles + "/cut.syx", Dump(7).left(30));
    Put(FFiles + "/readme.txt", "not a patch");
    const TImportSummary s = TPatchImport(FLib, {FFiles, FDir.filePath("missing.syx")}).Run();
    EXPECT_EQ(s.FilesRead, 4);
    EXPECT_EQ(s.NewPatches, 6);
    EXPECT_EQ(s.Duplicates, 1);
    EXPECT_EQ(s.SkippedMessages, 2);
    EXPECT_EQ(s.FilesOther, 1);
    EXPECT_TRUE(!s.Cancelled && s.Error.isEmpty());
    QStringList refused, names;
    for (const TImportRefusal &r : s.Refused)
        refused << QFileInfo(r.Path).fileName() + (r.Reason.isEmpty() ? " without a reason" : "");
    for (const TLibraryPatch &p : FLib.Find({}))
        names << p.Name;
    refused.sort();
    names.sort();
    EXPECT_EQ(refused, (QStringList{"cut.syx", "empty.syx", "missing.syx"}));
    EXPECT_EQ(names, (QStringList{"FAT BASS", "mixed 35", "named #2", "one", "two dumps #1", "two dumps #2"}));
    EXPECT_TRUE(s.Text().contains("3 files refused"));

    // Everything again: nothing new, and no second sighting of the same places.
    const TImportSummary again = TPatchImport(FLib, {FFiles}).Run();
    EXPECT_EQ(again.NewPatches, 0);
    EXPECT_EQ(again.Duplicates, 7);
    EXPECT_EQ(ScalarOf(FPath, "SELECT count(*) FROM sighting"), "7");
}

TEST_F(PatchImportTest, RealBankIsNamedByFileAndProgram)
{
    EXPECT_EQ(TPatchImport(FLib, {kRealBank}).Run().NewPatches, 64);
    const std::vector<TLibraryPatch> all = FLib.Find({});
    ASSERT_EQ(all.size(), 64u);
    EXPECT_EQ(all.front().Name, "KorgDW8000_bank_a 11");
    EXPECT_EQ(all.back().Name, "KorgDW8000_bank_a 88");
    EXPECT_EQ(all[9].Source, kRealBank + " 22");
    // The same bank in another folder is the same 64 patches seen elsewhere.
    const QString elsewhere = FDir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::copy(kRealBank, elsewhere + "/bank_a.syx"));
    EXPECT_EQ(TPatchImport(FLib, {elsewhere}).Run().Duplicates, 64);
    EXPECT_EQ(FLib.Sightings(all[9].Id).size(), 2u);
}

TEST_F(PatchImportTest, CancelKeepsTheSlicesCommitted)
{
    PutBanks(FFiles, 20, 8, 0);
    TPatchImport import(FLib, {FFiles});
    import.SetSliceSize(16); // two files a slice
    int slices = 0;
    const TImportSummary s = import.Run([&](int, int) {
        if (++slices == 3)
            import.Cancel();
    });
    EXPECT_TRUE(s.Cancelled);
    EXPECT_EQ(s.NewPatches, 3 * 16);
    EXPECT_EQ(FLib.Count(), 3 * 16);
    EXPECT_EQ(import.FilesDone(), 6);
    EXPECT_TRUE(s.Text().contains("Cancelled"));
}

TEST_F(PatchImportTest, JobRunsOffTheCallersThreadAndCancels)
{
    PutBanks(FFiles, 40, 8, 0);
    TImportJob job(FPath, {FFiles});
    QSignalSpy progress(&job, &TImportJob::progress);
    QSignalSpy finished(&job, &TImportJob::finished);
    job.Start();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(finished.at(0).at(0).value<TImportSummary>().NewPatches, 320);
    EXPECT_FALSE(job.Running());
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last().at(0).toInt(), 40);
    EXPECT_EQ(FLib.Find({}).size(), 320u); // this connection sees the job's work

    // A cancel before the first slice: nothing but the summary.
    TImportJob cancelled(FPath, {FFiles});
    QSignalSpy done(&cancelled, &TImportJob::finished);
    cancelled.Cancel();
    cancelled.Start();
    ASSERT_TRUE(done.wait(60000));
    const TImportSummary none = done.at(0).at(0).value<TImportSummary>();
    EXPECT_EQ(none.Duplicates + none.NewPatches, 0);
}

// Runs only as the child of the test below: imports a big folder, says when
// the first slice is committed, then goes on in one long transaction.
TEST(PatchImportChild, ImportUntilKilled)
{
    const QByteArray args = qgetenv("TAVRELK_IMPORT_CHILD");
    if (args.isEmpty())
        GTEST_SKIP() << "only run by PatchImport.CrashMidImportLosesNothingCommitted";
    const QList<QByteArray> parts = args.split('|');
    TPatchLibrary lib(QString::fromUtf8(parts[0]));
    ASSERT_TRUE(lib.Open());
    TPatchImport import(lib, {QString::fromUtf8(parts[1])});
    import.SetSliceSize(64);
    ASSERT_TRUE(import.Step());
    std::printf("committed %d\n", import.Summary().NewPatches);
    std::fflush(stdout);
    import.SetSliceSize(1 << 30);
    while (import.Step()) {
    }
}

TEST(PatchImport, CrashMidImportLosesNothingCommitted)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("patches.sqlite"), files = dir.filePath("files");
    PutBanks(files, 4000, 8, 0);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVRELK_IMPORT_CHILD", path + '|' + files);
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=PatchImportChild.ImportUntilKilled"});
    ASSERT_TRUE(child.waitForStarted());
    QByteArray out;
    QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("committed 64\n") ||
                                 child.state() == QProcess::NotRunning,
                             60000);
    ASSERT_TRUE(out.contains("committed 64\n")) << out.toStdString();
    // Killed while its second transaction has written pages to the log.
    const qint64 logAfterCommit = QFileInfo(path + "-wal").size();
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path + "-wal").size() > logAfterCommit + 256 * 1024 ||
                                 child.state() == QProcess::NotRunning,
                             60000);
    ASSERT_EQ(child.state(), QProcess::Running) << "the import ended before it could be killed";
    child.kill();
    ASSERT_TRUE(child.waitForFinished());

    TPatchLibrary lib(path);
    ASSERT_TRUE(lib.Open()) << lib.Error().toStdString();
    EXPECT_EQ(lib.Count(), 64);
    EXPECT_EQ(ScalarOf(path, "PRAGMA integrity_check"), "ok");
    EXPECT_EQ(TPatchImport(lib, {files}).Run().NewPatches, 4000 * 8 - 64); // and it takes the rest
}
