#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace App
{

// tavik-cli without its process: the arguments in, the texts on two streams and the exit
// code out, so tests run it in-process against a simulator.
struct CliEnvironment
{
    std::ostream& out;
    std::ostream& err;
    std::string iniFile = "Tavik.ini";
    // Waits between readings and polls; tests advance a manual clock here.
    std::function<void(unsigned milliseconds)> sleep;
    bool errIsTerminal = false; // the progress bar is drawn only on a terminal
    // Before a subcommand that uses the box: sets up where boxes come from, with --simulate
    // given or not. The program installs the default devices with the simulator that
    // TAVIK_SIMULATOR asks for; tests leave it empty and install their own.
    std::function<void(bool simulate)> setUpDevices = {};
    // The per-user data folder ($XDG_DATA_HOME/tavik, else ~/.local/share/tavik): the spool
    // and the default results store live there. Tests give a scratch folder.
    std::string dataFolder = {};
};

enum CliExit
{
    EXIT_OK = 0,
    EXIT_BOX = 1,         // a box or link failure
    EXIT_USAGE = 2,       // bad usage or a malformed file
    EXIT_FOUND = 3,       // check or batch found errors in the readings, analyse events
    EXIT_INTERRUPT = 130, // Ctrl-C
};

int RunCli(const std::vector<std::string>& args, CliEnvironment& env);

// SIGINT sets a flag that read and batch poll; the box is stopped and what arrived kept.
void InstallInterruptHandler();
bool Interrupted();
void ClearInterrupt();

} // namespace App
