#include "base/IniFile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using zef::Exception;
using zef::IniFile;
using zef::Result;
using zef::String;
using zef::test::WriteFile;

namespace
{
// Reads content as the file name and answers the Open result.
Result OpenText(IniFile& ini, const std::string& name, const std::string& content)
{
    WriteFile(name, content);
    return ini.Open(name);
}

String Get(const IniFile& ini, const char* chapter, const char* key)
{
    String value("<missing>");
    ini.GetString(chapter, key, value);
    return value;
}

// Text of the line error below the read error of a failed Open.
std::string LineError(const Result& r)
{
    if (r.GetHistorySize() == 0 || r.GetHistory(0).GetText().IsNull())
        return "";
    return r.GetHistory(0).GetText().GetStdString();
}
} // namespace

TEST(IniFileParse, KeysValuesAndComments)
{
    IniFile ini;
    const Result r = OpenText(ini, "parse.ini",
                              "; comment\n"
                              "[Main]\n"
                              "Key = some value ; x\n"
                              "Eq=a=b\n"
                              "Empty=\n"
                              "  Spaced   =   v  \n"
                              "   ; indented comment\n"
                              "\n"
                              "[ Other ]  trailing text\n"
                              "Key=2\n"
                              "[Path/Name_1]\n"
                              "k=1");
    ASSERT_TRUE(r.IsOk()) << r;
    EXPECT_TRUE(ini.IsOpen());
    EXPECT_EQ(ini.GetFileName(), "parse.ini");
    EXPECT_EQ(Get(ini, "Main", "Key"), "some value ; x");
    EXPECT_EQ(Get(ini, "Main", "Eq"), "a=b");
    EXPECT_EQ(Get(ini, "Main", "Empty"), "");
    EXPECT_EQ(Get(ini, "Main", "Spaced"), "v");
    EXPECT_EQ(Get(ini, "Other", "Key"), "2");
    EXPECT_EQ(Get(ini, "Path/Name_1", "k"), "1");
    // Lookup names are trimmed too.
    EXPECT_EQ(Get(ini, " Main ", "\tKey "), "some value ; x");

    std::vector<String> names{"stale"};
    ini.GetChapters(names);
    EXPECT_EQ(names, (std::vector<String>{"Main", "Other", "Path/Name_1"}));
    EXPECT_TRUE(ini.GetKeys("Main", names).IsOk());
    EXPECT_EQ(names, (std::vector<String>{"Empty", "Eq", "Key", "Spaced"}));
}

TEST(IniFileParse, CaseSensitiveNames)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "case.ini", "[main]\na=1\n[Main]\na=2\nA=3\n").IsOk());
    EXPECT_EQ(Get(ini, "main", "a"), "1");
    EXPECT_EQ(Get(ini, "Main", "a"), "2");
    EXPECT_EQ(Get(ini, "Main", "A"), "3");
    EXPECT_EQ(Get(ini, "MAIN", "a"), "<missing>");
}

TEST(IniFileParse, ContinuationLines)
{
    IniFile ini;
    ASSERT_TRUE(
        OpenText(ini, "cont.ini", "[C]\nKey=one\n+=  two \n+=three\nOther=x\n[D]\nEmpty=\n+=z\n")
            .IsOk());
    EXPECT_EQ(Get(ini, "C", "Key"), "one two three");
    EXPECT_EQ(Get(ini, "C", "Other"), "x");
    EXPECT_EQ(Get(ini, "D", "Empty"), " z");

    const Result r = OpenText(ini, "cont2.ini", "[C]\n+=orphan\n");
    EXPECT_EQ(LineError(r), "Syntax error: Key expected before continuation line.");
    EXPECT_EQ(r.GetText(), "Error while reading file 'cont2.ini', line 2.");
}

TEST(IniFileParse, CrlfAndNoFinalLineEnd)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "crlf.ini", "[A]\r\nk=v\r\nj = w \r\n").IsOk());
    EXPECT_EQ(Get(ini, "A", "k"), "v");
    EXPECT_EQ(Get(ini, "A", "j"), "w");
    ASSERT_TRUE(OpenText(ini, "noeol.ini", "[A]\nk=last").IsOk());
    EXPECT_EQ(Get(ini, "A", "k"), "last");
    ASSERT_TRUE(OpenText(ini, "empty.ini", "").IsOk());
    std::vector<String> names;
    ini.GetChapters(names);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(ini.IsOpen());
}

TEST(IniFileParse, LongLinesAreWholeLines)
{
    IniFile ini;
    const std::string longValue(5000, 'v');
    // Past the old 499-byte read pieces: a ';', '[' or "k=" there must not start a new line.
    const std::string tricky = std::string(497, 'x') + "; [z] k=1";
    ASSERT_TRUE(
        OpenText(ini, "long.ini", "[A]\nk=" + longValue + "\nt=" + tricky + "\nlast=1\n").IsOk());
    EXPECT_EQ(Get(ini, "A", "k").GetStdString(), longValue);
    EXPECT_EQ(Get(ini, "A", "t").GetStdString(), tricky);
    EXPECT_EQ(Get(ini, "A", "last"), "1");

    // Line numbers count physical lines whatever their length.
    const Result r = OpenText(ini, "long2.ini", "[A]\nk=" + std::string(600, 'a') + "\nbad\n");
    EXPECT_EQ(r.GetText(), "Error while reading file 'long2.ini', line 3.");
}

struct SyntaxCase
{
    const char* content;
    const char* lineError;
    int lineErrorSource;
    int category;
    int line;
};

// A stable name: the test discovery matches the printed parameter.
void PrintTo(const SyntaxCase& c, std::ostream* os)
{
    *os << "error_at_" << c.lineErrorSource << "_line_" << c.line;
}

class IniFileSyntax : public testing::TestWithParam<SyntaxCase>
{
};

TEST_P(IniFileSyntax, EndsReadingWithDocumentedError)
{
    const SyntaxCase& c = GetParam();
    // Own file per case: ctest may run the cases side by side in one folder.
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    name += ".ini";
    IniFile ini;
    const Result r = OpenText(ini, name, c.content);
    ASSERT_TRUE(r.IsError());
    EXPECT_EQ(r.GetErrorCode(), 2);
    EXPECT_EQ(r.GetText(), String("Error while reading file '") + name + "', line " + c.line + ".");
    EXPECT_STREQ(r.GetSourceFile(), "IniFile.cpp");
    EXPECT_EQ(r.GetSourceLine(), 430);
    EXPECT_EQ(r.GetCategory(), c.category);
    ASSERT_GE(r.GetHistorySize(), 1);
    const Result& lineError = r.GetHistory(0);
    EXPECT_EQ(lineError.GetErrorCode(), 2);
    EXPECT_EQ(lineError.GetText(), c.lineError);
    EXPECT_EQ(lineError.GetSourceLine(), c.lineErrorSource);
    EXPECT_EQ(lineError.GetCategory(), c.category);
    // Open despite the error, with what was read before the failing line.
    EXPECT_TRUE(ini.IsOpen());
    EXPECT_EQ(ini.GetFileName(), name);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniFileSyntax,
    testing::Values(
        SyntaxCase{"k=1\n", "Syntax error: Chaptername expected. ", 333, 2, 1},
        SyntaxCase{"\n; c\n[A\n", "Syntax error: Token ']' expected.", 230, 2, 3},
        SyntaxCase{"[My Chapter]\n", "Syntax error: Name of chapter invalid.", 241, 2, 1},
        SyntaxCase{"[]\n", "Syntax error: Name of chapter invalid.", 241, 2, 1},
        SyntaxCase{"[A]\n[A]\n", "Syntax error: Chapter 'A' already exists.", 247, 0, 2},
        SyntaxCase{"[A]\nKey\n", "Syntax error: Token '=' expected.", 278, 2, 2},
        SyntaxCase{"[A]\nK-y=1\n", "Syntax error: Name of key invalid.", 286, 2, 2},
        SyntaxCase{"[A]\n=1\n", "Syntax error: Name of key invalid.", 286, 2, 2},
        SyntaxCase{"[A]\nK=1\nK=2\n", "Syntax error: Key 'K' already exists in this Chapter.", 298,
                   2, 3},
        SyntaxCase{"[A]\n+=\n", "Syntax error: Name of key invalid.", 286, 2, 2},
        SyntaxCase{"[A]\nk=1\n[B]\nk=2\n[A]\n", "Syntax error: Chapter 'A' already exists.", 247, 0,
                   5}));

TEST(IniFileParse, NameValidationBecomesHistory)
{
    IniFile ini;
    const Result r = OpenText(ini, "names.ini", "[A]\nK\xe4y=1\n");
    ASSERT_EQ(r.GetHistorySize(), 2);
    EXPECT_EQ(r.GetHistory(1).GetText(), "The name may only contain alphanumeric characters.");
    EXPECT_EQ(r.GetHistory(1).GetSourceLine(), 59);
    const Result e = OpenText(ini, "names2.ini", "[ ]\n");
    ASSERT_EQ(e.GetHistorySize(), 2);
    EXPECT_EQ(e.GetHistory(1).GetText(), "The name must contain at least 1 character.");
    EXPECT_EQ(e.GetHistory(1).GetSourceLine(), 50);
}

TEST(IniFileParse, ContentBeforeErrorStaysAvailable)
{
    IniFile ini;
    const Result r = OpenText(ini, "partial.ini", "[A]\nk=1\n[B]\nbroken\nlate=2\n");
    ASSERT_TRUE(r.IsError());
    EXPECT_EQ(Get(ini, "A", "k"), "1");
    std::vector<String> names;
    ini.GetChapters(names);
    EXPECT_EQ(names, (std::vector<String>{"A", "B"}));
    EXPECT_EQ(Get(ini, "B", "late"), "<missing>");
}

TEST(IniFileOpen, MissingDirectoryAndUnreadable)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "ok.ini", "[A]\nk=1\n").IsOk());

    const Result missing = ini.Open("does_not_exist.ini");
    EXPECT_EQ(missing.GetErrorCode(), 5);
    EXPECT_EQ(missing.GetCategory(), 0);
    EXPECT_EQ(missing.GetText(), "Error while opening file 'does_not_exist.ini'.");
    EXPECT_STREQ(missing.GetSourceFile(), "IniFile.cpp");
    EXPECT_EQ(missing.GetSourceLine(), 394);
    ASSERT_EQ(missing.GetHistorySize(), 1);
    EXPECT_EQ(missing.GetHistory(0).GetErrorCode(), ENOENT);
    EXPECT_EQ(missing.GetHistory(0).GetText(), "No such file or directory");
    // A failed Open forgets the earlier content and leaves the object closed.
    EXPECT_FALSE(ini.IsOpen());
    EXPECT_EQ(ini.GetFileName(), "");

    ::mkdir("a_directory.ini", 0755);
    const Result dir = ini.Open("a_directory.ini");
    EXPECT_EQ(dir.GetErrorCode(), 5);
    ASSERT_EQ(dir.GetHistorySize(), 1);
    EXPECT_EQ(dir.GetHistory(0).GetErrorCode(), EISDIR);
    EXPECT_FALSE(ini.IsOpen());

    WriteFile("locked.ini", "[A]\n");
    ::chmod("locked.ini", 0);
    const Result locked = ini.Open("locked.ini");
    if (::geteuid() != 0)
    {
        EXPECT_EQ(locked.GetErrorCode(), 5);
        EXPECT_EQ(locked.GetHistory(0).GetErrorCode(), EACCES);
    }
    ::chmod("locked.ini", 0644);

    EXPECT_EQ(ini.Open("").GetErrorCode(), 5);
}

// Gives the tests the stream reader, to reach failures a regular file never shows.
class StreamIni : public IniFile
{
public:
    using IniFile::ReadStream;
};

TEST(IniFileOpen, ReadErrorIsIoError)
{
    ::mkdir("read_error_dir", 0755);
    std::FILE* dir = std::fopen("read_error_dir", "r");
    ASSERT_NE(dir, nullptr);
    StreamIni ini;
    const Result r = ini.ReadStream(dir, "read_error_dir");
    std::fclose(dir);
    ASSERT_TRUE(r.IsError());
    EXPECT_EQ(r.GetText(), "Error while reading file 'read_error_dir', line 1.");
    EXPECT_EQ(r.GetCategory(), Result::CAT_IO);
    ASSERT_EQ(r.GetHistorySize(), 1);
    EXPECT_EQ(r.GetHistory(0).GetText(), "IO-Error occoured while reading file 'read_error_dir'.");
    EXPECT_EQ(r.GetHistory(0).GetSourceLine(), 420);
    EXPECT_TRUE(ini.IsOpen());
}

TEST(IniFileOpen, LongFileNameInMessages)
{
    // Messages are not limited by the formatting buffer.
    IniFile ini;
    const std::string name = std::string(4090, 'n');
    const Result r = ini.Open(name);
    EXPECT_EQ(r.GetErrorCode(), 5);
    EXPECT_EQ(r.GetText().GetLength(), name.size() + 28);
}

TEST(IniFileLookup, AccessErrorsInOrder)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "lookup.ini", "[A]\nk=v\nn=12\n").IsOk());
    String value("keep");
    Result r(99, "stale", Result::CAT_GENERAL);

    EXPECT_FALSE(ini.GetString("B-d", "k-", value, r));
    EXPECT_EQ(r.GetText(), "Error accessing IniFile 'lookup.ini'. ChapterName 'B-d' not valid.");
    EXPECT_EQ(r.GetSourceLine(), 513);
    EXPECT_EQ(r.GetErrorCode(), 2);
    EXPECT_EQ(r.GetCategory(), 2);
    EXPECT_STREQ(r.GetSourceFile(), "IniFile.cpp");

    EXPECT_FALSE(ini.GetString(" A ", " k y ", value, r));
    EXPECT_EQ(r.GetText(), "Error accessing IniFile 'lookup.ini'. KeyName ' k y ' not valid.");
    EXPECT_EQ(r.GetSourceLine(), 522);

    EXPECT_FALSE(ini.GetString(" B ", " zz ", value, r));
    EXPECT_EQ(r.GetText(), "Error accessing IniFile 'lookup.ini'. Chapter 'B' does not exist.");
    EXPECT_EQ(r.GetSourceLine(), 531);

    EXPECT_FALSE(ini.GetString(" A", "zz ", value, r));
    EXPECT_EQ(r.GetText(),
              "Error accessing IniFile 'lookup.ini'. Key 'zz' does not exist in chapter 'A'.");
    EXPECT_EQ(r.GetSourceLine(), 540);
    EXPECT_EQ(value, "keep");

    EXPECT_TRUE(ini.GetString("A", "k", value, r));
    EXPECT_TRUE(r.IsOk());
    EXPECT_EQ(value, "v");

    int number = -1;
    EXPECT_FALSE(ini.GetInt32(" A", "k ", number, r));
    EXPECT_EQ(
        r.GetText(),
        "Error accessing IniFile 'lookup.ini'. Key 'k ' in chapter ' A' is no valid integer.");
    EXPECT_EQ(r.GetSourceLine(), 607);
    EXPECT_EQ(number, -1);
    EXPECT_FALSE(ini.GetInt32("A", "x", number, r));
    EXPECT_EQ(r.GetSourceLine(), 540);
    EXPECT_TRUE(ini.GetInt32("A", "n", number, r));
    EXPECT_EQ(number, 12);
    EXPECT_TRUE(r.IsOk());
}

TEST(IniFileLookup, GetKeysErrors)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "keys.ini", "[A]\nk=v\n").IsOk());
    std::vector<String> names{"stale"};
    Result r = ini.GetKeys("A B", names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(r.GetText(), "Error accessing IniFile 'keys.ini'. ChapterName 'A B' not valid.");
    EXPECT_EQ(r.GetSourceLine(), 467);
    names = {"stale"};
    r = ini.GetKeys(" Z ", names);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(r.GetText(), "Error accessing IniFile 'keys.ini'. Chapter 'Z' does not exist.");
    EXPECT_EQ(r.GetSourceLine(), 475);
    EXPECT_EQ(r.GetCategory(), 2);
}

TEST(IniFileLookup, IntegerRule)
{
    int v = 0;
    EXPECT_TRUE(IniFile::ParseInt32("-7", v));
    EXPECT_EQ(v, -7);
    EXPECT_TRUE(IniFile::ParseInt32("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(IniFile::ParseInt32("-2147483648", v));
    v = 42;
    for (const char* bad : {"7.0", "+7", "", "012", "12abc", "0x10", " 1", "-0", "2147483648",
                            "-2147483649", "99999999999999999999", "-"})
    {
        EXPECT_FALSE(IniFile::ParseInt32(bad, v)) << bad;
        EXPECT_EQ(v, 42) << bad;
    }
    EXPECT_FALSE(IniFile::ParseInt32(String(std::string("1\0"
                                                        "2",
                                                        3)),
                                     v));
    EXPECT_TRUE(IniFile::ParseInt32("0", v));
    EXPECT_EQ(v, 0);

    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "ints.ini", "[I]\na=-7\nb=7.0\nc=\n").IsOk());
    v = 5;
    EXPECT_TRUE(ini.GetInt32("I", "a", v));
    EXPECT_EQ(v, -7);
    EXPECT_FALSE(ini.GetInt32("I", "b", v));
    EXPECT_FALSE(ini.GetInt32("I", "c", v));
    EXPECT_FALSE(ini.GetInt32("I", "missing", v));
    EXPECT_EQ(v, -7);
}

TEST(IniFileLookup, ClosedObjectIsAssertion)
{
    IniFile ini;
    String value;
    Result r;
    int n = 0;
    std::vector<String> names;
    const auto lineOf = [](auto fn)
    {
        try
        {
            fn();
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.GetText(),
                      "XAssertion. Expression \"IsOpen()\" failed. \nInfo: \"IniFile not open.\"");
            EXPECT_STREQ(e.GetResult().GetSourceFile(), "IniFile.cpp");
            return e.GetResult().GetSourceLine();
        }
        return -1;
    };
    EXPECT_EQ(lineOf([&] { ini.GetString("A", "k", value); }), 485);
    EXPECT_EQ(lineOf([&] { ini.GetString("A", "k", value, r); }), 506);
    EXPECT_EQ(lineOf([&] { ini.GetInt32("A", "k", n); }), 485);
    EXPECT_EQ(lineOf([&] { ini.GetInt32("A", "k", n, r); }), 506);
    EXPECT_EQ(lineOf([&] { ini.GetChapters(names); }), 444);
    EXPECT_EQ(lineOf([&] { ini.GetKeys("A", names); }), 458);

    ASSERT_TRUE(ini.OpenEmpty().IsOk());
    EXPECT_TRUE(ini.IsOpen());
    EXPECT_FALSE(ini.GetString("A", "k", value));
    ASSERT_TRUE(OpenText(ini, "closing.ini", "[A]\nk=1\n").IsOk());
    ini.Close();
    EXPECT_FALSE(ini.IsOpen());
    EXPECT_EQ(ini.GetFileName(), "");
    EXPECT_THROW(ini.GetChapters(names), Exception);
    ASSERT_TRUE(OpenText(ini, "closing.ini", "[A]\nk=1\n").IsOk());
    ini.OpenEmpty();
    EXPECT_EQ(ini.GetFileName(), "");
    ini.GetChapters(names);
    EXPECT_TRUE(names.empty());
}

TEST(IniFileOpen, ReopenStartsEmpty)
{
    IniFile ini;
    ASSERT_TRUE(OpenText(ini, "first.ini", "[A]\nk=1\n").IsOk());
    ASSERT_TRUE(OpenText(ini, "second.ini", "[A]\nk=2\n").IsOk());
    EXPECT_EQ(Get(ini, "A", "k"), "2");
    ASSERT_TRUE(OpenText(ini, "third.ini", "[B]\nj=3\n").IsOk());
    EXPECT_EQ(Get(ini, "A", "k"), "<missing>");
}

TEST(IniFileOpen, DataFileWithBinaryContent)
{
    IniFile ini;
    const Result r = ini.Open(zef::test::DataFile("nul_bytes.ini"));
    ASSERT_TRUE(ini.IsOpen());
    // The zero byte sits inside the value: kept, and the next lines are read.
    EXPECT_TRUE(r.IsOk()) << r;
    String value;
    ASSERT_TRUE(ini.GetString("Bin", "v", value));
    EXPECT_EQ(value.GetStdString(), std::string("a\0b", 3));
    EXPECT_EQ(Get(ini, "Bin", "after"), "ok");
}
