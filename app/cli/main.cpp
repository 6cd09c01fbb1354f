#include "app/cli/Cli.h"
#include "app/core/RecordStore.h"
#include "link/Proxy.h"
#include "link/SimulatorConfig.h"

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    App::InstallInterruptHandler();
    App::CliEnvironment env{std::cout, std::cerr, "Tavik.ini",
                            [](unsigned ms)
                            { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); },
                            isatty(STDERR_FILENO) != 0};
    // TAVIK_SIMULATOR is read here and nowhere else.
    env.setUpDevices = [](bool simulate)
    {
        std::string warning;
        FTD2xx::Proxy::UseDefaultProviders(
            FTD2xx::SimulatorConfig::ForProgram(std::getenv("TAVIK_SIMULATOR"), simulate, warning));
        if (!warning.empty())
            std::cerr << warning << '\n';
    };
    env.dataFolder = App::UserDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    return App::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
