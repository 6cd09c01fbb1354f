#pragma once

#include "base/BaseExport.h"
#include "base/Object.h"
#include "base/String.h"

namespace zef
{

// Nullable text. Null until it is given any text (the empty text included); reading the text
// of a null object through c_str(), GetStdString() or GetString(), and trimming it, are
// assertion failures.
class ZEF_BASE_API ValueString : public Value
{
public:
    ValueString() = default;
    ValueString(const ValueString& other) = default;
    ValueString(ValueString&& other) noexcept = default;
    ValueString(const String& text) : m_bNull(false), m_Str(text) {}
    ValueString(const std::string& text) : m_bNull(false), m_Str(text) {}
    ValueString(const char* text) : m_bNull(false), m_Str(text) {}
    ~ValueString() override = default;

    ValueString& operator=(const ValueString& other) = default;
    ValueString& operator=(ValueString&& other) noexcept = default;
    ValueString& operator=(const String& text);
    ValueString& operator=(const std::string& text);
    ValueString& operator=(const char* text);
    ValueString& operator=(char c);

    // The shared null object.
    static const ValueString& Null();

    bool IsNull() const override { return m_bNull; }
    void SetNull() override;

    const char* c_str() const;
    const std::string& GetStdString() const;
    const String& GetString() const;

    unsigned GetLength() const { return m_Str.GetLength(); }
    bool IsEmpty() const { return m_Str.IsEmpty(); }
    char operator[](unsigned i) const { return m_Str[i]; }

    String Mid(unsigned pos) const { return m_Str.Mid(pos); }
    String Mid(unsigned pos, unsigned n) const { return m_Str.Mid(pos, n); }
    String Left(unsigned n) const { return m_Str.Left(n); }
    String Right(unsigned n) const { return m_Str.Right(n); }

    void CutLeft(unsigned n) { m_Str.CutLeft(n); }
    void CutRight(unsigned n) { m_Str.CutRight(n); }
    void CutMid(unsigned pos, unsigned n) { m_Str.CutMid(pos, n); }
    void Delete(unsigned pos, unsigned n) { m_Str.Delete(pos, n); }
    void Insert(unsigned pos, const String& s);
    void Insert(unsigned pos, const char* s, unsigned n);
    void Append(const String& s);
    void Append(const char* s, unsigned n);

    int32_t Find(char c, unsigned start = 0) const { return m_Str.Find(c, start); }
    int32_t Find(const char* s, unsigned start = 0) const { return m_Str.Find(s, start); }
    int32_t Find(const std::string& s, unsigned start = 0) const { return m_Str.Find(s, start); }
    int32_t Find(const String& s, unsigned start = 0) const { return m_Str.Find(s, start); }
    int32_t FindFirstOf(const char* set, unsigned start = 0) const
    {
        return m_Str.FindFirstOf(set, start);
    }
    int32_t FindFirstOf(const String& set, unsigned start = 0) const
    {
        return m_Str.FindFirstOf(set, start);
    }
    int32_t FindReverse(char c) const { return m_Str.FindReverse(c); }
    int32_t FindReverse(char c, unsigned start) const { return m_Str.FindReverse(c, start); }
    int32_t Replace(const char* what, const char* with, unsigned start = 0)
    {
        return m_Str.Replace(what, with, start);
    }
    int32_t Replace(const String& what, const String& with, unsigned start = 0)
    {
        return m_Str.Replace(what, with, start);
    }

    void Upper() { m_Str.Upper(); }
    void Lower() { m_Str.Lower(); }
    void TrimLeft();
    void TrimRight();
    void Trim();

    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatArgList(const char* fmt, va_list args);

    template <class T> ValueString& operator+=(const T& v)
    {
        m_Str += v;
        m_bNull = false;
        return *this;
    }
    template <class T> ValueString& operator<<(const T& v) { return *this += v; }
    ValueString& operator+=(const char* s)
    {
        m_Str += s;
        m_bNull = false;
        return *this;
    }
    ValueString& operator<<(const char* s) { return *this += s; }

    // Compares the texts; a null object compares as the empty text.
    int Compare(const ValueString& s) const { return m_Str.Compare(s.m_Str); }
    int Compare(const String& s) const { return m_Str.Compare(s); }
    int Compare(const std::string& s) const { return m_Str.Compare(s); }
    int Compare(const char* s) const { return m_Str.Compare(s); }
    int Compare(char c) const { return m_Str.Compare(c); }

    // Equal when both are null, or both are not null with equal texts.
    bool operator==(const ValueString& s) const { return m_bNull == s.m_bNull && m_Str == s.m_Str; }
    bool operator!=(const ValueString& s) const { return !(*this == s); }
    bool operator<(const ValueString& s) const { return Compare(s) < 0; }
    bool operator==(const String& s) const { return !m_bNull && m_Str == s; }
    bool operator!=(const String& s) const { return !(*this == s); }
    bool operator==(const std::string& s) const { return !m_bNull && m_Str == s; }
    bool operator!=(const std::string& s) const { return !(*this == s); }
    bool operator==(const char* s) const { return !m_bNull && m_Str == s; }
    bool operator!=(const char* s) const { return !(*this == s); }

private:
    bool m_bNull = true;
    String m_Str;
};

ZEF_BASE_API std::ostream& operator<<(std::ostream& os, const ValueString& s);

} // namespace zef
