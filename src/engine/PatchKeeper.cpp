#include "engine/PatchKeeper.h"

#include "dw/Program.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"

#include <QDateTime>
#include <QFileInfo>

namespace engine {

TPatchKeeper::TPatchKeeper(QString libraryPath, QObject *parent) : QObject(parent), FPath(std::move(libraryPath)) {}

TPatchKeeper::~TPatchKeeper() = default;

TPatchLibrary &TPatchKeeper::Library()
{
    if (!FLibrary)
        FLibrary = std::make_unique<TPatchLibrary>(FPath);
    if (FLibrary->State() == TPatchLibrary::TState::Closed)
        FLibrary->Open();
    return *FLibrary;
}

void TPatchKeeper::Watch(TLibrarian &librarian)
{
    connect(&librarian, &TLibrarian::finished, this, &TPatchKeeper::TransferFinished);
}

void TPatchKeeper::WatchEditor(TEditor &editor)
{
    connect(&editor, &TEditor::patchSeen, this, [this](const dw::TDataBlock &block, int program, bool edited) {
        if (edited)
            KeepEdit(block);
        else
            KeepFromUnit(block, program);
    });
}

void TPatchKeeper::TransferFinished(const TTransferResult &result)
{
    // Received, or written and confirmed: either way the unit's program held it.
    for (const dw::TFileProgram &p : result.Programs)
        KeepFromUnit(p.Data, p.Program);
}

void TPatchKeeper::KeepFromUnit(const dw::TDataBlock &data, int program)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString when = now.toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    if (program < 0) {
        Keep({{data, QStringLiteral("Fetched %1").arg(when), QStringLiteral("DW-8000 edit buffer"), now.toUTC()}});
        return;
    }
    const QString number = QString::fromStdString(dw::ProgramText(program));
    Keep({{data, QStringLiteral("Program %1 %2").arg(number, when),
           QStringLiteral("DW-8000 program %1").arg(number), now.toUTC()}});
}

void TPatchKeeper::KeepEdit(const dw::TDataBlock &data)
{
    const QDateTime now = QDateTime::currentDateTime();
    Keep({{data, TPatchLibrary::NameFromEdit(now), QStringLiteral("edit"), now.toUTC()}});
}

void TPatchKeeper::KeepFile(const QString &path, const std::vector<dw::TFileProgram> &programs, bool single)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::vector<TNewSighting> seen;
    for (const dw::TFileProgram &p : programs) {
        const int program = single ? -1 : p.Program;
        const QString where = program < 0 ? full : full + QLatin1Char(' ') + QString::fromStdString(dw::ProgramText(program));
        seen.push_back({p.Data, TPatchLibrary::NameFromFile(full, program), where, now});
    }
    Keep(seen);
}

void TPatchKeeper::Keep(const std::vector<TNewSighting> &seen)
{
    if (seen.empty())
        return;
    TPatchLibrary &library = Library();
    const TAddResult added = library.State() == TPatchLibrary::TState::Open ? library.Add(seen) : TAddResult{};
    if (!added.Ok && !std::exchange(FToldProblem, true))
        emit problem(QStringLiteral("The patch library keeps nothing: %1")
                         .arg(added.Error.isEmpty() ? library.Error() : added.Error));
}

} // namespace engine
