#include "driver/XAssertion.h"

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace Tavik
{

namespace
{

// Written and read without a lock by contract: handlers are installed before other
// threads report. The atomic only keeps such a race from tearing the pointer.
std::atomic<XAssertionHandler> g_Handler{nullptr};

const char kLogFileName[] = "TavikDriver XAssertionFailed.log";

const char* Text(const char* s)
{
    return s ? s : "(null)";
}

// The C run time's standard text of the local time ("Tue Dec  8 20:31:16 2026\n"),
// always in English; empty when the time cannot be converted.
std::string LocalTimeText()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    char buffer[64] = {};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0 || asctime_s(buffer, sizeof buffer, &local) != 0)
        return {};
#else
    if (!localtime_r(&now, &local) || !asctime_r(&local, buffer))
        return {};
#endif
    return buffer;
}

// Opens the log for appending, first in the working directory, then in APPDATA.
// Returns the full name of the opened file, or an empty text when none opened.
std::string OpenLog(std::ofstream& log)
{
    log.open(kLogFileName, std::ios::out | std::ios::app);
    if (log.is_open())
    {
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(kLogFileName, error);
        return error ? std::string(kLogFileName) : full.string();
    }
    const char* appData = std::getenv("APPDATA");
    if (!appData || !*appData)
        return {};
    std::string name = std::string(appData) + "/" + kLogFileName;
    log.clear();
    log.open(name, std::ios::out | std::ios::app);
    return log.is_open() ? name : std::string();
}

// The file name of the driver library as it was really loaded.
std::string LibraryName()
{
#ifdef _WIN32
    return "TavikDriver.dll";
#else
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&XAssertionFailed), &info) && info.dli_fname &&
        *info.dli_fname)
        return std::filesystem::path(info.dli_fname).filename().string();
    return "libTavikDriver.so";
#endif
}

[[noreturn]] void BuiltInReport(const char* expression, const char* info, const char* file,
                                int line)
{
    std::string report = "XAssertionFailed in " + LibraryName() + ".";
    report += "\nExpression: \"";
    report += Text(expression);
    report += "\" ";
    report += "\nInfo: \"";
    report += Text(info);
    report += "\"\nSource: ";
    report += Text(file);
    report += ", ";
    report += std::to_string(line);

    std::string time = LocalTimeText();
    if (!time.empty())
        report += "\nLocal time: " + time;

    std::ofstream log;
    std::string logName = OpenLog(log);
    if (!logName.empty())
    {
        report += "\nNote: Please send this bug report to " TAVIK_SUPPORT_CONTACT ".";
        report += "\n      This bug report will also be written to file: \"" + logName + "\"";
        log << report << '\n';
        log.close();
    }
    throw std::runtime_error(report);
}

} // namespace

void XAssertionFailed(const char* expression, const char* info, const char* file, int line)
{
    if (XAssertionHandler handler = g_Handler.load())
    {
        handler(expression, info, file, line);
        return;
    }
    BuiltInReport(expression, info, file, line);
}

XAssertionHandler SetXAssertionHandler(XAssertionHandler handler)
{
    if (!handler)
        XAssertionFailed("pNewHandler!=NULL", "pNewHandler must not be null", "XAssertion", 90);
    return g_Handler.exchange(handler);
}

} // namespace Tavik
