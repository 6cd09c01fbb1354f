#include "base/ValueString.h"

#include "base/StaticObjectRegistry.h"
#include "base/XAssertion.h"

#include <ostream>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "ValueString.cpp";
constexpr const char* kNullInfo = "Invalid operation. ValueString is NULL";
} // namespace

#define ZEF_ASSERT_NOT_NULL()                                                                      \
    do                                                                                             \
    {                                                                                              \
        if (m_bNull)                                                                               \
            XAssertionFailed("!m_bNull", kNullInfo, kSourceFile, __LINE__);                        \
    } while (false)

ValueString& ValueString::operator=(const String& text)
{
    m_Str = text;
    m_bNull = false;
    return *this;
}

ValueString& ValueString::operator=(const std::string& text)
{
    m_Str = text;
    m_bNull = false;
    return *this;
}

ValueString& ValueString::operator=(const char* text)
{
    m_Str = text;
    m_bNull = false;
    return *this;
}

ValueString& ValueString::operator=(char c)
{
    m_Str = c;
    m_bNull = false;
    return *this;
}

const ValueString& ValueString::Null()
{
    static ValueString& null =
        StaticObjectRegistry::Instance().Adopt(std::make_unique<ValueString>());
    return null;
}

void ValueString::SetNull()
{
    m_Str.Clear();
    m_bNull = true;
}

const char* ValueString::c_str() const
{
    ZEF_ASSERT_NOT_NULL();
    return m_Str.c_str();
}

const std::string& ValueString::GetStdString() const
{
    ZEF_ASSERT_NOT_NULL();
    return m_Str.GetStdString();
}

const String& ValueString::GetString() const
{
    ZEF_ASSERT_NOT_NULL();
    return m_Str;
}

void ValueString::Insert(unsigned pos, const String& s)
{
    m_Str.Insert(pos, s);
    m_bNull = false;
}

void ValueString::Insert(unsigned pos, const char* s, unsigned n)
{
    m_Str.Insert(pos, s, n);
    m_bNull = false;
}

void ValueString::Append(const String& s)
{
    m_Str.Append(s);
    m_bNull = false;
}

void ValueString::Append(const char* s, unsigned n)
{
    m_Str.Append(s, n);
    m_bNull = false;
}

void ValueString::TrimLeft()
{
    ZEF_ASSERT_NOT_NULL();
    m_Str.TrimLeft();
}

void ValueString::TrimRight()
{
    ZEF_ASSERT_NOT_NULL();
    m_Str.TrimRight();
}

void ValueString::Trim()
{
    ZEF_ASSERT_NOT_NULL();
    m_Str.Trim();
}

void ValueString::Format(const char* fmt, ...)
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

void ValueString::FormatArgList(const char* fmt, va_list args)
{
    m_Str.FormatArgList(fmt, args);
    m_bNull = false;
}

std::ostream& operator<<(std::ostream& os, const ValueString& s)
{
    if (s.IsNull())
        return os << "(null)";
    return os << s.GetStdString();
}

} // namespace zef
