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
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <chrono>

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
        Settle();
        service->ClearSentMessages();
        rig->Controller().ClearReceived();
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

    // Clicks the button and runs the event loop to the upload's end.
    void Upload()
    {
        QElapsedTimer clock;
        clock.start();
        setup->bLoadBCRClick();
        returnedAfter = clock.elapsed();
        ASSERT_TRUE(setup->Upload->Busy());
        ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); }, 10000));
        took = clock.elapsed();
        Settle(50);
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
    qint64 returnedAfter = 0;
    qint64 took = 0;
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
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "All 10 lines were sent.\nThe unit did not answer (line 1); sent with fixed pacing.");
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Warning);
    EXPECT_EQ(LinesTaken(), kScript.size());
    EXPECT_TRUE(rig->Controller().Preset());
    // One wait for the first answer, then 10 ms per line; the last lines' answers get one more wait.
    EXPECT_GE(took, 90 + 2 * engine::TBcrUpload::AnswerTimeout.count() - 20);
    const auto sent = SentTo(Controller());
    ASSERT_GE(sent.size(), 10u);
    // Lines 2 to 10 went 10 ms apart (the delivery thread's clock may bunch a few).
    EXPECT_GE(sent[9].time - sent[1].time, 75ms);
}

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
    rig->Controller().SetLineInterval(30ms);
    QObject::connect(&setup->Upload->Upload(), &engine::TBcrUpload::progress, setup.get(), [this](int sent, int) {
        if (sent == 3)
            setup->Upload->Cancel();
    });
    Upload();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "Upload cancelled at line 4 of 10.");
    Settle(100);
    EXPECT_EQ(LinesTaken(), 3u);
    EXPECT_FALSE(rig->Controller().Preset());
    EXPECT_EQ(ControlChangesToController(), 0u);
}

TEST_F(UploadModesTest, WindowAndControllerMovesGoOnDuringTheUpload)
{
    rig->Controller().SetLineInterval(20ms);
    int ticks = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
    tick.start(10);
    bool moved = false;
    QObject::connect(&setup->Upload->Upload(), &engine::TBcrUpload::progress, setup.get(), [&](int sent, int) {
        if (sent == 2 && !moved) {
            moved = true;
            rig->Controller().TurnEncoder(44, 33); // cutoff, while lines are under way
        }
    });
    Upload();
    EXPECT_LT(returnedAfter, 50) << "the click returns at once";
    EXPECT_GE(ticks, 10) << "the event loop ran during " << took << " ms";
    EXPECT_EQ(rig->Synth().Parameter(15), 33);
    EXPECT_EQ(main->Editor().Patch()[15], 33);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, "The BCR2000 accepted all 10 lines.");

    // The editor has its input handler back.
    rig->Controller().TurnEncoder(44, 12);
    EXPECT_TRUE(WaitFor([this] { return rig->Synth().Parameter(15) == 12; }));
}
