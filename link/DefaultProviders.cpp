#include "link/DefaultProviders.h"

#include "link/FtdiProvider.h"
#include "link/SimulatorProvider.h"

namespace FTD2xx::detail
{

std::vector<std::shared_ptr<DeviceProvider>> MakeDefaultProviders()
{
    // Real devices first, so their indices do not move when the simulator is switched on.
    return {std::make_shared<FtdiProvider>(), std::make_shared<EnvironmentSimulatorProvider>()};
}

} // namespace FTD2xx::detail
