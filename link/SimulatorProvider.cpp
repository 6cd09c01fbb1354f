#include "link/SimulatorProvider.h"

#include "link/Proxy.h"

#include <cstdio>

namespace FTD2xx
{

SimulatorProvider::SimulatorProvider(const SimulatorConfig& config, Clock& clock)
{
    for (unsigned i = 0; i < config.boxes; ++i)
        m_Boxes.push_back(
            std::make_shared<SimulatedBox>(SerialOf(i), config.encoder, config.faults, clock));
}

std::string SimulatorProvider::SerialOf(std::size_t index)
{
    char serial[16];
    std::snprintf(serial, sizeof serial, "SIM%05zu", index + 1);
    return serial;
}

int SimulatorProvider::Enumerate(std::vector<DeviceInfo>& devices)
{
    devices.clear();
    for (const auto& box : m_Boxes)
        if (box->IsPlugged())
            devices.push_back({box->GetSerial(), kDescription});
    return STATUS_OK;
}

int SimulatorProvider::Open(const DeviceInfo& device, std::unique_ptr<DeviceBackend>& backend)
{
    for (const auto& box : m_Boxes)
        if (box->GetSerial() == device.serial)
            return box->Open(backend);
    return STATUS_DEVICE_NOT_FOUND;
}

namespace
{
class SimulatorEvents : public DeviceEvents
{
public:
    explicit SimulatorEvents(std::vector<std::shared_ptr<SimulatedBox>> boxes)
        : m_Boxes(std::move(boxes)), m_Seen(Changes())
    {
    }
    int Descriptor() const override { return -1; }
    bool Drain() override
    {
        const std::uint64_t now = Changes();
        const bool changed = now != m_Seen;
        m_Seen = now;
        return changed;
    }

private:
    std::uint64_t Changes() const
    {
        std::uint64_t sum = 0;
        for (const auto& box : m_Boxes)
            sum += box->GetPlugChanges();
        return sum;
    }
    std::vector<std::shared_ptr<SimulatedBox>> m_Boxes;
    std::uint64_t m_Seen;
};
} // namespace

std::unique_ptr<DeviceEvents> SimulatorProvider::Watch(std::string&)
{
    return std::make_unique<SimulatorEvents>(m_Boxes);
}

std::shared_ptr<SimulatedBox> SimulatorProvider::GetBox(std::size_t index) const
{
    return index < m_Boxes.size() ? m_Boxes[index] : nullptr;
}

} // namespace FTD2xx
