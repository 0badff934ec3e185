// TLibrarian without the window, on the editor's engine against the
// simulated DW-8000.

#include "EditorFixture.h"

#include "dw/Program.h"
#include "engine/DeviceNames.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"

#include <QTimer>

#include <optional>

namespace {

using namespace std::chrono_literals;
using engine::TTransferResult;
using Patch = SimDw8000::Patch;

class LibrarianRig : public ::testing::Test {
public: // the rows' lambdas reach the rig through the fixture
    void SetUp() override
    {
        platform::SetCurrentMidiService(service);
        for (int p = 0; p < 64; ++p) {
            Patch patch{};
            for (int i = 0; i < 51; ++i)
                patch[std::size_t(i)] = SimDw8000::FitToParameter(i, (p * 5 + i * 3 + 1) % 64);
            rig.Synth().SetProgramPatch(p, patch);
        }
        ports = std::make_unique<engine::TPortRoles>();
        editor = std::make_unique<engine::TEditor>(*ports);
        const std::string name = TSimRig::SynthDeviceName;
        ports->Assign(engine::TRole::SynthIn, engine::FindDeviceName(engine::InputDeviceNames(), name), name);
        ports->Assign(engine::TRole::SynthOut, engine::FindDeviceName(engine::OutputDeviceNames(), name), name);
        editor->SetChannel(0);
        librarian = std::make_unique<engine::TLibrarian>(*editor, *ports);
        librarian->SetTimings({200ms, 300ms, 0ms, 0ms, 2, 300ms});
        QObject::connect(librarian.get(), &engine::TLibrarian::finished,
                         [this](const TTransferResult &r) { result = r; });
        QObject::connect(librarian.get(), &engine::TLibrarian::progress, [this](int done, int) {
            if (onProgress)
                onProgress(done);
        });
    }
    void TearDown() override
    {
        librarian.reset();
        editor.reset();
        ports.reset();
        platform::SetCurrentMidiService(nullptr);
    }

    bool RunToEnd() { return WaitFor([this] { return result.has_value(); }, 20000); }

    void ExpectExact(const std::vector<dw::TFileProgram> &programs)
    {
        for (const dw::TFileProgram &p : programs) {
            Patch got{};
            std::copy(p.Data.begin(), p.Data.end(), got.begin());
            EXPECT_EQ(got, rig.Synth().ProgramPatch(p.Program)) << "program index " << p.Program;
        }
    }
    static std::vector<dw::TFileProgram> Bank(int first, int count, int value)
    {
        std::vector<dw::TFileProgram> out;
        for (int p = first; p < first + count; ++p) {
            dw::TDataBlock b{};
            b[15] = std::uint8_t(value + p % 8);
            out.push_back({p, b});
        }
        return out;
    }
    std::vector<SimDw8000::Message> SentBeforeMarker() { return TookBeforeMarker(rig.Synth(), ports->SynthOut()); }

    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
    TSimRig rig{*service};
    std::unique_ptr<engine::TPortRoles> ports; // made once the service is current
    std::unique_ptr<engine::TEditor> editor;
    std::unique_ptr<engine::TLibrarian> librarian;
    std::optional<TTransferResult> result;
    std::function<void(int)> onProgress;
};

} // namespace

// A dump carries no program number: one late answer must never shift the
// programs after it. Inside the quiet window it counts for its program;
// later than the retry's check, the run fails naming the first program it
// could have shifted.
TEST_F(LibrarianRig, LateDumpNeverShiftsTheBank)
{
    struct Row {
        const char *name;
        std::chrono::milliseconds reply; // every dump this late
        std::chrono::milliseconds late;  // the answer for the second program this late on top
        TTransferResult::TOutcome outcome;
        int program; // named on failure
    };
    // Wide windows, so that a loaded machine keeps each answer in its row's window.
    librarian->SetTimings({200ms, 300ms, 0ms, 0ms, 2, 1000ms});
    const Row rows[] = {
        {"inside the quiet window", 0ms, 600ms, TTransferResult::Done, -1},
        {"after the retry's answer, inside its check", 0ms, 1700ms, TTransferResult::Done, -1},
        {"beyond every window, while later programs are asked", 60ms, 2700ms, TTransferResult::Failed, 2},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        result.reset();
        rig.Synth().SetReplyTime(row.reply);
        onProgress = [&](int done) {
            if (done == 1)
                rig.Synth().AnswerNextRequestLate(row.late);
        };
        ASSERT_TRUE(librarian->ReceiveBank(0, 11));
        ASSERT_TRUE(RunToEnd());
        EXPECT_EQ(result->Outcome, row.outcome) << result->Message.toStdString();
        if (row.outcome == TTransferResult::Done) {
            EXPECT_EQ(result->Programs.size(), 12u);
        } else {
            EXPECT_EQ(result->Program, row.program);
            EXPECT_TRUE(result->Message.startsWith(QStringLiteral("Program 13 could not be received with certainty")))
                << result->Message.toStdString();
            EXPECT_EQ(result->Programs.size(), std::size_t(row.program));
        }
        ExpectExact(result->Programs); // whatever the outcome, nothing kept is shifted
        // A run that ended Done has taken its late answer; only the last row's may still come.
        ASSERT_FALSE(librarian->Busy());
    }
}

// Answers that never come, and a cancel, each at the first program or later.
TEST_F(LibrarianRig, ReceiveEndsWithWhatCameAndSaysWhere)
{
    struct Row {
        const char *name;
        std::function<void(LibrarianRig &)> fault; // applied when the second program was received
        TTransferResult::TOutcome outcome;
        const char *message;
    };
    const Row rows[] = {
        {"both tries run out",
         [](LibrarianRig &t) { t.rig.Synth().SetChannel(5); },
         TTransferResult::NoAnswer,
         "Program 13 did not answer: no dump within 0.2 s, tried 2 times. Check that the DW-8000's exclusive data"},
        {"cancelled", [](LibrarianRig &t) { t.librarian->Cancel(); }, TTransferResult::Cancelled,
         "Cancelled after 2 of 6 programs."},
        {"cancelled in the quiet window after a dropped answer",
         [](LibrarianRig &t) {
             t.rig.Synth().DropNextAnswer();
             QTimer::singleShot(300, t.librarian.get(), [&t] { t.librarian->Cancel(); });
         },
         TTransferResult::Cancelled, "Cancelled after 2 of 6 programs."},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        result.reset();
        rig.Synth().SetChannel(0);
        onProgress = [&](int done) {
            if (done == 2)
                row.fault(*this);
        };
        ASSERT_TRUE(librarian->ReceiveBank(0, 5));
        ASSERT_TRUE(RunToEnd());
        EXPECT_EQ(result->Outcome, row.outcome);
        EXPECT_TRUE(result->Message.startsWith(QLatin1String(row.message))) << result->Message.toStdString();
        ExpectExact(result->Programs);
        EXPECT_EQ(result->Programs.size(), result->Ok() ? 6u : 2u);
    }
}

// A refusal or a failed send part-way: the run ends there, says which
// program and what was written, and writes nothing after it.
TEST_F(LibrarianRig, SendStoppedPartWaySaysWhatWasWritten)
{
    struct Row {
        const char *name;
        std::function<void(LibrarianRig &)> fault; // applied when the third program was written
        int first;
        TTransferResult::TOutcome outcome;
        QString message; // its start
    };
    const Row rows[] = {
        {"write refused", [](LibrarianRig &t) { t.rig.Synth().SetWriteProtect(true); }, 0,
         TTransferResult::WriteRefused,
         QLatin1String(engine::WriteRefusedText) +
             QStringLiteral(" Program 14 was not written; written: 3 programs before it, 11 to 13.")},
        {"failed send",
         [](LibrarianRig &t) { t.service->InjectFault(platform::MidiCall::OutLong, platform::MMSYSERR_NOMEM); }, 10,
         TTransferResult::Failed, QStringLiteral("Sending to the DW-8000 failed at program 26 (step 1): ")},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        result.reset();
        const int writesBefore = rig.Synth().WritesTaken();
        const Patch untouched = rig.Synth().ProgramPatch(row.first + 3);
        onProgress = [&](int done) {
            if (done == 3)
                row.fault(*this);
        };
        ASSERT_TRUE(librarian->SendBank(Bank(row.first, 6, 20)));
        ASSERT_TRUE(RunToEnd());
        EXPECT_EQ(result->Outcome, row.outcome);
        EXPECT_EQ(result->Program, row.first + 3);
        EXPECT_TRUE(result->Message.startsWith(row.message)) << result->Message.toStdString();
        ASSERT_EQ(result->Programs.size(), 3u);
        for (int p = row.first; p < row.first + 3; ++p)
            EXPECT_EQ(rig.Synth().ProgramPatch(p)[15], 20 + p % 8) << p;
        EXPECT_EQ(rig.Synth().ProgramPatch(row.first + 3), untouched);
        // The refused write is taken, the failed one never sent; none after either.
        EXPECT_EQ(rig.Synth().WritesTaken() - writesBefore, row.outcome == TTransferResult::WriteRefused ? 4 : 3);
        rig.Synth().SetWriteProtect(false);
    }
}

TEST_F(LibrarianRig, RefusedStartsSendNothing)
{
    struct Row {
        const char *name;
        std::function<bool(LibrarianRig &)> start;
    };
    const Row rows[] = {
        {"first after last", [](LibrarianRig &t) { return t.librarian->ReceiveBank(5, 4); }},
        {"last past 88", [](LibrarianRig &t) { return t.librarian->ReceiveBank(0, 64); }},
        {"first before 11", [](LibrarianRig &t) { return t.librarian->ReceiveBank(-1, 3); }},
        {"write to program 64", [](LibrarianRig &t) { return t.librarian->WriteProgram({}, 64); }},
        {"empty bank", [](LibrarianRig &t) { return t.librarian->SendBank({}); }},
        {"bank with program 64", [](LibrarianRig &t) { return t.librarian->SendBank(Bank(63, 2, 1)); }},
        {"no channel",
         [](LibrarianRig &t) {
             t.editor->SetChannel(dw::NoChannel);
             const bool started = t.librarian->ReceiveBank(0, 1);
             t.editor->SetChannel(0);
             return started;
         }},
        {"another transfer on the editor",
         [](LibrarianRig &t) {
             t.editor->BeginTransfer();
             const bool started = t.librarian->WriteProgram({}, 1);
             t.editor->EndTransfer();
             return started;
         }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        rig.Synth().ClearReceived();
        EXPECT_FALSE(row.start(*this));
        EXPECT_FALSE(librarian->Busy());
        EXPECT_TRUE(SentBeforeMarker().empty());
    }
}

// Afterwards the unit is back on the program it was on, with the editor's
// values in its edit buffer, whether the run worked or not.
TEST_F(LibrarianRig, TheEarlierProgramIsSelectedAgainAfterSuccessAndFailure)
{
    struct Row {
        const char *name;
        bool protect;
        TTransferResult::TOutcome outcome;
    };
    const Row rows[] = {{"written", false, TTransferResult::Done}, {"refused", true, TTransferResult::WriteRefused}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        result.reset();
        rig.Synth().SelectProgram(21);
        ASSERT_TRUE(WaitFor([&] { return editor->Program() == 21; }));
        editor->LoadBlock(Bank(0, 1, 3).front().Data);
        editor->MoveParameter(15, 9);
        rig.Synth().SetWriteProtect(row.protect);
        ASSERT_TRUE(librarian->SendBank(Bank(30, 3, 40)));
        ASSERT_TRUE(RunToEnd());
        EXPECT_EQ(result->Outcome, row.outcome);
        SentBeforeMarker(); // the restore has arrived
        EXPECT_EQ(rig.Synth().Program(), 21);
        Patch shown{};
        const dw::TDataBlock block = editor->CurrentBlock();
        std::copy(block.begin(), block.end(), shown.begin());
        EXPECT_EQ(rig.Synth().CurrentPatch(), shown);
    }
}

TEST_F(LibrarianRig, DestroyedDuringATransferFreesTheEditorAndSendsNoMore)
{
    rig.Synth().SetReplyTime(30ms);
    onProgress = [&](int done) {
        if (done == 2)
            QTimer::singleShot(0, editor.get(), [this] { librarian.reset(); });
    };
    ASSERT_TRUE(librarian->ReceiveBank(0, 20));
    ASSERT_TRUE(WaitFor([&] { return !librarian; }));
    EXPECT_FALSE(editor->TransferRunning());
    EXPECT_EQ(ports->Listeners(engine::TRole::SynthIn).Listeners(), 1u); // the editor's alone
    rig.Synth().ClearReceived();
    // The editor's own fetch is answered after the request in flight: once
    // it is in, nothing may have followed that answer.
    editor->RequestPatch();
    ASSERT_TRUE(WaitFor([&] { return editor->HasPatch(); }));
    EXPECT_EQ(SentBeforeMarker().size(), 1u) << "messages after the destructor";
    EXPECT_FALSE(result.has_value());
}

// While a transfer runs it alone hears the synthesizer, and other starts are
// refused; afterwards the editor listens again and takes a fetched patch.
TEST_F(LibrarianRig, WhileATransferRunsItAloneListensAndRefusesOtherStarts)
{
    const engine::TInputDispatcher &listeners = ports->Listeners(engine::TRole::SynthIn);
    EXPECT_EQ(listeners.Listeners(), 1u);
    ASSERT_TRUE(librarian->ReceiveBank(0, 1));
    EXPECT_EQ(listeners.Listeners(), 2u);
    EXPECT_FALSE(librarian->ReceiveBank(2, 3));
    EXPECT_FALSE(librarian->WriteProgram({}, 1));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(result->Outcome, TTransferResult::Done) << result->Message.toStdString();
    EXPECT_EQ(result->Programs.size(), 2u);
    EXPECT_FALSE(editor->HasPatch()) << "a dump of the transfer reached the editor";
    EXPECT_EQ(listeners.Listeners(), 1u);
    editor->RequestPatch();
    EXPECT_TRUE(WaitFor([&] { return editor->HasPatch(); }));
}
