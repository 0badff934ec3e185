// The preset upload against the simulated BCR2000 as each kind of set-up
// behaves: a unit that answers, one that loses lines sent too fast, one whose
// answers never come back, one that fails a line; cancelled half-way; and
// the window and the controller's moves going on meanwhile.

#include "EditorFixture.h"

#include "dw/Messages.h"
#include "dw/Params.h"
#include "engine/BcrUpload.h"
#include "setup/PresetUpload.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>

namespace {

using namespace std::chrono_literals;

const std::vector<std::string> kScript = {
    "$rev R1",      "$preset", "  .name 'upload test'", "  .init", "$encoder 33", "  .easypar CC 1 44 0 63 absolute",
    "  .showvalue on", "$encoder 1", "  .easypar CC 1 20 0 31 absolute", "$end"};

class UploadModesTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        TfMidiSetup::SetPresetFallbackDir(presetDir.path());
        Bytes file;
        for (std::size_t i = 0; i < kScript.size(); ++i) {
            const Bytes l = Line(int(i), kScript[i]);
            file.insert(file.end(), l.begin(), l.end());
        }
        QFile f(presetDir.filePath("Tavrelk.SYX"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(file.data()), qint64(file.size()));
        f.close();
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([this] { return SentTo(Controller()).size() >= 50; })) << "no start-up echoes";
        service->ClearSentMessages();
        rig->Controller().ClearReceived();
        // An answer that comes is never late, however loaded the machine;
        // one that does not come costs this much.
        setup->Upload->Upload().SetAnswerTimeout(2s);
    }
    void TearDown() override
    {
        TfMidiSetup::SetPresetFallbackDir({});
        EditorFixture::TearDown();
    }

    static Bytes Line(int index, const std::string &text)
    {
        Bytes b = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, std::uint8_t(index >> 7), std::uint8_t(index & 0x7F)};
        b.insert(b.end(), text.begin(), text.end());
        b.push_back(0xF7);
        return b;
    }

    // Clicks the button and runs the event loop to the upload's end (its
    // summary box is shown by then).
    void Upload()
    {
        setup->bLoadBCRClick();
        ASSERT_TRUE(setup->Upload->Busy());
        ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }, 20000));
    }

    // The unit takes every line, but answers only those whose BCL index
    // `answered` accepts (the others as if its answers were not routed back).
    void AnswerOnly(std::function<bool(int)> answered)
    {
        SimBcr2000 *unit = &rig->Controller();
        rig->ControllerDevice().SetReceiver([unit, answered](const platform::SentMessage &m) {
            if (m.bytes.size() > 9 && m.bytes[0] == 0xF0 && m.bytes[6] == 0x20)
                unit->SetSilent(!answered(m.bytes[7] << 7 | m.bytes[8]));
            unit->Receive(m.bytes);
        });
    }

    std::size_t LinesTaken() const
    {
        std::size_t n = 0;
        for (const Bytes &m : rig->Controller().Received())
            n += !m.empty() && m[0] == 0xF0;
        return n;
    }
    std::size_t ControlChangesToController() const
    {
        std::size_t n = 0;
        for (const platform::SentMessage &m : SentTo(Controller()))
            n += (m.bytes[0] & 0xF0) == 0xB0;
        return n;
    }
    // The ring of each live row shows the patch.
    void ExpectRingsShowThePatch() const
    {
        for (int row = 0; row < dw::ParamCount; ++row) {
            if (!dw::IsLiveRow(row))
                continue;
            const auto echo = dw::BuildRowEcho(row, main->Editor().Patch()[row]);
            ASSERT_TRUE(echo);
            EXPECT_EQ(rig->Controller().Value((*echo)[0] & 0x0F, (*echo)[1]), int((*echo)[2])) << "row " << row;
        }
    }

    QTemporaryDir presetDir;
};

} // namespace

TEST_F(UploadModesTest, AnsweringUnitAcceptsEveryLineAndItsRingsThenShowThePatch)
{
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "The BCR2000 accepted all 10 lines.");
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::None);
    EXPECT_EQ(LinesTaken(), kScript.size());
    ASSERT_TRUE(rig->Controller().Preset());
    EXPECT_EQ(ControlChangesToController(), std::size_t(dw::ParamCount - 1));
    ExpectRingsShowThePatch();
    // The patch's cutoff, not the preset's default 0, on the programmed encoder.
    EXPECT_EQ(rig->Controller().ElementValue(simbcl::ElementType::Encoder, 33), int(main->Editor().Patch()[15]));
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}

TEST_F(UploadModesTest, UnitThatLosesFastLinesTakesEveryLineWhenEachWaitsForItsAnswer)
{
    rig->Controller().SetLineInterval(15ms); // slower than the fixed 10 ms pacing
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "The BCR2000 accepted all 10 lines.");
    EXPECT_EQ(rig->Controller().LostLines(), 0);
    EXPECT_TRUE(rig->Controller().Preset());
}

TEST_F(UploadModesTest, SilentUnitFallsBackToFixedPacingAndSaysSo)
{
    rig->Controller().SetSilent(true);
    // A unit that loses a line coming sooner than 8 ms after the one before:
    // the fixed pacing keeps every line.
    rig->Controller().SetLineInterval(8ms);
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "All 10 lines were sent.\nThe unit did not answer (line 1); sent with fixed pacing.");
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(LinesTaken(), kScript.size());
    EXPECT_EQ(rig->Controller().LostLines(), 0);
    EXPECT_TRUE(rig->Controller().Preset());
}

// The upload's other endings, each told in its box, every line sent: answers
// that stop part-way, no controller input to hear them, an error answered
// while the upload waits for the last answers after fixed pacing.
enum class TEnding { QuietAfterFourLines, NoControllerInput, ErrorDuringTheLastWait };

class UploadEndingTest : public UploadModesTest, public ::testing::WithParamInterface<TEnding> {
protected:
    QString Arrange(TEnding ending)
    {
        switch (ending) {
        case TEnding::QuietAfterFourLines:
            AnswerOnly([](int index) { return index < 4; });
            return "All 10 lines were sent.\nThe unit did not answer (line 5); sent with fixed pacing.";
        case TEnding::NoControllerInput:
            setup->lbCtrlIn->setCurrentRow(setup->lbCtrlIn->count() - 1); // "None"
            return "All 10 lines were sent.\nNo controller input is selected, so the unit's answers could not be "
                   "heard; sent with fixed pacing.";
        case TEnding::ErrorDuringTheLastWait:
            // The first line unanswered; then each answer 5 ms after its line,
            // the last one after the last send.
            AnswerOnly([](int index) { return index > 0; });
            rig->Controller().SetLineInterval(5ms);
            rig->Controller().SetErrorOnLine(9, 13);
            return "All 10 lines were sent.\nThe unit did not answer (line 1); sent with fixed pacing.\n"
                   "The unit reported an error:\nline 10 \"$end\": error 13, setting not allowed here";
        }
        return {};
    }
};

TEST_P(UploadEndingTest, IsToldAndEveryLineIsSent)
{
    const QString text = Arrange(GetParam());
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, text);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(LinesTaken(), kScript.size());
    EXPECT_TRUE(rig->Controller().Preset());
    // The whole patch is echoed only after a clean, heard upload.
    EXPECT_EQ(ControlChangesToController(), 0u);
    EXPECT_TRUE(setup->bLoadBCR->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(UploadModes, UploadEndingTest,
                         ::testing::Values(TEnding::QuietAfterFourLines, TEnding::NoControllerInput,
                                           TEnding::ErrorDuringTheLastWait));

TEST_F(UploadModesTest, ErrorOnALineIsReportedWithItsNumberTextAndName)
{
    rig->Controller().SetErrorOnLine(5, 9);
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "All 10 lines were sent.\nThe unit reported an error:\n"
                             "line 6 \".easypar CC 1 44 0 63 absolute\": error 9, element number out of range");
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(LinesTaken(), kScript.size());
    EXPECT_EQ(ControlChangesToController(), 0u);
}

TEST_F(UploadModesTest, CancelStopsBeforeTheNextLine)
{
    QObject::connect(&setup->Upload->Upload(), &engine::TBcrUpload::progress, setup.get(), [this](int sent, int) {
        if (sent == 3)
            setup->Upload->Cancel();
    });
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Upload cancelled at line 4 of 10.");
    // The marker: a move on the controller input behind the answer to the
    // third line, which must not send the fourth.
    rig->Controller().TurnEncoder(44, 9);
    ASSERT_TRUE(WaitFor([this] { return rig->Synth().Parameter(15) == 9; }));
    EXPECT_EQ(LinesTaken(), 3u);
    EXPECT_FALSE(rig->Controller().Preset());
    EXPECT_EQ(ControlChangesToController(), 0u);
}

TEST_F(UploadModesTest, WindowAndControllerMovesGoOnDuringTheUpload)
{
    rig->Controller().SetLineInterval(20ms);
    bool moved = false;
    bool busyWhenApplied = false;
    QObject::connect(&setup->Upload->Upload(), &engine::TBcrUpload::progress, setup.get(), [&](int sent, int) {
        if (sent == 2 && !moved) {
            moved = true;
            rig->Controller().TurnEncoder(44, 33); // cutoff, while lines are under way
        }
    });
    // The window's own work: a posted call that posts itself again, counted
    // while the upload runs.
    int turnsWhileBusy = 0;
    std::function<void()> turn = [&] {
        if (setup->Upload->Busy())
            ++turnsWhileBusy;
        if (!busyWhenApplied && rig->Synth().Parameter(15) == 33)
            busyWhenApplied = setup->Upload->Busy();
        if (setup->Upload->Busy())
            QTimer::singleShot(0, setup.get(), turn);
    };
    setup->bLoadBCRClick();
    EXPECT_LE(LinesTaken(), 1u) << "the click returns before the unit's first answer";
    QTimer::singleShot(0, setup.get(), turn);
    ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }, 20000));
    // Each of the nine answers awaited needs a turn of the loop of its own.
    EXPECT_GE(turnsWhileBusy, 9);
    EXPECT_TRUE(busyWhenApplied) << "the move waited for the upload's end";
    EXPECT_EQ(rig->Synth().Parameter(15), 33);
    EXPECT_EQ(main->Editor().Patch()[15], 33);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "The BCR2000 accepted all 10 lines.");

    // The editor has its input handler back.
    rig->Controller().TurnEncoder(44, 12);
    EXPECT_TRUE(WaitFor([this] { return rig->Synth().Parameter(15) == 12; }));
}
