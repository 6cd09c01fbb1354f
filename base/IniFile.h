#pragma once

#include "base/BaseExport.h"
#include "base/Result.h"
#include "base/String.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace zef
{

// Read-only settings file of "[Chapter]" lines and "Key=Value" lines, read into memory by Open.
// Names are case-sensitive, trimmed, and may hold only ASCII letters, digits, '/' and '_'.
// Lookups on a closed object are assertion failures.
class ZEF_BASE_API IniFile
{
public:
    IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;
    virtual ~IniFile();

    // Reads the file. On a syntax or read error the object is open nevertheless, with the
    // chapters and keys read before the failing line.
    Result Open(const String& fileName);
    Result OpenEmpty();
    // Drops every chapter read and leaves the object open and empty, keeping the file name
    // and the load result: a file that failed somewhere is not used at all.
    void Discard();
    // The result of the last Open (OK after OpenEmpty and Close).
    const Result& GetLoadResult() const;
    // A load result as one text: its own text, then the texts of the errors that caused it
    // ("Error while reading file 'a.ini', line 4. Syntax error: Token '=' expected.").
    static String DescribeLoadError(const Result& result);
    void Close();
    bool IsOpen() const;
    const String& GetFileName() const;

    bool GetString(const String& chapter, const String& key, String& value) const;
    bool GetString(const String& chapter, const String& key, String& value, Result& result) const;
    bool GetInt32(const String& chapter, const String& key, int& value) const;
    bool GetInt32(const String& chapter, const String& key, int& value, Result& result) const;
    void GetChapters(std::vector<String>& names) const;
    Result GetKeys(const String& chapter, std::vector<String>& names) const;

    // Trims name and checks it; answers the validation error if it is not a valid name.
    static Result CheckName(String& name);
    // True if text is exactly the "%d" form of an int; value is set then.
    static bool ParseInt32(const String& text, int& value);

protected:
    // Parses an opened stream as the content of fileName (used by Open; tests feed streams).
    Result ReadStream(std::FILE* file, const String& fileName);

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};

} // namespace zef
