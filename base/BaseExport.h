#pragma once

// Export macro of the Base library. Symbols keep default visibility, so marking a class
// exported documents its interface and keeps a Windows build possible.
#if defined(_WIN32)
#if defined(ZEF_BASE_BUILD)
#define ZEF_BASE_API __declspec(dllexport)
#else
#define ZEF_BASE_API __declspec(dllimport)
#endif
#else
#define ZEF_BASE_API __attribute__((visibility("default")))
#endif
