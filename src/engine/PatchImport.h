#pragma once
// Importing files and folders into the patch library. A folder is read with
// everything below it. Every file stands alone: a broken one is refused with
// its reason and the import goes on. The work is committed in slices of whole
// files, so a cancel or a crash keeps every slice before it; the summary
// counts files read, new patches, duplicates and refusals.
// TPatchImport does the work in slices on the thread that owns the library;
// TImportJob runs one on a thread of its own (with its own connection), for
// the window.
// Thread: TPatchImport: the library's thread, except Cancel() (any thread).
// TImportJob: the thread that made it; its signals arrive there.

#include "engine/PatchLibrary.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QThread;

namespace engine {

struct TImportRefusal {
    QString Path;
    QString Reason;
};

struct TImportSummary {
    int FilesRead = 0;       // files that gave at least one patch
    int FilesOther = 0;      // files in folders that are not patch files by name, left alone
    int NewPatches = 0;
    int Duplicates = 0;
    int SkippedMessages = 0; // other devices' messages in files that were read
    std::vector<TImportRefusal> Refused;
    bool Cancelled = false;
    QString Error; // the library refused a slice: the import stopped there

    // A few lines for the user.
    QString Text() const;
};

// In folders only these are read; a file named on its own is always tried.
bool IsPatchFileName(const QString &path);

class TPatchImport {
public:
    TPatchImport(TPatchLibrary &library, const QStringList &paths);

    // Reads and commits one slice. False when nothing is left (done,
    // cancelled or failed).
    bool Step();
    // Every slice, calling `progress` after each.
    TImportSummary Run(const std::function<void(int done, int total)> &progress = {});
    void Cancel() { FCancel = true; }

    int FilesDone() const { return int(FNext); }
    int FilesTotal() const { return int(FFiles.size()); }
    const TImportSummary &Summary() const { return FSummary; }
    // Patches (or files) per slice; a slice is also cut at a file's end once
    // it holds this many patches.
    void SetSliceSize(int patches) { FSlicePatches = patches; }

private:
    void Collect(const QStringList &paths);
    void ReadFile(const QString &path, std::vector<TNewSighting> &slice);

    TPatchLibrary &FLibrary;
    std::vector<QString> FFiles;
    std::size_t FNext = 0;
    int FSlicePatches = 2000;
    std::atomic<bool> FCancel{false};
    bool FFinished = false;
    TImportSummary FSummary;
};

class TImportJob : public QObject {
    Q_OBJECT
public:
    TImportJob(QString libraryPath, QStringList paths, QObject *parent = nullptr);
    ~TImportJob() override;

    void Start();
    void Cancel();
    bool Running() const { return FThread != nullptr; }

signals:
    void progress(int done, int total);
    void finished(const engine::TImportSummary &summary);

private:
    void Work();

    QString FLibraryPath;
    QStringList FPaths;
    QThread *FThread = nullptr;
    std::atomic<bool> FCancel{false};
};

} // namespace engine

Q_DECLARE_METATYPE(engine::TImportSummary)
