#include "core/LibraryWindow.h"

#include "core/Dialogs.h"
#include "core/MessageBoxes.h"
#include "dw/Program.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace engine;

namespace {

// Patch k: OSC 1 wave k % 4, cutoff 10 * k, the rest from k.
dw::TDataBlock Block(int k)
{
    dw::TDataBlock b{};
    b[1] = std::uint8_t(k % 4);
    b[15] = std::uint8_t(10 * k % 64);
    b[50] = std::uint8_t(k);
    return b;
}

class LibraryWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FLib.Open());
        std::vector<TNewSighting> seen;
        for (int k = 0; k < 6; ++k)
            seen.push_back({Block(k), QString("patch %1").arg(k), QString("/banks/set%1.syx").arg(k % 2), {}});
        FIds = FLib.Add(seen).Ids;
        SetMessageBoxResponder([this](const TMessageBoxRequest &r) {
            FBoxes.push_back(r);
            return FAnswer;
        });
        FWindow = std::make_unique<TLibraryWindow>(FLib, FEditor, FLibrarian, nullptr);
    }
    void TearDown() override
    {
        FWindow.reset();
        SetMessageBoxResponder({});
        SetFileDialogResponder({});
    }
    void Click(const QString &text)
    {
        for (QPushButton *b : FWindow->findChildren<QPushButton *>()) {
            if (b->text() == text)
                return b->click();
        }
        ADD_FAILURE() << "no button " << text.toStdString();
    }
    QStringList ShownNames()
    {
        QStringList names;
        for (int r = 0; r < FWindow->Model().rowCount(); ++r)
            names << FWindow->Model().Row(r).Name;
        return names;
    }
    void Select(std::initializer_list<int> rows)
    {
        QItemSelectionModel *selection = FWindow->tvPatches->selectionModel();
        selection->clearSelection();
        selection->setCurrentIndex(FWindow->Model().index(*rows.begin(), 0), QItemSelectionModel::NoUpdate);
        for (int r : rows)
            selection->select(FWindow->Model().index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QTemporaryDir FDir;
    TPatchLibrary FLib{FDir.filePath("patches.sqlite")};
    std::vector<std::int64_t> FIds;
    TPortRoles FPorts;
    TEditor FEditor{FPorts};
    TLibrarian FLibrarian{FEditor, FPorts};
    std::unique_ptr<TLibraryWindow> FWindow;
    std::vector<TMessageBoxRequest> FBoxes;
    TMsgResult FAnswer = TMsgResult::No;
};

} // namespace

TEST_F(LibraryWindowTest, SearchFiltersAndLikenessShapeTheTable)
{
    ASSERT_EQ(FWindow->Model().rowCount(), 6);
    FWindow->eSearch->setText("set1");
    QTRY_COMPARE_WITH_TIMEOUT(FWindow->Model().rowCount(), 3, 5000);
    EXPECT_EQ(ShownNames(), (QStringList{"patch 1", "patch 3", "patch 5"}));
    FWindow->eSearch->clear();
    FWindow->cbWave1->setCurrentIndex(FWindow->cbWave1->findData(1));
    EXPECT_EQ(ShownNames(), (QStringList{"patch 1", "patch 5"}));
    FWindow->sCutoffBelow->setValue(20); // cutoff 10 and 50: only 10 is below
    EXPECT_EQ(ShownNames(), (QStringList{"patch 1"}));
    FWindow->cbWave1->setCurrentIndex(0);
    FWindow->sCutoffBelow->setValue(FWindow->sCutoffBelow->minimum()); // any cutoff
    FLib.SetFavourite(FIds[4], true);
    FWindow->cbFavourites->setChecked(true);
    EXPECT_EQ(ShownNames(), (QStringList{"patch 4"}));
    FWindow->cbFavourites->setChecked(false);
    FEditor.LoadBlock(Block(3));
    FWindow->cbLike->setChecked(true); // the edited patch first
    ASSERT_EQ(FWindow->Model().rowCount(), 6);
    EXPECT_EQ(FWindow->Model().Row(0).Name, "patch 3");
    EXPECT_GT(FWindow->Model().Row(5).Distance, FWindow->Model().Row(1).Distance);
}

TEST_F(LibraryWindowTest, EnterAndDoubleClickAudition)
{
    FWindow->show();
    FWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(FWindow.get()));
    Select({2});
    FWindow->tvPatches->setFocus();
    QTest::keyClick(FWindow->tvPatches, Qt::Key_Return);
    EXPECT_EQ(FEditor.CurrentBlock(), dw::FitToRanges(Block(2)));
    const QRect cell = FWindow->tvPatches->visualRect(FWindow->Model().index(4, TLibraryModel::Cutoff));
    // A double click arrives as a click, then a second press that is the double click.
    QTest::mouseClick(FWindow->tvPatches->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(FWindow->tvPatches->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(FEditor.CurrentBlock(), dw::FitToRanges(Block(4)));
    FEditor.Undo(); // an audition is a step like any loaded patch
    EXPECT_EQ(FEditor.CurrentBlock(), dw::FitToRanges(Block(2)));
}

TEST_F(LibraryWindowTest, EditsInPlaceReachTheLibraryAndARefusalIsTold)
{
    TLibraryModel &m = FWindow->Model();
    EXPECT_TRUE(m.setData(m.index(0, TLibraryModel::Name), "Big Brass", Qt::EditRole));
    EXPECT_TRUE(m.setData(m.index(0, TLibraryModel::Tags), "brass  loud", Qt::EditRole));
    EXPECT_TRUE(m.setData(m.index(0, TLibraryModel::Favourite), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(m.setData(m.index(0, TLibraryModel::Rating), 5, Qt::EditRole));
    EXPECT_TRUE(FBoxes.empty());
    EXPECT_FALSE(m.setData(m.index(0, TLibraryModel::Rating), 9, Qt::EditRole));
    EXPECT_EQ(FBoxes.size(), 1u);
    const TLibraryPatch stored = FLib.Get(FIds[0]).value();
    EXPECT_EQ(stored.Name, "Big Brass");
    EXPECT_EQ(stored.Tags, (QStringList{"brass", "loud"}));
    EXPECT_TRUE(stored.Favourite);
    EXPECT_EQ(stored.Rating, 5);
    EXPECT_EQ(m.data(m.index(0, TLibraryModel::Name), Qt::DisplayRole).toString(), "Big Brass");
}

TEST_F(LibraryWindowTest, DeleteAsksOnce)
{
    Select({1, 2});
    EXPECT_FALSE(FWindow->DeleteSelection());
    EXPECT_EQ(FLib.Count(), 6);
    FAnswer = TMsgResult::Yes;
    EXPECT_TRUE(FWindow->DeleteSelection());
    ASSERT_EQ(FBoxes.size(), 2u); // one question each time, none more
    EXPECT_TRUE(FBoxes[1].Text.contains("2 patches"));
    EXPECT_EQ(ShownNames(), (QStringList{"patch 0", "patch 3", "patch 4", "patch 5"}));
}

TEST_F(LibraryWindowTest, ABankFromTheLibraryIsSavedWithItsProgramsAndSendingNeedsASynthesizer)
{
    Select({5, 0, 3});
    EXPECT_EQ(FWindow->AddSelectionToBank(), 3);
    const QString path = FDir.filePath("mine.syx");
    QString answer; // cancelled first
    SetFileDialogResponder([&answer](const TFileDialogRequest &) { return answer; });
    Click("Save Bank...");
    EXPECT_FALSE(QFile::exists(path));
    answer = path;
    Click("Save Bank...");
    const dw::TSyxRead read = dw::ReadSyxFile(path.toStdString());
    ASSERT_TRUE(read.Ok) << read.Error;
    ASSERT_EQ(read.File.Programs.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(read.File.Programs[std::size_t(k)].Program, k);
        EXPECT_EQ(read.File.Programs[std::size_t(k)].Data, Block(std::array{0, 3, 5}[std::size_t(k)]));
    }
    FAnswer = TMsgResult::Yes;
    EXPECT_FALSE(FWindow->SendBank()); // no channel: the librarian does not start
    EXPECT_TRUE(FWindow->lStatus->text().contains("cannot be sent"));
    // Full: 64 programs and no more.
    for (int round = 0; round < 21; ++round)
        FWindow->AddSelectionToBank();
    EXPECT_EQ(FWindow->AddSelectionToBank(), 0);
    EXPECT_TRUE(FWindow->lStatus->text().contains("full"));
    EXPECT_TRUE(std::all_of(FWindow->Bank().begin(), FWindow->Bank().end(), [](const auto &p) { return p.has_value(); }));
}

TEST_F(LibraryWindowTest, ImportRunsInTheBackgroundAndShowsItsSummary)
{
    QSignalSpy done(FWindow.get(), &TLibraryWindow::importFinished);
    QDir().mkpath(FDir.filePath("in"));
    ASSERT_TRUE(QFile::copy(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx", FDir.filePath("in/bank_a.syx")));
    QFile junk(FDir.filePath("in/nothing.syx"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("not a patch") > 0);
    junk.close();
    SetFileDialogResponder([this](const TFileDialogRequest &r) { return r.ChooseFolder ? FDir.filePath("in") : QString(); });
    Click("Import &Folder...");
    ASSERT_TRUE(done.wait(60000));
    EXPECT_EQ(done.at(0).at(0).value<TImportSummary>().NewPatches, 64);
    EXPECT_EQ(FWindow->Model().rowCount(), 70);
    ASSERT_FALSE(FBoxes.empty());
    EXPECT_TRUE(FBoxes.back().Text.contains("nothing.syx"));
}

TEST_F(LibraryWindowTest, AnUnreadableLibraryIsMovedAsideOnlyWhenTheUserAgrees)
{
    const QString path = FDir.filePath("unreadable.sqlite");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(QByteArray(4096, 'q')) == 4096);
    f.close();
    TPatchLibrary lib(path);
    ASSERT_FALSE(lib.Open());
    TLibraryWindow window(lib, FEditor, FLibrarian, nullptr);
    EXPECT_FALSE(window.lProblem->isHidden());
    EXPECT_TRUE(window.lProblem->text().contains("cannot be read"));
    window.bMoveAside->click();
    EXPECT_EQ(lib.State(), TPatchLibrary::TState::Corrupt);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(4096, 'q'));
    f.close();
    FAnswer = TMsgResult::Yes;
    window.bMoveAside->click();
    EXPECT_EQ(lib.State(), TPatchLibrary::TState::Open);
    EXPECT_TRUE(window.lProblem->isHidden());
    EXPECT_EQ(QDir(FDir.path()).entryList({"unreadable.sqlite.unreadable-*"}).size(), 1);
}
