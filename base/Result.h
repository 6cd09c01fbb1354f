#pragma once

#include "base/BaseExport.h"
#include "base/Object.h"
#include <iosfwd>
#include <memory>
#include <vector>

namespace zef
{

class String;
class ValueString;

// Error value of the library: OK carries nothing; an error carries code, text, category,
// source, an optional cause and the earlier results that led to it (newest first).
// An error record with code 0 is still an error.
class ZEF_BASE_API Result : public Value
{
public:
    enum Category
    {
        CAT_GENERAL = 0, // ordinary errors
        CAT_IO = 1,      // input/output failures while reading a file
        CAT_SYNTAX = 2   // syntax, access and validation errors, assertion failures
    };

    Result();
    Result(int code, const char* text, Category cat = CAT_GENERAL);
    Result(int code, const String& text, Category cat = CAT_GENERAL);
    Result(int code, const ValueString& text, Category cat = CAT_GENERAL);
    // Category copied from previous; previous and its history become the history.
    Result(int code, const char* text, const Result& previous);
    Result(int code, const String& text, const Result& previous);
    Result(int code, const ValueString& text, const Result& previous);
    Result(const Result& other);
    Result(Result&& other) noexcept;
    ~Result() override;

    Result& operator=(const Result& other);
    Result& operator=(Result&& other) noexcept;

    // The shared OK result.
    static const Result& Null();

    bool IsNull() const override { return IsOk(); }
    void SetNull() override { Clear(); }
    virtual bool IsOk() const { return !m_pError; }
    virtual bool IsError() const { return static_cast<bool>(m_pError); }
    virtual void Clear();

    int GetErrorCode() const;
    Category GetCategory() const;
    const ValueString& GetText() const;
    const ValueString& GetCause() const;
    const char* GetSourceFile() const;
    int GetSourceLine() const;
    int GetHistorySize() const;
    const Result& GetHistory(int ix) const;
    Result GetWithoutHistory() const;

    // Each setter turns an OK result into an error with code 0 first.
    void SetText(const char* text);
    void SetText(const ValueString& text);
    void SetCause(const char* cause);
    void SetCause(const ValueString& cause);
    void SetSource(const char* file, int line);

    // Replaces the history by previous and its history (nothing if previous is OK).
    void SetPrevious(const Result& previous);
    // Makes newer the head and pushes this result into the history.
    Result& InsertFront(const Result& newer);

    bool operator==(const Result& other) const;
    bool operator!=(const Result& other) const { return !(*this == other); }

    // "Number=${No},Text=${Text},File=${File},Line=${Line}"; a null text prints empty.
    String GetAsText() const;
    // Names of the result's fields, in order.
    static const std::vector<const char*>& GetFieldNames();

private:
    struct Error;
    Error& MakeError();
    void AppendHistory(const Result& oResult);

    std::unique_ptr<Error> m_pError;
};

ZEF_BASE_API std::ostream& operator<<(std::ostream& os, const Result& r);

// Carries a Result where the library throws (assertion failures, missing program file name).
class ZEF_BASE_API Exception
{
public:
    explicit Exception(const Result& result);
    Exception(int code, const char* text, const char* file, int line);
    Exception(const Exception& other);
    Exception& operator=(const Exception& other);
    virtual ~Exception();

    virtual String GetText() const;
    const Result& GetResult() const { return *m_pResult; }

    [[noreturn]] static void Throw(const Result& result);

private:
    std::unique_ptr<Result> m_pResult;
};

} // namespace zef

// Results hand out texts as ValueString; complete the types for every includer.
#include "base/ValueString.h"
