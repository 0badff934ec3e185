#pragma once
// TPatchKeeper: every patch the editor sees goes into the patch library,
// once: dumps fetched, banks received and programs written (as the
// librarian confirms them), files loaded, and edited values when the next
// patch replaces them. The library file is opened on first use, so that a
// session that never meets a patch never touches it; a library that cannot
// be opened keeps nothing and says so once, through problem().
// Thread: the user-interface thread (the library's connection is made there).

#include "dw/SyxFile.h"
#include "engine/PatchLibrary.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace engine {

class TEditor;
class TLibrarian;
struct TTransferResult;

class TPatchKeeper : public QObject {
    Q_OBJECT
public:
    explicit TPatchKeeper(QString libraryPath = TPatchLibrary::DefaultPath(), QObject *parent = nullptr);
    ~TPatchKeeper() override;

    // The library, opened when it is not yet (check its State()).
    TPatchLibrary &Library();

    // Keeps what the librarian received or wrote and confirmed.
    void Watch(TLibrarian &librarian);
    // Keeps every dump the editor takes, and the edited values a new patch replaces.
    void WatchEditor(TEditor &editor);
    // A file's programs (a single patch: program -1).
    void KeepFile(const QString &path, const std::vector<dw::TFileProgram> &programs, bool single);
    // A patch from the unit's program 0..63 (-1: the program is not known).
    void KeepFromUnit(const dw::TDataBlock &data, int program);
    // Edited values, as they were when something replaced them.
    void KeepEdit(const dw::TDataBlock &data);

signals:
    void problem(const QString &why);

private:
    void Keep(const std::vector<TNewSighting> &seen);
    void TransferFinished(const TTransferResult &result);

    QString FPath;
    std::unique_ptr<TPatchLibrary> FLibrary;
    bool FToldProblem = false;
};

} // namespace engine
