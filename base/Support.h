#pragma once

#include "base/BaseExport.h"
#include "base/IniFile.h"
#include "base/Result.h"
#include "base/String.h"

namespace zef
{

class MessageDispatcher;

// Application-wide services of the library.
class ZEF_BASE_API Support
{
public:
    // Program file name (without ".exe") followed by ".ini"; throws Exception if the
    // operating system cannot name the program.
    static String GetAppIniFileName();
    // The application INI, read once when the library loads; always open.
    static const IniFile& GetAppIni();

    // The global message dispatcher; by default it logs every message to "Logfile.txt".
    static MessageDispatcher& GetMessageDispatcher();
    static void DispatchMessage(const Result& message);

    // Opens fileName into ini as the application INI does: on failure ini is left open and
    // empty (IniFile::Discard, so GetLoadResult still tells why) and, unless the file did
    // not open at all (code 5), "Error opening inifile: <text and cause>" is appended to
    // logFileName (standard error if that cannot be opened). Answers the Open result.
    static Result LoadAppIni(IniFile& ini, const String& fileName,
                             const char* logFileName = "error_opening_inifile.log");
};

} // namespace zef
