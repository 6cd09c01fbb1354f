#include "link/DefaultProviders.h"

#include "link/SimulatorProvider.h"

namespace FTD2xx::detail
{

std::vector<std::shared_ptr<DeviceProvider>> MakeDefaultProviders()
{
    return {std::make_shared<EnvironmentSimulatorProvider>()};
}

} // namespace FTD2xx::detail
