#include "link/SimulatorProvider.h"

#include "link/Proxy.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>

namespace FTD2xx
{

namespace
{

struct Override
{
    std::mutex mutex;
    bool set = false;
    std::string settings;
};

Override& GetOverride()
{
    static Override o;
    return o;
}

} // namespace

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

std::shared_ptr<SimulatedBox> SimulatorProvider::GetBox(std::size_t index) const
{
    return index < m_Boxes.size() ? m_Boxes[index] : nullptr;
}

int EnvironmentSimulatorProvider::Enumerate(std::vector<DeviceInfo>& devices)
{
    devices.clear();
    std::lock_guard lock(m_Mutex);
    std::string settings;
    if (!GetSimulatorOverride(settings))
        if (const char* env = std::getenv("TAVIK_SIMULATOR"))
            settings = env;

    if (!m_Current || settings != m_Settings)
    {
        m_Settings = settings;
        SimulatorConfig config;
        std::string error;
        if (!SimulatorConfig::Parse(settings, config, error))
        {
            // Warn once per faulty text; real devices are still listed.
            static std::mutex warnedMutex;
            static std::set<std::string> warned;
            std::lock_guard lock(warnedMutex);
            if (warned.insert(settings).second)
                std::fprintf(stderr, "TAVIK_SIMULATOR ignored: %s\n", error.c_str());
            config = SimulatorConfig{};
        }
        m_Current = std::make_shared<SimulatorProvider>(config);
    }
    return m_Current->Enumerate(devices);
}

int EnvironmentSimulatorProvider::Open(const DeviceInfo& device,
                                       std::unique_ptr<DeviceBackend>& backend)
{
    std::shared_ptr<SimulatorProvider> current;
    {
        std::lock_guard lock(m_Mutex);
        current = m_Current;
    }
    return current ? current->Open(device, backend) : STATUS_DEVICE_NOT_FOUND;
}

bool GetSimulatorOverride(std::string& settings)
{
    Override& o = GetOverride();
    std::lock_guard lock(o.mutex);
    if (o.set)
        settings = o.settings;
    return o.set;
}

void EnableSimulator(const std::string& settings)
{
    {
        Override& o = GetOverride();
        std::lock_guard lock(o.mutex);
        if (!settings.empty())
            o.settings = settings;
        else if (const char* env = std::getenv("TAVIK_SIMULATOR");
                 env && *env && std::string(env) != "0")
            o.settings = env;
        else
            o.settings = "1";
        o.set = true;
    }
}

} // namespace FTD2xx
