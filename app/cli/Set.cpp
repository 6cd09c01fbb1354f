#include "app/cli/Subcommand.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <utility>

namespace App::Cli
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
// A mask or register word: at most eight hexadecimal digits, "0x" allowed.
std::string CheckHexWord(const std::string& text)
{
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isxdigit((unsigned char)c); }))
        return "'" + text + "' is not a hexadecimal word of at most 8 digits";
    return {};
}

const std::map<std::string, SampleParameter::SERIAL_MODE> kModes = {
    {"ssi-binary", SampleParameter::SSI_Binary},
    {"ssi-gray", SampleParameter::SSI_Gray},
    {"spi-binary", SampleParameter::SPI_Binary},
    {"spi-gray", SampleParameter::SPI_Gray},
};
const std::map<std::string, Box::POWER_MODE> kSupplies = {
    {"off", Box::PWR_OFF},
    {"ext", Box::PWR_EXTERNAL},
    {"5v", Box::PWR_INTERNAL},
    {"12v", Box::PWR_INTERNAL_DCDC},
};
const std::map<std::string, Box::OUTPUT_MODE> kOutputs = {
    {"open", Box::OUT_OPEN},
    {"low", Box::OUT_LOW_GND},
    {"high", Box::OUT_HIGH_UB},
};

template <class Map> std::vector<std::string> Keys(const Map& map)
{
    std::vector<std::string> names;
    for (const auto& entry : map)
        names.push_back(entry.first);
    return names;
}

struct SetOptions
{
    std::optional<std::string> mode;
    std::optional<unsigned> clock;
    std::optional<unsigned> st;
    std::optional<unsigned> mt;
    std::optional<std::string> dataMask;
    std::optional<std::string> grayMask;
    std::optional<std::string> spiWord;
    std::vector<std::string> outputs;
    std::optional<std::string> power;
};

class Set : public SubcommandWith<SetOptions>
{
public:
    using SubcommandWith::SubcommandWith;
    int Prepare() override;
    int Execute() override;

private:
    std::optional<Box::POWER_MODE> m_Power;
    std::vector<std::pair<int, Box::OUTPUT_MODE>> m_Outputs;
};

// Every value is checked before the box is touched.
int Set::Prepare()
{
    if (m_Options.power)
        m_Power = kSupplies.at(*m_Options.power);
    for (const std::string& text : m_Options.outputs)
    {
        const auto eq = text.find('=');
        const auto mode =
            eq == std::string::npos ? kOutputs.end() : kOutputs.find(text.substr(eq + 1));
        const std::string index = text.substr(0, eq);
        if (mode == kOutputs.end() || (index != "1" && index != "2" && index != "3"))
            return Usage("--output: '" + text + "' is not N=open|low|high with N 1 to 3");
        m_Outputs.emplace_back(index[0] - '1', mode->second);
    }
    if (m_Options.clock)
    {
        const auto& clocks = BoxSession::Clocks();
        if (std::find(clocks.begin(), clocks.end(), *m_Options.clock) == clocks.end())
        {
            std::string list;
            for (unsigned hz : clocks)
                list += (list.empty() ? "" : ", ") + std::to_string(hz);
            return Usage("--clock: " + std::to_string(*m_Options.clock) +
                         " Hz is not a selectable clock; choose one of " + list);
        }
    }
    return EXIT_OK;
}

int Set::Execute()
{
    const std::optional<Box::POWER_MODE>& power = m_Power;
    const BoxView& view = m_Session.View();
    if (power && *power != Box::PWR_OFF && view.state == GS_POWERED && view.supply != *power)
        return Usage(std::string("the supply is on with ") +
                     Box::GetPowerModeAsString(view.supply) +
                     "; it is only switched on from off (--power off first)");

    // Every setting is tried; one that failed makes the exit code.
    bool failed = false;
    const auto apply = [&failed](const Outcome& outcome) { failed = failed || !outcome; };
    if (m_Options.mode)
    {
        const auto mode = kModes.at(*m_Options.mode);
        if (std::find(view.modes.begin(), view.modes.end(), mode) == view.modes.end())
            apply(m_Session.SetExpert(ExpertOption::SPI_MODE, true));
        apply(m_Session.ChooseMode(mode));
    }
    if (m_Options.clock)
        apply(m_Session.ChooseClock(*m_Options.clock));
    if (m_Options.st || m_Options.mt)
        apply(m_Session.ChooseBitCounts(m_Options.st.value_or(view.stBits),
                                        m_Options.mt.value_or(view.mtBits)));
    if (m_Options.dataMask)
        apply(m_Session.CommitDataFilter(*m_Options.dataMask));
    if (m_Options.grayMask)
        apply(m_Session.CommitGrayCodeFilter(*m_Options.grayMask));
    if (m_Options.spiWord)
        apply(m_Session.CommitSpiWord(*m_Options.spiWord));
    for (const auto& [index, mode] : m_Outputs)
        apply(m_Session.ClickOutput(index, mode));
    if (power)
    {
        if (*power == Box::PWR_OFF && view.state == GS_POWERED)
            apply(m_Session.TogglePower());
        else if (*power != Box::PWR_OFF && view.state == GS_CONNECTED)
        {
            m_Session.ChooseSupply(*power);
            apply(m_Session.TogglePower());
        }
    }
    if (m_Global.json)
        PrintJson(json::object());
    return failed ? EXIT_BOX : EXIT_OK;
}
} // namespace

Factory DeclareSet(CLI::App& sub)
{
    auto o = std::make_shared<SetOptions>();
    const auto hexWord = CLI::Validator(CheckHexWord, "HEX");
    sub.add_option("--mode", o->mode, "serial mode")->check(CLI::IsMember(Keys(kModes)));
    sub.add_option("--clock", o->clock, "clock in Hz");
    sub.add_option("--st", o->st, "singleturn bits")
        ->check(CLI::Range(0u, BoxSession::ST_BITS_MAX));
    sub.add_option("--mt", o->mt, "multiturn bits")->check(CLI::Range(0u, BoxSession::MT_BITS_MAX));
    sub.add_option("--data-mask", o->dataMask, "data mask, hexadecimal")->check(hexWord);
    sub.add_option("--gray-mask", o->grayMask, "Gray code mask, hexadecimal")->check(hexWord);
    sub.add_option("--spi-word", o->spiWord, "SPI data word, hexadecimal")->check(hexWord);
    sub.add_option("--output", o->outputs, "output N (1 to 3): N=open|low|high");
    sub.add_option("--power", o->power, "supply; switched on only from off")
        ->check(CLI::IsMember(Keys(kSupplies)));
    return Make<Set>(o);
}

} // namespace App::Cli
