#include "app/TavikApp.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    // --simulate lists a simulated box after the real ones. The link reads the simulator's
    // settings from TAVIK_SIMULATOR on every scan; settings given there are kept.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--simulate") != 0)
            continue;
        const char* settings = std::getenv("TAVIK_SIMULATOR");
        if (settings == nullptr || *settings == '\0' || std::strcmp(settings, "0") == 0)
            setenv("TAVIK_SIMULATOR", "1", 1);
    }
    App::CTavikApp app(argc, argv);
    app.InitInstance();
    return 0;
}
