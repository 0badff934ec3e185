// The library window as the manual shows it: the real bank imported, a few
// patches named, tagged and rated, sorted by likeness, a bank begun. Saved as
// docs/tavrelk-patch-library.png by tools/screenshots (TAVRELK_SCREENSHOT_DIR).

#include "core/LibraryWindow.h"

#include "core/MessageBoxes.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace engine;

TEST(LibraryScreenshot, TheWindowDrawsItsRows)
{
    QTemporaryDir dir;
    TPatchLibrary lib(dir.filePath("patches.sqlite"));
    ASSERT_TRUE(lib.Open());
    QDir().mkpath(dir.filePath("DW-8000"));
    QFile::copy(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx", dir.filePath("DW-8000/bank_a.syx"));
    TPatchImport(lib, {dir.filePath("DW-8000")}).Run();
    const std::vector<TLibraryPatch> all = lib.Find({});
    ASSERT_EQ(all.size(), 64u);
    const struct {
        int index;
        const char *name, *tags;
        int rating;
        bool favourite;
    } edits[] = {{0, "Brass section", "brass warm", 4, true}, {42, "Glass bell", "bell bright", 5, true},
                 {9, "Slow strings", "pad strings", 3, false}, {27, "Dist lead", "lead", 2, false}};
    for (const auto &e : edits) {
        const std::int64_t id = all[std::size_t(e.index)].Id;
        lib.Rename(id, e.name);
        lib.SetTags(id, QString(e.tags).split(' '));
        lib.SetRating(id, e.rating);
        lib.SetFavourite(id, e.favourite);
    }
    TPortRoles ports;
    TEditor editor(ports);
    TLibrarian librarian(editor, ports);
    editor.LoadBlock(all[0].Data);
    TLibraryWindow window(lib, editor, librarian, nullptr);
    window.resize(1400, 640);
    window.cbLike->setChecked(true);
    window.tvPatches->selectRow(0);
    window.tvPatches->selectionModel()->select(window.Model().index(1, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.AddSelectionToBank();
    window.show();
    const QImage shot = window.grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // The envelope sketches and text draw something other than the background.
    const QRect cell = window.tvPatches->visualRect(window.Model().index(0, TLibraryModel::VcaEnv));
    const QPoint origin = window.tvPatches->viewport()->mapTo(&window, cell.topLeft());
    const QImage sketch = shot.copy(QRect(origin, cell.size()));
    std::set<QRgb> colours;
    for (int y = 0; y < sketch.height(); ++y)
        for (int x = 0; x < sketch.width(); ++x)
            colours.insert(sketch.pixel(x, y));
    EXPECT_GT(colours.size(), 2u);
    const QString out = qEnvironmentVariable("TAVRELK_SCREENSHOT_DIR");
    if (!out.isEmpty()) {
        QDir().mkpath(out);
        EXPECT_TRUE(shot.save(QDir(out).filePath("tavrelk-patch-library.png")));
    }
}
