// The lists in the README, the notes, the man page and the fuzz dictionary against the tables
// they describe: the simulator's settings and the run analysis' event classes.

#include "app/core/RunAnalysis.h"
#include "app/core/TestPlan.h"
#include "link/SimulatorConfig.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using namespace App;

namespace
{
std::string Source(const std::string& path)
{
    std::ifstream in(std::string(TAVIK_SOURCE_DIR) + "/" + path);
    EXPECT_TRUE(in) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The text from the line that starts with `heading` to the next line starting with `end`.
std::string Section(const std::string& text, const std::string& heading, const std::string& end)
{
    const auto start = text.find("\n" + heading);
    EXPECT_NE(start, std::string::npos) << heading;
    if (start == std::string::npos)
        return {};
    const auto stop = text.find("\n" + end, start + 1 + heading.size());
    return text.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool HasWord(const std::string& text, const std::string& word)
{
    return std::regex_search(text, std::regex("(^|[^A-Za-z])" + word + "([^A-Za-z]|$)"));
}

// "forward|backward" gives its words; "N", "BITS" give none.
std::vector<std::string> Words(const std::string& value)
{
    std::vector<std::string> words;
    if (!std::regex_match(value, std::regex("[a-z|]+")))
        return words;
    std::istringstream in(value);
    for (std::string word; std::getline(in, word, '|');)
        words.push_back(word);
    return words;
}
} // namespace

TEST(Docs, SimulatorSettingsTableInTheLinkNotesFollowsTheParsersTable)
{
    std::vector<std::string> rows;
    for (const std::string& line :
         Lines(Section(Source("docs/notes/link.md"), "## Box simulator", "## ")))
        if (line.rfind("| `", 0) == 0)
            rows.push_back(line);
    const auto settings = FTD2xx::SimulatorConfig::Settings();
    ASSERT_EQ(rows.size(), settings.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
    {
        std::string value = settings[i].value;
        for (std::size_t bar = value.find('|'); bar != std::string::npos;
             bar = value.find('|', bar + 2))
            value.replace(bar, 1, "\\|");
        // "| `glitch=N` | every Nth reading is wrong ... | off |"
        const std::string cell =
            "`" + std::string(settings[i].name) + "=" + value + "` | " + settings[i].doc;
        EXPECT_NE(rows[i].find(cell), std::string::npos) << rows[i] << "\nwants: " << cell;
    }
}

TEST(Docs, ReadmeManPageAndFuzzDictionaryNameEverySimulatorSetting)
{
    const std::string readme = Section(Source("README.md"), "### Without hardware", "### ");
    const std::string man = Section(Source("docs/man/Tavik.1"), ".B TAVIK_SIMULATOR", ".TP");
    const std::string dictionary = Source("tests/fuzz/simulatorconfig.dict");
    for (const FTD2xx::SimulatorSetting& s : FTD2xx::SimulatorConfig::Settings())
    {
        const std::string name = s.name;
        if (name != "boxes")
        {
            EXPECT_NE(readme.find("`" + name), std::string::npos) << name;
            EXPECT_TRUE(HasWord(man, name)) << name;
        }
        const std::vector<std::string> words = Words(s.value);
        if (words.empty())
        {
            EXPECT_NE(dictionary.find("\"" + name + "=\"\n"), std::string::npos) << name;
        }
        for (const std::string& word : words)
            EXPECT_NE(dictionary.find("\"" + name + "=" + word + "\"\n"), std::string::npos)
                << name << "=" << word;
    }
}

TEST(Docs, EventClassesInTheAnalysisNotesAndTheReadmeFollowTheTable)
{
    std::vector<std::string> names;
    for (const EventClassInfo& c : EventClasses())
        names.push_back(c.name);

    // The notes' table: "| spike | ... |", "| all ones / all zeros | ... |".
    std::vector<std::string> listed;
    bool inTable = false;
    for (const std::string& line : Lines(Source("docs/notes/analysis.md")))
    {
        const std::string row = line.substr(std::min(line.find_first_not_of(' '), line.size()));
        if (row.rfind("| class |", 0) == 0)
            inTable = true;
        else if (inTable && row.rfind("|---", 0) != 0)
        {
            if (row.rfind("| ", 0) != 0)
                break;
            std::string cell = row.substr(2, row.find(" |", 2) - 2);
            for (std::size_t slash; (slash = cell.find(" / ")) != std::string::npos;)
            {
                listed.push_back(cell.substr(0, slash));
                cell.erase(0, slash + 3);
            }
            listed.push_back(cell);
        }
    }
    EXPECT_EQ(listed, names);

    // The README's sentence: "The fault classes are spike, jump, ... and all zeros."
    std::smatch match;
    const std::string readme = Source("README.md");
    ASSERT_TRUE(
        std::regex_search(readme, match, std::regex("fault classes are ([^.(]*[^.( \\n])")));
    std::string sentence = std::regex_replace(match[1].str(), std::regex("\\s+"), " ");
    std::vector<std::string> inReadme;
    for (std::string& part : Lines(std::regex_replace(sentence, std::regex(",? and |, "), "\n")))
        inReadme.push_back(part);
    EXPECT_EQ(inReadme, names);
}

TEST(Docs, MeasurementsInTheTestRecordNotesFollowTheTable)
{
    // "| spike_ppm | ppm | batch, check | ... |", in the table's order.
    std::vector<std::string> listed;
    for (const std::string& line : Lines(Source("docs/notes/test-record.md")))
        if (std::smatch m;
            std::regex_match(line, m, std::regex(R"(\| ([a-z_]+) \| ([^|]+) \| .*)")))
            if (m[1] != "field" && m[1] != "measurement")
                listed.push_back(m[1].str() + " " + m[2].str());
    std::vector<std::string> names;
    for (const MeasurementInfo& info : KnownMeasurements())
        names.push_back(std::string(info.name) + " " + info.unit);
    // The record's fields come after the measurements; only rows of known names count.
    listed.resize(std::min(listed.size(), names.size()));
    EXPECT_EQ(listed, names);
}
