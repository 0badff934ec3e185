#pragma once
// TPatchLibrary: every patch the editor has seen, kept once, in one SQLite
// file in the user's data folder. A patch is its 51 data bytes; each time
// those bytes are seen again a sighting (when, where from) is added to it.
// The user names, tags, rates and annotates patches; the window and
// tavrelk-bank search them.
//
// The file is shared: the editor and tavrelk-bank may write at once. Every
// change is one immediate transaction under a busy time-out, in write-ahead
// log mode, so a crash loses at most the transaction under way and no writer
// loses another's work. A file that is not a readable library of a version
// this program knows is refused with a reason and left untouched; only
// MoveAside(), on the user's word, moves it out of the way.
//
// Thread: each object belongs to the thread that made it (one database
// connection each); several objects, in several threads or processes, may
// share a file.

#include "dw/Messages.h"
#include "dw/Patch.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class QSqlQuery;
class QVariant;

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace engine {

struct TLibraryPatch {
    std::int64_t Id = 0;
    dw::TDataBlock Data{};
    QString Name;
    QStringList Tags;
    bool Favourite = false;
    int Rating = 0; // 0..5
    QString Note;
    QDateTime FirstSeen;
    QString Source; // of the first sighting
    double Distance = 0; // to the query's patch, when it gave one
};

struct TSighting {
    QDateTime When;
    QString Source;
};

// One patch seen somewhere. The name is used only when the patch is new.
struct TNewSighting {
    dw::TDataBlock Data{};
    QString Name;
    QString Source;
    QDateTime When;
};

struct TParamFilter {
    int Row = 0;  // 0..50
    int Min = 0;  // inclusive
    int Max = 127;
};

struct TPatchQuery {
    QString Words;    // each word in the name, a tag, the note or a source
    QString Tag;      // this tag exactly
    bool FavouritesOnly = false;
    int MinRating = 0;
    std::vector<TParamFilter> Params; // on the values as the editor reads them
    std::optional<dw::TDataBlock> Like; // most similar first
    int Limit = -1; // -1: all
};

struct TAddResult {
    bool Ok = false;
    QString Error;
    int New = 0;
    int Duplicates = 0;
    std::vector<std::int64_t> Ids; // one per sighting given
};

// How far apart two patches sound, roughly: each live parameter's difference
// scaled to its range (a named choice such as a waveform counts as same or
// different), squared and summed. 0 for the same values.
double PatchDistance(const dw::TDataBlock &a, const dw::TDataBlock &b);

class TPatchLibrary {
public:
    enum class TState { Closed, Open, CannotOpen, Corrupt, Newer, Foreign };
    static constexpr int SchemaVersion = 1;

    // The library in QStandardPaths::AppDataLocation.
    static QString DefaultPath();
    // "bank_a 23" for a file's program 0..63 (-1: the file's own name).
    static QString NameFromFile(const QString &path, int program);
    // "Edit 2026-12-09 21:14".
    static QString NameFromEdit(const QDateTime &when);

    explicit TPatchLibrary(QString path = DefaultPath());
    ~TPatchLibrary();
    TPatchLibrary(const TPatchLibrary &) = delete;
    TPatchLibrary &operator=(const TPatchLibrary &) = delete;

    // Opens, creates or brings up to date the file. False: State() and
    // Error() say why; the file is as it was.
    bool Open();
    TState State() const { return FState; }
    QString Error() const { return FError; }
    QString Path() const { return FPath; }
    // Renames a refused file (and its log) aside and starts a new library;
    // the new name of the old file is in `movedTo`.
    bool MoveAside(QString *movedTo = nullptr);

    TAddResult Add(const std::vector<TNewSighting> &sightings);
    bool Rename(std::int64_t id, const QString &name);
    bool SetTags(std::int64_t id, const QStringList &tags);
    bool SetFavourite(std::int64_t id, bool favourite);
    bool SetRating(std::int64_t id, int rating);
    bool SetNote(std::int64_t id, const QString &note);
    bool Remove(const std::vector<std::int64_t> &ids);

    std::vector<TLibraryPatch> Find(const TPatchQuery &query);
    std::optional<TLibraryPatch> Get(std::int64_t id);
    std::vector<TSighting> Sightings(std::int64_t id);
    int Count();

private:
    struct TDb;
    bool Refuse(TState state, const QString &why);
    bool CheckAndMigrate();
    bool Exec(const QString &sql);
    bool Update(std::int64_t id, const char *column, const QVariant &value);
    bool Begin();
    bool Commit();
    void Rollback();
    QSqlQuery &Prepared(std::optional<QSqlQuery> &q, const char *sql);
    bool AddOne(const TNewSighting &s, TAddResult &result);
    // A patch as searched: its values as the editor reads them, and its
    // words (name, tags, note; sources) in lower case.
    struct TMirrored {
        TLibraryPatch Patch;
        dw::TPatch Values;
        std::string Text;
        std::string Sources;
    };
    bool RefreshMirror();
    TMirrored *Mirrored(std::int64_t id);
    static void MakeText(TMirrored &m);
    bool Matches(const TMirrored &m, const TPatchQuery &query, const std::vector<std::string> &words,
                 const QString &tag) const;

    QString FPath;
    TState FState = TState::Closed;
    QString FError;
    std::unique_ptr<TDb> FDb;
    // The patch table as last read: searching and similarity run over it.
    std::vector<TMirrored> FMirror; // by id
    bool FMirrorValid = false;
    qint64 FDataVersion = -1;
};

} // namespace engine
