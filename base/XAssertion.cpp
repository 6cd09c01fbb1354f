#include "base/XAssertion.h"

#include "base/Result.h"
#include "base/String.h"
#include "base/Support.h"

namespace zef
{

namespace
{
constexpr int kAssertionCode = 6;

String ExpressionText(const char* expr)
{
    String text("XAssertion. Expression \"");
    text << (expr ? expr : "") << "\" failed. ";
    return text;
}

[[noreturn]] void Report(Result& result, const char* file, int line)
{
    result.SetSource(file ? file : "", line);
    // Logging must not replace the assertion by another failure.
    try
    {
        Support::DispatchMessage(result);
    }
    catch (...)
    {
    }
    throw Exception(result);
}
} // namespace

void XAssertionFailed(const char* expr, const char* info, const char* file, int line)
{
    String text = ExpressionText(expr);
    text << "\nInfo: \"" << (info ? info : "") << "\"";
    Result result(kAssertionCode, text, Result::CAT_SYNTAX);
    Report(result, file, line);
}

void XAssertionFailed(const char* expr, const String& info, const char* file, int line)
{
    XAssertionFailed(expr, info.c_str(), file, line);
}

void XAssertionFailed(const char* expr, const Result& cause, const char* file, int line)
{
    Result result(kAssertionCode, ExpressionText(expr), Result::CAT_SYNTAX);
    result.SetPrevious(cause);
    Report(result, file, line);
}

} // namespace zef
