// Every patch the editor sees reaches the patch library: the dump fetched at
// start, an edited patch when the next fetch replaces it.

#include "EditorFixture.h"

#include "core/Library.h"
#include "core/LibraryWindow.h"
#include "engine/PatchLibrary.h"

#include <QAction>

namespace {

class PatchKeeping : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        FOldDataHome = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
    }
    void TearDown() override
    {
        EditorFixture::TearDown();
        qputenv("XDG_DATA_HOME", FOldDataHome);
    }
    QStringList Names()
    {
        engine::TPatchLibrary lib(engine::TPatchLibrary::DefaultPath());
        QStringList names;
        if (lib.Open()) {
            for (const engine::TLibraryPatch &p : lib.Find({}))
                names << p.Name;
        }
        return names;
    }
    QByteArray FOldDataHome;
};

} // namespace

TEST_F(PatchKeeping, FetchedAndEditedPatchesAreKeptOnce)
{
    StartOnSimulator();
    ASSERT_TRUE(WaitFor([&] { return Names().size() == 1; }));
    EXPECT_TRUE(Names()[0].startsWith(QStringLiteral("Program ")) || Names()[0].startsWith(QStringLiteral("Fetched ")))
        << Names()[0].toStdString();

    main->Editor().RandomPatch();
    const dw::TDataBlock edited = main->Editor().CurrentBlock();
    main->Editor().RequestPatch(); // the unit's patch replaces the edit
    ASSERT_TRUE(WaitFor([&] { return Names().size() == 2; }, 30000));
    EXPECT_TRUE(Names()[1].startsWith(QStringLiteral("Edit "))) << Names()[1].toStdString();
    engine::TPatchLibrary lib(engine::TPatchLibrary::DefaultPath());
    ASSERT_TRUE(lib.Open());
    EXPECT_EQ(lib.Find({}).back().Data, edited);
    // The same program fetched twice is one patch, seen in one place.
    EXPECT_EQ(lib.Sightings(lib.Find({}).front().Id).size(), 1u);

    main->Library->PatchLibraryAction->trigger();
    auto *window = main->findChild<TLibraryWindow *>();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Model().rowCount(), 2);
}
