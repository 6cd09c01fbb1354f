#include "app/TavikApp.h"
#include "app/TavikVersion.h"
#include "link/Proxy.h"
#include "link/SimulatorConfig.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#if defined(__GLIBC__)
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
// --user-dir (given by the desktop entry): work in $XDG_DATA_HOME/tavik, by default
// ~/.local/share/tavik, created on first start. The base library reads Tavik.ini from the
// working directory while it loads, before main(), so the change of directory runs from the
// executable's preinit array: the dynamic loader calls it before any library's initialiser.
// Only the C library is ready at that point.
const char* FindEnv(char** envp, const char* name)
{
    const std::size_t length = std::strlen(name);
    for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry)
    {
        if (std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=')
            return *entry + length + 1;
    }
    return nullptr;
}

// Creates the missing folders of an absolute path (0700, as the XDG base directories ask).
bool MakeFolders(char* path)
{
    for (char* p = path + 1;; ++p)
    {
        if (*p != '/' && *p != '\0')
            continue;
        const char end = *p;
        *p = '\0';
        const bool made = mkdir(path, 0700) == 0 || errno == EEXIST;
        *p = end;
        if (!made)
            return false;
        if (end == '\0')
            return true;
    }
}

void EnterUserDir(int argc, char** argv, char** envp)
{
    bool wanted = false;
    for (int i = 1; i < argc; ++i)
        wanted = wanted || std::strcmp(argv[i], "--user-dir") == 0;
    if (!wanted)
        return;
    char path[4096];
    int length = -1;
    // Relative values are invalid and ignored.
    if (const char* data = FindEnv(envp, "XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        length = std::snprintf(path, sizeof path, "%s/tavik", data);
    else if (const char* home = FindEnv(envp, "HOME"); home != nullptr && home[0] == '/')
        length = std::snprintf(path, sizeof path, "%s/.local/share/tavik", home);
    if (length <= 0 || length >= static_cast<int>(sizeof path))
    {
        std::fprintf(stderr, "Tavik: --user-dir needs an absolute HOME or XDG_DATA_HOME; "
                             "staying in the current directory.\n");
        return;
    }
    if (!MakeFolders(path) || chdir(path) != 0)
        std::fprintf(stderr,
                     "Tavik: cannot use the folder %s (%s); staying in the current directory.\n",
                     path, std::strerror(errno));
}

[[gnu::section(".preinit_array"), gnu::used]] void (*const g_EnterUserDir)(int, char**,
                                                                           char**) = EnterUserDir;
} // namespace
#endif

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("Tavik %s\n", TAVIK_VERSION);
            return 0;
        }
    }
    // --simulate lists a simulated box after the real ones, with the settings given in
    // TAVIK_SIMULATOR, which also simulates boxes on its own.
    bool simulate = false;
    for (int i = 1; i < argc; ++i)
        simulate = simulate || std::strcmp(argv[i], "--simulate") == 0;
    std::string warning;
    FTD2xx::Proxy::UseDefaultProviders(
        FTD2xx::SimulatorConfig::ForProgram(std::getenv("TAVIK_SIMULATOR"), simulate, warning));
    if (!warning.empty())
        std::fprintf(stderr, "%s\n", warning.c_str());
    App::CTavikApp app(argc, argv);
    app.InitInstance();
    return 0;
}
