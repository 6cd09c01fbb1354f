#include "base/String.h"

#include "base/Result.h"
#include "base/StaticObjectRegistry.h"
#include "base/XAssertion.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <ostream>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "String.cpp";
constexpr int kFormatLine = 229;

// Appends the formatted arguments through the bounded formatter of String.
void AppendFormatted(String& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void AppendFormatted(String& s, const char* fmt, ...)
{
    String part;
    va_list args;
    va_start(args, fmt);
    try
    {
        part.FormatArgList(fmt, args);
    }
    catch (...)
    {
        va_end(args);
        throw;
    }
    va_end(args);
    s.Append(part);
}

unsigned ClampedLength(const char* s, unsigned n)
{
    if (!s)
        return 0;
    const void* end = std::memchr(s, '\0', n);
    return end ? static_cast<unsigned>(static_cast<const char*>(end) - s) : n;
}

int32_t ToPosition(std::string::size_type pos)
{
    return pos == std::string::npos ? -1 : static_cast<int32_t>(pos);
}
} // namespace

String& String::operator=(const std::string& text)
{
    m_str = text;
    return *this;
}

String& String::operator=(const char* text)
{
    m_str = text ? text : "";
    return *this;
}

String& String::operator=(char c)
{
    m_str.assign(1, c);
    return *this;
}

const StringValidator& String::GetValidator() const
{
    static StringValidator& validator =
        StaticObjectRegistry::Instance().Adopt(std::make_unique<StringValidator>());
    return validator;
}

const StringFormator& String::GetFormator() const
{
    static StringFormator& formator =
        StaticObjectRegistry::Instance().Adopt(std::make_unique<StringFormator>());
    return formator;
}

Result String::Validate() const
{
    return GetValidator().Validate(*this);
}

void String::Formate()
{
    GetFormator().Format(*this, *this);
}

// Substrings end at an embedded zero byte, as they are built from the terminated form.
String String::Mid(unsigned pos) const
{
    return String(m_str.substr(pos).c_str());
}

String String::Mid(unsigned pos, unsigned n) const
{
    return String(m_str.substr(pos, n).c_str());
}

String String::Left(unsigned n) const
{
    return String(m_str.substr(0, n).c_str());
}

String String::Right(unsigned n) const
{
    if (n >= m_str.size())
        return String(m_str.c_str());
    return String(m_str.substr(m_str.size() - n).c_str());
}

void String::CutLeft(unsigned n)
{
    if (n == 0)
        return;
    if (n < m_str.size())
        m_str.erase(0, n);
    else
        m_str.clear();
}

void String::CutRight(unsigned n)
{
    if (n == 0)
        return;
    if (n < m_str.size())
        m_str.erase(m_str.size() - n);
    else
        m_str.clear();
}

void String::CutMid(unsigned pos, unsigned n)
{
    if (pos > m_str.size() || n == 0)
        return;
    if (pos == 0)
        CutLeft(n);
    else if (static_cast<std::size_t>(pos) + n == m_str.size())
        CutRight(n);
    else
        m_str.erase(pos, n);
}

void String::Insert(unsigned pos, const String& s)
{
    if (pos > m_str.size())
        m_str += s.m_str;
    else
        m_str.insert(pos, s.m_str);
}

void String::Insert(unsigned pos, const char* s, unsigned n)
{
    const unsigned len = ClampedLength(s, n);
    if (len == 0)
        return;
    if (pos > m_str.size())
        m_str.append(s, len);
    else
        m_str.insert(pos, s, len);
}

void String::Append(const char* s, unsigned n)
{
    const unsigned len = ClampedLength(s, n);
    if (len)
        m_str.append(s, len);
}

int32_t String::Find(char c, unsigned start) const
{
    if (start > m_str.size())
        return -1;
    return ToPosition(m_str.find(c, start));
}

int32_t String::Find(const char* s, unsigned start) const
{
    if (start > m_str.size())
        return -1;
    return ToPosition(m_str.find(s ? s : "", start));
}

int32_t String::Find(const std::string& s, unsigned start) const
{
    if (start > m_str.size())
        return -1;
    return ToPosition(m_str.find(s, start));
}

int32_t String::FindFirstOf(const char* set, unsigned start) const
{
    if (start > m_str.size())
        return -1;
    return ToPosition(m_str.find_first_of(set ? set : "", start));
}

int32_t String::FindFirstOf(const String& set, unsigned start) const
{
    if (start > m_str.size())
        return -1;
    return ToPosition(m_str.find_first_of(set.m_str, start));
}

int32_t String::FindReverse(char c) const
{
    return ToPosition(m_str.rfind(c));
}

int32_t String::FindReverse(char c, unsigned start) const
{
    return ToPosition(m_str.rfind(c, start));
}

int32_t String::Replace(const char* what, const char* with, unsigned start)
{
    return Replace(String(what), String(with), start);
}

int32_t String::Replace(const String& what, const String& with, unsigned start)
{
    const int32_t pos = Find(what, start);
    if (pos < 0)
        return -1;
    m_str.replace(static_cast<std::size_t>(pos), what.m_str.size(), with.m_str);
    return pos;
}

void String::Upper()
{
    for (char& c : m_str)
        c = ToUpper(c);
}

void String::Lower()
{
    for (char& c : m_str)
        c = ToLower(c);
}

void String::TrimLeft()
{
    std::size_t i = 0;
    while (i < m_str.size() && IsSpace(m_str[i]))
        ++i;
    m_str.erase(0, i);
}

void String::TrimRight()
{
    // One pass from the front: remember where the current run of white space began.
    std::size_t runStart = m_str.size();
    bool inRun = false;
    for (std::size_t i = 0; i < m_str.size(); ++i)
    {
        if (IsSpace(m_str[i]))
        {
            if (!inRun)
            {
                runStart = i;
                inRun = true;
            }
        }
        else
        {
            inRun = false;
        }
    }
    if (inRun)
        m_str.erase(runStart);
}

#define ZEF_CTYPE(Name, fn)                                                                        \
    bool String::Name(char c)                                                                      \
    {                                                                                              \
        return fn(static_cast<unsigned char>(c)) != 0;                                             \
    }
ZEF_CTYPE(IsSpace, std::isspace)
ZEF_CTYPE(IsAlnum, std::isalnum)
ZEF_CTYPE(IsAlpha, std::isalpha)
ZEF_CTYPE(IsCntrl, std::iscntrl)
ZEF_CTYPE(IsDigit, std::isdigit)
ZEF_CTYPE(IsGraph, std::isgraph)
ZEF_CTYPE(IsLower, std::islower)
ZEF_CTYPE(IsUpper, std::isupper)
ZEF_CTYPE(IsPrint, std::isprint)
ZEF_CTYPE(IsPunct, std::ispunct)
ZEF_CTYPE(IsXDigit, std::isxdigit)
#undef ZEF_CTYPE

char String::ToLower(char c)
{
    return IsUpper(c) ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
}

char String::ToUpper(char c)
{
    return IsLower(c) ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
}

void String::Format(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    try
    {
        FormatArgList(fmt, args);
    }
    catch (...)
    {
        va_end(args);
        throw;
    }
    va_end(args);
}

void String::FormatArgList(const char* fmt, va_list args)
{
    char buffer[FORMAT_BUFFER_SIZE];
    const char* format = fmt ? fmt : "";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int i = std::vsnprintf(buffer, sizeof buffer, format, args);
#pragma GCC diagnostic pop
    // vsnprintf answers the full length even when it truncated; a result that did not fit
    // counts as a failure, like an invalid format.
    if (i >= static_cast<int>(sizeof buffer))
        i = -1;
    if (!(i >= 0))
    {
        std::string info = "Buffer overflow. Formatting argList with string as \"";
        info += format;
        info += "\" failed.";
        XAssertionFailed("i >= 0", String(std::move(info)), kSourceFile, kFormatLine);
    }
    m_str.assign(buffer, static_cast<std::size_t>(i));
}

String& String::operator+=(int v)
{
    AppendFormatted(*this, "%d", v);
    return *this;
}

String& String::operator+=(unsigned v)
{
    AppendFormatted(*this, "%u", v);
    return *this;
}

String& String::operator+=(float v)
{
    AppendFormatted(*this, "%f", static_cast<double>(v));
    return *this;
}

String& String::operator+=(double v)
{
    AppendFormatted(*this, "%f", v);
    return *this;
}

String& String::operator+=(void* v)
{
    AppendFormatted(*this, "%p", v);
    return *this;
}

String& String::operator+=(const String& s)
{
    m_str += s.m_str;
    return *this;
}

String& String::operator+=(const std::string& s)
{
    m_str += s;
    return *this;
}

String& String::operator+=(const char* s)
{
    if (s)
        m_str += s;
    return *this;
}

String& String::operator+=(char c)
{
    m_str += c;
    return *this;
}

int String::Compare(char c) const
{
    if (m_str.empty())
        return -1;
    if (m_str[0] == c)
        return 0;
    return static_cast<signed char>(m_str[0]) < static_cast<signed char>(c) ? -1 : 1;
}

String operator+(const String& l, const String& r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, const std::string& r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, const char* r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, char r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, int r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, unsigned r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, float r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, double r)
{
    String s(l);
    return s += r;
}
String operator+(const String& l, void* r)
{
    String s(l);
    return s += r;
}

std::ostream& operator<<(std::ostream& os, const String& s)
{
    return os << s.GetStdString();
}

Result StringValidator::Validate(const String& s) const
{
    if (s.GetLength() < m_MinLength)
    {
        String text("String must contain at least ");
        text << m_MinLength << " letters.";
        return Result(4, text, Result::CAT_GENERAL);
    }
    if (m_HasMax && s.GetLength() > m_MaxLength)
    {
        String text("String must contain at most ");
        text << m_MaxLength << " letters.";
        return Result(4, text, Result::CAT_GENERAL);
    }
    return Result();
}

void StringFormator::Format(const String& source, String& target) const
{
    if (&target != &source)
        target = source;
    if (m_Flags & FMT_UPPER)
        target.Upper();
    if (m_Flags & FMT_LOWER)
        target.Lower();
    if (m_Flags & FMT_TRIM_LEFT)
        target.TrimLeft();
    if (m_Flags & FMT_TRIM_RIGHT)
        target.TrimRight();
}

} // namespace zef
