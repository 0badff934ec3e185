#include "midi/Mididefs.h"
#include "midi/Midikeypatcharray.h"
#include "midi/MidiType.h"
#include "platform/FixedBlock.h"

#include <gtest/gtest.h>

TEST(MidiMessageToStr, NamesByHighNibbleOnly)
{
    for (const int s : {0x90, 0x9F, 0x95})
        EXPECT_EQ(MidiMessageToStr(std::uint8_t(s)), "MIDI_NOTEON");
    for (const int s : {0xF0, 0xF7, 0xF8, 0xFF})
        EXPECT_EQ(MidiMessageToStr(std::uint8_t(s)), "MIDI_BEGINSYSEX or MIDI_SYSTEMMESSAGE");
    EXPECT_EQ(MidiMessageToStr(0x80), "MIDI_NOTEOFF");
    EXPECT_EQ(MidiMessageToStr(0xA3), "MIDI_KEYAFTERTOUCH");
    EXPECT_EQ(MidiMessageToStr(0xB0), "MIDI_CONTROLCHANGE");
    EXPECT_EQ(MidiMessageToStr(0xC1), "MIDI_PROGRAMCHANGE");
    EXPECT_EQ(MidiMessageToStr(0xD2), "MIDI_CHANAFTERTOUCH");
    EXPECT_EQ(MidiMessageToStr(0xEF), "MIDI_PITCHBEND");
    EXPECT_EQ(MidiMessageToStr(0x00), "Unknown MIDI Message 0x00 | 0");
    EXPECT_EQ(MidiMessageToStr(0x7B), "Unknown MIDI Message 0x7B | 123");
}

TEST(SetPatchChannels, WritesChannelMaskOrRefusesIndexAbove127)
{
    TKeyPatchArray entries{};
    entries[5] = 0xFFFF;
    EXPECT_TRUE(SetPatchChannels(entries, 5, TMidiChannels{0, 9}));
    EXPECT_EQ(entries[5], 0x0201);
    EXPECT_TRUE(SetPatchChannels(entries, 5, TMidiChannels{}));
    EXPECT_EQ(entries[5], 0);
    const TKeyPatchArray before = entries;
    EXPECT_FALSE(SetPatchChannels(entries, 128, TMidiChannels{1}));
    EXPECT_EQ(entries, before);
}

TEST(MidiNames, GeneralMidiNamesFollowProgramOrder)
{
    // By program number, as a program change carries it.
    const struct {
        int program;
        const char *name;
    } table[] = {{0, "Acoustic Grand Piano"}, {87, "Lead 8 (bass + lead)"}, {127, "Gunshot"}};
    for (const auto &row : table)
        EXPECT_EQ(MIDIInstrumentToStr(TGMInstrumentPatch(row.program)), row.name) << row.program;
}

TEST(TMyMidiHdr, SizeZeroOwnsNothingOtherwiseHeaderPointsAtBuffer)
{
    const long before = platform::FixedBlock::LiveBlocks();
    {
        TMyMidiHdr empty(0);
        EXPECT_EQ(empty.Header, nullptr);
        EXPECT_EQ(platform::FixedBlock::LiveBlocks(), before);
        TMyMidiHdr hdr(57);
        ASSERT_NE(hdr.Header, nullptr);
        EXPECT_EQ(hdr.Header->lpData, hdr.Buffer);
        EXPECT_EQ(hdr.Header->dwBufferLength, 57u);
        EXPECT_EQ(hdr.Header->dwBytesRecorded, 0u);
        EXPECT_EQ(platform::FixedBlock::LiveBlocks(), before + 2);
    }
    EXPECT_EQ(platform::FixedBlock::LiveBlocks(), before);
}

TEST(TMyMidiHdr, AllocationFailureThrowsAndLeaksNothing)
{
    const long before = platform::FixedBlock::LiveBlocks();
    platform::FixedBlock::InjectAllocationFailures(1, 1);
    EXPECT_THROW(TMyMidiHdr(16), std::bad_alloc);
    platform::FixedBlock::InjectAllocationFailures(0, 0);
    EXPECT_EQ(platform::FixedBlock::LiveBlocks(), before);
}
