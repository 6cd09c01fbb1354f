#pragma once

#include "base/BaseExport.h"
#include "base/MessageDispatcher.h"
#include "base/String.h"

#include <ctime>
#include <mutex>

namespace zef
{

// Appends every message as one entry to a log file (by default "Logfile.txt" in the working
// directory). The file is opened for each entry and flushed at once, so the entry exists even
// if the process ends right after.
class ZEF_BASE_API LogProcessor : public MessageProcessor
{
public:
    explicit LogProcessor(const String& fileName = "Logfile.txt");

    void Process(const Result& message) override;
    const String& GetFileName() const { return m_FileName; }

    // One entry: "dd.mm.yyyy hh:mm:ss ERR " (OK results: "INF "), the history from the oldest
    // entry ("\nHistory n: ") to the newest, "\nHistory 0: " with the result itself, "\n".
    static String FormatEntry(const Result& message, const std::tm& localTime);

private:
    String m_FileName;
    std::mutex m_Mutex;
};

} // namespace zef
