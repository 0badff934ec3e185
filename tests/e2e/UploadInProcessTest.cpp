// The editor's own upload ("Send Sysex to  BCR") of the generated preset to
// the simulated BCR2000 on the in-process backend, after which the unit's
// controls, worked by element number, drive the editor.

#include "../app/EditorFixture.h"

#include "PresetGen.h"

#include <QDir>
#include <QFile>

namespace {

class GeneratedPresetUpload : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        ASSERT_TRUE(QFile::copy(QStringLiteral(TAVRELK_PRESET_FILE), presetDir.filePath("Tavrelk.SYX")));
        TfMidiSetup::SetPresetFallbackDir(presetDir.path());
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([this] { return !rig->Controller().Received().empty(); })) << "no start-up echoes";
        Settle();
    }
    void TearDown() override
    {
        TfMidiSetup::SetPresetFallbackDir({});
        EditorFixture::TearDown();
    }

    Bytes LastToSynth() const
    {
        const auto sent = SentTo(Synth());
        return sent.empty() ? Bytes{} : sent.back().bytes;
    }

    QTemporaryDir presetDir;
};

TEST_F(GeneratedPresetUpload, ProgramsTheControllerWhoseControlsThenSendTheRowsParameters)
{
    rig->Controller().ClearReceived();
    setup->bLoadBCRClick();
    Settle();
    EXPECT_TRUE(boxes.empty()) << boxes.front().Text.toStdString();
    EXPECT_EQ(rig->Controller().Received().size(), presetgen::PresetScript().size());
    ASSERT_TRUE(rig->Controller().Preset());
    EXPECT_EQ(rig->Controller().Preset()->Name.substr(0, 20), "Korg DW-8000 Tavrelk");

    ASSERT_TRUE(rig->Controller().TurnElement(33, 40));  // cutoff, from 0
    ASSERT_TRUE(WaitFor([this] { return rig->Synth().Parameter(15) == 40; }));
    EXPECT_EQ(LastToSynth(), (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 0x0F, 40, 0xF7}));

    for (int press = 0; press < 3; ++press)
        ASSERT_TRUE(rig->Controller().PressButton(42));  // oscillator 2 octave: 0, 1, 2
    ASSERT_TRUE(WaitFor([this] { return LastToSynth() == Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 0x07, 2, 0xF7}; }));
    ASSERT_TRUE(rig->Controller().PressButton(42));  // and round again
    ASSERT_TRUE(WaitFor([this] { return rig->Synth().Parameter(7) == 0; }));

    // The random button makes a random patch, echoed to the controller.
    rig->Controller().ClearReceived();
    ASSERT_TRUE(rig->Controller().PressButton(48));
    ASSERT_TRUE(rig->Controller().ReleaseButton(48));
    EXPECT_TRUE(WaitFor([this] { return rig->Controller().Received().size() >= ParamCount - 1; }));
}

} // namespace
