#include "base/String.h"

#include "base/Result.h"
#include "base/ValueString.h"

#include <gtest/gtest.h>

#include <stdexcept>

using zef::Exception;
using zef::String;
using zef::ValueString;

TEST(StringAccess, ConstructionAndIndexing)
{
    EXPECT_EQ(String(), "");
    EXPECT_EQ(String('x', 3), "xxx");
    EXPECT_EQ(String(static_cast<const char*>(nullptr)), "");
    String s;
    s = 'q';
    EXPECT_EQ(s.GetStdString(), "q");
    const String abc("abc");
    EXPECT_EQ(abc[2], 'c');
    EXPECT_THROW(abc[3], std::out_of_range);
    String bytes(std::string("a\0b", 3));
    EXPECT_EQ(bytes.GetLength(), 3u);
}

TEST(StringSubstrings, MidLeftRight)
{
    const String abc("abc");
    EXPECT_EQ(abc.Mid(1), "bc");
    EXPECT_EQ(abc.Mid(3), "");
    EXPECT_THROW(abc.Mid(4), std::out_of_range);
    EXPECT_THROW(abc.Mid(4, 1), std::out_of_range);
    EXPECT_EQ(abc.Mid(1, 1), "b");
    EXPECT_EQ(abc.Mid(1, 99), "bc");
    EXPECT_EQ(abc.Right(5), "abc");
    EXPECT_EQ(abc.Right(2), "bc");
    EXPECT_EQ(abc.Left(0), "");
    EXPECT_EQ(abc.Left(99), "abc");
    // Built from the terminated form: they end at an embedded zero byte.
    const String bytes(std::string("ab\0cd", 5));
    EXPECT_EQ(bytes.Left(5).GetLength(), 2u);
    EXPECT_EQ(bytes.Right(2), "cd");
}

TEST(StringCutting, ClampsInsteadOfFailing)
{
    String s("abc");
    s.CutMid(1, 10);
    EXPECT_EQ(s, "a");
    s = "abc";
    s.CutMid(4, 1);
    EXPECT_EQ(s, "abc");
    s.CutMid(3, 1);
    EXPECT_EQ(s, "abc");
    s.CutMid(1, 0);
    EXPECT_EQ(s, "abc");
    s.CutMid(1, 1);
    EXPECT_EQ(s, "ac");
    s = "abcd";
    s.Delete(2, 2);
    EXPECT_EQ(s, "ab");
    s = "abc";
    s.CutLeft(3);
    EXPECT_EQ(s, "");
    s = "abc";
    s.CutLeft(1);
    EXPECT_EQ(s, "bc");
    s.CutRight(1);
    EXPECT_EQ(s, "b");
    s.CutRight(7);
    EXPECT_EQ(s, "");
    s = "abc";
    s.CutLeft(0);
    s.CutRight(0);
    EXPECT_EQ(s, "abc");
}

TEST(StringCutting, InsertAndAppend)
{
    String s("abc");
    s.Insert(99, String("xy"));
    EXPECT_EQ(s, "abcxy");
    s.Insert(0, String("<"));
    EXPECT_EQ(s, "<abcxy");
    s = "ac";
    s.Insert(1, "bzzz", 1);
    EXPECT_EQ(s, "abc");
    s.Insert(99, "de\0fg", 5);
    EXPECT_EQ(s, "abcde");
    s.Append("f\0g", 3);
    EXPECT_EQ(s, "abcdef");
    s.Append("ghij", 2);
    EXPECT_EQ(s, "abcdefgh");
    s.Append(String("!"));
    EXPECT_EQ(s, "abcdefgh!");
}

TEST(StringSearch, FindAnswersMinusOne)
{
    const String abc("abc");
    EXPECT_EQ(abc.Find('c', 3), -1);
    EXPECT_EQ(abc.Find('c', 4), -1);
    EXPECT_EQ(abc.Find("", 3), 3);
    EXPECT_EQ(abc.Find("", 4), -1);
    EXPECT_EQ(abc.Find('b'), 1);
    EXPECT_EQ(abc.Find("bc"), 1);
    EXPECT_EQ(abc.Find(std::string("c"), 1), 2);
    EXPECT_EQ(abc.Find(String("x")), -1);
    EXPECT_EQ(abc.FindFirstOf("xc"), 2);
    EXPECT_EQ(abc.FindFirstOf(String("ba"), 1), 1);
    EXPECT_EQ(abc.FindFirstOf("a", 1), -1);
    EXPECT_EQ(abc.FindFirstOf("a", 9), -1);
    const String abca("abca");
    EXPECT_EQ(abca.FindReverse('a'), 3);
    EXPECT_EQ(abca.FindReverse('a', 2), 0);
    EXPECT_EQ(abca.FindReverse('a', 99), 3);
    EXPECT_EQ(abca.FindReverse('z'), -1);
}

TEST(StringSearch, ReplaceOnlyFirst)
{
    String s("banana");
    EXPECT_EQ(s.Replace("a", "xy", 0), 1);
    EXPECT_EQ(s, "bxynana");
    EXPECT_EQ(s.Replace(String("a"), String(""), 5), 6);
    EXPECT_EQ(s, "bxynan");
    EXPECT_EQ(s.Replace("q", "z", 0), -1);
    EXPECT_EQ(s.Replace("b", "z", 99), -1);
    EXPECT_EQ(s, "bxynan");
}

TEST(StringCase, OnlySevenBitLetters)
{
    String s("aBc1\xe4\xc4");
    s.Upper();
    EXPECT_EQ(s, "ABC1\xe4\xc4");
    s.Lower();
    EXPECT_EQ(s, "abc1\xe4\xc4");
    EXPECT_EQ(String::ToUpper('q'), 'Q');
    EXPECT_EQ(String::ToLower('Q'), 'q');
    EXPECT_EQ(String::ToLower('1'), '1');
    EXPECT_TRUE(String::IsAscii('\x7f'));
    EXPECT_FALSE(String::IsAscii('\x80'));
    // Bytes above 127 must not be passed to the C tests as negative values.
    EXPECT_FALSE(String::IsAlpha('\xff'));
    EXPECT_FALSE(String::IsSpace('\xa0'));
    EXPECT_TRUE(String::IsXDigit('F'));
    EXPECT_TRUE(String::IsPunct(';'));
    EXPECT_TRUE(String::IsCntrl('\n'));
    EXPECT_FALSE(String::IsGraph(' '));
    EXPECT_TRUE(String::IsPrint(' '));
}

TEST(StringCase, Trim)
{
    String s(" \tx \r\n");
    s.Trim();
    EXPECT_EQ(s, "x");
    s = " a b ";
    s.TrimRight();
    EXPECT_EQ(s, " a b");
    s.TrimLeft();
    EXPECT_EQ(s, "a b");
    s = " \v\f ";
    s.TrimRight();
    EXPECT_EQ(s, "");
    s = "\t\t";
    s.TrimLeft();
    EXPECT_EQ(s, "");
}

TEST(StringFormat, NumbersAndChaining)
{
    String s;
    s += -5;
    EXPECT_EQ(s, "-5");
    s = "";
    s += 1.5;
    EXPECT_EQ(s, "1.500000");
    s = "";
    s << 1.25f << ' ' << 7u << "/" << std::string("z") << String("!");
    EXPECT_EQ(s, "1.250000 7/z!");
    EXPECT_EQ(String("n=") + 42, "n=42");
    EXPECT_EQ(String("u") + 4000000000u, "u4000000000");
    EXPECT_EQ(String("a") + 'b' + "c" + std::string("d") + String("e"), "abcde");
    EXPECT_EQ(String("") + 0.5f, "0.500000");
    void* p = nullptr;
    EXPECT_FALSE((String() + p).IsEmpty());
    s.Format("%s-%03d", "x", 7);
    EXPECT_EQ(s, "x-007");
}

TEST(StringFormat, LongestResultAndOverflow)
{
    String s;
    s.Format("%s", std::string(3998, 'a').c_str());
    EXPECT_EQ(s.GetLength(), 3998u);

    String keep("keep");
    try
    {
        keep.Format("%s", std::string(3999, 'b').c_str());
        FAIL() << "no assertion";
    }
    catch (const Exception& e)
    {
        const zef::Result& r = e.GetResult();
        EXPECT_EQ(r.GetErrorCode(), 6);
        EXPECT_EQ(r.GetSourceLine(), 229);
        EXPECT_STREQ(r.GetSourceFile(), "String.cpp");
        EXPECT_EQ(r.GetText(),
                  "XAssertion. Expression \"i >= 0\" failed. \nInfo: \"Buffer overflow. "
                  "Formatting argList with string as \"%s\" failed.\"");
    }
    EXPECT_EQ(keep, "keep");
    // Numeric appends go through the same formatter but can never overflow it.
    String big(std::string(5000, 'c'));
    big += 1;
    EXPECT_EQ(big.GetLength(), 5001u);
}

TEST(StringCompare, StringsAndCharacters)
{
    const String abc("abc");
    EXPECT_EQ(abc, 'a');
    EXPECT_NE(abc, 'b');
    EXPECT_LT(String(), 'a');
    EXPECT_GT(String("b"), 'a');
    EXPECT_LT(String("a"), 'b');
    EXPECT_LE(abc, 'a');
    EXPECT_GE(abc, 'a');
    EXPECT_EQ(String().Compare('a'), -1);
    // The first byte counts as signed.
    EXPECT_LT(String("\xe4"), 'a');
    EXPECT_LT(abc, String("abd"));
    EXPECT_GT(abc, std::string("ab"));
    EXPECT_LE(abc, "abc");
    EXPECT_TRUE("abc" == abc);
    EXPECT_TRUE(std::string("abc") == abc);
    EXPECT_TRUE("abd" != abc);
    EXPECT_LT(abc.Compare("abd"), 0);
    EXPECT_EQ(abc.Compare(std::string("abc")), 0);
    // Embedded zero bytes take part in comparisons of Strings.
    EXPECT_NE(String(std::string("a\0b", 3)), String(std::string("a\0c", 3)));
}

TEST(StringValidation, LengthLimits)
{
    EXPECT_TRUE(String("").Validate().IsOk());
    EXPECT_EQ(&String("a").GetValidator(), &String("b").GetValidator());

    zef::StringValidator v(2, 3);
    EXPECT_TRUE(v.Validate("ab").IsOk());
    EXPECT_TRUE(v.Validate("abc").IsOk());
    const zef::Result shortResult = v.Validate("a");
    EXPECT_EQ(shortResult.GetErrorCode(), 4);
    EXPECT_EQ(shortResult.GetCategory(), 0);
    EXPECT_EQ(shortResult.GetText(), "String must contain at least 2 letters.");
    const zef::Result longResult = v.Validate("abcd");
    EXPECT_EQ(longResult.GetErrorCode(), 4);
    EXPECT_EQ(longResult.GetText(), "String must contain at most 3 letters.");
    v.ClearMaxLength();
    EXPECT_TRUE(v.Validate("abcdefgh").IsOk());
}

TEST(StringValidation, FormatorFlagsInOrder)
{
    String target;
    zef::StringFormator(zef::StringFormator::FMT_UPPER | zef::StringFormator::FMT_TRIM_LEFT)
        .Format("  ab ", target);
    EXPECT_EQ(target, "AB ");
    zef::StringFormator(zef::StringFormator::FMT_LOWER | zef::StringFormator::FMT_TRIM_RIGHT)
        .Format(" AB ", target);
    EXPECT_EQ(target, " ab");
    String same(" Keep ");
    same.Formate();
    EXPECT_EQ(same, " Keep ");
}

// A string whose own formator trims and upper-cases.
class ShoutString : public String
{
public:
    using String::String;
    const zef::StringFormator& GetFormator() const override
    {
        static const zef::StringFormator f(zef::StringFormator::FMT_UPPER | 4 | 8);
        return f;
    }
};

TEST(StringValidation, FormateUsesVirtualFormator)
{
    ShoutString s("  hi there ");
    s.Formate();
    EXPECT_EQ(s, "HI THERE");
}

TEST(ValueStringTest, NullState)
{
    ValueString v;
    EXPECT_TRUE(v.IsNull());
    EXPECT_THROW(v.c_str(), Exception);
    EXPECT_THROW(v.GetStdString(), Exception);
    EXPECT_THROW(v.Trim(), Exception);
    EXPECT_EQ(v.GetLength(), 0u);
    EXPECT_EQ(v.Find('a'), -1);
    v = "";
    EXPECT_FALSE(v.IsNull());
    EXPECT_STREQ(v.c_str(), "");
    v.SetNull();
    EXPECT_TRUE(v.IsNull());
    v << 5;
    EXPECT_FALSE(v.IsNull());
    EXPECT_EQ(v, "5");
    v.SetNull();
    v.Append("x", 1);
    EXPECT_EQ(v, "x");
    v.SetNull();
    v.Format("%d", 3);
    EXPECT_EQ(v, "3");
    EXPECT_TRUE(ValueString::Null().IsNull());
    EXPECT_EQ(ValueString(), ValueString::Null());
    EXPECT_NE(ValueString(""), ValueString::Null());
}

TEST(ValueStringTest, NullAssertionReport)
{
    try
    {
        ValueString().c_str();
        FAIL();
    }
    catch (const Exception& e)
    {
        EXPECT_EQ(e.GetResult().GetText(), "XAssertion. Expression \"!m_bNull\" failed. \nInfo: "
                                           "\"Invalid operation. ValueString is NULL\"");
        EXPECT_STREQ(e.GetResult().GetSourceFile(), "ValueString.cpp");
    }
}

TEST(ValueStringTest, ForwardsTextOperations)
{
    ValueString v(" a,b ");
    v.Trim();
    EXPECT_EQ(v.Find(','), 1);
    EXPECT_EQ(v.Mid(2), "b");
    v.Replace(",", ";");
    v.Upper();
    EXPECT_EQ(v.GetString(), "A;B");
    v.CutLeft(1);
    EXPECT_EQ(v, String(";B"));
    EXPECT_EQ(v.Compare('x'), -1);
}
