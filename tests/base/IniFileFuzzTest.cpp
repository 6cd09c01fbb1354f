// Feeds the INI reader mutated and random files: it must never crash or read out of bounds,
// and every run must end in an open object or in one of the documented errors.
#include "base/IniFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <regex>

using zef::IniFile;
using zef::Result;
using zef::String;

namespace
{
const char* const kSeedFile = "[Default]\n"
                              "Serial = FT12345\n"
                              "ClockFrequency=500\n"
                              "; a comment\n"
                              "Text=some value ; not a comment\n"
                              "+= continued\n"
                              "\n"
                              "[VisualizeAngleDlg]\r\n"
                              "Color=16711680\r\n"
                              "Path/Name_2 = a=b\n"
                              "[FT12345]\n"
                              "Mask=0\n";

const char kInteresting[] = {'[', ']',  '=', ';', '+', '\n',   '\r',  '\0',
                             ' ', '\t', 'A', '/', '_', '\xff', '\x1a'};

std::string Mutate(std::string text, std::mt19937& rng)
{
    std::uniform_int_distribution<int> pick(0, 6);
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int s = 0; s < steps; ++s)
    {
        const std::size_t pos = text.empty() ? 0 : rng() % (text.size() + 1);
        switch (pick(rng))
        {
        case 0: // flip a byte
            if (!text.empty())
                text[pos % text.size()] = static_cast<char>(rng());
            break;
        case 1: // insert an interesting byte
            text.insert(pos, 1, kInteresting[rng() % sizeof kInteresting]);
            break;
        case 2: // delete a range
            if (!text.empty())
                text.erase(pos % text.size(), rng() % 16);
            break;
        case 3: // duplicate a range (duplicate chapters and keys)
            if (!text.empty())
            {
                const std::size_t from = rng() % text.size();
                text.insert(pos, text.substr(from, rng() % 40));
            }
            break;
        case 4: // a long run
            text.insert(pos,
                        std::string(1 + rng() % 3000, kInteresting[rng() % sizeof kInteresting]));
            break;
        case 5: // random garbage
        {
            std::string garbage(rng() % 64, '\0');
            for (char& c : garbage)
                c = static_cast<char>(rng());
            text.insert(pos, garbage);
            break;
        }
        default: // cut the tail (no final line end)
            text.resize(pos);
            break;
        }
    }
    return text;
}

bool IsDocumentedLineError(const std::string& text)
{
    static const std::regex documented(
        "Syntax error: Chaptername expected\\. |"
        "Syntax error: Token '\\]' expected\\.|"
        "Syntax error: Name of chapter invalid\\.|"
        "Syntax error: Chapter '[A-Za-z0-9/_]+' already exists\\.|"
        "Syntax error: Token '=' expected\\.|"
        "Syntax error: Name of key invalid\\.|"
        "Syntax error: Key '[A-Za-z0-9/_]+' already exists in this Chapter\\.|"
        "Syntax error: Key expected before continuation line\\.");
    return std::regex_match(text, documented);
}

int CountLines(const std::string& text)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Checks the outcome of one read of content named name.
void CheckOutcome(const IniFile& ini, const Result& r, const std::string& name,
                  const std::string& content)
{
    ASSERT_TRUE(ini.IsOpen());
    if (r.IsError())
    {
        EXPECT_EQ(r.GetErrorCode(), 2);
        EXPECT_EQ(r.GetSourceLine(), 430);
        const std::regex head("Error while reading file '" + name + "', line ([0-9]+)\\.");
        std::smatch m;
        const std::string text = r.GetText().GetStdString();
        ASSERT_TRUE(std::regex_match(text, m, head)) << text;
        const int line = std::stoi(m[1]);
        EXPECT_GE(line, 1);
        EXPECT_LE(line, CountLines(content));
        ASSERT_GE(r.GetHistorySize(), 1);
        EXPECT_TRUE(IsDocumentedLineError(r.GetHistory(0).GetText().GetStdString()))
            << r.GetHistory(0).GetText();
        EXPECT_EQ(r.GetCategory(), r.GetHistory(0).GetCategory());
    }
    // Whatever was read answers lookups consistently.
    std::vector<String> chapters, keys;
    ini.GetChapters(chapters);
    for (const String& chapter : chapters)
    {
        ASSERT_TRUE(ini.GetKeys(chapter, keys).IsOk()) << chapter;
        for (const String& key : keys)
        {
            String value;
            Result lookup;
            EXPECT_TRUE(ini.GetString(chapter, key, value, lookup));
            int number = 0;
            ini.GetInt32(chapter, key, number, lookup);
            EXPECT_EQ(value.Find('\n'), -1);
        }
    }
}

class StreamIni : public IniFile
{
public:
    using IniFile::ReadStream;
};

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
} // namespace

class IniFileFuzz : public testing::TestWithParam<unsigned>
{
};

TEST_P(IniFileFuzz, MutatedFilesEndOpenOrInDocumentedError)
{
    std::mt19937 rng(GetParam());
    StreamIni ini;
    const std::string fileName = "fuzz_" + std::to_string(GetParam()) + ".ini";
    int errors = 0;
    for (int i = 0; i < 400; ++i)
    {
        std::string content = Mutate(kSeedFile, rng);
        // Every fourth run goes through the file system, the others through memory.
        Result r;
        if (i % 4 == 0 || content.empty())
        {
            zef::test::WriteFile(fileName, content);
            r = ini.Open(fileName);
            CheckOutcome(ini, r, fileName, content);
        }
        else
        {
            std::unique_ptr<std::FILE, FileCloser> f(fmemopen(content.data(), content.size(), "r"));
            ASSERT_TRUE(f);
            r = ini.ReadStream(f.get(), "mem.ini");
            CheckOutcome(ini, r, "mem.ini", content);
        }
        errors += r.IsError();
        if (HasFatalFailure())
        {
            ADD_FAILURE() << "seed " << GetParam() << " run " << i;
            return;
        }
    }
    // The mutations reach both outcomes.
    EXPECT_GT(errors, 0);
    EXPECT_LT(errors, 400);
}

TEST_P(IniFileFuzz, RandomBytes)
{
    std::mt19937 rng(GetParam() * 7919u);
    IniFile ini;
    const std::string fileName = "random_" + std::to_string(GetParam()) + ".ini";
    for (int i = 0; i < 100; ++i)
    {
        std::string content(rng() % 4000, '\0');
        for (char& c : content)
            c = static_cast<char>(rng());
        zef::test::WriteFile(fileName, content);
        const Result r = ini.Open(fileName);
        CheckOutcome(ini, r, fileName, content);
        if (HasFatalFailure())
            return;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, IniFileFuzz, testing::Values(1u, 2u, 3u, 42u, 20261208u));
