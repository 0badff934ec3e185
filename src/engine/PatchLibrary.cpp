#include "engine/PatchLibrary.h"

#include "dw/Params.h"
#include "dw/Program.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <unordered_set>

namespace engine {
namespace {

constexpr const char *kFileName = "patches.sqlite";
// 'TVRK': a file of ours, told from any other SQLite file.
constexpr int kApplicationId = 0x5456524B;
constexpr int kBusyMs = 10000;

// Each step brings the file from version i to i + 1, in one transaction.
const char *const kMigrations[] = {
    "CREATE TABLE patch("
    " id INTEGER PRIMARY KEY,"
    " data BLOB NOT NULL UNIQUE,"
    " name TEXT NOT NULL,"
    " tags TEXT NOT NULL DEFAULT '',"
    " favourite INTEGER NOT NULL DEFAULT 0,"
    " rating INTEGER NOT NULL DEFAULT 0 CHECK (rating BETWEEN 0 AND 5),"
    " note TEXT NOT NULL DEFAULT '',"
    " first_seen INTEGER NOT NULL," // ms since 1970, UTC
    " source TEXT NOT NULL);"
    "CREATE TABLE sighting("
    " id INTEGER PRIMARY KEY,"
    " patch INTEGER NOT NULL REFERENCES patch(id) ON DELETE CASCADE,"
    " seen INTEGER NOT NULL,"
    " source TEXT NOT NULL);"
    "CREATE INDEX sighting_patch ON sighting(patch, source);",
};
constexpr int kMigrationCount = int(sizeof kMigrations / sizeof kMigrations[0]);
static_assert(kMigrationCount == TPatchLibrary::SchemaVersion, "one migration per schema version");

QString ConnectionName()
{
    static std::atomic<int> next{0};
    return QStringLiteral("tavrelk-library-%1").arg(next++);
}

QByteArray Blob(const dw::TDataBlock &d) { return QByteArray(reinterpret_cast<const char *>(d.data()), int(d.size())); }

dw::TDataBlock Block(const QByteArray &b)
{
    dw::TDataBlock d{};
    std::copy_n(b.constData(), std::min<int>(b.size(), dw::DataSize), d.begin());
    return d;
}

// Tags are kept as " a b c " so that one LIKE finds a whole tag.
QString TagText(const QStringList &tags)
{
    QStringList clean;
    for (const QString &t : tags) {
        const QString word = t.simplified().replace(' ', '-');
        if (!word.isEmpty() && !clean.contains(word, Qt::CaseInsensitive))
            clean << word;
    }
    return clean.isEmpty() ? QString() : ' ' + clean.join(' ') + ' ';
}

QStringList TagList(const QString &text) { return text.split(' ', Qt::SkipEmptyParts); }

std::string Lower(const QString &s) { return s.toLower().toStdString(); }

// Each row's weight in the distance: 0 for the unused row, -1 for a named
// choice (same or different), else one over its range.
std::array<double, dw::ParamCount> MakeWeights()
{
    std::array<double, dw::ParamCount> w{};
    for (int row = 0; row < dw::ParamCount; ++row) {
        const dw::TParamDef &d = dw::ParamDef(row);
        w[std::size_t(row)] = !dw::IsLiveRow(row) ? 0.0 : d.Names != nullptr ? -1.0 : 1.0 / std::max(1, d.MaxValue);
    }
    return w;
}

double ValuesDistance(const dw::TPatch &a, const dw::TPatch &b)
{
    // Made on first use: the parameter table is another file's static data.
    static const std::array<double, dw::ParamCount> kWeights = MakeWeights();
    double sum = 0;
    for (int row = 0; row < dw::ParamCount; ++row) {
        const double w = kWeights[std::size_t(row)];
        if (a[row] == b[row] || w == 0)
            continue;
        const double diff = w < 0 ? 1.0 : (a[row] - b[row]) * w;
        sum += diff * diff;
    }
    return sum;
}

} // namespace

struct TPatchLibrary::TDb {
    QString Connection;
    QSqlDatabase Db;
    // Prepared once: an import adds thousands of sightings a second.
    std::optional<QSqlQuery> Insert, Lookup, Sight;
    ~TDb()
    {
        Insert.reset();
        Lookup.reset();
        Sight.reset();
        Db.close();
        Db = QSqlDatabase();
        QSqlDatabase::removeDatabase(Connection);
    }
};

double PatchDistance(const dw::TDataBlock &a, const dw::TDataBlock &b)
{
    return ValuesDistance(dw::PatchFromBlock(a), dw::PatchFromBlock(b));
}

QString TPatchLibrary::DefaultPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).filePath(kFileName);
}

QString TPatchLibrary::NameFromFile(const QString &path, int program)
{
    const QString base = QFileInfo(path).completeBaseName();
    return program < 0 ? base : base + ' ' + QString::fromStdString(dw::ProgramText(program));
}

QString TPatchLibrary::NameFromEdit(const QDateTime &when)
{
    return "Edit " + when.toLocalTime().toString("yyyy-MM-dd hh:mm");
}

TPatchLibrary::TPatchLibrary(QString path) : FPath(std::move(path)) {}

TPatchLibrary::~TPatchLibrary() = default;

bool TPatchLibrary::Refuse(TState state, const QString &why)
{
    FState = state;
    FError = why;
    FDb.reset();
    return false;
}

bool TPatchLibrary::Open()
{
    FDb.reset();
    FMirrorValid = false;
    const QFileInfo info(FPath);
    if (!QDir().mkpath(info.absolutePath()))
        return Refuse(TState::CannotOpen, QString("Cannot make the folder %1 for the patch library.").arg(info.absolutePath()));
    if (info.exists() && !info.isFile())
        return Refuse(TState::CannotOpen, QString("The patch library %1 is not a file.").arg(FPath));
    FDb = std::make_unique<TDb>();
    FDb->Connection = ConnectionName();
    FDb->Db = QSqlDatabase::addDatabase("QSQLITE", FDb->Connection);
    if (!FDb->Db.isValid())
        return Refuse(TState::CannotOpen, "The SQLite driver of Qt is missing (Debian package libqt6sql6-sqlite).");
    FDb->Db.setDatabaseName(FPath);
    FDb->Db.setConnectOptions(QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyMs));
    if (!FDb->Db.open())
        return Refuse(TState::CannotOpen,
                      QString("Cannot open the patch library %1: %2").arg(FPath, FDb->Db.lastError().text()));
    if (!CheckAndMigrate())
        return false;
    FState = TState::Open;
    FError.clear();
    return true;
}

// Reads before it writes anything, so that a refused file stays as it was.
bool TPatchLibrary::CheckAndMigrate()
{
    QSqlQuery q(FDb->Db);
    if (!q.exec("PRAGMA application_id") || !q.next())
        return Refuse(TState::Corrupt, QString("The patch library %1 cannot be read: %2. It is left as it is.")
                                           .arg(FPath, q.lastError().databaseText()));
    const int appId = q.value(0).toInt();
    if (!q.exec("PRAGMA user_version") || !q.next())
        return Refuse(TState::Corrupt, QString("The patch library %1 cannot be read: %2. It is left as it is.")
                                           .arg(FPath, q.lastError().databaseText()));
    const int version = q.value(0).toInt();
    if (!q.exec("SELECT count(*) FROM sqlite_master") || !q.next())
        return Refuse(TState::Corrupt, QString("The patch library %1 cannot be read: %2. It is left as it is.")
                                           .arg(FPath, q.lastError().databaseText()));
    const bool empty = q.value(0).toInt() == 0;
    q.finish();
    if (appId != kApplicationId && !(appId == 0 && empty))
        return Refuse(TState::Foreign,
                      QString("%1 is not a Tavrelk patch library. It is left as it is.").arg(FPath));
    // A library whose pages are damaged must not be written to, not even by the switch to the log.
    if (appId == kApplicationId && (!q.exec("PRAGMA quick_check(1)") || !q.next() || q.value(0).toString() != "ok"))
        return Refuse(TState::Corrupt, QString("The patch library %1 cannot be read: %2. It is left as it is.")
                                           .arg(FPath, q.lastError().isValid() ? q.lastError().databaseText()
                                                                               : q.value(0).toString()));
    q.finish();
    if (version > SchemaVersion)
        return Refuse(TState::Newer, QString("The patch library %1 was written by a newer Tavrelk (library version "
                                             "%2; this one knows %3). It is left as it is.")
                                         .arg(FPath)
                                         .arg(version)
                                         .arg(SchemaVersion));
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA foreign_keys=ON") || !Exec("PRAGMA synchronous=NORMAL"))
        return Refuse(TState::CannotOpen, FError);
    for (int v = version; v < SchemaVersion; ++v) {
        // Another process may have migrated meanwhile: look again inside the lock.
        if (!Begin())
            return Refuse(TState::CannotOpen, FError);
        if (!q.exec("PRAGMA user_version") || !q.next()) {
            Rollback();
            return Refuse(TState::Corrupt, q.lastError().text());
        }
        const int now = q.value(0).toInt();
        q.finish();
        bool ok = true;
        if (now == v) {
            for (const QString &statement : QString(kMigrations[v]).split(';', Qt::SkipEmptyParts))
                ok = ok && Exec(statement);
            ok = ok && Exec(QString("PRAGMA user_version=%1").arg(v + 1)) &&
                 Exec(QString("PRAGMA application_id=%1").arg(kApplicationId));
        }
        if (!ok || !Commit()) {
            Rollback();
            return Refuse(TState::CannotOpen,
                          QString("Cannot bring the patch library %1 up to date: %2").arg(FPath, FError));
        }
    }
    return true;
}

bool TPatchLibrary::MoveAside(QString *movedTo)
{
    FDb.reset();
    const QString aside = FPath + ".unreadable-" + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    if (QFileInfo::exists(FPath) && !QFile::rename(FPath, aside))
        return Refuse(TState::CannotOpen, QString("Cannot move %1 aside.").arg(FPath));
    for (const char *suffix : {"-wal", "-shm"}) {
        if (QFileInfo::exists(FPath + suffix))
            QFile::rename(FPath + suffix, aside + suffix);
    }
    if (movedTo != nullptr)
        *movedTo = aside;
    return Open();
}

bool TPatchLibrary::Exec(const QString &sql)
{
    QSqlQuery q(FDb->Db);
    if (q.exec(sql))
        return true;
    FError = q.lastError().text();
    return false;
}

// Immediate: the write lock is taken (or waited for) at the start, so that a
// transaction never fails half-way for another writer.
bool TPatchLibrary::Begin()
{
    if (FDb == nullptr) {
        FError = "The patch library is not open.";
        return false;
    }
    return Exec("BEGIN IMMEDIATE");
}

bool TPatchLibrary::Commit() { return Exec("COMMIT"); }

void TPatchLibrary::Rollback()
{
    const QString error = FError;
    Exec("ROLLBACK");
    FError = error;
}

QSqlQuery &TPatchLibrary::Prepared(std::optional<QSqlQuery> &q, const char *sql)
{
    if (!q) {
        q.emplace(FDb->Db);
        q->prepare(sql);
    }
    return *q;
}

bool TPatchLibrary::AddOne(const TNewSighting &s, TAddResult &result)
{
    const qint64 when = (s.When.isValid() ? s.When : QDateTime::currentDateTimeUtc()).toMSecsSinceEpoch();
    const QByteArray data = Blob(s.Data);
    QSqlQuery &insert = Prepared(FDb->Insert, "INSERT INTO patch(data, name, first_seen, source) VALUES(?, ?, ?, ?) "
                                              "ON CONFLICT(data) DO NOTHING");
    insert.bindValue(0, data);
    insert.bindValue(1, s.Name);
    insert.bindValue(2, when);
    insert.bindValue(3, s.Source);
    if (!insert.exec())
        return FError = insert.lastError().text(), false;
    std::int64_t id = 0;
    bool seenHere = false;
    const bool isNew = insert.numRowsAffected() == 1;
    if (isNew) {
        id = insert.lastInsertId().toLongLong();
        ++result.New;
        if (FMirrorValid) {
            TMirrored m{{id, s.Data, s.Name, {}, false, 0, {}, QDateTime::fromMSecsSinceEpoch(when, Qt::UTC), s.Source, 0},
                        dw::PatchFromBlock(s.Data), {}, Lower(s.Source)};
            MakeText(m);
            FMirror.push_back(std::move(m));
        }
    } else {
        QSqlQuery &lookup = Prepared(FDb->Lookup, "SELECT id, EXISTS(SELECT 1 FROM sighting WHERE patch = patch.id "
                                                  "AND source = ?) FROM patch WHERE data = ?");
        lookup.bindValue(0, s.Source);
        lookup.bindValue(1, data);
        if (!lookup.exec() || !lookup.next())
            return FError = lookup.lastError().text(), false;
        id = lookup.value(0).toLongLong();
        seenHere = lookup.value(1).toBool();
        lookup.finish();
        ++result.Duplicates;
    }
    result.Ids.push_back(id);
    // The same place seen again (a file imported twice) is not a new sighting.
    if (seenHere)
        return true;
    if (TMirrored *m = isNew ? nullptr : Mirrored(id))
        m->Sources += '\n' + Lower(s.Source);
    QSqlQuery &sight = Prepared(FDb->Sight, "INSERT INTO sighting(patch, seen, source) VALUES(?, ?, ?)");
    sight.bindValue(0, qlonglong(id));
    sight.bindValue(1, when);
    sight.bindValue(2, s.Source);
    if (!sight.exec())
        return FError = sight.lastError().text(), false;
    return true;
}

TAddResult TPatchLibrary::Add(const std::vector<TNewSighting> &sightings)
{
    TAddResult result;
    if (!Begin()) {
        result.Error = FError;
        return result;
    }
    bool ok = true;
    for (std::size_t k = 0; ok && k < sightings.size(); ++k)
        ok = AddOne(sightings[k], result);
    if (!ok || !Commit()) {
        Rollback();
        // What was mirrored of the transaction is gone with it: read it all again.
        FMirrorValid = false;
        FMirror.clear();
        return {false, FError, 0, 0, {}};
    }
    result.Ok = true;
    return result;
}

bool TPatchLibrary::Update(std::int64_t id, const char *column, const QVariant &value)
{
    if (!Begin())
        return false;
    QSqlQuery q(FDb->Db);
    q.prepare(QString("UPDATE patch SET %1 = ? WHERE id = ?").arg(column));
    q.addBindValue(value);
    q.addBindValue(qlonglong(id));
    if (!q.exec() || q.numRowsAffected() != 1) {
        FError = q.lastError().isValid() ? q.lastError().text() : QString("No patch %1 in the library.").arg(id);
        Rollback();
        return false;
    }
    return Commit() || (Rollback(), false);
}

bool TPatchLibrary::Rename(std::int64_t id, const QString &name)
{
    const QString clean = name.simplified();
    if (clean.isEmpty()) {
        FError = "A patch needs a name.";
        return false;
    }
    if (!Update(id, "name", clean))
        return false;
    if (TMirrored *m = Mirrored(id)) {
        m->Patch.Name = clean;
        MakeText(*m);
    }
    return true;
}

bool TPatchLibrary::SetTags(std::int64_t id, const QStringList &tags)
{
    const QString text = TagText(tags);
    if (!Update(id, "tags", text))
        return false;
    if (TMirrored *m = Mirrored(id)) {
        m->Patch.Tags = TagList(text);
        MakeText(*m);
    }
    return true;
}

bool TPatchLibrary::SetFavourite(std::int64_t id, bool favourite)
{
    if (!Update(id, "favourite", favourite ? 1 : 0))
        return false;
    if (TMirrored *m = Mirrored(id)) {
        m->Patch.Favourite = favourite;
    }
    return true;
}

bool TPatchLibrary::SetRating(std::int64_t id, int rating)
{
    if (rating < 0 || rating > 5) {
        FError = "A rating is 0 to 5.";
        return false;
    }
    if (!Update(id, "rating", rating))
        return false;
    if (TMirrored *m = Mirrored(id)) {
        m->Patch.Rating = rating;
    }
    return true;
}

bool TPatchLibrary::SetNote(std::int64_t id, const QString &note)
{
    if (!Update(id, "note", note))
        return false;
    if (TMirrored *m = Mirrored(id)) {
        m->Patch.Note = note;
        MakeText(*m);
    }
    return true;
}

bool TPatchLibrary::Remove(const std::vector<std::int64_t> &ids)
{
    if (!Begin())
        return false;
    QSqlQuery q(FDb->Db);
    q.prepare("DELETE FROM patch WHERE id = ?");
    for (std::int64_t id : ids) {
        q.addBindValue(qlonglong(id));
        if (!q.exec()) {
            FError = q.lastError().text();
            Rollback();
            return false;
        }
    }
    if (!Commit()) {
        Rollback();
        return false;
    }
    const std::unordered_set<std::int64_t> gone(ids.begin(), ids.end());
    FMirror.erase(std::remove_if(FMirror.begin(), FMirror.end(),
                                 [&gone](const TMirrored &m) { return gone.count(m.Patch.Id) != 0; }),
                  FMirror.end());
    return true;
}

TPatchLibrary::TMirrored *TPatchLibrary::Mirrored(std::int64_t id)
{
    if (!FMirrorValid)
        return nullptr;
    const auto it = std::lower_bound(FMirror.begin(), FMirror.end(), id,
                                     [](const TMirrored &m, std::int64_t v) { return m.Patch.Id < v; });
    return it != FMirror.end() && it->Patch.Id == id ? &*it : nullptr;
}

void TPatchLibrary::MakeText(TMirrored &m)
{
    m.Text = Lower(m.Patch.Name + '\n' + m.Patch.Tags.join(' ') + '\n' + m.Patch.Note);
}

// Reads the library again when another connection has changed it.
bool TPatchLibrary::RefreshMirror()
{
    if (FDb == nullptr) {
        FError = "The patch library is not open.";
        return false;
    }
    QSqlQuery q(FDb->Db);
    q.setForwardOnly(true);
    if (!q.exec("PRAGMA data_version") || !q.next())
        return FError = q.lastError().text(), false;
    const qint64 version = q.value(0).toLongLong();
    if (FMirrorValid && version == FDataVersion)
        return true;
    FMirrorValid = false;
    FMirror.clear();
    // One read transaction, so that the patches and their sightings agree.
    if (!Exec("BEGIN"))
        return false;
    if (!q.exec("SELECT id, data, name, tags, favourite, rating, note, first_seen FROM patch ORDER BY id")) {
        FError = q.lastError().text();
        Rollback();
        return false;
    }
    while (q.next()) {
        const dw::TDataBlock data = Block(q.value(1).toByteArray());
        TMirrored m{{q.value(0).toLongLong(), data, q.value(2).toString(), TagList(q.value(3).toString()),
                     q.value(4).toBool(), q.value(5).toInt(), q.value(6).toString(),
                     QDateTime::fromMSecsSinceEpoch(q.value(7).toLongLong(), Qt::UTC), {}, 0},
                    dw::PatchFromBlock(data), {}, {}};
        MakeText(m);
        FMirror.push_back(std::move(m));
    }
    if (!q.exec("SELECT patch, source FROM sighting ORDER BY patch, seen, id")) {
        FError = q.lastError().text();
        Rollback();
        return false;
    }
    TMirrored *m = nullptr;
    while (q.next()) {
        const std::int64_t id = q.value(0).toLongLong();
        if (m == nullptr || m->Patch.Id != id) {
            FMirrorValid = true; // for the look-up
            m = Mirrored(id);
            FMirrorValid = false;
        }
        if (m == nullptr)
            continue;
        const QString source = q.value(1).toString();
        if (m->Sources.empty())
            m->Patch.Source = source;
        else
            m->Sources += '\n';
        m->Sources += Lower(source);
    }
    q.finish();
    Exec("COMMIT");
    FMirrorValid = true;
    FDataVersion = version;
    return true;
}

bool TPatchLibrary::Matches(const TMirrored &m, const TPatchQuery &query, const std::vector<std::string> &words,
                            const QString &tag) const
{
    const TLibraryPatch &p = m.Patch;
    if ((query.FavouritesOnly && !p.Favourite) || p.Rating < query.MinRating ||
        (!tag.isEmpty() && !p.Tags.contains(tag, Qt::CaseInsensitive)))
        return false;
    for (const TParamFilter &f : query.Params) {
        if (f.Row < 0 || f.Row >= dw::ParamCount || m.Values[f.Row] < f.Min || m.Values[f.Row] > f.Max)
            return false;
    }
    for (const std::string &w : words) {
        if (m.Text.find(w) == std::string::npos && m.Sources.find(w) == std::string::npos)
            return false;
    }
    return true;
}

std::vector<TLibraryPatch> TPatchLibrary::Find(const TPatchQuery &query)
{
    std::vector<TLibraryPatch> found;
    if (!RefreshMirror())
        return found;
    std::vector<std::string> words;
    for (const QString &w : query.Words.split(' ', Qt::SkipEmptyParts))
        words.push_back(Lower(w));
    const QString tag = query.Tag.simplified().replace(' ', '-');
    std::vector<std::pair<double, std::size_t>> hits; // distance, index
    const std::optional<dw::TPatch> like =
        query.Like ? std::optional<dw::TPatch>(dw::PatchFromBlock(*query.Like)) : std::nullopt;
    for (std::size_t k = 0; k < FMirror.size(); ++k) {
        if (Matches(FMirror[k], query, words, tag))
            hits.push_back({like ? ValuesDistance(*like, FMirror[k].Values) : 0.0, k});
    }
    const std::size_t limit =
        query.Limit >= 0 ? std::min(hits.size(), std::size_t(query.Limit)) : hits.size();
    if (like) {
        // Nearest first; the same distance keeps the library's order.
        auto byDistance = [](const auto &a, const auto &b) { return a < b; };
        std::partial_sort(hits.begin(), hits.begin() + std::ptrdiff_t(limit), hits.end(), byDistance);
    }
    found.reserve(limit);
    for (std::size_t k = 0; k < limit; ++k) {
        found.push_back(FMirror[hits[k].second].Patch);
        found.back().Distance = hits[k].first;
    }
    return found;
}

std::optional<TLibraryPatch> TPatchLibrary::Get(std::int64_t id)
{
    if (!RefreshMirror())
        return std::nullopt;
    if (const TMirrored *m = Mirrored(id))
        return m->Patch;
    return std::nullopt;
}

std::vector<TSighting> TPatchLibrary::Sightings(std::int64_t id)
{
    std::vector<TSighting> out;
    if (FDb == nullptr)
        return out;
    QSqlQuery q(FDb->Db);
    q.prepare("SELECT seen, source FROM sighting WHERE patch = ? ORDER BY seen, id");
    q.addBindValue(qlonglong(id));
    if (!q.exec())
        return out;
    while (q.next())
        out.push_back({QDateTime::fromMSecsSinceEpoch(q.value(0).toLongLong(), Qt::UTC), q.value(1).toString()});
    return out;
}

int TPatchLibrary::Count()
{
    if (FDb == nullptr)
        return 0;
    QSqlQuery q(FDb->Db);
    return q.exec("SELECT count(*) FROM patch") && q.next() ? q.value(0).toInt() : 0;
}

} // namespace engine
