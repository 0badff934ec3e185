// The librarian in the window against the simulated DW-8000: files, write
// to a program, compare, and bank transfers with their faults.

#include "EditorFixture.h"

#include "core/Dialogs.h"
#include "core/Library.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"
#include "engine/PortRoles.h"

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
public: // the rows' lambdas reach the fixture through a reference
    using EditorFixture::answers;
    using EditorFixture::boxes;
    using EditorFixture::dir;
    using EditorFixture::main;
    using EditorFixture::rig;

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

    std::vector<Bytes> SynthTookBeforeMarker() { return TookBeforeMarker(rig->Synth(), main->Ports().SynthOut()); }
    void WriteFile(const QString &path, const std::vector<std::uint8_t> &bytes)
    {
        std::ofstream(path.toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
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
    SynthTookBeforeMarker(); // the restore has arrived
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
    SynthTookBeforeMarker();
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
    SynthTookBeforeMarker(); // the restore has arrived
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

// A one-patch file has no program number: Send Bank asks where it goes and
// writes only there; cancelling the question writes nothing.
TEST_F(LibraryFixture, SendBankOfOnePatchWritesOnlyToTheProgramNamed)
{
    dw::TDataBlock block{};
    block[15] = 37;
    const auto dump = dw::DumpFileBytes(0, block);
    struct Row {
        const char *name;
        std::vector<std::uint8_t> bytes;
        int choice; // -1: cancelled
    };
    const Row rows[] = {{"57-byte dump", dump, 21},
                        {"raw 51-byte block", {dump.begin() + 5, dump.end() - 1}, 30},
                        {"question cancelled", dump, -1}};
    const QString path = dir.filePath(QStringLiteral("one.syx"));
    const Patch program11 = rig->Synth().ProgramPatch(0);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(path, row.bytes);
        nextFile = path;
        choices.clear();
        boxes.clear();
        const int writesBefore = rig->Synth().WritesTaken();
        choiceAnswers = {row.choice};
        answers.push_back(TMsgResult::Yes);
        Library().SendBank();
        ASSERT_EQ(choices.size(), 1u);
        EXPECT_EQ(choices[0].Items.size(), 64);
        EXPECT_TRUE(choices[0].Label.contains(QStringLiteral("one.syx holds one patch"))) << choices[0].Label.toStdString();
        if (row.choice < 0) {
            answers.clear();
            EXPECT_TRUE(boxes.empty());
            SynthTookBeforeMarker();
            EXPECT_EQ(rig->Synth().WritesTaken(), writesBefore);
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        const QString name = QString::fromStdString(dw::ProgramText(row.choice));
        EXPECT_TRUE(boxes[0].Text.startsWith(QStringLiteral("Overwrite program %1 on the DW-8000").arg(name)))
            << boxes[0].Text.toStdString();
        ASSERT_TRUE(WaitFor([&] { return Idle(); }));
        EXPECT_EQ(Status(), QStringLiteral("1 program written and confirmed."));
        EXPECT_EQ(rig->Synth().ProgramPatch(row.choice)[15], 37);
        EXPECT_EQ(rig->Synth().WritesTaken(), writesBefore + 1);
    }
    EXPECT_EQ(rig->Synth().ProgramPatch(0), program11); // never 11 unasked
}

// The Library menu's ways to end without a transfer, or with a failed one:
// each says so, and nothing reaches the synthesizer's memory.
TEST_F(LibraryFixture, ErrorPathsSayWhyAndWriteNothing)
{
    const QString bankPath = dir.filePath(QStringLiteral("bank.syx"));
    WriteFile(bankPath, RealBank());
    struct Row {
        const char *name;
        std::function<void(LibraryFixture &)> act;
        QString status; // what the status line then starts with
        bool box;       // an error or warning box shown
        bool noChannel = false;
    };
    const Row rows[] = {
        {"received but not saved",
         [](LibraryFixture &t) {
             t.nextFile = t.dir.filePath(QStringLiteral("no-such-folder/bank.syx"));
             t.Library().ReceiveBank();
             ASSERT_TRUE(WaitFor([&] { return t.Idle(); }, 20000));
         },
         QStringLiteral("The bank was received but not saved."), true},
        {"nothing received, nothing saved",
         [](LibraryFixture &t) {
             t.Library().Librarian().SetTimings({std::chrono::milliseconds(100), std::chrono::milliseconds(100), {}, {}, 2,
                                                 std::chrono::milliseconds(100)});
             t.rig->Synth().SetChannel(6);
             t.nextFile = t.dir.filePath(QStringLiteral("never.syx"));
             t.Library().ReceiveBank();
             ASSERT_TRUE(WaitFor([&] { return t.Idle(); }));
             t.rig->Synth().SetChannel(0);
             EXPECT_TRUE(t.Status().endsWith(QStringLiteral(" Nothing was saved."))) << t.Status().toStdString();
             EXPECT_TRUE(t.Status().contains(QStringLiteral("exclusive data setting")));
             EXPECT_FALSE(QFileInfo::exists(t.nextFile));
         },
         QStringLiteral("Program 11 did not answer"), true},
        {"no MIDI channel: receive",
         [](LibraryFixture &t) {
             t.nextFile = t.dir.filePath(QStringLiteral("x.syx"));
             t.Library().ReceiveBank();
         },
         QStringLiteral("Nothing received: no MIDI channel is set."), false, true},
        {"no MIDI channel: write", [](LibraryFixture &t) { t.Library().WriteProgram(); },
         QStringLiteral("Nothing written: no MIDI channel is set."), false, true},
        {"no MIDI channel: send",
         [bankPath](LibraryFixture &t) {
             t.nextFile = bankPath;
             t.answers.push_back(TMsgResult::Yes);
             t.Library().SendBank();
             t.boxes.clear(); // the question
         },
         QStringLiteral("Nothing sent: no MIDI channel is set."), false, true},
        {"file dialog cancelled",
         [](LibraryFixture &t) {
             t.nextFile.clear();
             t.Library().ReceiveBank();
             t.Library().SendBank();
             t.Library().LoadPatch();
         },
         QStringLiteral("before"), false},
        {"program choice cancelled",
         [](LibraryFixture &t) {
             t.choiceAnswers = {-1};
             t.Library().WriteProgram();
         },
         QStringLiteral("before"), false},
        {"last program before the first",
         [bankPath](LibraryFixture &t) {
             t.nextFile = bankPath;
             t.choiceAnswers = {5, 2};
             t.Library().SendBank();
         },
         QStringLiteral("Nothing sent: the last program, 13, comes before the first, 16."), false},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        boxes.clear();
        answers.clear();
        choiceAnswers.clear();
        main->Editor().SetChannel(row.noChannel ? dw::NoChannel : 0);
        Library().SetStatus(QStringLiteral("before"));
        const int writesBefore = rig->Synth().WritesTaken();
        row.act(*this);
        EXPECT_TRUE(Status().startsWith(row.status)) << Status().toStdString();
        EXPECT_EQ(!boxes.empty(), row.box);
        SynthTookBeforeMarker();
        EXPECT_EQ(rig->Synth().WritesTaken(), writesBefore);
        EXPECT_TRUE(Idle());
    }
    main->Editor().SetChannel(0);
}

// While a transfer runs, every action but Save is disabled, and their keys do nothing.
TEST_F(LibraryFixture, ActionsAreDisabledWhileATransferRuns)
{
    rig->Synth().SetReplyTime(std::chrono::milliseconds(20));
    nextFile = dir.filePath(QStringLiteral("running.syx"));
    Library().ReceiveBank();
    ASSERT_FALSE(Idle());
    QAction *const all[] = {Library().LoadAction, Library().WriteAction, Library().CompareAction,
                                  Library().ReceiveAction, Library().SendAction};
    for (QAction *a : all) {
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
        a->trigger();
    }
    EXPECT_TRUE(Library().SaveAction->isEnabled());
    EXPECT_TRUE(choices.empty());
    EXPECT_EQ(fileRequests.size(), 1u); // only the receive's own
    QPushButton *cancel = Library().Progress()->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    ASSERT_TRUE(WaitFor([&] { return Idle(); }));
    for (const QAction *a : all)
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
    EXPECT_TRUE(Status().startsWith(QStringLiteral("Cancelled after"))) << Status().toStdString();
}
