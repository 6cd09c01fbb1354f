#pragma once

#include "link/Backend.h"
#include "link/SimulatorConfig.h"

#include <memory>
#include <optional>
#include <vector>

namespace FTD2xx::detail
{

// Real devices first, then the simulated ones `simulator` asks for.
std::vector<std::shared_ptr<DeviceProvider>>
MakeDefaultProviders(const std::optional<SimulatorConfig>& simulator);

} // namespace FTD2xx::detail
