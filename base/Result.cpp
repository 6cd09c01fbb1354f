#include "base/Result.h"

#include "base/StaticObjectRegistry.h"
#include "base/XAssertion.h"

#include <ostream>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "Result.cpp";
constexpr int kAppendHistoryLine = 220;
constexpr int kGetHistoryLine = 766;
} // namespace

struct Result::Error
{
    int code = 0;
    ValueString text;
    Category category = CAT_GENERAL;
    int sourceLine = 0;
    ValueString sourceFile{""};
    // Created on first use; entries carry no history of their own.
    std::unique_ptr<std::vector<Result>> history;
    ValueString cause;

    Error() = default;
    Error(int c, const ValueString& t, Category cat) : code(c), text(t), category(cat) {}
    Error(const Error& other)
        : code(other.code), text(other.text), category(other.category),
          sourceLine(other.sourceLine), sourceFile(other.sourceFile), cause(other.cause)
    {
        if (other.history)
            history = std::make_unique<std::vector<Result>>(*other.history);
    }
    Error& operator=(const Error&) = delete;
};

Result::Result(int code, const char* text, Category cat)
    : m_pError(std::make_unique<Error>(code, ValueString(text), cat))
{
}

Result::Result(int code, const String& text, Category cat)
    : m_pError(std::make_unique<Error>(code, ValueString(text), cat))
{
}

Result::Result(int code, const ValueString& text, Category cat)
    : m_pError(std::make_unique<Error>(code, text, cat))
{
}

Result::Result(int code, const char* text, const Result& previous)
    : Result(code, ValueString(text), previous)
{
}

Result::Result(int code, const String& text, const Result& previous)
    : Result(code, ValueString(text), previous)
{
}

Result::Result(int code, const ValueString& text, const Result& previous)
    : m_pError(std::make_unique<Error>(code, text, previous.GetCategory()))
{
    if (previous.IsError())
        AppendHistory(previous);
}

Result::Result(const Result& other)
    : Value(other), m_pError(other.m_pError ? std::make_unique<Error>(*other.m_pError) : nullptr)
{
}

Result::Result(Result&& other) noexcept : Value(other), m_pError(std::move(other.m_pError)) {}

Result::Result() = default;

Result::~Result() = default;

Result& Result::operator=(const Result& other)
{
    if (this != &other)
        m_pError = other.m_pError ? std::make_unique<Error>(*other.m_pError) : nullptr;
    return *this;
}

Result& Result::operator=(Result&& other) noexcept
{
    if (this != &other)
        m_pError = std::move(other.m_pError);
    return *this;
}

const Result& Result::Null()
{
    static Result& null = StaticObjectRegistry::Instance().Adopt(std::make_unique<Result>());
    return null;
}

void Result::Clear()
{
    m_pError.reset();
}

int Result::GetErrorCode() const
{
    return m_pError ? m_pError->code : 0;
}

Result::Category Result::GetCategory() const
{
    return m_pError ? m_pError->category : CAT_GENERAL;
}

const ValueString& Result::GetText() const
{
    return m_pError ? m_pError->text : ValueString::Null();
}

const ValueString& Result::GetCause() const
{
    return m_pError ? m_pError->cause : ValueString::Null();
}

const char* Result::GetSourceFile() const
{
    if (!m_pError || m_pError->sourceFile.IsNull())
        return "";
    return m_pError->sourceFile.c_str();
}

int Result::GetSourceLine() const
{
    return m_pError ? m_pError->sourceLine : 0;
}

int Result::GetHistorySize() const
{
    if (!m_pError || !m_pError->history)
        return 0;
    return static_cast<int>(m_pError->history->size());
}

const Result& Result::GetHistory(int ix) const
{
    if (!(ix >= 0 && ix < GetHistorySize()))
        XAssertionFailed("ix>=0 && ix<GetHistorySize()", "Index out of range.", kSourceFile,
                         kGetHistoryLine);
    return (*m_pError->history)[static_cast<std::size_t>(ix)];
}

Result Result::GetWithoutHistory() const
{
    Result copy;
    if (m_pError)
    {
        copy.m_pError = std::make_unique<Error>(m_pError->code, m_pError->text, m_pError->category);
        copy.m_pError->sourceLine = m_pError->sourceLine;
        copy.m_pError->sourceFile = m_pError->sourceFile;
        copy.m_pError->cause = m_pError->cause;
    }
    return copy;
}

Result::Error& Result::MakeError()
{
    if (!m_pError)
        m_pError = std::make_unique<Error>();
    return *m_pError;
}

void Result::SetText(const char* text)
{
    MakeError().text = text;
}

void Result::SetText(const ValueString& text)
{
    MakeError().text = text;
}

void Result::SetCause(const char* cause)
{
    MakeError().cause = cause;
}

void Result::SetCause(const ValueString& cause)
{
    MakeError().cause = cause;
}

void Result::SetSource(const char* file, int line)
{
    Error& e = MakeError();
    e.sourceFile = file ? file : "";
    e.sourceLine = line;
}

void Result::AppendHistory(const Result& oResult)
{
    if (oResult.IsOk())
        XAssertionFailed("!oResult.IsOk()", "Not allowed.", kSourceFile, kAppendHistoryLine);
    Error& e = MakeError();
    if (!e.history)
        e.history = std::make_unique<std::vector<Result>>();
    // oResult may be an entry of this very history; build the additions first.
    std::vector<Result> added;
    added.reserve(1 + static_cast<std::size_t>(oResult.GetHistorySize()));
    added.push_back(oResult.GetWithoutHistory());
    if (oResult.m_pError->history)
        added.insert(added.end(), oResult.m_pError->history->begin(),
                     oResult.m_pError->history->end());
    for (Result& r : added)
        e.history->push_back(std::move(r));
}

void Result::SetPrevious(const Result& previous)
{
    if (previous.IsOk() || &previous == this)
    {
        if (&previous == this && IsError())
        {
            // Self as previous: the history becomes the result without history and its own
            // former history.
            const Result copy(*this);
            SetPrevious(copy);
        }
        return;
    }
    if (IsOk())
    {
        *this = previous;
        return;
    }
    const Result keep(previous); // previous may live inside this history
    m_pError->history.reset();
    AppendHistory(keep);
}

Result& Result::InsertFront(const Result& newer)
{
    if (newer.IsOk())
        return *this;
    if (&newer == this)
    {
        const Result copy(newer);
        return InsertFront(copy);
    }
    if (IsOk())
    {
        *this = newer;
        return *this;
    }
    Result old(std::move(*this));
    *this = newer;
    AppendHistory(old);
    return *this;
}

bool Result::operator==(const Result& other) const
{
    if (IsOk() || other.IsOk())
        return IsOk() == other.IsOk();
    const Error& a = *m_pError;
    const Error& b = *other.m_pError;
    if (a.code != b.code || a.category != b.category || a.sourceLine != b.sourceLine)
        return false;
    if (String(GetSourceFile()) != String(other.GetSourceFile()))
        return false;
    if (!(a.text == b.text) || !(a.cause == b.cause))
        return false;
    const int n = GetHistorySize();
    if (n != other.GetHistorySize())
        return false;
    for (int i = 0; i < n; ++i)
        if (GetHistory(i) != other.GetHistory(i))
            return false;
    return true;
}

String Result::GetAsText() const
{
    const ValueString& text = GetText();
    String s("Number=");
    s << GetErrorCode() << ",Text=" << (text.IsNull() ? String() : text.GetString())
      << ",File=" << GetSourceFile() << ",Line=" << GetSourceLine();
    return s;
}

const std::vector<const char*>& Result::GetFieldNames()
{
    static const std::vector<const char*> names = {"ErrCode",    "Text",       "Category",
                                                   "SourceLine", "SourceFile", "Cause"};
    return names;
}

std::ostream& operator<<(std::ostream& os, const Result& r)
{
    if (r.IsOk())
        return os << "OK";
    os << r.GetAsText() << ",Category=" << static_cast<int>(r.GetCategory());
    for (int i = 0; i < r.GetHistorySize(); ++i)
        os << "\n  History " << (i + 1) << ": " << r.GetHistory(i).GetAsText();
    return os;
}

Exception::Exception(const Result& result) : m_pResult(std::make_unique<Result>(result)) {}

Exception::Exception(int code, const char* text, const char* file, int line)
    : m_pResult(std::make_unique<Result>(code, text, Result::CAT_GENERAL))
{
    m_pResult->SetSource(file, line);
}

Exception::Exception(const Exception& other) : m_pResult(std::make_unique<Result>(*other.m_pResult))
{
}

Exception& Exception::operator=(const Exception& other)
{
    if (this != &other)
        *m_pResult = *other.m_pResult;
    return *this;
}

Exception::~Exception() = default;

String Exception::GetText() const
{
    if (!m_pResult->IsError() || m_pResult->GetText().IsNull())
        return String();
    return m_pResult->GetText().GetString();
}

void Exception::Throw(const Result& result)
{
    throw Exception(result);
}

} // namespace zef
