#include "base/Result.h"

#include "base/StaticObjectRegistry.h"

#include <gtest/gtest.h>

using zef::Exception;
using zef::Result;

namespace
{
Result Error(int code, const char* text = "t", Result::Category cat = Result::CAT_GENERAL)
{
    return Result(code, text, cat);
}
} // namespace

TEST(ResultState, OkAndError)
{
    const Result ok;
    EXPECT_TRUE(ok.IsOk());
    EXPECT_TRUE(ok.IsNull());
    EXPECT_FALSE(ok.IsError());
    EXPECT_EQ(ok.GetErrorCode(), 0);
    EXPECT_TRUE(ok.GetText().IsNull());
    EXPECT_TRUE(ok.GetCause().IsNull());
    EXPECT_STREQ(ok.GetSourceFile(), "");
    EXPECT_EQ(ok.GetHistorySize(), 0);
    EXPECT_TRUE(Result::Null().IsOk());

    const Result zero(0, "", Result::CAT_GENERAL);
    EXPECT_TRUE(zero.IsError());
    EXPECT_FALSE(zero.GetText().IsNull());
    EXPECT_STREQ(zero.GetSourceFile(), "");

    Result r = Error(3, "x", Result::CAT_IO);
    EXPECT_EQ(r.GetCategory(), Result::CAT_IO);
    r.Clear();
    EXPECT_TRUE(r.IsOk());
    r = Error(1);
    r.SetNull();
    EXPECT_TRUE(r.IsOk());
}

TEST(ResultState, SettersTurnOkIntoError)
{
    Result r;
    r.SetSource("f", 3);
    EXPECT_TRUE(r.IsError());
    EXPECT_EQ(r.GetErrorCode(), 0);
    EXPECT_EQ(r.GetCategory(), 0);
    EXPECT_TRUE(r.GetText().IsNull());
    EXPECT_STREQ(r.GetSourceFile(), "f");
    EXPECT_EQ(r.GetSourceLine(), 3);

    Result c;
    c.SetCause("why");
    EXPECT_TRUE(c.IsError());
    EXPECT_EQ(c.GetCause(), "why");
    Result t;
    t.SetText(zef::ValueString("txt"));
    EXPECT_EQ(t.GetText(), "txt");
}

TEST(ResultHistory, InsertFrontKeepsNewestFirst)
{
    Result a = Error(1, "A");
    const Result b = Error(2, "B");
    Result& self = a.InsertFront(b);
    EXPECT_EQ(&self, &a);
    EXPECT_EQ(a.GetErrorCode(), 2);
    ASSERT_EQ(a.GetHistorySize(), 1);
    EXPECT_EQ(a.GetHistory(0), Error(1, "A"));

    a.InsertFront(Error(3, "C"));
    EXPECT_EQ(a.GetErrorCode(), 3);
    ASSERT_EQ(a.GetHistorySize(), 2);
    EXPECT_EQ(a.GetHistory(0).GetErrorCode(), 2);
    EXPECT_EQ(a.GetHistory(1).GetErrorCode(), 1);
    // Entries carry no history of their own.
    EXPECT_EQ(a.GetHistory(0).GetHistorySize(), 0);

    const Result before = a;
    EXPECT_EQ(&a.InsertFront(Result()), &a);
    EXPECT_EQ(a, before);

    Result ok;
    ok.InsertFront(before);
    EXPECT_EQ(ok, before);

    // Itself in front: head, then itself without history, then its history.
    Result twice = Error(1, "A");
    twice.SetPrevious(Error(2, "B"));
    twice.InsertFront(twice);
    EXPECT_EQ(twice.GetErrorCode(), 1);
    ASSERT_EQ(twice.GetHistorySize(), 3);
    EXPECT_EQ(twice.GetHistory(0).GetErrorCode(), 2);
    EXPECT_EQ(twice.GetHistory(1).GetErrorCode(), 1);
    EXPECT_EQ(twice.GetHistory(2).GetErrorCode(), 2);
}

TEST(ResultHistory, InsertFrontOfNewerWithHistory)
{
    Result newer = Error(10, "N");
    newer.SetPrevious(Error(11, "NH"));
    Result old = Error(20, "O");
    old.SetPrevious(Error(21, "OH"));
    old.InsertFront(newer);
    ASSERT_EQ(old.GetHistorySize(), 3);
    EXPECT_EQ(old.GetErrorCode(), 10);
    EXPECT_EQ(old.GetHistory(0).GetErrorCode(), 11);
    EXPECT_EQ(old.GetHistory(1).GetErrorCode(), 20);
    EXPECT_EQ(old.GetHistory(2).GetErrorCode(), 21);
}

TEST(ResultHistory, ConstructorWithPrevious)
{
    Result p = Error(7, "P", Result::CAT_SYNTAX);
    p.SetPrevious(Error(8, "H"));
    const Result r(5, "text", p);
    EXPECT_EQ(r.GetErrorCode(), 5);
    EXPECT_EQ(r.GetCategory(), Result::CAT_SYNTAX);
    ASSERT_EQ(r.GetHistorySize(), 2);
    EXPECT_EQ(r.GetHistory(0), p.GetWithoutHistory());
    EXPECT_EQ(r.GetHistory(1).GetErrorCode(), 8);

    const Result fromOk(5, zef::String("text"), Result());
    EXPECT_TRUE(fromOk.IsError());
    EXPECT_EQ(fromOk.GetCategory(), 0);
    EXPECT_EQ(fromOk.GetHistorySize(), 0);
}

TEST(ResultHistory, SetPreviousReplacesHistory)
{
    Result r = Error(1);
    r.SetPrevious(Error(2));
    r.SetPrevious(Error(3));
    ASSERT_EQ(r.GetHistorySize(), 1);
    EXPECT_EQ(r.GetHistory(0).GetErrorCode(), 3);
    r.SetPrevious(Result());
    EXPECT_EQ(r.GetHistorySize(), 1);

    Result ok;
    Result p = Error(4);
    p.SetPrevious(Error(5));
    ok.SetPrevious(p);
    EXPECT_EQ(ok, p);

    // An entry of the own history as previous.
    Result chain = Error(1);
    chain.SetPrevious(p);
    chain.SetPrevious(chain.GetHistory(1));
    ASSERT_EQ(chain.GetHistorySize(), 1);
    EXPECT_EQ(chain.GetHistory(0).GetErrorCode(), 5);
}

TEST(ResultHistory, OutOfRangeIsAssertion)
{
    const Result r = Error(1);
    try
    {
        r.GetHistory(0);
        FAIL();
    }
    catch (const Exception& e)
    {
        EXPECT_EQ(e.GetResult().GetErrorCode(), 6);
        EXPECT_EQ(e.GetResult().GetSourceLine(), 766);
        EXPECT_STREQ(e.GetResult().GetSourceFile(), "Result.cpp");
        EXPECT_EQ(e.GetText(), "XAssertion. Expression \"ix>=0 && ix<GetHistorySize()\" failed. "
                               "\nInfo: \"Index out of range.\"");
    }
    EXPECT_THROW(r.GetHistory(-1), Exception);
    EXPECT_THROW(Result().GetHistory(0), Exception);
}

TEST(ResultCompare, EqualityRules)
{
    EXPECT_EQ(Result(), Result());
    EXPECT_NE(Result(), Error(0));
    EXPECT_NE(Error(0), Result());

    Result a = Error(1, "x");
    a.SetSource("f", 2);
    a.SetCause("c");
    a.SetPrevious(Error(9));
    Result b(a);
    EXPECT_EQ(a, b);
    Result assigned;
    assigned = a;
    EXPECT_EQ(assigned, a);
    assigned = assigned;
    EXPECT_EQ(assigned, a);

    b.SetCause("d");
    EXPECT_NE(a, b);
    b = a;
    b.SetPrevious(Error(8));
    EXPECT_NE(a, b);
    b = a;
    b.SetSource("g", 2);
    EXPECT_NE(a, b);

    Result nullText;
    nullText.SetSource("f", 1);
    Result emptyText(0, "", Result::CAT_GENERAL);
    emptyText.SetSource("f", 1);
    EXPECT_NE(nullText, emptyText);
    EXPECT_NE(Error(1, "x", Result::CAT_IO), Error(1, "x", Result::CAT_SYNTAX));
}

TEST(ResultCompare, CopiesAreDeep)
{
    Result a = Error(1);
    a.SetPrevious(Error(2));
    Result b(a);
    a.InsertFront(Error(3));
    EXPECT_EQ(b.GetErrorCode(), 1);
    EXPECT_EQ(b.GetHistorySize(), 1);
    Result moved(std::move(a));
    EXPECT_EQ(moved.GetHistorySize(), 2);
}

TEST(ResultText, TextFormAndFields)
{
    Result r = Error(12, "bad");
    r.SetSource("IniFile.cpp", 430);
    EXPECT_EQ(r.GetAsText(), "Number=12,Text=bad,File=IniFile.cpp,Line=430");
    Result nullText;
    nullText.SetSource("f", 1);
    EXPECT_EQ(nullText.GetAsText(), "Number=0,Text=,File=f,Line=1");
    const auto& names = Result::GetFieldNames();
    ASSERT_EQ(names.size(), 6u);
    EXPECT_STREQ(names[0], "ErrCode");
    EXPECT_STREQ(names[5], "Cause");

    Result w = Error(1, "t");
    w.SetCause("c");
    w.SetSource("s", 4);
    w.SetPrevious(Error(2));
    const Result plain = w.GetWithoutHistory();
    EXPECT_EQ(plain.GetHistorySize(), 0);
    EXPECT_EQ(plain.GetCause(), "c");
    EXPECT_EQ(plain.GetSourceLine(), 4);
}

TEST(ExceptionTest, HoldsResult)
{
    const Exception e(4, "boom", "file.cpp", 9);
    EXPECT_EQ(e.GetResult().GetErrorCode(), 4);
    EXPECT_EQ(e.GetResult().GetCategory(), 0);
    EXPECT_EQ(e.GetResult().GetSourceLine(), 9);
    EXPECT_EQ(e.GetText(), "boom");
    Exception copy(e);
    EXPECT_EQ(copy.GetResult(), e.GetResult());
    Exception other{Result()};
    EXPECT_EQ(other.GetText(), "");
    other = e;
    EXPECT_EQ(other.GetResult(), e.GetResult());
    try
    {
        Exception::Throw(Error(2, "thrown"));
    }
    catch (const Exception& thrown)
    {
        EXPECT_EQ(thrown.GetText(), "thrown");
    }
}

namespace
{
struct Tracked
{
    Tracked(std::vector<int>& log, int id) : m_Log(log), m_Id(id) {}
    ~Tracked() { m_Log.push_back(m_Id); }
    std::vector<int>& m_Log;
    int m_Id;
};
} // namespace

TEST(StaticObjectRegistryTest, DestroysNewestFirst)
{
    std::vector<int> destroyed;
    {
        zef::StaticObjectRegistry registry;
        Tracked& first = registry.Adopt(std::make_unique<Tracked>(destroyed, 1));
        registry.Adopt(std::make_unique<Tracked>(destroyed, 2));
        EXPECT_EQ(first.m_Id, 1);
        EXPECT_EQ(registry.GetCount(), 2u);
        registry.DestroyAll();
        EXPECT_EQ(destroyed, (std::vector<int>{2, 1}));
        EXPECT_EQ(registry.GetCount(), 0u);
        registry.Adopt(std::make_unique<Tracked>(destroyed, 3));
    }
    EXPECT_EQ(destroyed, (std::vector<int>{2, 1, 3}));
}

TEST(StaticObjectRegistryTest, LibrarySharedObjectsAreRegistered)
{
    // The application INI, the dispatcher and the shared null values live in the registry.
    EXPECT_EQ(&Result::Null(), &Result::Null());
    EXPECT_EQ(&zef::ValueString::Null(), &zef::ValueString::Null());
    EXPECT_GE(zef::StaticObjectRegistry::Instance().GetCount(), 4u);
}
