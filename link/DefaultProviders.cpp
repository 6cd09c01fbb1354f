#include "link/DefaultProviders.h"

namespace FTD2xx::detail
{

std::vector<std::shared_ptr<DeviceProvider>> MakeDefaultProviders()
{
    return {};
}

} // namespace FTD2xx::detail
