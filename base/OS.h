#pragma once

#include "base/BaseExport.h"
#include "base/Result.h"
#include "base/String.h"

namespace zef
{

// Operating-system helpers.
class ZEF_BASE_API OS
{
public:
    // The program file's name without its folder and without a final ".exe" (lower case).
    static Result GetApplicationFileName(String& name);
    // The program file's folder, without the closing '/'.
    static Result GetApplicationFilePath(String& path);

    // Full path of the running program (from /proc/self/exe).
    static Result GetApplicationFullPath(String& fullPath);
    // Splits a full program path into folder (without the closing '/') and file name (with a
    // final ".exe" cut).
    static void SplitApplicationPath(const String& fullPath, String& path, String& name);
    // The operating-system error for an errno value: that code, the system's message,
    // category 0.
    static Result GetSystemError(int errorNumber);
    // errno of the last failed C run-time call.
    static int GetLastErrorNumber();
};

} // namespace zef
