#include "base/LogProcessor.h"

#include "base/OS.h"

#include <cstdio>
#include <memory>

namespace zef
{

namespace
{
struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
} // namespace

LogProcessor::LogProcessor(const String& fileName) : m_FileName(fileName) {}

String LogProcessor::FormatEntry(const Result& message, const std::tm& t)
{
    String entry;
    entry.Format("%02d.%02d.%02d %02d:%02d:%02d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                 t.tm_hour, t.tm_min, t.tm_sec);
    entry << (message.IsError() ? " ERR " : " INF ");
    for (int i = message.GetHistorySize(); i >= 1; --i)
        entry << "\nHistory " << i << ": " << message.GetHistory(i - 1).GetAsText();
    entry << "\nHistory 0: " << message.GetAsText() << "\n";
    return entry;
}

void LogProcessor::Process(const Result& message)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const String entry = FormatEntry(message, local);

    std::lock_guard<std::mutex> lock(m_Mutex);
    FilePtr file(std::fopen(m_FileName.c_str(), "a"));
    std::FILE* out = file ? file.get() : stderr;
    std::fwrite(entry.c_str(), 1, entry.GetLength(), out);
    std::fflush(out);
}

} // namespace zef
