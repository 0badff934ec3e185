// The stable device names and the matching of stored names, over names as
// RtMidi's ALSA and JACK backends and a2jmidid report them.

#include "engine/DeviceNames.h"

#include <gtest/gtest.h>

using engine::FindDeviceName;
using engine::FindDeviceNames;
using engine::StableDeviceName;

TEST(DeviceNames, StableNameLeavesOutOnlyTheSystemsNumbers)
{
    const struct {
        const char *reported, *stable;
    } table[] = {
        {"BCR2000:BCR2000 MIDI 1 24:0", "BCR2000:BCR2000 MIDI 1"},
        {"BCR2000:BCR2000 MIDI 1 128:3", "BCR2000:BCR2000 MIDI 1"},
        {"UM-ONE:UM-ONE MIDI 1 20:0", "UM-ONE:UM-ONE MIDI 1"},
        {"Midi Through:Midi Through Port-0 14:0", "Midi Through:Midi Through Port-0"},
        {"a2j:BCR2000 [24] (capture): [0] BCR2000 MIDI 1", "a2j:BCR2000 (capture): BCR2000 MIDI 1"},
        {"a2j:BCR2000 [28] (playback): BCR2000 MIDI 1", "a2j:BCR2000 (playback): BCR2000 MIDI 1"},
        // JACK and other names keep what looks like numbers of their own.
        {"dw8000-out:out", "dw8000-out:out"},
        {"system:midi_capture_1", "system:midi_capture_1"},
        {"Synth 24:0x", "Synth 24:0x"},
        {"Synth24:0", "Synth24:0"},
        {"Synth :0", "Synth :0"},
        {"Korg [24] DW", "Korg [24] DW"},
        {"24:0", "24:0"},
        {"", ""},
    };
    for (const auto &row : table)
        EXPECT_EQ(StableDeviceName(row.reported), row.stable) << row.reported;
}

TEST(DeviceNames, StoredNameFindsItsDeviceWhenTheNumbersChange)
{
    const std::vector<std::string> afterReboot = {"Midi Through:Midi Through Port-0 14:0",
                                                  "UM-ONE:UM-ONE MIDI 1 28:0", "BCR2000:BCR2000 MIDI 1 32:0"};
    EXPECT_EQ(FindDeviceName(afterReboot, "BCR2000:BCR2000 MIDI 1"), 2);      // stored stable
    EXPECT_EQ(FindDeviceName(afterReboot, "BCR2000:BCR2000 MIDI 1 24:0"), 2); // stored before this version
    EXPECT_EQ(FindDeviceName(afterReboot, "bcr2000:bcr2000 midi 1"), 2);      // letter case
    EXPECT_EQ(FindDeviceName(afterReboot, "BCR2000:BCR2000 MIDI 2"), -1);
    EXPECT_EQ(FindDeviceName(afterReboot, "BCR2000"), -1); // a part is not the name
    EXPECT_EQ(FindDeviceName({"a2j:BCR2000 [32] (capture): [0] BCR2000 MIDI 1"},
                             "a2j:BCR2000 [24] (capture): [0] BCR2000 MIDI 1"),
              0);
}

TEST(DeviceNames, EqualNamesTakeTheFirstUnlessTheStoredNameIsExactlyAnother)
{
    const std::vector<std::string> twins = {"BCR2000:BCR2000 MIDI 1 24:0", "BCR2000:BCR2000 MIDI 1 28:0"};
    EXPECT_EQ(FindDeviceName(twins, "BCR2000:BCR2000 MIDI 1"), 0);
    EXPECT_EQ(FindDeviceName(twins, "BCR2000:BCR2000 MIDI 1 28:0"), 1);
    EXPECT_EQ(FindDeviceName(twins, "BCR2000:BCR2000 MIDI 1 40:0"), 0);
    EXPECT_EQ(FindDeviceNames(twins, "BCR2000:BCR2000 MIDI 1 28:0"), (std::vector<int>{1, 0}));
    EXPECT_EQ(FindDeviceName({"Twin", "Twin"}, "TWIN"), 0);
    EXPECT_TRUE(FindDeviceNames({}, "Twin").empty());
}
