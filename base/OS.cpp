#include "base/OS.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "OS.cpp";
constexpr int kFileNameLine = 70;
constexpr int kFilePathLine = 93;
constexpr int kFileNameCode = 10;
} // namespace

int OS::GetLastErrorNumber()
{
    return errno;
}

Result OS::GetSystemError(int errorNumber)
{
    char buffer[256] = {};
    // GNU strerror_r may answer a static text instead of filling the buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return Result(errorNumber, text ? text : buffer, Result::CAT_GENERAL);
}

Result OS::GetApplicationFullPath(String& fullPath)
{
    std::vector<char> buffer(256);
    for (;;)
    {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return GetSystemError(errno);
        if (static_cast<std::size_t>(n) < buffer.size())
        {
            fullPath = std::string(buffer.data(), static_cast<std::size_t>(n));
            return Result();
        }
        if (buffer.size() >= 1u << 16)
            return GetSystemError(ENAMETOOLONG);
        buffer.resize(buffer.size() * 2);
    }
}

void OS::SplitApplicationPath(const String& fullPath, String& path, String& name)
{
    const int32_t slash = fullPath.FindReverse('/');
    if (slash < 0)
    {
        path.Clear();
        name = fullPath;
    }
    else
    {
        path = fullPath.Left(static_cast<unsigned>(slash));
        name = fullPath.Mid(static_cast<unsigned>(slash) + 1);
    }
    // Only the exact lower-case ending is cut: Prog.EXE stays Prog.EXE.
    if (name.GetLength() >= 4 && name.Right(4) == ".exe")
        name.CutRight(4);
}

Result OS::GetApplicationFileName(String& name)
{
    String fullPath;
    const Result osError = GetApplicationFullPath(fullPath);
    if (osError.IsError())
    {
        Result result(kFileNameCode, "Cannot identify ApplicationFileName.", osError);
        result.SetSource(kSourceFile, kFileNameLine);
        return result;
    }
    String path;
    SplitApplicationPath(fullPath, path, name);
    return Result();
}

Result OS::GetApplicationFilePath(String& path)
{
    String fullPath;
    const Result osError = GetApplicationFullPath(fullPath);
    if (osError.IsError())
    {
        Result result(kFileNameCode, "Cannot identify ApplicationFilePath.", osError);
        result.SetSource(kSourceFile, kFilePathLine);
        return result;
    }
    String name;
    SplitApplicationPath(fullPath, path, name);
    return Result();
}

} // namespace zef
