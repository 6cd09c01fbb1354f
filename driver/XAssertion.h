#pragma once

#include "driver/DriverExport.h"

namespace Tavik
{

// Receives a failed internal assertion of the driver: expression, information text,
// source file and line. A handler may return; the failing operation then goes on as its
// documentation says.
using XAssertionHandler = void (*)(const char* expression, const char* info, const char* file,
                                   int line);

// Reports a broken internal invariant. With a handler installed, calls it with the same
// arguments and returns when it returns. Otherwise builds the report text, appends it to
// "TavikDriver XAssertionFailed.log" in the working directory (or, if that cannot be
// opened, in the folder named by APPDATA) and throws std::runtime_error carrying the text.
// Null texts are reported as "(null)".
TAVIK_DRIVER_API void XAssertionFailed(const char* expression, const char* info, const char* file,
                                       int line);

// Installs `handler` and returns the previous one (nullptr while the built-in report is
// active). An empty handler is itself a failed assertion, reported through the handler
// that is installed now (or the built-in report, which throws and changes nothing); if
// that handler returns, the built-in report is installed and the previous handler
// returned.
TAVIK_DRIVER_API XAssertionHandler SetXAssertionHandler(XAssertionHandler handler);

} // namespace Tavik
