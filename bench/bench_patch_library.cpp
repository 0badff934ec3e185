// The patch library against a generated archive: 100,000 patches in 10,000
// bank files (some patches in several files), made here at run time and
// removed afterwards. Import rate, with the floor of merely reading and
// parsing the same files in the same run; resident memory through the
// import; search and likeness sort over the whole library; the file size.

#include "dw/PatchArchive.h"
#include "dw/Params.h"
#include "dw/SyxFile.h"
#include "engine/PatchImport.h"
#include "engine/PatchLibrary.h"

#include "QtBenchMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFiles = 10000;
constexpr int kPerFile = 10;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double ResidentMb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0;
}

// Patches within the parameters' ranges; one in twenty repeats an earlier one.
void MakeArchive(const QString &root)
{
    std::mt19937 random(8000);
    std::vector<dw::TDataBlock> made;
    made.reserve(kFiles * kPerFile);
    for (int f = 0; f < kFiles; ++f) {
        std::vector<dw::TFileProgram> bank;
        for (int p = 0; p < kPerFile; ++p) {
            dw::TDataBlock b{};
            if (!made.empty() && random() % 20 == 0) {
                b = made[random() % made.size()];
            } else {
                for (int row = 0; row < dw::ParamCount; ++row)
                    b[std::size_t(dw::ParamDef(row).ParamNo)] = std::uint8_t(random() % (dw::ParamDef(row).MaxValue + 1));
            }
            made.push_back(b);
            bank.push_back({p, b});
        }
        const QString dir = QString("%1/cd%2").arg(root).arg(f / 500, 2, 10, QChar('0'));
        QDir().mkpath(dir);
        std::string error;
        dw::WriteFileBytes(QString("%1/bank%2.syx").arg(dir).arg(f, 5, 10, QChar('0')).toStdString(),
                           dw::BankFileBytes(f % 16, bank), error);
    }
}

// Reading and parsing every file, nothing stored: what no import can beat.
double ParseFloor(const QString &root, int &patches)
{
    const Clock::time_point t0 = Clock::now();
    patches = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    std::vector<QString> files;
    while (it.hasNext())
        files.push_back(it.next());
    std::sort(files.begin(), files.end());
    for (const QString &f : files) {
        std::vector<std::uint8_t> bytes;
        std::string error;
        dw::ReadFileBytes(f.toStdString(), bytes, error);
        patches += int(dw::ReadArchive(bytes).Patches.size());
    }
    return Seconds(t0);
}

template <typename F> double MedianMs(F &&f, int runs = 15)
{
    std::vector<double> ms;
    for (int k = 0; k < runs; ++k) {
        const Clock::time_point t0 = Clock::now();
        f();
        ms.push_back(Seconds(t0) * 1000);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

void BM_PatchLibraryArchive(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString archive = dir.filePath("archive"), path = dir.filePath("patches.sqlite");
    MakeArchive(archive);
    for (auto _ : state) {
        int parsed = 0;
        const double floor = ParseFloor(archive, parsed);
        const double rssStart = ResidentMb();
        double rssFirstSlice = 0, rssPeak = 0;
        engine::TPatchLibrary library(path);
        library.Open();
        engine::TPatchImport import(library, {archive});
        const Clock::time_point t0 = Clock::now();
        const engine::TImportSummary summary = import.Run([&](int, int) {
            const double rss = ResidentMb();
            if (rssFirstSlice == 0)
                rssFirstSlice = rss;
            rssPeak = std::max(rssPeak, rss);
        });
        const double importS = Seconds(t0);

        engine::TPatchLibrary reader(path); // as the window opens it
        reader.Open();
        Clock::time_point t1 = Clock::now();
        const std::size_t all = reader.Find({}).size();
        const double firstFindMs = Seconds(t1) * 1000;
        engine::TPatchQuery words;
        words.Words = "cd07 bank0361";
        const double searchMs = MedianMs([&] { benchmark::DoNotOptimize(reader.Find(words)); });
        engine::TPatchQuery filtered;
        filtered.Params = {{1, 3, 3}, {15, 0, 20}};
        const double filterMs = MedianMs([&] { benchmark::DoNotOptimize(reader.Find(filtered)); });
        engine::TPatchQuery like;
        like.Like = reader.Find(words).front().Data;
        like.Limit = 100; // as the window shows the nearest ones
        const double likeMs = MedianMs([&] { benchmark::DoNotOptimize(reader.Find(like)); });

        const int patches = summary.NewPatches + summary.Duplicates;
        state.counters["files"] = summary.FilesRead;
        state.counters["patches"] = patches;
        state.counters["new_patches"] = summary.NewPatches;
        state.counters["in_library"] = double(all);
        state.counters["import_s"] = importS;
        state.counters["import_per_s"] = patches / importS;
        state.counters["parse_floor_s"] = floor;
        state.counters["import_over_floor"] = importS / floor;
        state.counters["first_find_ms"] = firstFindMs;
        state.counters["search_ms"] = searchMs;
        state.counters["filter_ms"] = filterMs;
        state.counters["like_ms"] = likeMs;
        state.counters["rss_start_mb"] = rssStart;
        state.counters["rss_first_slice_mb"] = rssFirstSlice;
        state.counters["rss_peak_mb"] = rssPeak;
        state.counters["rss_growth_mb"] = rssPeak - rssFirstSlice;
        state.counters["db_mb"] = double(QFileInfo(path).size() + QFileInfo(path + "-wal").size()) / 1048576.0;
        state.counters["parsed"] = parsed;
    }
}
BENCHMARK(BM_PatchLibraryArchive)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv) { return RunQtBenchmarks(argc, argv); }
