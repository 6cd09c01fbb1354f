#pragma once

#include "link/Backend.h"
#include "link/Clock.h"
#include "link/LinkExport.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorConfig.h"

#include <memory>
#include <string>
#include <vector>

namespace FTD2xx
{

// Lists the simulated boxes "SIM00001", "SIM00002", ... that are plugged in.
class FTD2XX_API SimulatorProvider : public DeviceProvider
{
public:
    static constexpr const char* kDescription = "Tavik box (simulated)";

    explicit SimulatorProvider(const SimulatorConfig& config, Clock& clock = Clock::System());

    int Enumerate(std::vector<DeviceInfo>& devices) override;
    int Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend) override;
    // Events on each unplug and replug of a simulated box, found when drained (no descriptor:
    // the boxes change only when asked, on their clock).
    std::unique_ptr<DeviceEvents> Watch(std::string& problem) override;

    // Box i (0-based) for tests and demonstrations; nullptr outside the list.
    std::shared_ptr<SimulatedBox> GetBox(std::size_t index) const;
    std::size_t GetBoxCount() const { return m_Boxes.size(); }

    static std::string SerialOf(std::size_t index);

private:
    std::vector<std::shared_ptr<SimulatedBox>> m_Boxes;
};

} // namespace FTD2xx
