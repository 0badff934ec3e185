// The BCR2000's answers, the identity requests and their answers, what a
// device search makes of what it hears, and the upload's closing message.

#include "dw/BcrMessages.h"
#include "engine/BcrUpload.h"
#include "engine/DeviceSearch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

template <typename F>
auto Call(F f, const Bytes &b)
{
    return f(b.data(), b.size());
}

Bytes Line(int index, const std::string &text)
{
    Bytes b = {0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, std::uint8_t(index >> 7), std::uint8_t(index & 0x7F)};
    b.insert(b.end(), text.begin(), text.end());
    b.push_back(0xF7);
    return b;
}

} // namespace

TEST(BclReply, OnlyTheElevenByteCommand21IsAnAnswer)
{
    const auto r = Call(dw::ParseBclReply, {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, 0x01, 0x02, 0x16, 0xF7});
    ASSERT_TRUE(r);
    EXPECT_EQ(r->Index, 130);
    EXPECT_EQ(r->Error, 22);
    // A preset name comes as command 21 too, with another length.
    EXPECT_FALSE(Call(dw::ParseBclReply, {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, 'D', 'W', '8', '0', 0xF7}));
    EXPECT_FALSE(Call(dw::ParseBclReply, {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, 0x00, 0x00, 0xF7}));
    // Another maker; a status byte inside.
    EXPECT_FALSE(Call(dw::ParseBclReply, {0xF0, 0x00, 0x20, 0x33, 0x00, 0x15, 0x21, 0x00, 0x01, 0x00, 0xF7}));
    EXPECT_FALSE(Call(dw::ParseBclReply, {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, 0x80, 0x01, 0x00, 0xF7}));
}

TEST(BclReply, LinesGiveTheirIndexAndTextAndErrorsTheirNames)
{
    const auto line = Call(dw::ParseBclLine, Line(130, "$button 33"));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Index, 130);
    EXPECT_EQ(line->Text, "$button 33");
    EXPECT_FALSE(Call(dw::ParseBclLine, {0xF0, 0x01, 0xF7}));

    EXPECT_STREQ(dw::BclErrorName(0), "ok");
    EXPECT_STREQ(dw::BclErrorName(9), "element number out of range");
    EXPECT_STREQ(dw::BclErrorName(15), "too much output data");
    EXPECT_STREQ(dw::BclErrorName(22), "index sequence error (a line was lost)");
    for (int undefined : {-1, 7, 16, 21, 23, 24, 127})
        EXPECT_STREQ(dw::BclErrorName(undefined), "unknown error") << undefined;
}

TEST(DeviceIdentity, RequestsAndAnswersOfBothDevices)
{
    EXPECT_EQ(Call(dw::ParseBcrIdentityReply, {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x02, 'B', 'C', 'R', 0xF7}),
              std::optional<std::string>("BCR"));

    EXPECT_EQ(*dw::BuildDwIdentityRequest(15), (std::array<std::uint8_t, 4>{0xF0, 0x42, 0x4F, 0xF7}));
    EXPECT_FALSE(dw::BuildDwIdentityRequest(16));
    EXPECT_EQ(Call(dw::ParseDwIdentityAnswer, {0xF0, 0x42, 0x3F, 0x03, 0xF7}), std::optional<int>(15));
    EXPECT_FALSE(Call(dw::ParseDwIdentityAnswer, {0xF0, 0x42, 0x30, 0x19, 0xF7}));      // another Korg model
    EXPECT_FALSE(Call(dw::ParseDwIdentityAnswer, {0xF0, 0x42, 0x30, 0x03, 0x40, 0xF7})); // a dump's start
}

TEST(DeviceSearchCore, AnswersBecomeCandidatesOnceAndDetectLinesNameThePorts)
{
    engine::TSearchResult r;
    r.InputNames = {"in A", "in B"};
    r.OutputNames = {"out A", "out B", "out C"};
    EXPECT_FALSE(r.BothFound());
    const Bytes synth = {0xF0, 0x42, 0x3F, 0x03, 0xF7};
    const Bytes ctrl = {0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x02, 'B', 0xF7};
    r.Record(2, 1, *Call(engine::ClassifySearchAnswer, synth));
    r.Record(2, 1, *Call(engine::ClassifySearchAnswer, synth));
    r.Record(-1, 0, *Call(engine::ClassifySearchAnswer, ctrl)); // heard between two outputs: no candidate
    EXPECT_FALSE(Call(engine::ClassifySearchAnswer, {0xF0, 0x7E, 0x00, 0x06, 0x02, 0xF7}));
    ASSERT_EQ(r.Synths.size(), 1u);
    EXPECT_TRUE(r.Controllers.empty());
    r.Record(0, 0, *Call(engine::ClassifySearchAnswer, ctrl));
    EXPECT_TRUE(r.BothFound());
    EXPECT_EQ(engine::DetectLines(r), (std::vector<std::string>{"synth-output out C", "synth-input in B",
                                                                "synth-channel 16", "controller-output out A",
                                                                "controller-input in A"}));
}

TEST(UploadSummary, ShowsTheFirstErrorsOnlyAndSaysWhenNothingCouldBeHeard)
{
    engine::TUploadReport r;
    r.Total = r.Sent = 12;
    r.Listened = true;
    r.Errors = {{4, "  .easypar CC 1 20 0 31 absolute", 9}, {5, "$end", 22}, {6, "x", 1}, {7, "y", 1}};
    EXPECT_EQ(engine::UploadSummary(r, 2), "All 12 lines were sent.\nThe unit reported 4 errors:\n"
                                           "line 4 \".easypar CC 1 20 0 31 absolute\": error 9, element number out of range\n"
                                           "line 5 \"$end\": error 22, index sequence error (a line was lost)\n"
                                           "(and 2 more)");
    r.Errors.clear();
    r.Listened = false;
    EXPECT_EQ(engine::UploadSummary(r), "All 12 lines were sent.\nNo controller input is selected, so the unit's "
                                        "answers could not be heard; sent with fixed pacing.");
}
