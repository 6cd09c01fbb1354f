#include "link/Proxy.h"

#include "link/DefaultProviders.h"

#include <algorithm>
#include <array>
#include <climits>
#include <mutex>

namespace FTD2xx
{

namespace
{

struct ListedDevice
{
    std::shared_ptr<DeviceProvider> provider;
    DeviceInfo info;
};

struct Registry
{
    std::mutex mutex;
    bool defaults = true;
    std::optional<SimulatorConfig> simulator; // in the default list
    std::vector<std::shared_ptr<DeviceProvider>> providers;
    std::vector<ListedDevice> listed;
    bool everListed = false;
};

Registry& GetRegistry()
{
    static Registry registry;
    return registry;
}

constexpr int kFirstDynamicStatus = 1000;
constexpr std::size_t kDynamicSlots = 256;

struct DynamicTexts
{
    std::mutex mutex;
    int next = kFirstDynamicStatus;
    std::array<std::string, kDynamicSlots> texts;
};

DynamicTexts& GetDynamicTexts()
{
    static DynamicTexts texts;
    return texts;
}

// Caller holds the registry's lock.
int ListDevices(Registry& r)
{
    if (r.defaults && r.providers.empty())
        r.providers = detail::MakeDefaultProviders(r.simulator);
    std::vector<ListedDevice> listed;
    for (const auto& provider : r.providers)
    {
        std::vector<DeviceInfo> devices;
        if (int status = provider->Enumerate(devices); status != STATUS_OK)
            return status;
        for (auto& d : devices)
            listed.push_back({provider, std::move(d)});
    }
    r.listed = std::move(listed);
    r.everListed = true;
    return STATUS_OK;
}

} // namespace

Proxy::Proxy() = default;
Proxy::~Proxy() = default;

int Proxy::GetConnectedDevices(unsigned long& count)
{
    Registry& r = GetRegistry();
    std::lock_guard lock(r.mutex);
    int status = ListDevices(r);
    if (status == STATUS_OK)
        count = static_cast<unsigned long>(r.listed.size());
    return status;
}

int Proxy::GetDeviceInformation(unsigned long index, Info kind, std::string& text)
{
    Registry& r = GetRegistry();
    std::lock_guard lock(r.mutex);
    if (!r.everListed)
        if (int status = ListDevices(r); status != STATUS_OK)
            return status;
    if (index >= r.listed.size())
        return STATUS_DEVICE_NOT_FOUND;
    switch (kind)
    {
    case INFO_SERIAL_NUMBER:
        text = r.listed[index].info.serial;
        return STATUS_OK;
    case INFO_DESCRIPTION:
        text = r.listed[index].info.description;
        return STATUS_OK;
    }
    return STATUS_INVALID_PARAMETER;
}

std::string Proxy::GetStatusAsString(int status)
{
    switch (status)
    {
    case STATUS_OK:
        return "FT_OK";
    case STATUS_INVALID_HANDLE:
        return "FT_INVALID_HANDLE";
    case STATUS_DEVICE_NOT_FOUND:
        return "FT_DEVICE_NOT_FOUND";
    case STATUS_DEVICE_NOT_OPENED:
        return "FT_DEVICE_NOT_OPENED";
    case STATUS_IO_ERROR:
        return "FT_IO_ERROR";
    case STATUS_INSUFFICIENT_RESOURCES:
        return "FT_INSUFFICIENT_RESOURCES";
    case STATUS_INVALID_PARAMETER:
        return "FT_INVALID_PARAMETER";
    case STATUS_OTHER_ERROR:
        return "FT_OTHER_ERROR";
    case STATUS_READ_TIMEOUT:
        return "FT_TIMEOUT: read timed out";
    default:
        break;
    }
    DynamicTexts& t = GetDynamicTexts();
    std::lock_guard lock(t.mutex);
    if (status >= kFirstDynamicStatus && status < t.next &&
        t.next - status <= static_cast<int>(kDynamicSlots))
        return t.texts[static_cast<std::size_t>(status - kFirstDynamicStatus) % kDynamicSlots];
    return "FT_UNKNOWN_STATUS (" + std::to_string(status) + ")";
}

int MakeErrorStatus(const std::string& text)
{
    DynamicTexts& t = GetDynamicTexts();
    std::lock_guard lock(t.mutex);
    if (t.next == INT_MAX) // wrap long before overflow; old texts are gone by then anyway
        t.next = kFirstDynamicStatus;
    int status = t.next++;
    t.texts[static_cast<std::size_t>(status - kFirstDynamicStatus) % kDynamicSlots] = text;
    return status;
}

int Proxy::Open(int index)
{
    if (m_Device)
        return STATUS_INVALID_HANDLE;
    ListedDevice device;
    {
        Registry& r = GetRegistry();
        std::lock_guard lock(r.mutex);
        if (!r.everListed)
            if (int status = ListDevices(r); status != STATUS_OK)
                return status;
        if (index < 0 || static_cast<std::size_t>(index) >= r.listed.size())
            return STATUS_DEVICE_NOT_FOUND;
        device = r.listed[static_cast<std::size_t>(index)];
    }
    std::unique_ptr<DeviceBackend> backend;
    int status = device.provider->Open(device.info, backend);
    if (status == STATUS_OK && !backend)
        status = STATUS_DEVICE_NOT_FOUND;
    if (status == STATUS_OK)
        m_Device = std::move(backend);
    return status;
}

bool Proxy::IsOpen() const
{
    return m_Device != nullptr;
}

int Proxy::Close()
{
    if (!m_Device)
        return STATUS_DEVICE_NOT_OPENED;
    m_Device.reset();
    return STATUS_OK;
}

int Proxy::SetLatencyTimer(unsigned char milliseconds)
{
    return m_Device ? m_Device->SetLatencyTimer(milliseconds) : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::SetUSBParameters(unsigned long inSize, unsigned long outSize)
{
    return m_Device ? m_Device->SetUSBParameters(inSize, outSize) : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::SetTimeouts(unsigned long readMs, unsigned long writeMs)
{
    return m_Device ? m_Device->SetTimeouts(readMs, writeMs) : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events)
{
    return m_Device ? m_Device->GetStatus(rx, tx, events) : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::PurgeInputBuffer()
{
    return m_Device ? m_Device->PurgeInputBuffer() : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::ResetDevice()
{
    return m_Device ? m_Device->ResetDevice() : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::Write(const std::vector<unsigned char>& data, unsigned long& written)
{
    written = 0;
    return m_Device ? m_Device->Write(data, written) : STATUS_DEVICE_NOT_OPENED;
}

int Proxy::Read(std::vector<unsigned char>& buffer, unsigned long length)
{
    if (!m_Device)
        return STATUS_DEVICE_NOT_OPENED;
    return m_Device->Read(buffer, length);
}

void Proxy::SetProviders(std::vector<std::shared_ptr<DeviceProvider>> providers)
{
    Registry& r = GetRegistry();
    std::lock_guard lock(r.mutex);
    r.defaults = false;
    r.providers = std::move(providers);
    r.listed.clear();
    r.everListed = false;
}

std::vector<std::unique_ptr<DeviceEvents>> Proxy::WatchDevices(std::vector<std::string>& problems)
{
    Registry& r = GetRegistry();
    std::lock_guard lock(r.mutex);
    if (r.defaults && r.providers.empty())
        r.providers = detail::MakeDefaultProviders(r.simulator);
    std::vector<std::unique_ptr<DeviceEvents>> sources;
    for (const auto& provider : r.providers)
    {
        std::string problem;
        if (auto events = provider->Watch(problem))
            sources.push_back(std::move(events));
        else if (!problem.empty())
            problems.push_back(problem);
    }
    return sources;
}

void Proxy::UseDefaultProviders(std::optional<SimulatorConfig> simulator)
{
    Registry& r = GetRegistry();
    std::lock_guard lock(r.mutex);
    r.defaults = true;
    r.simulator = std::move(simulator);
    r.providers.clear();
    r.listed.clear();
    r.everListed = false;
}

void UnsignedIntToByte(unsigned int value, int count, unsigned char* dest)
{
    count = std::clamp(count, 1, 4);
    for (int i = 0; i < count; ++i)
        dest[i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFu);
}

unsigned int BytesToUnsignedInt(const unsigned char* src, int count)
{
    count = std::clamp(count, 1, 4);
    unsigned int value = 0;
    for (int i = 0; i < count; ++i)
        value |= static_cast<unsigned int>(src[i]) << (8 * i);
    return value;
}

void CopyBytesToUnsignedInt(unsigned int n, const std::vector<unsigned char>& bytes,
                            std::vector<unsigned int>& out)
{
    const std::size_t groups = std::min<std::size_t>(n, bytes.size() / 4);
    out.resize(groups);
    for (std::size_t i = 0; i < groups; ++i)
        out[i] = BytesToUnsignedInt(bytes.data() + 4 * i, 4);
}

} // namespace FTD2xx
