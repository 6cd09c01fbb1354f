#pragma once

// Export macro of the Glimra library. Symbols keep default visibility, so the macro only
// documents which classes form the library's interface.
#if defined(_WIN32)
#if defined(Glimra_EXPORTS)
#define GLIMRA_API __declspec(dllexport)
#else
#define GLIMRA_API __declspec(dllimport)
#endif
#else
#define GLIMRA_API __attribute__((visibility("default")))
#endif
