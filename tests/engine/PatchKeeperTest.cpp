#include "engine/PatchKeeper.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace engine;

namespace {

dw::TDataBlock Block(int k)
{
    dw::TDataBlock b{};
    b[50] = std::uint8_t(k);
    return b;
}

} // namespace

TEST(PatchKeeper, KeepsFilesAndTheUnitsProgramsOnceEach)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("patches.sqlite");
    TPatchKeeper keeper(path);
    EXPECT_FALSE(QFile::exists(path)); // nothing seen, nothing written
    keeper.KeepFile(dir.filePath("bank_a.syx"), {{22, Block(1)}, {0, Block(2)}}, false);
    keeper.KeepFile(dir.filePath("lead.syx"), {{0, Block(3)}}, true);
    keeper.KeepFromUnit(Block(1), 5);
    keeper.KeepEdit(Block(4));
    TPatchLibrary &lib = keeper.Library();
    QStringList names;
    for (const TLibraryPatch &p : lib.Find({}))
        names << p.Name;
    ASSERT_EQ(names.size(), 4);
    EXPECT_EQ(names.mid(0, 3), (QStringList{"bank_a 37", "bank_a 11", "lead"}));
    EXPECT_TRUE(names[3].startsWith("Edit 2")) << names[3].toStdString();
    const std::vector<TSighting> seen = lib.Sightings(lib.Find({}).front().Id);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].Source, "DW-8000 program 16");
}

TEST(PatchKeeper, AnUnreadableLibraryIsToldOnceAndLeftAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("patches.sqlite");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(QByteArray(2048, 'k')) == 2048);
    f.close();
    TPatchKeeper keeper(path);
    QSignalSpy problems(&keeper, &TPatchKeeper::problem);
    keeper.KeepFromUnit(Block(1), 0);
    keeper.KeepFromUnit(Block(2), 1);
    ASSERT_EQ(problems.size(), 1);
    EXPECT_TRUE(problems[0][0].toString().contains("cannot be read"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(2048, 'k'));
}
