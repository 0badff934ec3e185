#include "engine/PatchLibrary.h"

#include "dw/Params.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <set>

using namespace engine;

namespace {

dw::TDataBlock Block(int seed, std::initializer_list<std::pair<int, int>> rows = {})
{
    dw::TDataBlock b{};
    for (int k = 0; k < dw::DataSize; ++k)
        b[std::size_t(k)] = std::uint8_t((seed * 7 + k * 3) % 4);
    b[50] = std::uint8_t(seed % 32);
    b[49] = std::uint8_t(seed / 32 % 32);
    b[48] = std::uint8_t(seed / 1024 % 32);
    for (const auto &[row, value] : rows)
        b[std::size_t(row)] = std::uint8_t(value);
    return b;
}

TNewSighting Seen(const dw::TDataBlock &data, const QString &name, const QString &source = "test")
{
    return {data, name, source, QDateTime::currentDateTimeUtc()};
}

QByteArray Hash(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

// Runs statements straight through SQLite, as another program (or a later
// Tavrelk) would; gives the last one's first value.
QString RawSql(const QString &path, const QStringList &statements)
{
    QString value;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString &s : statements)
            EXPECT_TRUE(q.exec(s)) << s.toStdString();
        if (q.next())
            value = q.value(0).toString();
    }
    QSqlDatabase::removeDatabase("raw");
    return value;
}

std::vector<QString> Names(const std::vector<TLibraryPatch> &found)
{
    std::vector<QString> names;
    for (const TLibraryPatch &p : found)
        names.push_back(p.Name);
    return names;
}

class PatchLibraryTest : public ::testing::Test {
protected:
    QTemporaryDir FDir;
    QString FPath = FDir.filePath("lib/patches.sqlite");
};

} // namespace

TEST_F(PatchLibraryTest, FollowsXdgDataHome)
{
    const QByteArray old = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", FDir.path().toUtf8());
    const QString path = TPatchLibrary::DefaultPath();
    qputenv("XDG_DATA_HOME", old);
    EXPECT_TRUE(path.startsWith(FDir.path() + "/")) << path.toStdString();
}

TEST_F(PatchLibraryTest, SameBytesAreOnePatchWithASightingPerPlaceAndUserEditsLast)
{
    {
        TPatchLibrary lib(FPath);
        ASSERT_TRUE(lib.Open()) << lib.Error().toStdString();
        const TAddResult first = lib.Add({Seen(Block(1), "bank_a 23", "/x/bank_a.syx 23"), Seen(Block(2), "two")});
        ASSERT_TRUE(first.Ok) << first.Error.toStdString();
        EXPECT_EQ(first.New, 2);
        const TAddResult again =
            lib.Add({Seen(Block(1), "Edit 2026-12-09 21:14", "edit"), Seen(Block(1), "other", "/x/bank_a.syx 23")});
        EXPECT_EQ(again.New, 0);
        EXPECT_EQ(again.Duplicates, 2);
        const std::int64_t id = first.Ids[0];
        EXPECT_EQ(again.Ids, (std::vector<std::int64_t>{id, id}));
        EXPECT_EQ(lib.Get(id)->Name, "bank_a 23"); // a later sighting's name does not replace it
        EXPECT_TRUE(lib.Rename(id, "  Warm   pad "));
        EXPECT_TRUE(lib.SetTags(id, {"pad", "warm", "Pad", " "}));
        EXPECT_TRUE(lib.SetFavourite(id, true));
        EXPECT_TRUE(lib.SetRating(id, 4));
        EXPECT_TRUE(lib.SetNote(id, "from the 1987 tour"));
        EXPECT_FALSE(lib.SetRating(id, 6)); // bad edits change nothing
        EXPECT_FALSE(lib.Rename(id, "   "));
        EXPECT_FALSE(lib.Rename(id + 100, "nobody"));
    }
    TPatchLibrary lib(FPath); // what another run finds
    ASSERT_TRUE(lib.Open());
    EXPECT_EQ(lib.Count(), 2);
    const TLibraryPatch p = lib.Get(1).value();
    EXPECT_EQ(p.Name, "Warm pad");
    EXPECT_EQ(p.Source, "/x/bank_a.syx 23");
    EXPECT_EQ(p.Data, Block(1));
    EXPECT_EQ(p.Tags, (QStringList{"pad", "warm"}));
    EXPECT_TRUE(p.Favourite);
    EXPECT_EQ(p.Rating, 4);
    EXPECT_EQ(p.Note, "from the 1987 tour");
    const std::vector<TSighting> seen = lib.Sightings(1);
    ASSERT_EQ(seen.size(), 2u); // the same place twice is one sighting
    EXPECT_EQ(seen[0].Source, "/x/bank_a.syx 23");
    EXPECT_EQ(seen[1].Source, "edit");
    EXPECT_TRUE(lib.Remove({1}));
    EXPECT_EQ(lib.Count(), 1);
    EXPECT_TRUE(lib.Sightings(1).empty());
}

TEST_F(PatchLibraryTest, RefusedFilesAreLeftAsTheyWere)
{
    const auto library = [](const QString &p, int patches) {
        TPatchLibrary lib(p);
        ASSERT_TRUE(lib.Open());
        std::vector<TNewSighting> many;
        for (int k = 0; k < patches; ++k)
            many.push_back(Seen(Block(k), QString::number(k)));
        lib.Add(many);
    };
    const struct {
        const char *what;
        std::function<void(const QString &)> make;
        TPatchLibrary::TState state;
        const char *says;
    } cases[] = {
        {"not a database",
         [](const QString &p) {
             QFile f(p);
             f.open(QIODevice::WriteOnly);
             f.write(QByteArray(8192, 'x'));
         },
         TPatchLibrary::TState::Corrupt, "cannot be read"},
        {"another program's database", [](const QString &p) { RawSql(p, {"CREATE TABLE t(x)", "INSERT INTO t VALUES(1)"}); },
         TPatchLibrary::TState::Foreign, "not a Tavrelk patch library"},
        {"a newer library",
         [&](const QString &p) {
             library(p, 1);
             RawSql(p, {"PRAGMA user_version=99"});
         },
         TPatchLibrary::TState::Newer, "newer Tavrelk"},
        {"a library cut in half",
         [&](const QString &p) {
             library(p, 2000);
             QFile f(p);
             f.open(QIODevice::ReadWrite);
             const QByteArray head = f.read(100);
             f.resize(0);
             f.write(head); // a header that promises pages that are gone
         },
         TPatchLibrary::TState::Corrupt, "cannot be read"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const QString path = dir.filePath("patches.sqlite");
        c.make(path);
        const QByteArray before = Hash(path);
        TPatchLibrary lib(path);
        EXPECT_FALSE(lib.Open());
        EXPECT_EQ(lib.State(), c.state);
        EXPECT_TRUE(lib.Error().contains(c.says) && lib.Error().contains(path)) << lib.Error().toStdString();
        EXPECT_FALSE(lib.Add({Seen(Block(5), "lost")}).Ok);
        EXPECT_EQ(Hash(path), before);
        EXPECT_FALSE(QFile::exists(path + "-wal"));
        // Only on the user's word: the old file moves aside whole and a new library starts.
        QString aside;
        ASSERT_TRUE(lib.MoveAside(&aside)) << lib.Error().toStdString();
        EXPECT_EQ(Hash(aside), before);
        EXPECT_EQ(lib.Count(), 0);
        EXPECT_TRUE(lib.Add({Seen(Block(5), "new")}).Ok);
    }
}

TEST_F(PatchLibraryTest, AnEmptyFileBecomesALibrary)
{
    QDir().mkpath(QFileInfo(FPath).path());
    QFile(FPath).open(QIODevice::WriteOnly);
    {
        TPatchLibrary lib(FPath);
        ASSERT_TRUE(lib.Open()) << lib.Error().toStdString();
        EXPECT_TRUE(lib.Add({Seen(Block(1), "a")}).Ok);
    }
    TPatchLibrary again(FPath); // stamped as ours: not refused as another program's
    ASSERT_TRUE(again.Open()) << again.Error().toStdString();
    EXPECT_EQ(again.Count(), 1);
}

TEST_F(PatchLibraryTest, SearchAndFilters)
{
    TPatchLibrary lib(FPath);
    ASSERT_TRUE(lib.Open());
    const std::vector<std::int64_t> ids = // rows 1 and 15: OSC 1 wave and cutoff
        lib.Add({Seen(Block(1, {{1, 3}, {15, 60}}), "Brass 1", "/cd/brass.syx 11"),
                 Seen(Block(2, {{1, 3}, {15, 20}}), "Strings", "/cd/PADS/strings.syx 12"),
                 Seen(Block(3, {{1, 7}, {15, 10}}), "Organ", "fetched 13"),
                 Seen(Block(4, {{1, 0}, {15, 40}}), "100%_sure", "edit")})
            .Ids;
    ASSERT_EQ(ids.size(), 4u);
    lib.SetTags(ids[1], {"pad", "soft"});
    lib.SetNote(ids[2], "church brass sound");
    lib.SetFavourite(ids[2], true);
    lib.SetFavourite(ids[1], true);
    lib.SetRating(ids[1], 3);
    const struct {
        const char *what;
        TPatchQuery query;
        std::vector<QString> names;
    } cases[] = {
        {"everything", {}, {"Brass 1", "Strings", "Organ", "100%_sure"}},
        {"a name, any case", {"brass"}, {"Brass 1", "Organ"}}, // the organ's note says brass
        {"a folder of a source", {"pads"}, {"Strings"}},
        {"a tag as a word", {"soft"}, {"Strings"}},
        {"every word must match", {"brass church"}, {"Organ"}},
        {"wildcards are plain characters", {"%_"}, {"100%_sure"}},
        {"a tag exactly", {"", "pa"}, {}},
        {"a tag", {"", "PAD"}, {"Strings"}},
        {"favourites", {"", "", true}, {"Strings", "Organ"}},
        {"rating", {"", "", false, 3}, {"Strings"}},
        {"osc 1 wave", {"", "", false, 0, {{1, 3, 3}}}, {"Brass 1", "Strings"}},
        {"cutoff below 30", {"", "", false, 0, {{15, 0, 29}}}, {"Strings", "Organ"}},
        {"wave and cutoff", {"", "", false, 0, {{1, 3, 3}, {15, 0, 29}}}, {"Strings"}},
        {"favourite and words", {"church", "", true}, {"Organ"}},
        {"limit", {"", "", false, 0, {}, {}, 2}, {"Brass 1", "Strings"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Names(lib.Find(c.query)), c.names);
    }
}

TEST_F(PatchLibraryTest, SimilarityPutsTheNearestFirst)
{
    TPatchLibrary lib(FPath);
    ASSERT_TRUE(lib.Open());
    dw::TDataBlock base{};
    base[15] = 40; // cutoff 0..63
    base[16] = 10; // resonance 0..31
    auto changed = [&base](std::initializer_list<std::pair<int, int>> rows) {
        dw::TDataBlock b = base;
        for (const auto &[row, value] : rows)
            b[std::size_t(row)] = std::uint8_t(value);
        return b;
    };
    lib.Add({Seen(changed({{16, 31}}), "resonance far"), Seen(changed({{15, 42}}), "cutoff near"),
             Seen(changed({{1, 5}}), "other wave"), Seen(base, "same"), Seen(changed({{15, 41}, {16, 11}}), "two near"),
             Seen(changed({{14, 9}}), "unused byte only")});
    TPatchQuery q;
    q.Like = base;
    const std::vector<TLibraryPatch> found = lib.Find(q);
    const std::vector<QString> names = Names(found);
    ASSERT_EQ(names.size(), 6u);
    // The unused byte changes no sound, so it is as near as the same bytes.
    EXPECT_EQ(std::set<QString>(names.begin(), names.begin() + 2), (std::set<QString>{"same", "unused byte only"}));
    EXPECT_EQ(std::vector<QString>(names.begin() + 2, names.end()),
              (std::vector<QString>{"cutoff near", "two near", "resonance far", "other wave"}));
    EXPECT_EQ(found[0].Distance, 0);
}

TEST_F(PatchLibraryTest, TwoWritersLoseNothing)
{
    TPatchLibrary setup(FPath);
    ASSERT_TRUE(setup.Open());
    constexpr int kEach = 150;
    std::atomic<int> failures{0};
    auto writer = [&](int offset) {
        TPatchLibrary lib(FPath);
        failures += !lib.Open();
        for (int k = 0; k < kEach; ++k) {
            // Each its own, and one shared patch both see.
            failures += !lib.Add({Seen(Block(offset + k), "own"), Seen(Block(100000), "shared", QString::number(offset))}).Ok;
            failures += k % 10 == 0 && lib.Find({}).empty();
        }
    };
    std::unique_ptr<QThread> a(QThread::create(writer, 1000)), b(QThread::create(writer, 5000));
    a->start();
    b->start();
    a->wait();
    b->wait();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(setup.Count(), 2 * kEach + 1);
    EXPECT_EQ(int(setup.Find({}).size()), 2 * kEach + 1); // the other writers' work reaches an open reader
    const std::vector<TLibraryPatch> shared = setup.Find({"shared"});
    ASSERT_EQ(shared.size(), 1u);
    EXPECT_EQ(setup.Sightings(shared[0].Id).size(), 2u);
}
