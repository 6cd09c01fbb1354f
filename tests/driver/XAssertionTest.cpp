#include "driver/XAssertion.h"

#include "tests/driver/DriverTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace
{

const char kLogName[] = "TavikDriver XAssertionFailed.log";

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the built-in report and returns the exception's text.
std::string ReportText(const char* expr, const char* info, const char* file, int line)
{
    try
    {
        Tavik::XAssertionFailed(expr, info, file, line);
    }
    catch (const std::runtime_error& e)
    {
        return e.what();
    }
    ADD_FAILURE() << "XAssertionFailed returned";
    return {};
}

// Sets or unsets an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : m_Name(name)
    {
        if (const char* old = std::getenv(name))
            m_Old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_Old); }

private:
    void Set(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_Name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_Name.c_str());
    }

    std::string m_Name;
    std::optional<std::string> m_Old;
};

// The expected report, up to the local time (checked by pattern) and the log name.
std::string Pattern(const std::string& logName)
{
    return "XAssertionFailed in libTavikDriver\\.so\\.\n"
           "Expression: \"x>0\" \n"
           "Info: \"bad value\"\n"
           "Source: \\.\\\\Box, 12\n"
           "Local time: [A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} "
           "[0-9]{4}\n\n"
           "Note: Please send this bug report to [^\n]+\\.\n"
           "      This bug report will also be written to file: \"" +
           std::regex_replace(logName, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") + "\"";
}

} // namespace

TEST(XAssertion, BuiltInReportTextAndLogInWorkingDirectory)
{
    DriverTest::ScopedWorkDir dir;
    const std::string logName = (dir.Path() / kLogName).string();
    const std::string text = ReportText("x>0", "bad value", ".\\Box", 12);
    EXPECT_TRUE(std::regex_match(text, std::regex(Pattern(logName)))) << text;

    // The log holds the same text plus a line feed; a second report is appended.
    EXPECT_EQ(ReadFile(logName), text + "\n");
    const std::string second = ReportText("y", "z", "f", 1);
    EXPECT_EQ(ReadFile(logName), text + "\n" + second + "\n");
}

TEST(XAssertion, FallsBackToAppDataWhenWorkingDirectoryIsNotWritable)
{
    DriverTest::ScopedWorkDir appData;
    DriverTest::ScopedWorkDir work;
    // A removed working directory cannot take files, even for root.
    fs::remove_all(work.Path());
    ScopedEnv env("APPDATA", appData.Path().string());

    const std::string logName = appData.Path().string() + "/" + kLogName;
    const std::string text = ReportText("x>0", "bad value", ".\\Box", 12);
    EXPECT_TRUE(std::regex_match(text, std::regex(Pattern(logName)))) << text;
    EXPECT_EQ(ReadFile(logName), text + "\n");
}

TEST(XAssertion, WithoutAnyLogFileStillThrowsWithoutNote)
{
    DriverTest::ScopedWorkDir work;
    fs::remove_all(work.Path());
    ScopedEnv env("APPDATA", std::nullopt);
    const std::string text = ReportText("x>0", "bad value", ".\\Box", 12);
    EXPECT_EQ(text.rfind("XAssertionFailed in libTavikDriver.so.\nExpression: \"x>0\" ", 0), 0u)
        << text;
    EXPECT_EQ(text.find("Note:"), std::string::npos) << text;
    EXPECT_EQ(text.back(), '\n'); // the local time's line feed ends it
}

TEST(XAssertion, NullTextsAreReportedNotDereferenced)
{
    DriverTest::ScopedWorkDir dir;
    const std::string text = ReportText(nullptr, nullptr, nullptr, 7);
    EXPECT_NE(text.find("Expression: \"(null)\" \nInfo: \"(null)\"\nSource: (null), 7"),
              std::string::npos)
        << text;
}

TEST(XAssertion, HandlerThatReturnsTakesOverAndNothingIsWritten)
{
    DriverTest::ScopedWorkDir dir;
    {
        DriverTest::AssertionRecorder recorder;
        Tavik::XAssertionFailed("a", "b", "c", 3);
        ASSERT_EQ(DriverTest::AssertionRecorder::Reports().size(), 1u);
        const auto& r = DriverTest::AssertionRecorder::Reports()[0];
        EXPECT_EQ(r.expression, "a");
        EXPECT_EQ(r.info, "b");
        EXPECT_EQ(r.file, "c");
        EXPECT_EQ(r.line, 3);
    }
    EXPECT_FALSE(fs::exists(dir.Path() / kLogName));
}

namespace
{
int g_OtherCalls = 0;
void OtherHandler(const char*, const char*, const char*, int)
{
    ++g_OtherCalls;
}
} // namespace

TEST(XAssertion, SetHandlerAnswersThePreviousOne)
{
    DriverTest::AssertionRecorder recorder;
    Tavik::XAssertionHandler previous = Tavik::SetXAssertionHandler(&OtherHandler);
    EXPECT_NE(previous, nullptr);
    g_OtherCalls = 0;
    Tavik::XAssertionFailed("a", "b", "c", 3);
    EXPECT_EQ(g_OtherCalls, 1);
    EXPECT_EQ(Tavik::SetXAssertionHandler(previous), &OtherHandler);
    Tavik::XAssertionFailed("a", "b", "c", 3);
    EXPECT_EQ(g_OtherCalls, 1);
}

TEST(XAssertion, EmptyHandlerWithoutHandlerThrowsAndChangesNothing)
{
    DriverTest::ScopedWorkDir dir;
    const std::string text = []
    {
        try
        {
            Tavik::SetXAssertionHandler(nullptr);
        }
        catch (const std::runtime_error& e)
        {
            return std::string(e.what());
        }
        return std::string("no exception");
    }();
    EXPECT_NE(text.find("Expression: \"pNewHandler!=NULL\" \nInfo: \"pNewHandler must not be "
                        "null\"\nSource: XAssertion, 90"),
              std::string::npos)
        << text;
    // Still the built-in report.
    EXPECT_THROW(Tavik::XAssertionFailed("a", "b", "c", 1), std::runtime_error);
}

TEST(XAssertion, EmptyHandlerReportedToAReturningHandlerRestoresBuiltIn)
{
    DriverTest::ScopedWorkDir dir;
    DriverTest::AssertionRecorder recorder;
    auto& reports = DriverTest::AssertionRecorder::Reports();
    Tavik::XAssertionHandler recording = Tavik::SetXAssertionHandler(&OtherHandler);
    Tavik::SetXAssertionHandler(recording);

    EXPECT_EQ(Tavik::SetXAssertionHandler(nullptr), recording);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].expression, "pNewHandler!=NULL");
    EXPECT_EQ(reports[0].info, "pNewHandler must not be null");
    EXPECT_EQ(reports[0].file, "XAssertion");
    EXPECT_EQ(reports[0].line, 90);
    EXPECT_THROW(Tavik::XAssertionFailed("a", "b", "c", 1), std::runtime_error);
    // Let the recorder put back what it found.
    Tavik::SetXAssertionHandler(recording);
}
