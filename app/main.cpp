#include "app/TavikApp.h"

#include <cstring>

int main(int argc, char** argv)
{
    // --simulate: work against the built-in box simulator instead of (besides) USB boxes.
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--simulate") == 0)
        {
            // TODO: enable the simulator once the link exposes it
        }
    }
    CTavikApp app(argc, argv);
    app.InitInstance();
    return 0;
}
