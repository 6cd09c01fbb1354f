#include "link/DefaultProviders.h"

#include "link/FtdiProvider.h"
#include "link/SimulatorProvider.h"

namespace FTD2xx::detail
{

std::vector<std::shared_ptr<DeviceProvider>>
MakeDefaultProviders(const std::optional<SimulatorConfig>& simulator)
{
    // Real devices first, so their indices do not move when the simulator is switched on.
    std::vector<std::shared_ptr<DeviceProvider>> providers{std::make_shared<FtdiProvider>()};
    if (simulator)
        providers.push_back(std::make_shared<SimulatorProvider>(*simulator));
    return providers;
}

} // namespace FTD2xx::detail
