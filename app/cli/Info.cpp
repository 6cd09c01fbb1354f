#include "app/cli/Subcommand.h"

#include "app/core/Formats.h"

#include <ostream>

namespace App::Cli
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
class Info : public Subcommand
{
public:
    using Subcommand::Subcommand;
    int Execute() override;
};

int Info::Execute()
{
    const BoxView& view = m_Session.View();
    const bool on = view.state == GS_POWERED;
    const char* mode = view.mode ? SampleParameter::GetModeAsString(*view.mode) : "unknown";
    if (m_Global.json)
    {
        json outputs = json::array();
        for (Box::OUTPUT_MODE output : view.outputs)
            outputs.push_back(Box::GetOutputModeAsString(output));
        PrintJson({{"serial", m_Box.GetSerial()},
                   {"description", m_Box.GetDescription()},
                   {"supply", on ? Box::GetPowerModeAsString(view.supply) : "PWR_OFF"},
                   {"supplyChoice", Box::GetPowerModeAsString(view.supply)},
                   {"mode", mode},
                   {"clockHz", view.clock},
                   {"stBits", view.stBits},
                   {"mtBits", view.mtBits},
                   {"dataMask", view.dataFilter},
                   {"grayMask", view.grayCodeFilter},
                   {"spiWord", view.spiWord},
                   {"outputs", outputs}});
        return EXIT_OK;
    }
    std::ostream& out = m_Env.out;
    out << "Device:    " << m_Box.GetSerial() << "  " << m_Box.GetDescription() << '\n';
    out << "Supply:    "
        << (on ? Box::GetPowerModeAsString(view.supply)
               : "PWR_OFF (" + std::string(Box::GetPowerModeAsString(view.supply)) + " chosen)")
        << '\n';
    out << "Mode:      " << mode << '\n';
    out << "Clock:     " << view.clock << " Hz\n";
    out << "ST bits:   " << view.stBits << '\n';
    out << "MT bits:   " << view.mtBits << '\n';
    out << "Data mask: 0x" << FormatHex8(view.dataFilter) << '\n';
    out << "Gray mask: 0x" << FormatHex8(view.grayCodeFilter) << '\n';
    out << "SPI word:  0x" << FormatHex8(view.spiWord) << '\n';
    for (std::size_t i = 0; i < view.outputs.size(); ++i)
        out << "Output " << i + 1 << ":  " << Box::GetOutputModeAsString(view.outputs[i]) << '\n';
    return EXIT_OK;
}
} // namespace

Factory DeclareInfo(CLI::App&)
{
    return Make<Info>();
}

} // namespace App::Cli
