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
    " first_seen TEXT NOT NULL,"
    " source TEXT NOT NULL);"
    "CREATE TABLE sighting("
    " id INTEGER PRIMARY KEY,"
    " patch INTEGER NOT NULL REFERENCES patch(id) ON DELETE CASCADE,"
    " seen TEXT NOT NULL,"
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

QString TimeText(const QDateTime &t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QString Escaped(QString word)
{
    word.replace('\\', "\\\\").replace('%', "\\%").replace('_', "\\_");
    return '%' + word + '%';
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
    const dw::TPatch pa = dw::PatchFromBlock(a), pb = dw::PatchFromBlock(b);
    double sum = 0;
    for (int row = 0; row < dw::ParamCount; ++row) {
        if (!dw::IsLiveRow(row) || pa[row] == pb[row])
            continue;
        const dw::TParamDef &d = dw::ParamDef(row);
        const double diff = d.Names != nullptr ? 1.0 : double(pa[row] - pb[row]) / std::max(1, d.MaxValue);
        sum += diff * diff;
    }
    return sum;
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
    const QString when = TimeText(s.When.isValid() ? s.When : QDateTime::currentDateTimeUtc());
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
    if (insert.numRowsAffected() == 1) {
        id = insert.lastInsertId().toLongLong();
        ++result.New;
        if (FMirrorValid)
            FMirror.push_back({id, s.Data, s.Name, {}, false, 0, {}, QDateTime::fromString(when, Qt::ISODateWithMs),
                               s.Source, 0});
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
    const std::size_t mirrored = FMirror.size();
    for (const TNewSighting &s : sightings) {
        if (!AddOne(s, result)) {
            Rollback();
            FMirror.resize(std::min(mirrored, FMirror.size()));
            return {false, FError, 0, 0, {}};
        }
    }
    if (!Commit()) {
        Rollback();
        FMirror.resize(std::min(mirrored, FMirror.size()));
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
    if (TLibraryPatch *p = Mirrored(id))
        p->Name = clean;
    return true;
}

bool TPatchLibrary::SetTags(std::int64_t id, const QStringList &tags)
{
    const QString text = TagText(tags);
    if (!Update(id, "tags", text))
        return false;
    if (TLibraryPatch *p = Mirrored(id))
        p->Tags = TagList(text);
    return true;
}

bool TPatchLibrary::SetFavourite(std::int64_t id, bool favourite)
{
    if (!Update(id, "favourite", favourite ? 1 : 0))
        return false;
    if (TLibraryPatch *p = Mirrored(id))
        p->Favourite = favourite;
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
    if (TLibraryPatch *p = Mirrored(id))
        p->Rating = rating;
    return true;
}

bool TPatchLibrary::SetNote(std::int64_t id, const QString &note)
{
    if (!Update(id, "note", note))
        return false;
    if (TLibraryPatch *p = Mirrored(id))
        p->Note = note;
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
                                 [&gone](const TLibraryPatch &p) { return gone.count(p.Id) != 0; }),
                  FMirror.end());
    return true;
}

TLibraryPatch *TPatchLibrary::Mirrored(std::int64_t id)
{
    if (!FMirrorValid)
        return nullptr;
    const auto it = std::lower_bound(FMirror.begin(), FMirror.end(), id,
                                     [](const TLibraryPatch &p, std::int64_t v) { return p.Id < v; });
    return it != FMirror.end() && it->Id == id ? &*it : nullptr;
}

// Reads the patch table again when another connection has changed it.
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
    if (!q.exec("SELECT id, data, name, tags, favourite, rating, note, first_seen, source FROM patch ORDER BY id"))
        return FError = q.lastError().text(), false;
    FMirror.clear();
    while (q.next()) {
        FMirror.push_back({q.value(0).toLongLong(), Block(q.value(1).toByteArray()), q.value(2).toString(),
                           TagList(q.value(3).toString()), q.value(4).toBool(), q.value(5).toInt(),
                           q.value(6).toString(), QDateTime::fromString(q.value(7).toString(), Qt::ISODateWithMs),
                           q.value(8).toString(), 0});
    }
    FMirrorValid = true;
    FDataVersion = version;
    return true;
}

// The ids whose name, tags, note or any sighting's source holds every word,
// in id order; all ids when there are no words.
std::vector<std::int64_t> TPatchLibrary::TextMatches(const TPatchQuery &query, bool &ok)
{
    ok = true;
    std::vector<std::int64_t> ids;
    const QStringList words = query.Words.split(' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return ids;
    QString sql = "SELECT id FROM patch WHERE 1";
    for (int k = 0; k < words.size(); ++k)
        sql += QString(" AND (name LIKE :w%1 ESCAPE '\\' OR tags LIKE :w%1 ESCAPE '\\' OR note LIKE :w%1 ESCAPE '\\'"
                       " OR id IN (SELECT patch FROM sighting WHERE source LIKE :w%1 ESCAPE '\\'))")
                   .arg(k);
    sql += " ORDER BY id";
    QSqlQuery q(FDb->Db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (int k = 0; k < words.size(); ++k)
        q.bindValue(QString(":w%1").arg(k), Escaped(words[k]));
    if (!q.exec()) {
        FError = q.lastError().text();
        ok = false;
        return ids;
    }
    while (q.next())
        ids.push_back(q.value(0).toLongLong());
    return ids;
}

std::vector<TLibraryPatch> TPatchLibrary::Find(const TPatchQuery &query)
{
    std::vector<TLibraryPatch> found;
    if (!RefreshMirror())
        return found;
    bool ok = true;
    const std::vector<std::int64_t> textIds = TextMatches(query, ok);
    if (!ok)
        return found;
    const bool byText = !query.Words.trimmed().isEmpty();
    auto textIt = textIds.begin();
    const QString tag = query.Tag.simplified().replace(' ', '-');
    for (const TLibraryPatch &p : FMirror) {
        if (byText) {
            while (textIt != textIds.end() && *textIt < p.Id)
                ++textIt;
            if (textIt == textIds.end() || *textIt != p.Id)
                continue;
        }
        if ((query.FavouritesOnly && !p.Favourite) || p.Rating < query.MinRating ||
            (!tag.isEmpty() && !p.Tags.contains(tag, Qt::CaseInsensitive)))
            continue;
        if (!query.Params.empty()) {
            const dw::TPatch values = dw::PatchFromBlock(p.Data);
            const bool in = std::all_of(query.Params.begin(), query.Params.end(), [&values](const TParamFilter &f) {
                return f.Row >= 0 && f.Row < dw::ParamCount && values[f.Row] >= f.Min && values[f.Row] <= f.Max;
            });
            if (!in)
                continue;
        }
        found.push_back(p);
    }
    if (query.Like) {
        for (TLibraryPatch &p : found)
            p.Distance = PatchDistance(*query.Like, p.Data);
        std::stable_sort(found.begin(), found.end(),
                         [](const TLibraryPatch &a, const TLibraryPatch &b) { return a.Distance < b.Distance; });
    }
    if (query.Limit >= 0 && found.size() > std::size_t(query.Limit))
        found.resize(std::size_t(query.Limit));
    return found;
}

std::optional<TLibraryPatch> TPatchLibrary::Get(std::int64_t id)
{
    if (!RefreshMirror())
        return std::nullopt;
    if (const TLibraryPatch *p = Mirrored(id))
        return *p;
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
        out.push_back({QDateTime::fromString(q.value(0).toString(), Qt::ISODateWithMs), q.value(1).toString()});
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
