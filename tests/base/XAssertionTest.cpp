#include "base/XAssertion.h"

#include "TestFiles.h"
#include "base/LogProcessor.h"
#include "base/MessageDispatcher.h"
#include "base/Result.h"
#include "base/String.h"
#include "base/Support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <thread>

using zef::Exception;
using zef::Result;

namespace
{
// Records every dispatched message while it is attached to the global dispatcher.
class Recorder : public zef::MessageProcessor
{
public:
    void Process(const Result& message) override { messages.push_back(message); }
    std::vector<Result> messages;
};

class RecorderScope
{
public:
    RecorderScope()
        : m_Recorder(static_cast<Recorder&>(
              zef::Support::GetMessageDispatcher().AddProcessor(std::make_unique<Recorder>())))
    {
    }
    ~RecorderScope() { zef::Support::GetMessageDispatcher().RemoveProcessor(m_Recorder); }
    Recorder& operator*() { return m_Recorder; }

private:
    Recorder& m_Recorder;
};

Result CatchAssertion(void (*fn)())
{
    try
    {
        fn();
    }
    catch (const Exception& e)
    {
        return e.GetResult();
    }
    ADD_FAILURE() << "no exception";
    return Result();
}
} // namespace

TEST(XAssertionTest, InfoOverloadsBuildTheReport)
{
    RecorderScope recorder;
    const Result r =
        CatchAssertion([] { zef::XAssertionFailed("a == b", "Values differ.", "./Dlg.cpp", 77); });
    EXPECT_EQ(r.GetErrorCode(), 6);
    EXPECT_EQ(r.GetCategory(), Result::CAT_SYNTAX);
    EXPECT_EQ(r.GetText(), "XAssertion. Expression \"a == b\" failed. \nInfo: \"Values differ.\"");
    EXPECT_STREQ(r.GetSourceFile(), "./Dlg.cpp");
    EXPECT_EQ(r.GetSourceLine(), 77);
    EXPECT_EQ(r.GetHistorySize(), 0);

    const Result s =
        CatchAssertion([] { zef::XAssertionFailed("x", zef::String("from String"), "f.cpp", 1); });
    EXPECT_EQ(s.GetText(), "XAssertion. Expression \"x\" failed. \nInfo: \"from String\"");

    // Dispatched before being thrown.
    ASSERT_EQ((*recorder).messages.size(), 2u);
    EXPECT_EQ((*recorder).messages[0], r);
    EXPECT_EQ((*recorder).messages[1], s);
}

TEST(XAssertionTest, CauseBecomesHistory)
{
    const Result r = CatchAssertion(
        []
        {
            Result cause(3, "cause", Result::CAT_IO);
            cause.SetPrevious(Result(2, "older", Result::CAT_GENERAL));
            cause.InsertFront(Result(4, "newest", Result::CAT_GENERAL));
            ASSERT_EQ(cause.GetHistorySize(), 2);
            zef::XAssertionFailed("ok", cause, "c.cpp", 5);
        });
    EXPECT_EQ(r.GetErrorCode(), 6);
    EXPECT_EQ(r.GetCategory(), Result::CAT_SYNTAX);
    EXPECT_EQ(r.GetText(), "XAssertion. Expression \"ok\" failed. ");
    ASSERT_EQ(r.GetHistorySize(), 3);
    EXPECT_EQ(r.GetHistory(0).GetErrorCode(), 4);
    EXPECT_EQ(r.GetHistory(1).GetErrorCode(), 3);
    EXPECT_EQ(r.GetHistory(2).GetErrorCode(), 2);

    const Result okCause = CatchAssertion([] { zef::XAssertionFailed("e", Result(), "c.cpp", 6); });
    EXPECT_EQ(okCause.GetHistorySize(), 0);
}

TEST(LogProcessorTest, EntryLayout)
{
    std::tm t{};
    t.tm_mday = 3;
    t.tm_mon = 1;
    t.tm_year = 126;
    t.tm_hour = 4;
    t.tm_min = 5;
    t.tm_sec = 6;
    Result older(1, "old", Result::CAT_GENERAL);
    older.SetSource("o.cpp", 1);
    Result mid(2, "mid", Result::CAT_GENERAL);
    mid.SetSource("m.cpp", 2);
    mid.SetPrevious(older);
    Result r(6, "head", mid);
    r.SetSource("h.cpp", 10);
    EXPECT_EQ(zef::LogProcessor::FormatEntry(r, t),
              "03.02.2026 04:05:06 ERR "
              "\nHistory 2: Number=1,Text=old,File=o.cpp,Line=1"
              "\nHistory 1: Number=2,Text=mid,File=m.cpp,Line=2"
              "\nHistory 0: Number=6,Text=head,File=h.cpp,Line=10\n");
}

TEST(LogProcessorTest, AssertionAppendsToLogfile)
{
    // Other tests may log into the same file at the same time: look for this test's entries.
    EXPECT_THROW(zef::XAssertionFailed("p != nullptr", "No box 4711.", "./Box.cpp", 321),
                 Exception);
    EXPECT_THROW(zef::XAssertionFailed("second", "two 4711", "./Box.cpp", 322), Exception);
    const std::string log = zef::test::ReadFile("Logfile.txt");
    const std::string stamp = R"((^|\n)\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d ERR )";
    const std::regex first(stamp + "\nHistory 0: Number=6,Text=XAssertion\\. Expression "
                                   "\"p != nullptr\" failed\\. \nInfo: \"No box 4711\\.\","
                                   "File=\\./Box\\.cpp,Line=321\n");
    const std::regex second(stamp + "\nHistory 0: Number=6,Text=XAssertion\\. Expression "
                                    "\"second\" failed\\. \nInfo: \"two 4711\","
                                    "File=\\./Box\\.cpp,Line=322\n");
    EXPECT_TRUE(std::regex_search(log, first)) << log;
    EXPECT_TRUE(std::regex_search(log, second)) << log;
}

TEST(LogProcessorTest, OwnFileAndFallback)
{
    zef::LogProcessor log("own_log.txt");
    std::remove("own_log.txt");
    log.Process(Result(1, "x", Result::CAT_GENERAL));
    log.Process(Result());
    const std::string text = zef::test::ReadFile("own_log.txt");
    EXPECT_NE(text.find(" ERR \nHistory 0: Number=1,Text=x,File=,Line=0\n"), std::string::npos);
    EXPECT_NE(text.find(" INF \nHistory 0: Number=0,Text=,File=,Line=0\n"), std::string::npos);
    // A log that cannot be opened goes to standard error instead of failing.
    zef::LogProcessor broken("no_such_dir/log.txt");
    testing::internal::CaptureStderr();
    broken.Process(Result(1, "lost?", Result::CAT_GENERAL));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Text=lost?"), std::string::npos);
}

TEST(MessageDispatcherTest, ProcessorsInOrderAndRemoval)
{
    zef::MessageDispatcher d;
    auto& first = static_cast<Recorder&>(d.AddProcessor(std::make_unique<Recorder>()));
    auto& second = static_cast<Recorder&>(d.AddProcessor(std::make_unique<Recorder>()));
    d.Dispatch(Result(1, "a", Result::CAT_GENERAL));
    EXPECT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(second.messages.size(), 1u);
    auto removed = d.RemoveProcessor(first);
    ASSERT_TRUE(removed);
    EXPECT_FALSE(d.RemoveProcessor(*removed));
    d.Dispatch(Result(2, "b", Result::CAT_GENERAL));
    EXPECT_EQ(first.messages.size(), 1u);
    EXPECT_EQ(second.messages.size(), 2u);
    EXPECT_EQ(d.GetProcessorCount(), 1u);
}

TEST(MessageDispatcherTest, DefaultHasLogProcessor)
{
    EXPECT_GE(zef::Support::GetMessageDispatcher().GetProcessorCount(), 1u);
}

TEST(LogProcessorTest, ConcurrentEntriesStayWhole)
{
    zef::LogProcessor log("threads_log.txt");
    std::remove("threads_log.txt");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(
            [&log, t]
            {
                for (int i = 0; i < 50; ++i)
                    log.Process(Result(t, "entry", Result::CAT_GENERAL));
            });
    for (auto& thread : threads)
        thread.join();
    const std::string text = zef::test::ReadFile("threads_log.txt");
    const std::regex entry(
        R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d ERR \nHistory 0: Number=[0-3],Text=entry,File=,Line=0\n)");
    const auto begin = std::sregex_iterator(text.begin(), text.end(), entry);
    EXPECT_EQ(std::distance(begin, std::sregex_iterator()), 200);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 400);
}
