#include "LibraryCommands.h"

#include "dw/PatchArchive.h"
#include "dw/Program.h"
#include "engine/PatchImport.h"
#include "engine/PatchLibrary.h"
#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <unistd.h>

const char *const LibraryUsage =
    "  import PATH...  files and folders (with everything below them) into the\n"
    "                  patch library\n"
    "  find [WORDS] [--tag T] [--favourite] [--like FILE] [--limit N]\n"
    "                  the library's patches, one line each (most similar to\n"
    "                  the first patch of FILE first with --like)\n"
    "  export [WORDS] [the filters of find] OUT.syx\n"
    "                  the patches found as a bank file (64 at most)\n"
    "  receive ... --no-library\n"
    "                  do not keep the received programs in the library\n";

namespace {

int Fail(const QString &why, int code = 1)
{
    std::fprintf(stderr, "tavrelk-bank: %s\n", why.toLocal8Bit().constData());
    return code;
}

bool OpenLibrary(engine::TPatchLibrary &library)
{
    if (library.Open())
        return true;
    Fail(library.Error());
    if (library.State() != engine::TPatchLibrary::TState::CannotOpen)
        Fail("the editor offers to move it aside and start a new library (Library > Patch library)");
    return false;
}

struct TFindOptions {
    engine::TPatchQuery Query;
    QStringList Words;
    QString Like; // a file
    QString Out;  // export only
    bool Ok = false;
};

TFindOptions ParseFind(int argc, char **argv, int index, bool exporting)
{
    TFindOptions o;
    for (int i = index + 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (a == "--tag" && hasValue) {
            o.Query.Tag = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--favourite" || a == "--favorite") {
            o.Query.FavouritesOnly = true;
        } else if (a == "--like" && hasValue) {
            o.Like = QString::fromLocal8Bit(argv[++i]);
        } else if (a == "--limit" && hasValue) {
            bool ok = false;
            o.Query.Limit = QString(argv[++i]).toInt(&ok);
            if (!ok || o.Query.Limit < 1) {
                Fail("--limit takes a number from 1 on", 2);
                return o;
            }
        } else if (a.startsWith('-')) {
            Fail("unknown option " + a, 2);
            return o;
        } else {
            o.Words << a;
        }
    }
    if (exporting) {
        if (o.Words.isEmpty() || !o.Words.last().endsWith(".syx", Qt::CaseInsensitive)) {
            Fail("export needs the file to write, ending .syx, last", 2);
            return o;
        }
        o.Out = o.Words.takeLast();
    }
    o.Query.Words = o.Words.join(' ');
    o.Ok = true;
    return o;
}

std::optional<dw::TDataBlock> FirstPatchOf(const QString &path)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!dw::ReadFileBytes(path.toStdString(), bytes, error)) {
        Fail(QString::fromStdString(error));
        return std::nullopt;
    }
    const dw::TArchiveRead read = dw::ReadArchive(bytes);
    if (!read.Ok) {
        Fail(path + ": " + QString::fromStdString(read.Error));
        return std::nullopt;
    }
    return read.Patches.front().Data;
}

// As list prints a program: the waves, assign mode, cutoff and resonance.
QString Describe(const engine::TLibraryPatch &p, bool withDistance)
{
    const dw::TPatch v = dw::PatchFromBlock(p.Data);
    QString line = QString("%1  %2  %3 / %4, %5, cutoff %6, resonance %7")
                       .arg(p.Id)
                       .arg(p.Name)
                       .arg(QString::fromStdString(dw::DisplayText(1, v[1])),
                            QString::fromStdString(dw::DisplayText(8, v[8])),
                            QString::fromStdString(dw::DisplayText(13, v[13])))
                       .arg(v[15])
                       .arg(v[16]);
    if (!p.Tags.isEmpty())
        line += "  [" + p.Tags.join(' ') + ']';
    if (p.Favourite)
        line += "  favourite";
    if (p.Rating > 0)
        line += QString("  %1/5").arg(p.Rating);
    if (withDistance)
        line += QString("  distance %1").arg(p.Distance, 0, 'f', 3);
    return line;
}

std::optional<std::vector<engine::TLibraryPatch>> Search(engine::TPatchLibrary &library, TFindOptions &o)
{
    if (!o.Like.isEmpty()) {
        o.Query.Like = FirstPatchOf(o.Like);
        if (!o.Query.Like)
            return std::nullopt;
    }
    std::vector<engine::TLibraryPatch> found = library.Find(o.Query);
    if (found.empty() && !library.Error().isEmpty() && library.Count() > 0) {
        Fail(library.Error());
        return std::nullopt;
    }
    return found;
}

// find and export alike: the options read, the library opened and searched;
// Status is the exit status to end with when that failed.
struct TSearchRun {
    int Status = 0;
    TFindOptions Options;
    std::vector<engine::TLibraryPatch> Found;
};

TSearchRun RunSearch(int argc, char **argv, int index, bool forExport)
{
    TSearchRun run;
    run.Options = ParseFind(argc, argv, index, forExport);
    if (!run.Options.Ok) {
        run.Status = 2;
        return run;
    }
    engine::TPatchLibrary library;
    std::optional<std::vector<engine::TLibraryPatch>> found;
    if (!OpenLibrary(library) || !(found = Search(library, run.Options))) {
        run.Status = 1;
        return run;
    }
    run.Found = std::move(*found);
    return run;
}

int Find(int argc, char **argv, int index)
{
    const TSearchRun run = RunSearch(argc, argv, index, false);
    for (const engine::TLibraryPatch &p : run.Found)
        std::printf("%s\n", Describe(p, run.Options.Query.Like.has_value()).toLocal8Bit().constData());
    return run.Status;
}

int Export(int argc, char **argv, int index)
{
    const TSearchRun run = RunSearch(argc, argv, index, true);
    if (run.Status != 0)
        return run.Status;
    const std::vector<engine::TLibraryPatch> &found = run.Found;
    if (found.empty())
        return Fail("no patch matches");
    if (found.size() > std::size_t(dw::BankSize))
        return Fail(QString("%1 patches match; a bank holds 64: narrow the search or add --limit 64").arg(found.size()));
    std::vector<dw::TFileProgram> programs;
    for (const engine::TLibraryPatch &p : found)
        programs.push_back({int(programs.size()), p.Data});
    std::string error;
    if (!dw::WriteFileBytes(run.Options.Out.toStdString(), dw::BankFileBytes(0, programs), error))
        return Fail(QString::fromStdString(error));
    std::printf("%zu patches written to %s as programs 11 to %s\n", programs.size(),
                run.Options.Out.toLocal8Bit().constData(), dw::ProgramText(int(programs.size()) - 1).c_str());
    return 0;
}

int Import(int argc, char **argv, int index)
{
    QStringList paths;
    for (int i = index + 1; i < argc; ++i)
        paths << QString::fromLocal8Bit(argv[i]);
    if (paths.isEmpty())
        return Fail("import needs a file or folder", 2);
    engine::TPatchLibrary library;
    if (!OpenLibrary(library))
        return 1;
    const TTerminationSignals termination;
    engine::TPatchImport import(library, paths);
    const bool terminal = isatty(fileno(stderr)) == 1;
    const engine::TImportSummary summary = import.Run([&](int done, int total) {
        if (terminal)
            std::fprintf(stderr, "\rimported %d/%d files", done, total);
        QCoreApplication::processEvents();
        if (termination.Requested())
            import.Cancel();
    });
    if (terminal)
        std::fputc('\n', stderr);
    std::printf("%s\n", summary.Text().toLocal8Bit().constData());
    if (summary.Cancelled)
        return 130;
    return summary.Error.isEmpty() && (summary.FilesRead > 0 || summary.Refused.empty()) ? 0 : 1;
}

bool IsLibraryCommand(const std::string &word) { return word == "import" || word == "find" || word == "export"; }

} // namespace

int LibraryCommandIndex(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--settings" || a == "--from" || a == "--to" || a == "--channel" || a == "--first" || a == "--last") {
            ++i;
            continue;
        }
        if (!a.empty() && a[0] == '-')
            continue;
        return IsLibraryCommand(a) ? i : 0;
    }
    return 0;
}

int RunLibraryCommand(int argc, char **argv, int index)
{
    const std::string command = argv[index];
    if (command == "import")
        return Import(argc, argv, index);
    if (command == "find")
        return Find(argc, argv, index);
    return Export(argc, argv, index);
}

bool KeepReceivedBank(const std::vector<dw::TFileProgram> &programs, const std::string &file)
{
    engine::TPatchLibrary library;
    if (!OpenLibrary(library))
        return false;
    const QString path = QFileInfo(QString::fromStdString(file)).absoluteFilePath();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::vector<engine::TNewSighting> seen;
    for (const dw::TFileProgram &p : programs) {
        const QString program = QString::fromStdString(dw::ProgramText(p.Program));
        seen.push_back({p.Data, engine::TPatchLibrary::NameFromFile(path, p.Program),
                        "received into " + path + ' ' + program, now});
    }
    const engine::TAddResult added = library.Add(seen);
    if (!added.Ok) {
        Fail("the received programs could not be kept in the patch library: " + added.Error);
        return false;
    }
    std::fprintf(stderr, "patch library: %d new, %d already there\n", added.New, added.Duplicates);
    return true;
}
