#pragma once

#include "base/BaseExport.h"

namespace zef
{

class String;
class Result;

// Reports a broken internal assumption: builds an error Result (code 6, category 2) with the
// expression, the information or cause, the source file and line, hands it to the global
// message dispatcher (which logs it to "Logfile.txt") and throws zef::Exception holding it.
[[noreturn]] ZEF_BASE_API void XAssertionFailed(const char* expr, const char* info,
                                                const char* file, int line);
[[noreturn]] ZEF_BASE_API void XAssertionFailed(const char* expr, const String& info,
                                                const char* file, int line);
[[noreturn]] ZEF_BASE_API void XAssertionFailed(const char* expr, const Result& cause,
                                                const char* file, int line);

} // namespace zef
