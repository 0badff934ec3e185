// The generated BCR2000 preset, read back from the file the build made and
// checked against the parameter table, and then uploaded to the simulated
// BCR2000 to see that its controls send what the editor expects.

#include "PresetGen.h"
#include "core/ParamTable.h"
#include "sim/SimBcr2000.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadPresetFile()
{
    std::ifstream in(TAVRELK_PRESET_FILE, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The file cut at each F7; every message must be a whole BCL line.
std::vector<Bytes> SplitMessages(const Bytes &file)
{
    std::vector<Bytes> messages;
    Bytes current;
    for (const std::uint8_t b : file) {
        current.push_back(b);
        if (b == 0xF7) {
            messages.push_back(current);
            current.clear();
        }
    }
    EXPECT_TRUE(current.empty()) << "bytes after the last F7";
    return messages;
}

std::vector<std::string> DecodeLines(const std::vector<Bytes> &messages)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Bytes &m = messages[i];
        const Bytes header{0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20,
                           std::uint8_t(i >> 7), std::uint8_t(i & 0x7F)};
        EXPECT_GE(m.size(), header.size() + 1) << "message " << i;
        EXPECT_TRUE(std::equal(header.begin(), header.end(), m.begin())) << "header of message " << i;
        std::string text(m.begin() + std::ptrdiff_t(header.size()), m.end() - 1);
        for (const char c : text)
            EXPECT_TRUE(c >= 32 && c <= 126) << "message " << i << " holds byte " << int(c);
        lines.push_back(text);
    }
    return lines;
}

struct Element {
    std::vector<std::vector<std::string>> Settings;  // each line's tokens
};

std::vector<std::string> Words(const std::string &line)
{
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;)
        words.push_back(w);
    return words;
}

// "$encoder 33" -> its settings, in order.
std::map<std::string, Element> ElementsOf(const std::vector<std::string> &lines)
{
    std::map<std::string, Element> elements;
    std::string section;
    for (const std::string &line : lines) {
        const auto w = Words(line);
        if (w.empty())
            continue;
        if (w[0] == "$encoder" || w[0] == "$button") {
            section = w[0].substr(1) + " " + w.at(1);
            EXPECT_EQ(elements.count(section), 0u) << section << " programmed twice";
            elements[section];
        } else if (w[0][0] == '$') {
            section.clear();
        } else if (!section.empty()) {
            elements[section].Settings.push_back(w);
        }
    }
    return elements;
}

// Which control a row's label sits over on the controller page: the label
// rows follow the BCR2000's rows, the columns its eight knobs.
std::string ControlAtLabel(int left, int top)
{
    struct Band {
        int Top;
        const char *Kind;
        int First;
    };
    const Band bands[] = {{10, "button", 1},   {86, "encoder", 1},   {155, "button", 33}, {214, "button", 41},
                          {367, "encoder", 33}, {514, "encoder", 41}, {657, "encoder", 49}};
    const Band *nearest = &bands[0];
    for (const Band &b : bands)
        if (std::abs(b.Top - top) < std::abs(nearest->Top - top))
            nearest = &b;
    EXPECT_LE(std::abs(nearest->Top - top), 12) << "label top " << top << " is between rows";
    const double column = (left - 73) / 84.0;
    const int rounded = int(std::lround(column));
    EXPECT_LE(std::abs(column - rounded), 0.35) << "label left " << left << " is between columns";
    EXPECT_TRUE(rounded >= 0 && rounded <= 7) << "label left " << left;
    return std::string(nearest->Kind) + " " + std::to_string(nearest->First + rounded);
}

TParamTable Table()
{
    TParamTable t;
    BuildParams(t);
    return t;
}

TEST(PresetFile, IsTheGeneratorsOutputFramedAsNumberedBclLines)
{
    const Bytes file = ReadPresetFile();
    ASSERT_FALSE(file.empty()) << "no preset file at " << TAVRELK_PRESET_FILE;
    EXPECT_EQ(file, presetgen::PresetFile());
    const std::vector<std::string> lines = DecodeLines(SplitMessages(file));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "$rev R1");
    EXPECT_EQ(lines[1], "$preset");
    EXPECT_EQ(lines.back(), "$end");
    EXPECT_EQ(lines, presetgen::PresetScript());
    for (const std::string &line : lines) {
        EXPECT_EQ(line.find("$store"), std::string::npos) << "the preset must not store itself";
        EXPECT_LT(line.size(), 100u);
    }
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  .init"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  .name 'Korg DW-8000 Tavrelk'"), lines.end());
}

TEST(PresetFile, EveryRowsControlSendsItsControllerOverItsWholeRange)
{
    const std::map<std::string, Element> elements = ElementsOf(DecodeLines(SplitMessages(ReadPresetFile())));
    const TParamTable table = Table();
    std::size_t rows = 0;
    for (int r = 0; r < ParamCount; ++r) {
        if (!IsLiveRow(r))
            continue;
        ++rows;
        const TCcParam &row = table[std::size_t(r)];
        const std::string control = ControlAtLabel(row.BcrLeft, row.BcrTop);
        SCOPED_TRACE("row " + std::to_string(r) + ", " + control);
        ASSERT_EQ(elements.count(control), 1u);
        const auto &settings = elements.at(control).Settings;
        ASSERT_FALSE(settings.empty());
        const auto &easypar = settings.front();  // later settings would be reset by it
        ASSERT_GE(easypar.size(), 7u);
        EXPECT_EQ(easypar[0], ".easypar");
        EXPECT_EQ(easypar[1], "CC");
        EXPECT_EQ(easypar[2], std::to_string(row.Channel + 1));
        EXPECT_EQ(easypar[3], std::to_string(row.Controller));
        const std::string max = std::to_string(row.MaxValue);
        if (control.rfind("encoder", 0) == 0) {
            EXPECT_EQ(std::vector<std::string>(easypar.begin() + 4, easypar.end()),
                      (std::vector<std::string>{"0", max, "absolute"}));
            EXPECT_NE(std::find(settings.begin(), settings.end(), std::vector<std::string>{".showvalue", "on"}),
                      settings.end());
        } else if (row.MaxValue == 1) {
            EXPECT_EQ(std::vector<std::string>(easypar.begin() + 4, easypar.end()),
                      (std::vector<std::string>{"1", "0", "toggleon"}));
        } else {
            EXPECT_EQ(std::vector<std::string>(easypar.begin() + 4, easypar.end()),
                      (std::vector<std::string>{max, "0", "increment", "1"}));
        }
        presetgen::BcrElement generated;
        ASSERT_TRUE(presetgen::ElementForController(row.Controller, generated));
        EXPECT_EQ(presetgen::ElementName(generated), control);
    }
    ASSERT_EQ(elements.count("button 48"), 1u);
    EXPECT_EQ(elements.at("button 48").Settings.front(),
              (std::vector<std::string>{".easypar", "CC", "1", "43", "1", "0", "toggleoff"}));
    // Nothing else is programmed: the controllers without a row stay silent.
    EXPECT_EQ(elements.size(), rows + 1);
    for (const int silent : {12, 17, 19, 34, 51}) {
        presetgen::BcrElement e;
        ASSERT_TRUE(presetgen::ElementForController(silent, e));
        EXPECT_EQ(elements.count(presetgen::ElementName(e)), 0u) << presetgen::ElementName(e);
    }
}

TEST(PresetFile, ControllersBeyondTheUnitsRowsAndBadLinesAreRefused)
{
    presetgen::BcrElement e;
    EXPECT_FALSE(presetgen::ElementForController(11, e));
    EXPECT_FALSE(presetgen::ElementForController(68, e));
    EXPECT_THROW(presetgen::BclMessage(0, "tab\there"), std::invalid_argument);
    EXPECT_THROW(presetgen::BclMessage(0x4000, "$end"), std::invalid_argument);
    EXPECT_EQ(presetgen::BclMessage(130, "$button 33"),
              (Bytes{0xF0, 0x00, 0x20, 0x32, 0x7F, 0x15, 0x20, 0x01, 0x02, 0x24, 0x62, 0x75, 0x74, 0x74, 0x6F,
                     0x6E, 0x20, 0x33, 0x33, 0xF7}));
}

// Uploaded to the simulated unit, every line is accepted and the controls then
// send each row's controller within its range.
TEST(PresetFile, SimulatedBcr2000AcceptsItAndItsControlsDriveTheRows)
{
    SimBcr2000 bcr;
    std::vector<Bytes> sent;
    bcr.SetSend([&](Bytes m) { sent.push_back(std::move(m)); });
    const std::vector<Bytes> messages = SplitMessages(ReadPresetFile());
    for (const Bytes &m : messages)
        bcr.Receive(m);
    ASSERT_EQ(sent.size(), messages.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(sent[i], (Bytes{0xF0, 0x00, 0x20, 0x32, 0x00, 0x15, 0x21, std::uint8_t(i >> 7),
                                  std::uint8_t(i & 0x7F), 0x00, 0xF7}));
    ASSERT_TRUE(bcr.Preset());
    EXPECT_EQ(bcr.Preset()->Name, "Korg DW-8000 Tavrelk    ");

    const TParamTable table = Table();
    for (int r = 0; r < ParamCount; ++r) {
        if (!IsLiveRow(r))
            continue;
        const TCcParam &row = table[std::size_t(r)];
        presetgen::BcrElement e;
        ASSERT_TRUE(presetgen::ElementForController(row.Controller, e));
        SCOPED_TRACE("row " + std::to_string(r));
        sent.clear();
        if (e.Kind == presetgen::ElementKind::Encoder) {
            ASSERT_TRUE(bcr.TurnElement(e.Number, 200));
            ASSERT_TRUE(bcr.TurnElement(e.Number, -200));
            EXPECT_EQ(sent, (std::vector<Bytes>{{0xB0, std::uint8_t(row.Controller), std::uint8_t(row.MaxValue)},
                                                {0xB0, std::uint8_t(row.Controller), 0}}));
        } else {
            // An echo sets the button; presses then walk up the range and wrap.
            bcr.Receive({0xB0, std::uint8_t(row.Controller), 0});
            for (int press = 1; press <= row.MaxValue + 1; ++press) {
                ASSERT_TRUE(bcr.PressButton(e.Number));
                ASSERT_TRUE(bcr.ReleaseButton(e.Number));
            }
            ASSERT_EQ(sent.size(), std::size_t(row.MaxValue + 1));
            for (int v = 1; v <= row.MaxValue + 1; ++v)
                EXPECT_EQ(sent[std::size_t(v - 1)][2], v % (row.MaxValue + 1));
        }
    }
    sent.clear();
    ASSERT_TRUE(bcr.PressButton(48));
    ASSERT_TRUE(bcr.ReleaseButton(48));
    EXPECT_EQ(sent, (std::vector<Bytes>{{0xB0, 43, 1}, {0xB0, 43, 0}}));
    EXPECT_FALSE(bcr.TurnElement(40, 1));  // encoder 40 (controller 51) is not programmed
    EXPECT_FALSE(bcr.PressButton(1));
}

} // namespace

namespace {

// The README's table of controls is pasted from the generator; a change of
// the table must be pasted again.
TEST(PresetFile, ReadmeTableOfControlsIsTheGeneratorsCurrentOutput)
{
    std::ifstream in(TAVRELK_README);
    const std::string readme{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(readme.empty()) << TAVRELK_README;
    EXPECT_NE(readme.find(presetgen::MarkdownTable()), std::string::npos)
        << "paste the output of tavrelk-presetgen --markdown into README.md";
}

// The performance table's upload row says how many lines were sent: the
// preset's, as the build writes it now (the benchmark sends that preset).
TEST(PresetFile, ReadmeUploadRowCountsThePresetsLines)
{
    std::ifstream in(TAVRELK_README);
    const std::string readme{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string row = "| Preset upload (";
    const std::size_t at = readme.find(row);
    ASSERT_NE(at, std::string::npos) << "no upload row in " << TAVRELK_README;
    EXPECT_EQ(std::stoul(readme.substr(at + row.size())), presetgen::PresetScript().size())
        << "run tools/run-bench again, or mend the row's count";
}

} // namespace
