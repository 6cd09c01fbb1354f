#pragma once

#include "link/Backend.h"
#include "link/Clock.h"
#include "link/LinkExport.h"
#include "link/SimulatedBox.h"
#include "link/SimulatorConfig.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace FTD2xx
{

// Lists the simulated boxes "SIM00001", "SIM00002", ... that stay plugged in.
class FTD2XX_API SimulatorProvider : public DeviceProvider
{
public:
    static constexpr const char* kDescription = "Tavik box (simulated)";

    explicit SimulatorProvider(const SimulatorConfig& config, Clock& clock = Clock::System());

    int Enumerate(std::vector<DeviceInfo>& devices) override;
    int Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend) override;

    // Box i (0-based) for tests and demonstrations; nullptr outside the list.
    std::shared_ptr<SimulatedBox> GetBox(std::size_t index) const;
    std::size_t GetBoxCount() const { return m_Boxes.size(); }

    static std::string SerialOf(std::size_t index);

private:
    std::vector<std::shared_ptr<SimulatedBox>> m_Boxes;
};

// The simulator as the environment asks for it: the settings given to EnableSimulator,
// else TAVIK_SIMULATOR. Read afresh on every listing; the boxes keep their state as long
// as the settings stay the same.
class FTD2XX_API EnvironmentSimulatorProvider : public DeviceProvider
{
public:
    int Enumerate(std::vector<DeviceInfo>& devices) override;
    int Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend) override;

private:
    std::mutex m_Mutex;
    std::string m_Settings;
    std::shared_ptr<SimulatorProvider> m_Current;
};

// The settings that EnableSimulator stored; false when it was not called.
FTD2XX_API bool GetSimulatorOverride(std::string& settings);

} // namespace FTD2xx
