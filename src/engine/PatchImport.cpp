#include "engine/PatchImport.h"

#include "dw/PatchArchive.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <algorithm>

namespace engine {
namespace {

QString Count(int n, const QString &one, const QString &many = {})
{
    return QString::number(n) + ' ' + (n == 1 ? one : many.isEmpty() ? one + 's' : many);
}

} // namespace

QString TImportSummary::Text() const
{
    QString text = Count(FilesRead, "file") + " read: " + Count(NewPatches, "new patch", "new patches") + ", " +
                   QString::number(Duplicates) + " already in the library.";
    if (SkippedMessages > 0)
        text += "\n" + Count(SkippedMessages, "message") + " for other devices skipped.";
    if (FilesOther > 0)
        text += "\n" + Count(FilesOther, "other file") + " left alone.";
    if (!Refused.empty()) {
        text += "\n" + Count(int(Refused.size()), "file") + " refused:";
        for (const TImportRefusal &r : Refused)
            text += "\n  " + r.Path + ": " + r.Reason;
    }
    if (Cancelled)
        text += "\nCancelled: what was read before the cancel is kept.";
    if (!Error.isEmpty())
        text += "\nThe import stopped: " + Error;
    return text;
}

bool IsPatchFileName(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == "syx" || suffix == "dw8" || suffix == "sysex" || suffix == "bin";
}

TPatchImport::TPatchImport(TPatchLibrary &library, const QStringList &paths) : FLibrary(library) { Collect(paths); }

void TPatchImport::Collect(const QStringList &paths)
{
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            FSummary.Refused.push_back({path, "There is no such file or folder."});
            continue;
        }
        if (!info.isDir()) {
            FFiles.push_back(path);
            continue;
        }
        std::vector<QString> inFolder;
        QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            if (IsPatchFileName(file))
                inFolder.push_back(file);
            else
                ++FSummary.FilesOther;
        }
        // A stable order, so that names come from the same first sighting every time.
        std::sort(inFolder.begin(), inFolder.end());
        FFiles.insert(FFiles.end(), inFolder.begin(), inFolder.end());
    }
}

void TPatchImport::ReadFile(const QString &path, std::vector<TNewSighting> &slice)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (!dw::ReadFileBytes(path.toStdString(), bytes, error)) {
        FSummary.Refused.push_back({path, QString::fromStdString(error)});
        return;
    }
    const dw::TArchiveRead read = dw::ReadArchive(bytes);
    if (!read.Ok) {
        FSummary.Refused.push_back({path, QString::fromStdString(read.Error)});
        return;
    }
    ++FSummary.FilesRead;
    FSummary.SkippedMessages += read.Skipped;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString base = QFileInfo(path).completeBaseName();
    const bool single = read.Patches.size() == 1;
    for (std::size_t k = 0; k < read.Patches.size(); ++k) {
        const dw::TArchivePatch &p = read.Patches[k];
        QString where;
        if (p.Program >= 0)
            where = QString::fromStdString(dw::ProgramText(p.Program));
        else if (!single)
            where = QString("#%1").arg(k + 1);
        QString name = QString::fromStdString(p.Name);
        if (name.isEmpty())
            name = where.isEmpty() ? base : base + ' ' + where;
        slice.push_back({p.Data, name, where.isEmpty() ? path : path + ' ' + where, now});
    }
}

bool TPatchImport::Step()
{
    if (FFinished)
        return false;
    std::vector<TNewSighting> slice;
    while (FNext < FFiles.size() && int(slice.size()) < FSlicePatches && !FCancel)
        ReadFile(FFiles[FNext++], slice);
    if (!slice.empty()) {
        const TAddResult added = FLibrary.Add(slice);
        if (!added.Ok) {
            FSummary.Error = added.Error;
            FFinished = true;
            return false;
        }
        FSummary.NewPatches += added.New;
        FSummary.Duplicates += added.Duplicates;
    }
    if (FCancel && FNext < FFiles.size())
        FSummary.Cancelled = true;
    FFinished = FCancel || FNext >= FFiles.size();
    return !FFinished;
}

TImportSummary TPatchImport::Run(const std::function<void(int done, int total)> &progress)
{
    bool more = true;
    while (more) {
        more = Step();
        if (progress)
            progress(FilesDone(), FilesTotal());
    }
    return FSummary;
}

TImportJob::TImportJob(QString libraryPath, QStringList paths, QObject *parent)
    : QObject(parent), FLibraryPath(std::move(libraryPath)), FPaths(std::move(paths))
{
    qRegisterMetaType<engine::TImportSummary>();
}

TImportJob::~TImportJob()
{
    Cancel();
    if (FThread != nullptr) {
        FThread->wait();
        delete FThread;
    }
}

void TImportJob::Start()
{
    if (FThread != nullptr)
        return;
    FThread = QThread::create([this] { Work(); });
    FThread->start();
}

void TImportJob::Cancel() { FCancel = true; }

// On the worker thread: its own connection to the library file.
void TImportJob::Work()
{
    TImportSummary summary;
    {
        TPatchLibrary library(FLibraryPath);
        if (!library.Open()) {
            summary.Error = library.Error();
        } else {
            TPatchImport import(library, FPaths);
            bool more = true;
            while (more) {
                if (FCancel)
                    import.Cancel();
                more = import.Step();
                const int done = import.FilesDone(), total = import.FilesTotal();
                QMetaObject::invokeMethod(this, [this, done, total] { emit progress(done, total); },
                                          Qt::QueuedConnection);
            }
            summary = import.Summary();
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, summary] {
            FThread->wait();
            delete FThread;
            FThread = nullptr;
            emit finished(summary);
        },
        Qt::QueuedConnection);
}

} // namespace engine
