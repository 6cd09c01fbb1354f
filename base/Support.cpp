#include "base/Support.h"

#include "base/LogProcessor.h"
#include "base/MessageDispatcher.h"
#include "base/OS.h"
#include "base/StaticObjectRegistry.h"

#include <cstdio>
#include <memory>

namespace zef
{

namespace
{
constexpr const char* kSourceFile = "Support.cpp";
constexpr int kAppIniFileNameLine = 32;
constexpr const char* kAppIniLogFile = "error_opening_inifile.log";

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

void LogAppIniError(const char* logFileName, const Result& error)
{
    String line("Error opening inifile: ");
    line << IniFile::DescribeLoadError(error) << "\n";
    FilePtr file(std::fopen(logFileName, "a"));
    std::FILE* out = file ? file.get() : stderr;
    std::fwrite(line.c_str(), 1, line.GetLength(), out);
    std::fflush(out);
}

IniFile& CreateAppIni()
{
    IniFile& ini = StaticObjectRegistry::Instance().Adopt(std::make_unique<IniFile>());
    try
    {
        Support::LoadAppIni(ini, Support::GetAppIniFileName());
    }
    catch (const Exception& e)
    {
        // Without a program name there is no file to read; the INI stays open and empty
        // instead of ending the process while the library loads.
        ini.OpenEmpty();
        LogAppIniError(kAppIniLogFile, e.GetResult());
    }
    return ini;
}

IniFile& AppIni()
{
    static IniFile& ini = CreateAppIni();
    return ini;
}

MessageDispatcher& Dispatcher()
{
    static MessageDispatcher& dispatcher = []() -> MessageDispatcher&
    {
        MessageDispatcher& d =
            StaticObjectRegistry::Instance().Adopt(std::make_unique<MessageDispatcher>());
        d.AddProcessor(std::make_unique<LogProcessor>());
        return d;
    }();
    return dispatcher;
}

// Load-time initialisation of the library: registry first, then the application INI, then
// the message dispatcher with its log. The registry destroys them in reverse order at unload.
struct LibraryInit
{
    LibraryInit()
    {
        StaticObjectRegistry::Instance();
        AppIni();
        Dispatcher();
    }
};
const LibraryInit g_LibraryInit;
} // namespace

String Support::GetAppIniFileName()
{
    String name;
    Result result = OS::GetApplicationFileName(name);
    if (result.IsError())
    {
        result.SetSource(kSourceFile, kAppIniFileNameLine);
        Exception::Throw(result);
    }
    return name + ".ini";
}

const IniFile& Support::GetAppIni()
{
    return AppIni();
}

MessageDispatcher& Support::GetMessageDispatcher()
{
    return Dispatcher();
}

void Support::DispatchMessage(const Result& message)
{
    Dispatcher().Dispatch(message);
}

Result Support::LoadAppIni(IniFile& ini, const String& fileName, const char* logFileName)
{
    const Result result = ini.Open(fileName);
    if (result.IsError())
    {
        // A file that fails in the middle is dropped whole; its load result stays for the
        // program to report.
        ini.Discard();
        if (result.GetErrorCode() != 5)
            LogAppIniError(logFileName ? logFileName : kAppIniLogFile, result);
    }
    return result;
}

} // namespace zef
