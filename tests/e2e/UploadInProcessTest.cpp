// The editor's own upload ("Send Sysex to  BCR") of the generated preset to
// the simulated BCR2000 on the in-process backend, after which the unit's
// controls, worked by element number, drive the editor.

#include "../app/EditorFixture.h"

#include "PresetGen.h"
#include "setup/PresetUpload.h"

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
        ASSERT_TRUE(WaitFor([this] { return SentTo(Controller()).size() >= 50; })) << "no start-up echoes";
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
    ASSERT_TRUE(WaitFor([this] { return !setup->Upload->Busy(); })); // its summary box is shown by then
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Text, QStringLiteral("The BCR2000 accepted all %1 lines.").arg(presetgen::PresetScript().size()));
    boxes.clear();
    std::size_t lines = 0;
    for (const Bytes &m : rig->Controller().Received())
        lines += !m.empty() && m[0] == 0xF0;
    EXPECT_EQ(lines, presetgen::PresetScript().size());
    ASSERT_TRUE(rig->Controller().Preset());
    EXPECT_EQ(rig->Controller().Preset()->Name.substr(0, 20), "Korg DW-8000 Tavrelk");

    // After the upload the rings show the patch.
    const int cutoff = rig->Controller().ElementValue(simbcl::ElementType::Encoder, 33).value_or(-1);
    EXPECT_EQ(cutoff, main->Editor().Patch()[15]);
    ASSERT_TRUE(rig->Controller().TurnElement(33, 40 - cutoff));
    ASSERT_TRUE(WaitFor([this] { return rig->Synth().Parameter(15) == 40; }));
    EXPECT_EQ(LastToSynth(), (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 0x0F, 40, 0xF7}));

    // Oscillator 2 octave steps 0, 1, 2 from the patch's value.
    for (int press = 0; press < 3 && rig->Synth().Parameter(7) != 2; ++press) {
        const int before = rig->Synth().Parameter(7);
        ASSERT_TRUE(rig->Controller().PressButton(42));
        ASSERT_TRUE(WaitFor([&] { return rig->Synth().Parameter(7) == (before + 1) % 3; }));
    }
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
