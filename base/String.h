#pragma once

#include "base/BaseExport.h"

#include <cstdarg>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace zef
{

class Result;
class StringValidator;
class StringFormator;

// Byte string in the system's 8-bit code page. Searches answer -1 when nothing is found;
// cutting and inserting clamp positions past the end instead of failing.
class ZEF_BASE_API String
{
public:
    String() = default;
    String(const String& other) = default;
    String(String&& other) noexcept = default;
    String(const std::string& text) : m_str(text) {}
    String(std::string&& text) noexcept : m_str(std::move(text)) {}
    String(const char* text) : m_str(text ? text : "") {}
    String(char c, unsigned n) : m_str(n, c) {}
    virtual ~String() = default;

    String& operator=(const String& other) = default;
    String& operator=(String&& other) noexcept = default;
    String& operator=(const std::string& text);
    String& operator=(const char* text);
    String& operator=(char c);

    virtual const StringValidator& GetValidator() const;
    virtual const StringFormator& GetFormator() const;
    Result Validate() const;
    void Formate();

    void Reserve(unsigned n) { m_str.reserve(n); }
    void Clear() { m_str.clear(); }

    unsigned GetLength() const { return static_cast<unsigned>(m_str.size()); }
    bool IsEmpty() const { return m_str.empty(); }
    const char* c_str() const { return m_str.c_str(); }
    const std::string& GetStdString() const { return m_str; }
    char operator[](unsigned i) const { return m_str.at(i); }

    String Mid(unsigned pos) const;
    String Mid(unsigned pos, unsigned n) const;
    String Left(unsigned n) const;
    String Right(unsigned n) const;

    void CutLeft(unsigned n);
    void CutRight(unsigned n);
    void CutMid(unsigned pos, unsigned n);
    void Delete(unsigned pos, unsigned n) { CutMid(pos, n); }
    void Insert(unsigned pos, const String& s);
    void Insert(unsigned pos, const char* s, unsigned n);
    void Append(const String& s) { m_str += s.m_str; }
    void Append(const char* s, unsigned n);

    int32_t Find(char c, unsigned start = 0) const;
    int32_t Find(const char* s, unsigned start = 0) const;
    int32_t Find(const std::string& s, unsigned start = 0) const;
    int32_t Find(const String& s, unsigned start = 0) const { return Find(s.m_str, start); }
    int32_t FindFirstOf(const char* set, unsigned start = 0) const;
    int32_t FindFirstOf(const String& set, unsigned start = 0) const;
    int32_t FindReverse(char c) const;
    int32_t FindReverse(char c, unsigned start) const;

    int32_t Replace(const char* what, const char* with, unsigned start = 0);
    int32_t Replace(const String& what, const String& with, unsigned start = 0);

    void Upper();
    void Lower();
    void TrimLeft();
    void TrimRight();
    void Trim()
    {
        TrimRight();
        TrimLeft();
    }

    static bool IsSpace(char c);
    static bool IsAlnum(char c);
    static bool IsAlpha(char c);
    static bool IsCntrl(char c);
    static bool IsDigit(char c);
    static bool IsGraph(char c);
    static bool IsLower(char c);
    static bool IsUpper(char c);
    static bool IsPrint(char c);
    static bool IsPunct(char c);
    static bool IsXDigit(char c);
    static bool IsAscii(char c) { return static_cast<unsigned char>(c) < 128; }
    static char ToLower(char c);
    static char ToUpper(char c);

    // printf-style; results longer than MAX_FORMAT_LENGTH characters are assertion failures
    // and leave the text unchanged.
    static constexpr unsigned FORMAT_BUFFER_SIZE = 3999;
    static constexpr unsigned MAX_FORMAT_LENGTH = FORMAT_BUFFER_SIZE - 1;
    void Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void FormatArgList(const char* fmt, va_list args);

    String& operator+=(int v);
    String& operator+=(unsigned v);
    String& operator+=(float v);
    String& operator+=(double v);
    String& operator+=(void* v);
    String& operator+=(const String& s);
    String& operator+=(const std::string& s);
    String& operator+=(const char* s);
    String& operator+=(char c);

    String& operator<<(int v) { return *this += v; }
    String& operator<<(unsigned v) { return *this += v; }
    String& operator<<(float v) { return *this += v; }
    String& operator<<(double v) { return *this += v; }
    String& operator<<(void* v) { return *this += v; }
    String& operator<<(const String& s) { return *this += s; }
    String& operator<<(const std::string& s) { return *this += s; }
    String& operator<<(const char* s) { return *this += s; }
    String& operator<<(char c) { return *this += c; }

    int Compare(const String& s) const { return m_str.compare(s.m_str); }
    int Compare(const std::string& s) const { return m_str.compare(s); }
    int Compare(const char* s) const { return m_str.compare(s ? s : ""); }
    int Compare(char c) const;

    bool operator==(const String& s) const { return Compare(s) == 0; }
    bool operator!=(const String& s) const { return Compare(s) != 0; }
    bool operator<(const String& s) const { return Compare(s) < 0; }
    bool operator>(const String& s) const { return Compare(s) > 0; }
    bool operator<=(const String& s) const { return Compare(s) <= 0; }
    bool operator>=(const String& s) const { return Compare(s) >= 0; }
    bool operator==(const std::string& s) const { return Compare(s) == 0; }
    bool operator!=(const std::string& s) const { return Compare(s) != 0; }
    bool operator<(const std::string& s) const { return Compare(s) < 0; }
    bool operator>(const std::string& s) const { return Compare(s) > 0; }
    bool operator<=(const std::string& s) const { return Compare(s) <= 0; }
    bool operator>=(const std::string& s) const { return Compare(s) >= 0; }
    bool operator==(const char* s) const { return Compare(s) == 0; }
    bool operator!=(const char* s) const { return Compare(s) != 0; }
    bool operator<(const char* s) const { return Compare(s) < 0; }
    bool operator>(const char* s) const { return Compare(s) > 0; }
    bool operator<=(const char* s) const { return Compare(s) <= 0; }
    bool operator>=(const char* s) const { return Compare(s) >= 0; }
    // Only the first byte takes part: "ab" == 'a'.
    bool operator==(char c) const { return Compare(c) == 0; }
    bool operator!=(char c) const { return Compare(c) != 0; }
    bool operator<(char c) const { return Compare(c) < 0; }
    bool operator>(char c) const { return Compare(c) > 0; }
    bool operator<=(char c) const { return Compare(c) <= 0; }
    bool operator>=(char c) const { return Compare(c) >= 0; }

private:
    std::string m_str;
};

inline bool operator==(const char* l, const String& r)
{
    return r == l;
}
inline bool operator!=(const char* l, const String& r)
{
    return r != l;
}
inline bool operator==(const std::string& l, const String& r)
{
    return r == l;
}
inline bool operator!=(const std::string& l, const String& r)
{
    return r != l;
}

ZEF_BASE_API String operator+(const String& l, const String& r);
ZEF_BASE_API String operator+(const String& l, const std::string& r);
ZEF_BASE_API String operator+(const String& l, const char* r);
ZEF_BASE_API String operator+(const String& l, char r);
ZEF_BASE_API String operator+(const String& l, int r);
ZEF_BASE_API String operator+(const String& l, unsigned r);
ZEF_BASE_API String operator+(const String& l, float r);
ZEF_BASE_API String operator+(const String& l, double r);
ZEF_BASE_API String operator+(const String& l, void* r);

ZEF_BASE_API std::ostream& operator<<(std::ostream& os, const String& s);

// Length limits of a String: minimum 0 and no maximum unless set.
class ZEF_BASE_API StringValidator
{
public:
    StringValidator() = default;
    StringValidator(unsigned minLength) : m_MinLength(minLength) {}
    StringValidator(unsigned minLength, unsigned maxLength)
        : m_MinLength(minLength), m_HasMax(true), m_MaxLength(maxLength)
    {
    }
    virtual ~StringValidator() = default;

    unsigned GetMinLength() const { return m_MinLength; }
    bool HasMaxLength() const { return m_HasMax; }
    unsigned GetMaxLength() const { return m_MaxLength; }
    void SetMinLength(unsigned n) { m_MinLength = n; }
    void SetMaxLength(unsigned n)
    {
        m_HasMax = true;
        m_MaxLength = n;
    }
    void ClearMaxLength() { m_HasMax = false; }

    virtual Result Validate(const String& s) const;

private:
    unsigned m_MinLength = 0;
    bool m_HasMax = false;
    unsigned m_MaxLength = 0;
};

// Case conversion and trimming applied by String::Formate, in the order of the flags.
class ZEF_BASE_API StringFormator
{
public:
    enum Flags
    {
        FMT_UPPER = 1,
        FMT_LOWER = 2,
        FMT_TRIM_LEFT = 4,
        FMT_TRIM_RIGHT = 8
    };

    StringFormator() = default;
    explicit StringFormator(int flags) : m_Flags(flags) {}
    virtual ~StringFormator() = default;

    int GetFlags() const { return m_Flags; }
    void SetFlags(int flags) { m_Flags = flags; }

    virtual void Format(const String& source, String& target) const;

private:
    int m_Flags = 0;
};

} // namespace zef

// String::Validate answers a Result; make it usable with this header alone.
#include "base/Result.h"
