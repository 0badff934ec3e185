// The librarian in the window against the simulated DW-8000: files, write
// to a program, compare, and bank transfers with their faults.

#include "EditorFixture.h"

#include "core/Dialogs.h"
#include "core/Library.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"

#include <QAction>
#include <QLabel>
#include <QToolButton>
#include <QLayout>
#include <QTabBar>
#include <QTabWidget>
#include <QProgressDialog>
#include <QPushButton>

#include <fstream>
#include <iterator>

namespace {

using Patch = SimDw8000::Patch;

std::vector<std::uint8_t> ReadAll(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> RealBank()
{
    return ReadAll(QStringLiteral(TAVRELK_TEST_DATA_DIR "/KorgDW8000_bank_a.syx"));
}

Patch AsPatch(const dw::TDataBlock &b)
{
    Patch p{};
    std::copy(b.begin(), b.end(), p.begin());
    return p;
}

class LibraryFixture : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        SetFileDialogResponder([this](const TFileDialogRequest &r) {
            fileRequests.push_back(r);
            return nextFile;
        });
        SetChoiceResponder([this](const TChoiceRequest &r) {
            choices.push_back(r);
            if (choiceAnswers.empty())
                return r.Current;
            const int a = choiceAnswers.front();
            choiceAnswers.pop_front();
            return a;
        });
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; })); // the start-up fetch shown
        Settle();
        rig->Synth().SetWriteTime(std::chrono::milliseconds(2));
    }

    void TearDown() override
    {
        SetFileDialogResponder({});
        SetChoiceResponder({});
        EditorFixture::TearDown();
    }

    TLibraryMenu &Library() { return *main->Library; }
    QString Status() { return Library().Status->text(); }
    bool Idle() { return !Library().Librarian().Busy(); }

    // A bank of distinct programs in the simulator.
    void FillSynth()
    {
        for (int p = 0; p < 64; ++p) {
            Patch patch{};
            for (int i = 0; i < 51; ++i)
                patch[std::size_t(i)] = SimDw8000::FitToParameter(i, (p * 7 + i * 3) % 64);
            rig->Synth().SetProgramPatch(p, patch);
        }
    }

    QString nextFile;
    std::vector<TFileDialogRequest> fileRequests;
    std::vector<TChoiceRequest> choices;
    std::deque<int> choiceAnswers;
};

} // namespace

TEST_F(LibraryFixture, ReceiveBankIsByteExactAndSelectsTheProgramAgain)
{
    FillSynth();
    rig->Synth().SelectProgram(21); // the editor sees the program change
    ASSERT_TRUE(WaitFor([&] { return main->Editor().Program() == 21; }));
    Settle();
    nextFile = dir.filePath(QStringLiteral("received"));
    Library().ReceiveBank();
    ASSERT_NE(Library().Progress(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
    EXPECT_TRUE(Status().contains(QStringLiteral("64 programs received"))) << Status().toStdString();
    const std::vector<std::uint8_t> file = ReadAll(nextFile + QStringLiteral(".syx"));
    const dw::TSyxRead read = dw::ParseSyx(file);
    ASSERT_TRUE(read.Ok) << read.Error;
    ASSERT_EQ(read.File.Programs.size(), 64u);
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(AsPatch(read.File.Programs[std::size_t(p)].Data), rig->Synth().ProgramPatch(p)) << p;
    EXPECT_EQ(file.size(), 4096u);
    Settle();
    EXPECT_EQ(rig->Synth().Program(), 21);
    EXPECT_EQ(rig->Synth().CurrentPatch(), AsPatch(main->Editor().CurrentBlock())); // what is shown sounds
    EXPECT_EQ(Setting("Library", "Folder"), dir.path());
}

TEST_F(LibraryFixture, SendBankWritesEveryProgramAfterAskingOnce)
{
    const std::vector<std::uint8_t> bank = RealBank();
    const QString path = dir.filePath(QStringLiteral("bank.syx"));
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(bank.data()), 4096);
    nextFile = path;
    answers.push_back(TMsgResult::Yes);
    Library().SendBank();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Buttons, TMsgButtons::YesNo);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("11 to 88")));
    ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
    EXPECT_TRUE(Status().contains(QStringLiteral("64 programs written and confirmed"))) << Status().toStdString();
    const dw::TSyxRead read = dw::ParseSyx(bank);
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(rig->Synth().ProgramPatch(p), AsPatch(read.File.Programs[std::size_t(p)].Data)) << p;
    EXPECT_EQ(rig->Synth().WritesTaken(), 64);
}

TEST_F(LibraryFixture, SendBankAnsweredNoWritesNothing)
{
    const QString path = dir.filePath(QStringLiteral("bank.syx"));
    const std::vector<std::uint8_t> bank = RealBank();
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(bank.data()), 4096);
    nextFile = path;
    choiceAnswers = {8, 15}; // 21..28
    answers.push_back(TMsgResult::No);
    Library().SendBank();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("21 to 28")));
    Settle();
    EXPECT_EQ(rig->Synth().WritesTaken(), 0);
}

TEST_F(LibraryFixture, WriteProtectIsReportedAndNothingIsWritten)
{
    rig->Synth().SetWriteProtect(true);
    const Patch before = rig->Synth().ProgramPatch(3);
    main->Editor().MoveParameter(15, 40);
    choiceAnswers = {3};
    Library().WriteProgram();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_TRUE(SawBox(QLatin1String(engine::WriteRefusedText)));
    EXPECT_EQ(Status(), QLatin1String(engine::WriteRefusedText));
    EXPECT_EQ(rig->Synth().ProgramPatch(3), before);
}

TEST_F(LibraryFixture, WriteToProgramSaysSoOnlyWithTheConfirmation)
{
    main->Editor().MoveParameter(15, 40);
    choiceAnswers = {9};
    Library().WriteProgram();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_EQ(Status(), QStringLiteral("Program 22 written: the DW-8000 confirmed it."));
    EXPECT_EQ(rig->Synth().ProgramPatch(9)[15], 40);

    // A dropped answer: nothing confirmed, however the synthesizer fared.
    Library().Librarian().SetTimings({std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
    rig->Synth().DropNextAnswer();
    choiceAnswers = {10};
    Library().WriteProgram();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_TRUE(Status().contains(QStringLiteral("nothing was confirmed"))) << Status().toStdString();
    EXPECT_FALSE(Status().contains(QStringLiteral("written:")));

    // An answer later than the time-out is not taken for the next write.
    rig->Synth().AnswerNextRequestLate(std::chrono::milliseconds(500));
    choiceAnswers = {11};
    Library().WriteProgram();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    EXPECT_TRUE(Status().contains(QStringLiteral("nothing was confirmed")));
    Settle(400);
    EXPECT_TRUE(Status().contains(QStringLiteral("nothing was confirmed")));
}

TEST_F(LibraryFixture, LateDumpWithinTheTimeOutAndADroppedOneAreBothReceived)
{
    FillSynth();
    Library().Librarian().SetTimings({std::chrono::milliseconds(400), std::chrono::milliseconds(400)});
    rig->Synth().AnswerNextRequestLate(std::chrono::milliseconds(150));
    nextFile = dir.filePath(QStringLiteral("late.syx"));
    Library().ReceiveBank();
    // Drop one answer along the way: the one retry fetches it.
    ASSERT_TRUE(WaitFor([&] { return Library().Progress() && Library().Progress()->value() >= 10; }));
    rig->Synth().DropNextAnswer();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }, 20000));
    const dw::TSyxRead read = dw::ParseSyx(ReadAll(nextFile));
    ASSERT_TRUE(read.Ok) << Status().toStdString();
    for (int p = 0; p < 64; ++p)
        EXPECT_EQ(AsPatch(read.File.Programs[std::size_t(p)].Data), rig->Synth().ProgramPatch(p)) << p;
}

TEST_F(LibraryFixture, CancelInTheMiddleLeavesTheSynthOnItsProgramAndReportsOnlyConfirmedWrites)
{
    rig->Synth().SelectProgram(5);
    ASSERT_TRUE(WaitFor([&] { return main->Editor().Program() == 5; }));
    Settle();
    rig->Synth().SetWriteTime(std::chrono::milliseconds(20));
    const std::vector<Patch> before = [&] {
        std::vector<Patch> v;
        for (int p = 0; p < 64; ++p)
            v.push_back(rig->Synth().ProgramPatch(p));
        return v;
    }();
    const QString path = dir.filePath(QStringLiteral("bank.syx"));
    const std::vector<std::uint8_t> bank = RealBank();
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(bank.data()), 4096);
    nextFile = path;
    answers.push_back(TMsgResult::Yes);
    Library().SendBank();
    ASSERT_TRUE(WaitFor([&] { return Library().Progress() && Library().Progress()->value() >= 10; }));
    // A controller move meanwhile is refused, with a note.
    rig->Controller().TurnEncoder(44, 99, 0);
    ASSERT_TRUE(WaitFor([&] { return Status().contains(QStringLiteral("ignored")); }));
    QPushButton *cancel = Library().Progress()->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    Settle(200);
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Cancelled at program"))) << Status().toStdString();
    EXPECT_EQ(rig->Synth().Program(), 5);
    const dw::TSyxRead read = dw::ParseSyx(bank);
    // "written: N programs before it, 11 to X": those are written; none past the one cancelled.
    const int taken = rig->Synth().WritesTaken();
    EXPECT_GE(taken, 10);
    EXPECT_LT(taken, 64);
    for (int p = taken; p < 64; ++p)
        EXPECT_EQ(rig->Synth().ProgramPatch(p), before[std::size_t(p)]) << p;
    for (int p = 0; p < taken - 1; ++p)
        EXPECT_EQ(rig->Synth().ProgramPatch(p), AsPatch(read.File.Programs[std::size_t(p)].Data)) << p;
    EXPECT_NE(main->Editor().Patch()[15], 99); // the move never applied
}

TEST_F(LibraryFixture, SaveThenLoadRewritesTheChannelAndNamesOutOfRangeRows)
{
    main->Editor().MoveParameter(15, 33);
    nextFile = dir.filePath(QStringLiteral("patch"));
    main->bSavePatchClick();
    const std::vector<std::uint8_t> saved = ReadAll(nextFile + QStringLiteral(".syx"));
    ASSERT_EQ(saved.size(), 57u);
    EXPECT_EQ(saved[2], 0x30);
    EXPECT_EQ(saved[5 + 15], 33);

    // The same patch from channel 6, with a stray byte in the octave.
    std::vector<std::uint8_t> other = saved;
    other[2] = 0x35;
    other[5] = 0x0C;
    other[5 + 15] = 20;
    const QString otherPath = dir.filePath(QStringLiteral("other.syx"));
    std::ofstream(otherPath.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(other.data()), 57);
    service->ClearSentMessages();
    nextFile = otherPath;
    Library().LoadPatch();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("OSC 1 octave (12, highest 2)"))) << boxes[0].Text.toStdString();
    EXPECT_EQ(main->Editor().Patch()[0], 0);
    EXPECT_EQ(main->Editor().Patch()[15], 20);
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch()[15] == 20; }));
    const auto toSynth = SentTo(Synth());
    ASSERT_FALSE(toSynth.empty());
    EXPECT_EQ(toSynth.back().bytes.size(), 57u);
    EXPECT_EQ(toSynth.back().bytes[2], 0x30); // on the editor's channel
    EXPECT_TRUE(WaitFor([&] { return rig->Controller().Value(0, 44) == 20; })); // echoed

    // A truncated file changes nothing.
    boxes.clear();
    std::ofstream(otherPath.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(other.data()), 40);
    Library().LoadPatch();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("truncated")));
    EXPECT_EQ(main->Editor().Patch()[15], 20);
}

TEST_F(LibraryFixture, LoadFromABankPicksTheProgramFromTheList)
{
    const QString path = dir.filePath(QStringLiteral("bank.syx"));
    const std::vector<std::uint8_t> bank = RealBank();
    std::ofstream(path.toStdString(), std::ios::binary).write(reinterpret_cast<const char *>(bank.data()), 4096);
    nextFile = path;
    choiceAnswers = {63};
    Library().LoadPatch();
    ASSERT_EQ(choices.size(), 1u);
    ASSERT_EQ(choices[0].Items.size(), 64);
    EXPECT_TRUE(choices[0].Items[63].startsWith(QStringLiteral("88 ")));
    const dw::TSyxRead read = dw::ParseSyx(bank);
    EXPECT_EQ(main->Editor().CurrentBlock(), read.File.Programs[63].Data);
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch() == AsPatch(read.File.Programs[63].Data); }));
}

TEST_F(LibraryFixture, CompareSwitchesBetweenTheEditAndThePatchAsFetched)
{
    const Patch fetched = rig->Synth().CurrentPatch();
    main->Editor().MoveParameter(15, 5);
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch()[15] == 5; }));
    Library().CompareAction->trigger();
    EXPECT_TRUE(Library().CompareAction->isChecked());
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch() == fetched; }));
    EXPECT_EQ(main->Editor().Patch()[15], fetched[15]);
    ASSERT_TRUE(WaitFor([&] { return rig->Controller().Value(0, 44) == fetched[15]; }));
    Library().CompareAction->trigger();
    EXPECT_FALSE(Library().CompareAction->isChecked());
    ASSERT_TRUE(WaitFor([&] { return rig->Synth().CurrentPatch()[15] == 5; }));
    EXPECT_TRUE(WaitFor([&] { return rig->Controller().Value(0, 44) == 5; }));
}

TEST_F(LibraryFixture, LibraryButtonSitsLeftInTheCornerBarWithWindowShortcuts)
{
    auto *row = main->CornerBar->layout();
    ASSERT_GE(row->count(), 2);
    EXPECT_EQ(row->itemAt(0)->widget(), static_cast<QWidget *>(Library().Button));
    EXPECT_EQ(Library().SaveAction->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(Library().LoadAction->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_TRUE(main->actions().contains(Library().SaveAction));
    EXPECT_LE(main->CornerBar->sizeHint().height(), main->pgMain->tabBar()->sizeHint().height() + 2);
}
