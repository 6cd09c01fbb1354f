#pragma once

#include "link/Backend.h"

#include <memory>
#include <vector>

namespace FTD2xx::detail
{

// Real devices first, then simulated ones.
std::vector<std::shared_ptr<DeviceProvider>> MakeDefaultProviders();

} // namespace FTD2xx::detail
