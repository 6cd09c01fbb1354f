#include "app/cli/Cli.h"

#include <chrono>
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
    return App::RunCli(std::vector<std::string>(argv + 1, argv + argc), env);
}
