#include "app/cli/Subcommand.h"

namespace App::Cli
{

namespace
{
class List : public Subcommand
{
public:
    using Subcommand::Subcommand;
    int Execute() override;
};

int List::Execute()
{
    m_Session.EnterState(GS_INIT);
    const Outcome scan = m_Session.ScanDevices();
    json devices = json::array();
    for (const BoxView::Device& device : InLinkOrder())
    {
        const std::string description = Description(device);
        if (m_Global.json)
            devices.push_back({{"serial", device.serial}, {"description", description}});
        else
            m_Env.out << device.serial << "  " << description << '\n';
    }
    if (m_Global.json)
        PrintJson({{"devices", devices}});
    return scan ? EXIT_OK : EXIT_BOX;
}
} // namespace

Factory DeclareList(CLI::App&)
{
    return Make<List>();
}

} // namespace App::Cli
