#include "core/ParamTable.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

struct FakeLabel : TValueLabel {
    FakeLabel(int l, int t) : left(l), top(t) {}
    void SetCaption(const std::string &text) override { caption = text; ++sets; }
    int Left() const override { return left; }
    int Top() const override { return top; }
    int left, top;
    std::string caption;
    int sets = 0;
};

// The window's labels, at their design positions.
struct LabelBoard {
    LabelBoard()
    {
        for (int i = 0; i < ParamCount; ++i) {
            const TParamDesign &d = ParamDesign(i);
            if (*d.LabelName != '\0')
                labels[d.LabelName] = std::make_unique<FakeLabel>(d.DiagLeft, d.DiagTop);
        }
    }
    TValueLabel *find(const std::string &name)
    {
        auto it = labels.find(name);
        return it == labels.end() ? nullptr : it->second.get();
    }
    std::map<std::string, std::unique_ptr<FakeLabel>> labels;
};

struct Expected {
    int cc, env, mask, max, rnd;
    const char *label;
    int bcrLeft, bcrTop, diagLeft, diagTop;
};

// The table as the DW-8000 owner's manual and the window layout give it.
const Expected kExpected[ParamCount] = {
    {29, -1, 3, 2, 2, "lBtn29", 160, 155, 112, 136},   {28, -1, 15, 15, 15, "lBtn28", 47, 154, 112, 156},
    {48, -1, 31, 31, 31, "lEnc48", 415, 367, 288, 244}, {14, -1, 3, 3, 3, "lBtn14", 246, 11, 298, 529},
    {15, -1, 1, 1, 1, "lBtn15", 326, 11, 298, 545},     {22, -1, 31, 31, 31, "lEnc22", 242, 83, 298, 585},
    {23, -1, 31, 31, 31, "lEnc23", 326, 83, 298, 565},  {37, -1, 3, 2, 2, "lBtn37", 160, 214, 108, 357},
    {36, -1, 15, 15, 15, "lBtn36", 47, 213, 108, 417},  {49, -1, 31, 31, 31, "lEnc49", 499, 367, 288, 276},
    {38, -1, 7, 4, 4, "lBtn38", 225, 214, 108, 377},    {39, -1, 7, 6, 6, "lBtn39", 332, 214, 108, 397},
    {50, -1, 31, 31, 31, "lEnc50", 583, 367, 288, 212}, {35, -1, 3, 3, 3, "lBtn35", 642, 155, 124, 630},
    {0, -1, 31, 31, 31, nullptr, 0, 0, 0, 0},           {44, -1, 63, 63, 63, "lEnc44", 77, 367, 488, 223},
    {45, -1, 31, 31, 31, "lEnc45", 162, 367, 488, 243}, {32, -1, 3, 3, 3, "lBtn32", 411, 155, 488, 263},
    {33, -1, 1, 1, 1, "lBtn33", 486, 155, 514, 537},    {59, -1, 31, 31, 31, "lEnc59", 670, 514, 514, 517},
    {52, 10, 31, 31, 31, "lEnc52", 79, 514, 514, 397},  {53, 12, 31, 31, 31, "lEnc53", 164, 514, 514, 417},
    {54, 13, 31, 31, 31, "lEnc54", 248, 514, 514, 437}, {55, 14, 31, 31, 31, "lEnc55", 332, 514, 514, 457},
    {56, 15, 31, 31, 31, "lEnc56", 417, 514, 514, 477}, {57, 16, 31, 31, 31, "lEnc57", 501, 514, 514, 497},
    {58, -1, 7, 7, 7, "lEnc58", 586, 514, 488, 282},    {60, 0, 31, 31, 31, "lEnc60", 77, 657, 806, 392},
    {61, 2, 31, 31, 31, "lEnc61", 167, 657, 806, 412},  {62, 3, 31, 31, 31, "lEnc62", 246, 657, 806, 432},
    {63, 4, 31, 31, 31, "lEnc63", 330, 657, 806, 452},  {64, 5, 31, 31, 31, "lEnc64", 415, 657, 806, 472},
    {65, 6, 31, 31, 31, "lEnc65", 499, 657, 806, 492},  {66, -1, 7, 7, 7, "lEnc66", 582, 657, 811, 281},
    {13, -1, 3, 3, 3, "lBtn13", 140, 10, 409, 81},      {20, -1, 31, 31, 31, "lEnc20", 73, 87, 409, 41},
    {21, -1, 31, 31, 3, "lEnc21", 158, 87, 409, 61},    {47, -1, 31, 31, 31, "lEnc47", 330, 367, 409, 121},
    {46, -1, 31, 31, 31, "lEnc46", 246, 367, 409, 101}, {30, -1, 15, 12, 12, "lBtn30", 244, 154, 315, 393},
    {31, -1, 1, 1, 1, "lBtn31", 329, 155, 315, 373},    {18, -1, 7, 7, 7, "lBtn18", 578, 9, 700, 58},
    {26, -1, 15, 15, 15, "lEnc26", 578, 86, 700, 78},   {25, -1, 15, 15, 15, "lEnc25", 495, 86, 700, 38},
    {24, -1, 31, 31, 31, "lEnc24", 410, 86, 700, 98},   {16, -1, 31, 31, 31, "lBtn16", 410, 9, 700, 118},
    {27, -1, 15, 15, 15, "lEnc27", 663, 86, 700, 142},  {67, -1, 31, 31, 31, "lEnc67", 666, 657, 124, 652},
    {40, -1, 3, 3, 3, "lBtn40", 413, 214, 409, 141},    {41, -1, 3, 3, 3, "lBtn41", 499, 214, 487, 302},
    {42, -1, 3, 3, 3, "lBtn42", 582, 214, 811, 301},
};

class ParamTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BuildParams(params, [this](const std::string &n) { return board.find(n); });
    }
    FakeLabel &label(int row) { return *board.labels.at(ParamDesign(row).LabelName); }
    LabelBoard board;
    TParamTable params;
};

} // namespace

TEST_F(ParamTableTest, EveryRowMatchesTheDesignTable)
{
    for (int i = 0; i < ParamCount; ++i) {
        SCOPED_TRACE(i);
        const Expected &e = kExpected[i];
        const TCcParam &p = params[i];
        EXPECT_EQ(p.ParamNo, i == UnusedRow ? 0 : i);
        EXPECT_EQ(p.Channel, 0);
        EXPECT_EQ(p.Controller, e.cc);
        EXPECT_EQ(p.EnvSlot, e.env);
        EXPECT_EQ(p.DumpMask, e.mask);
        EXPECT_EQ(p.MaxValue, e.max);
        EXPECT_EQ(p.RandomMax, e.rnd);
        EXPECT_EQ(p.Value, 0);
        EXPECT_EQ(p.BcrLeft, e.bcrLeft);
        EXPECT_EQ(p.BcrTop, e.bcrTop);
        EXPECT_EQ(p.DiagLeft, e.diagLeft);
        EXPECT_EQ(p.DiagTop, e.diagTop);
        if (e.label == nullptr)
            EXPECT_EQ(p.ValueLabel, nullptr);
        else
            EXPECT_EQ(p.ValueLabel, board.find(e.label));
    }
}

TEST_F(ParamTableTest, ValueNameListsHaveTheirExactTexts)
{
    const std::vector<std::string> octave = {"16'", " 8'", " 4'", "INHIBIT"};
    const std::vector<std::string> wave = {"Brass&Str", "Clarinet", "Ac. Piano", "Elec Piano",
                                           "E Pno(Hard)", "Clavinet", "Organ", "Brass",
                                           "Saxophone", "Violin", "Ac.Guitar", "Guitar Dist",
                                           "Elec.Bass", "DigitalBass", "Bell", "Org Whistle"};
    EXPECT_EQ(params[0].ValueNames, octave);
    EXPECT_EQ(params[7].ValueNames, octave);
    EXPECT_EQ(params[1].ValueNames, wave);
    EXPECT_EQ(params[8].ValueNames, wave);
    EXPECT_EQ(params[3].ValueNames, (std::vector<std::string>{"Off", "OSC1", "OSC2", "Both"}));
    EXPECT_EQ(params[4].ValueNames, (std::vector<std::string>{"Up", "Down"}));
    EXPECT_EQ(params[10].ValueNames, (std::vector<std::string>{"Unison", "3rd Down", "Third", "Fourth",
                                                               "Fifth", "INHIBIT", "INHIBIT", "INHIBIT"}));
    EXPECT_EQ(params[13].ValueNames, (std::vector<std::string>{"Poly 1", "Poly 2", "Unison 1", "Unison 2"}));
    EXPECT_EQ(params[17].ValueNames, (std::vector<std::string>{"Off", "Quarter", "Half", "Full"}));
    EXPECT_EQ(params[18].ValueNames, (std::vector<std::string>{"Normal", "Invert"}));
    EXPECT_EQ(params[34].ValueNames, (std::vector<std::string>{"Triangle", "Saw Dwn", "Saw Up", "Square"}));
    EXPECT_EQ(params[40].ValueNames, (std::vector<std::string>{"Off", "On"}));
    int named = 0;
    for (const TCcParam &p : params)
        named += p.ValueNames.empty() ? 0 : 1;
    EXPECT_EQ(named, 12);
}

TEST_F(ParamTableTest, ControllerNumbersAreDistinctAndLeaveTheFreeOnesUnused)
{
    std::map<int, int> seen;
    for (int i = 0; i < ParamCount; ++i) {
        if (!IsLiveRow(i))
            continue;
        EXPECT_EQ(seen.count(params[i].Controller), 0u) << "controller " << params[i].Controller;
        seen[params[i].Controller] = i;
    }
    for (int free : {17, 19, 34, 43, 51})
        EXPECT_EQ(seen.count(free), 0u) << free;
    for (int cc = 13; cc <= 67; ++cc)
        EXPECT_TRUE(seen.count(cc) || cc == 17 || cc == 19 || cc == 34 || cc == 43 || cc == 51) << cc;
}

TEST_F(ParamTableTest, DumpBytesAreMaskedThenClamped)
{
    SetFromDump(params[0], 3);
    EXPECT_EQ(params[0].Value, 2);
    EXPECT_EQ(label(0).caption, " 4'");
    SetFromDump(params[10], 7);
    EXPECT_EQ(params[10].Value, 4);
    EXPECT_EQ(label(10).caption, "Fifth");
    SetFromDump(params[39], 15);
    EXPECT_EQ(params[39].Value, 12);
    SetFromDump(params[15], 127);
    EXPECT_EQ(params[15].Value, 63);
    EXPECT_EQ(label(15).caption, "63");
    SetFromDump(params[2], 37);
    EXPECT_EQ(params[2].Value, 5);
    SetFromDump(params[13], 3);
    EXPECT_EQ(params[13].Value, 3);
    EXPECT_EQ(label(13).caption, "Unison 2");
}

TEST_F(ParamTableTest, ControllerValuesAreTakenUnchanged)
{
    SetFromController(params[0], 3);
    EXPECT_EQ(params[0].Value, 3);
    EXPECT_EQ(label(0).caption, "INHIBIT");
    SetFromController(params[10], 5);
    EXPECT_EQ(label(10).caption, "INHIBIT");
    SetFromController(params[5], 100);
    EXPECT_EQ(params[5].Value, 100);
    EXPECT_EQ(label(5).caption, "100");
    SetFromController(params[18], 0);
    EXPECT_EQ(label(18).caption, "Normal");
    SetFromController(params[18], 1);
    EXPECT_EQ(label(18).caption, "Invert");
}

TEST_F(ParamTableTest, ValueBeyondItsNameListShowsItsNumber)
{
    SetFromController(params[18], 2);
    EXPECT_EQ(label(18).caption, "2");
    SetFromController(params[1], 127);
    EXPECT_EQ(label(1).caption, "127");
}

TEST(ParamTableWithoutWindow, RowsWithoutLabelsShowNothingAndGoOn)
{
    TParamTable params;
    BuildParams(params);
    SetFromDump(params[1], 0x0F);
    SetFromController(params[20], 9);
    EXPECT_EQ(params[1].Value, 15);
    EXPECT_EQ(params[20].Value, 9);
    EXPECT_EQ(DisplayText(params[1]), "Org Whistle");
    EXPECT_EQ(params[1].DiagLeft, 0);
}

TEST(ParamTableWithoutWindow, UnusedRowMatchesNoController)
{
    TParamTable params;
    BuildParams(params);
    // Controller 0 on channel 0 would otherwise hit the unused row.
    EXPECT_EQ(FindControllerRow(params, 0, 0), -1);
    EXPECT_EQ(FindControllerRow(params, 0, 44), 15);
    EXPECT_EQ(FindControllerRow(params, 1, 44), -1);
}
