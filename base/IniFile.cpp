#include "base/IniFile.h"

#include "base/OS.h"
#include "base/XAssertion.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <sys/stat.h>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "IniFile.cpp";

// Source lines of the results and assertions raised here.
constexpr int kNameEmptyLine = 50;
constexpr int kNameCharsLine = 59;
constexpr int kTokenBracketLine = 230;
constexpr int kChapterNameLine = 241;
constexpr int kChapterExistsLine = 247;
constexpr int kTokenEqualLine = 278;
constexpr int kKeyNameLine = 286;
constexpr int kKeyExistsLine = 298;
constexpr int kContinuationLine = 310;
constexpr int kChapterExpectedLine = 333;
constexpr int kOpenLine = 394;
constexpr int kIoErrorLine = 420;
constexpr int kReadErrorLine = 430;
constexpr int kGetChaptersLine = 444;
constexpr int kGetKeysLine = 458;
constexpr int kGetKeysNameLine = 467;
constexpr int kGetKeysChapterLine = 475;
constexpr int kGetStringLine = 485;
constexpr int kGetStringResultLine = 506;
constexpr int kChapterNameInvalidLine = 513;
constexpr int kKeyNameInvalidLine = 522;
constexpr int kChapterMissingLine = 531;
constexpr int kKeyMissingLine = 540;
constexpr int kNoIntegerLine = 607;

constexpr int kOpenCode = 5;
constexpr int kSyntaxCode = 2;
constexpr int kAccessCode = 2;

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

Result MakeError(int code, const String& text, Result::Category cat, int line)
{
    Result r(code, text, cat);
    r.SetSource(kSourceFile, line);
    return r;
}

Result MakeError(int code, const String& text, const Result& previous, int line)
{
    Result r(code, text, previous);
    r.SetSource(kSourceFile, line);
    return r;
}

String AccessPrefix(const String& fileName)
{
    return String("Error accessing IniFile '") + fileName + "'. ";
}

// Reads one physical line including its line feed, whatever its length or content.
// Answers false on a read error; eof is set when the end of the file was reached.
bool ReadPhysicalLine(std::FILE* file, std::string& line, bool& eof)
{
    line.clear();
    eof = false;
    int c;
    while ((c = std::getc(file)) != EOF)
    {
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            return true;
    }
    if (std::ferror(file))
        return false;
    eof = true;
    return true;
}
} // namespace

using KeyMap = std::map<String, String>;

struct IniFile::Impl
{
    String fileName;
    bool open = false;
    Result loadResult;
    std::map<String, KeyMap> chapters;
    // Reading state.
    KeyMap* currentChapter = nullptr;
    String lastKey;

    void Reset(bool isOpen)
    {
        fileName.Clear();
        loadResult.Clear();
        open = isOpen;
        chapters.clear();
        currentChapter = nullptr;
        lastKey.Clear();
    }

    Result ParseLine(const std::string& piece);
    Result ParseChapter(const String& line);
    Result ParseKey(const String& line);
    Result ParseContinuation(const String& line);
    bool Lookup(const String& chapter, const String& key, String& value, Result& result) const;
};

Result IniFile::Impl::ParseLine(const std::string& piece)
{
    String line(piece);
    line.Trim();
    if (line.IsEmpty() || line[0] == ';')
        return Result();
    if (line[0] == '[')
        return ParseChapter(line);
    if (!currentChapter)
        return MakeError(kSyntaxCode, "Syntax error: Chaptername expected. ", Result::CAT_SYNTAX,
                         kChapterExpectedLine);
    if (line.GetLength() > 2 && line[0] == '+' && line[1] == '=')
        return ParseContinuation(line);
    return ParseKey(line);
}

Result IniFile::Impl::ParseChapter(const String& line)
{
    currentChapter = nullptr;
    lastKey.Clear();
    const int32_t close = line.Find(']');
    if (close < 0)
        return MakeError(kSyntaxCode, "Syntax error: Token ']' expected.", Result::CAT_SYNTAX,
                         kTokenBracketLine);
    // Taken from the bytes themselves, so a zero byte cannot shorten the name unnoticed.
    String name(line.GetStdString().substr(1, static_cast<std::size_t>(close) - 1));
    const Result nameResult = CheckName(name);
    if (nameResult.IsError())
        return MakeError(kSyntaxCode, "Syntax error: Name of chapter invalid.", nameResult,
                         kChapterNameLine);
    if (chapters.count(name))
        return MakeError(kSyntaxCode,
                         String("Syntax error: Chapter '") + name + "' already exists.",
                         Result::CAT_GENERAL, kChapterExistsLine);
    currentChapter = &chapters[name];
    return Result();
}

Result IniFile::Impl::ParseKey(const String& line)
{
    const int32_t equal = line.Find('=');
    if (equal < 0)
        return MakeError(kSyntaxCode, "Syntax error: Token '=' expected.", Result::CAT_SYNTAX,
                         kTokenEqualLine);
    const std::string& text = line.GetStdString();
    String key(text.substr(0, static_cast<std::size_t>(equal)));
    const Result nameResult = CheckName(key);
    if (nameResult.IsError())
        return MakeError(kSyntaxCode, "Syntax error: Name of key invalid.", nameResult,
                         kKeyNameLine);
    String value(text.substr(static_cast<std::size_t>(equal) + 1));
    value.Trim();
    if (currentChapter->count(key))
        return MakeError(kSyntaxCode,
                         String("Syntax error: Key '") + key + "' already exists in this Chapter.",
                         Result::CAT_SYNTAX, kKeyExistsLine);
    (*currentChapter)[key] = value;
    lastKey = key;
    return Result();
}

Result IniFile::Impl::ParseContinuation(const String& line)
{
    auto it = lastKey.IsEmpty() ? currentChapter->end() : currentChapter->find(lastKey);
    if (it == currentChapter->end())
        return MakeError(kSyntaxCode, "Syntax error: Key expected before continuation line.",
                         Result::CAT_SYNTAX, kContinuationLine);
    String more(line.GetStdString().substr(2));
    more.Trim();
    it->second << ' ' << more;
    return Result();
}

bool IniFile::Impl::Lookup(const String& chapter, const String& key, String& value,
                           Result& result) const
{
    String chapterName(chapter);
    if (CheckName(chapterName).IsError())
    {
        result = MakeError(kAccessCode,
                           AccessPrefix(fileName) + "ChapterName '" + chapter + "' not valid.",
                           Result::CAT_SYNTAX, kChapterNameInvalidLine);
        return false;
    }
    String keyName(key);
    if (CheckName(keyName).IsError())
    {
        result = MakeError(kAccessCode, AccessPrefix(fileName) + "KeyName '" + key + "' not valid.",
                           Result::CAT_SYNTAX, kKeyNameInvalidLine);
        return false;
    }
    const auto chapterIt = chapters.find(chapterName);
    if (chapterIt == chapters.end())
    {
        result = MakeError(kAccessCode,
                           AccessPrefix(fileName) + "Chapter '" + chapterName + "' does not exist.",
                           Result::CAT_SYNTAX, kChapterMissingLine);
        return false;
    }
    const auto keyIt = chapterIt->second.find(keyName);
    if (keyIt == chapterIt->second.end())
    {
        result = MakeError(kAccessCode,
                           AccessPrefix(fileName) + "Key '" + keyName +
                               "' does not exist in chapter '" + chapterName + "'.",
                           Result::CAT_SYNTAX, kKeyMissingLine);
        return false;
    }
    value = keyIt->second;
    result.Clear();
    return true;
}

IniFile::IniFile() : m_pImpl(std::make_unique<Impl>()) {}

IniFile::~IniFile() = default;

Result IniFile::Open(const String& fileName)
{
    m_pImpl->Reset(false);
    FilePtr file(std::fopen(fileName.c_str(), "r"));
    int error = file ? 0 : errno;
    if (file)
    {
        // A folder opens for reading here but is no settings file.
        struct stat info
        {
        };
        if (::fstat(::fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode))
        {
            file.reset();
            error = EISDIR;
        }
    }
    if (!file)
        m_pImpl->loadResult =
            MakeError(kOpenCode, String("Error while opening file '") + fileName + "'.",
                      OS::GetSystemError(error), kOpenLine);
    else
        m_pImpl->loadResult = ReadStream(file.get(), fileName);
    return m_pImpl->loadResult;
}

Result IniFile::ReadStream(std::FILE* file, const String& fileName)
{
    Impl& impl = *m_pImpl;
    impl.Reset(false);
    int lineNumber = 0;
    Result lineResult;
    std::string piece;
    bool eof = false;
    for (;;)
    {
        ++lineNumber;
        if (!ReadPhysicalLine(file, piece, eof))
        {
            lineResult = MakeError(
                kSyntaxCode, String("IO-Error occoured while reading file '") + fileName + "'.",
                Result::CAT_IO, kIoErrorLine);
            break;
        }
        lineResult = impl.ParseLine(piece);
        if (lineResult.IsError() || eof)
            break;
    }
    Result result;
    if (lineResult.IsError())
        result = MakeError(kSyntaxCode,
                           String("Error while reading file '") + fileName + "', line " +
                               lineNumber + ".",
                           lineResult, kReadErrorLine);
    impl.currentChapter = nullptr;
    impl.lastKey.Clear();
    impl.fileName = fileName;
    impl.open = true;
    return result;
}

Result IniFile::OpenEmpty()
{
    m_pImpl->Reset(true);
    return Result();
}

void IniFile::Discard()
{
    m_pImpl->chapters.clear();
    m_pImpl->currentChapter = nullptr;
    m_pImpl->lastKey.Clear();
    m_pImpl->open = true;
}

const Result& IniFile::GetLoadResult() const
{
    return m_pImpl->loadResult;
}

String IniFile::DescribeLoadError(const Result& result)
{
    String text;
    const auto append = [&text](const Result& r)
    {
        if (r.GetText().IsNull() || r.GetText().GetString().IsEmpty())
            return;
        if (!text.IsEmpty())
            text << " ";
        String part(r.GetText().GetString());
        part.Trim();
        text << part;
    };
    append(result);
    for (int i = 0; i < result.GetHistorySize(); ++i)
        append(result.GetHistory(i));
    return text;
}

void IniFile::Close()
{
    m_pImpl->Reset(false);
}

bool IniFile::IsOpen() const
{
    return m_pImpl->open;
}

const String& IniFile::GetFileName() const
{
    return m_pImpl->fileName;
}

bool IniFile::GetString(const String& chapter, const String& key, String& value) const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "IniFile not open.", kSourceFile, kGetStringLine);
    Result ignored;
    return m_pImpl->Lookup(chapter, key, value, ignored);
}

bool IniFile::GetString(const String& chapter, const String& key, String& value,
                        Result& result) const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "IniFile not open.", kSourceFile, kGetStringResultLine);
    return m_pImpl->Lookup(chapter, key, value, result);
}

bool IniFile::GetInt32(const String& chapter, const String& key, int& value) const
{
    String text;
    if (!GetString(chapter, key, text))
        return false;
    return ParseInt32(text, value);
}

bool IniFile::GetInt32(const String& chapter, const String& key, int& value, Result& result) const
{
    String text;
    if (!GetString(chapter, key, text, result))
        return false;
    if (!ParseInt32(text, value))
    {
        result = MakeError(kAccessCode,
                           AccessPrefix(GetFileName()) + "Key '" + key + "' in chapter '" +
                               chapter + "' is no valid integer.",
                           Result::CAT_SYNTAX, kNoIntegerLine);
        return false;
    }
    return true;
}

void IniFile::GetChapters(std::vector<String>& names) const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "IniFile not open.", kSourceFile, kGetChaptersLine);
    names.clear();
    for (const auto& chapter : m_pImpl->chapters)
        names.push_back(chapter.first);
}

Result IniFile::GetKeys(const String& chapter, std::vector<String>& names) const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "IniFile not open.", kSourceFile, kGetKeysLine);
    names.clear();
    String chapterName(chapter);
    if (CheckName(chapterName).IsError())
        return MakeError(kAccessCode,
                         AccessPrefix(GetFileName()) + "ChapterName '" + chapter + "' not valid.",
                         Result::CAT_SYNTAX, kGetKeysNameLine);
    const auto it = m_pImpl->chapters.find(chapterName);
    if (it == m_pImpl->chapters.end())
        return MakeError(kAccessCode,
                         AccessPrefix(GetFileName()) + "Chapter '" + chapterName +
                             "' does not exist.",
                         Result::CAT_SYNTAX, kGetKeysChapterLine);
    for (const auto& key : it->second)
        names.push_back(key.first);
    return Result();
}

Result IniFile::CheckName(String& name)
{
    name.Trim();
    if (name.IsEmpty())
        return MakeError(kSyntaxCode, "The name must contain at least 1 character.",
                         Result::CAT_SYNTAX, kNameEmptyLine);
    for (unsigned i = 0; i < name.GetLength(); ++i)
    {
        const char c = name[i];
        if (!(String::IsAscii(c) && (String::IsAlnum(c) || c == '/' || c == '_')))
            return MakeError(kSyntaxCode, "The name may only contain alphanumeric characters.",
                             Result::CAT_SYNTAX, kNameCharsLine);
    }
    return Result();
}

bool IniFile::ParseInt32(const String& text, int& value)
{
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || number < INT_MIN || number > INT_MAX)
        return false;
    String back;
    back << static_cast<int>(number);
    if (back != text)
        return false;
    value = static_cast<int>(number);
    return true;
}

} // namespace zef
