#include "tests/fakes/FakeDevice.h"

#include <algorithm>
#include <cstdio>

namespace LinkFake
{

std::string Hex(const Bytes& bytes)
{
    std::string text;
    for (unsigned char b : bytes)
    {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", b);
        if (!text.empty())
            text += ' ';
        text += digits;
    }
    return text;
}

FakeDevice::FakeDevice(std::string serial, std::string description,
                       std::shared_ptr<FTD2xx::ManualClock> clock)
    : m_Info{std::move(serial), std::move(description)},
      m_Clock(clock ? std::move(clock) : std::make_shared<FTD2xx::ManualClock>())
{
}

void FakeDevice::AddReply(Bytes bytes, Duration after)
{
    m_Replies.push_back({Chunk{after, std::move(bytes)}});
}

void FakeDevice::AddChunkedReply(std::vector<Chunk> chunks)
{
    m_Replies.push_back(std::move(chunks));
}

void FakeDevice::SetResponder(Responder responder)
{
    m_Responder = std::move(responder);
}

void FakeDevice::Arrive(Bytes bytes, Duration after)
{
    Schedule({Chunk{after, std::move(bytes)}});
}

void FakeDevice::Fail(Op op, int status, int times)
{
    m_Failures[op] = Failure{status, times};
}

void FakeDevice::ClearFailures()
{
    m_Failures.clear();
}

std::size_t FakeDevice::Waiting()
{
    Deliver();
    return m_Queue.size();
}

std::size_t FakeDevice::Scheduled() const
{
    std::size_t n = 0;
    for (const auto& [time, bytes] : m_Scheduled)
        n += bytes.size();
    return n;
}

int FakeDevice::Enter(Op op, std::string call)
{
    int status = 0;
    auto it = m_Failures.find(op);
    if (it != m_Failures.end() && it->second.times != 0)
    {
        status = it->second.status;
        if (it->second.times > 0)
            --it->second.times;
    }
    if (status != 0)
        call += " failed";
    m_Calls.push_back(std::move(call));
    return status;
}

void FakeDevice::Deliver()
{
    const auto now = m_Clock->Now();
    while (!m_Scheduled.empty() && m_Scheduled.begin()->first <= now)
    {
        const Bytes& bytes = m_Scheduled.begin()->second;
        m_Queue.insert(m_Queue.end(), bytes.begin(), bytes.end());
        m_Scheduled.erase(m_Scheduled.begin());
    }
}

void FakeDevice::Schedule(const std::vector<Chunk>& chunks)
{
    const auto now = m_Clock->Now();
    for (const Chunk& chunk : chunks)
        if (!chunk.bytes.empty())
            m_Scheduled.emplace(now + chunk.after, chunk.bytes);
    Deliver();
}

int FakeDevice::OnOpen()
{
    if (int status = Enter(Op::Open, "Open"))
        return status;
    if (m_Open)
        return FTD2xx::STATUS_DEVICE_NOT_OPENED;
    m_Open = true;
    ++m_OpenCount;
    return 0;
}

void FakeDevice::OnClose()
{
    m_Calls.push_back("Close");
    m_Open = false;
}

int FakeDevice::SetLatencyTimer(unsigned char milliseconds)
{
    return Enter(Op::SetLatencyTimer, "SetLatencyTimer " + std::to_string(milliseconds));
}

int FakeDevice::SetUSBParameters(unsigned long inSize, unsigned long outSize)
{
    return Enter(Op::SetUSBParameters,
                 "SetUSBParameters " + std::to_string(inSize) + " " + std::to_string(outSize));
}

int FakeDevice::SetTimeouts(unsigned long readMs, unsigned long writeMs)
{
    int status = Enter(Op::SetTimeouts,
                       "SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs));
    if (status == 0)
        m_ReadTimeoutMs = readMs;
    return status;
}

int FakeDevice::GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events)
{
    if (int status = Enter(Op::GetStatus, "GetStatus"))
        return status;
    Deliver();
    rx = static_cast<unsigned long>(m_Queue.size());
    tx = 0;
    events = 0;
    return 0;
}

int FakeDevice::PurgeInputBuffer()
{
    if (int status = Enter(Op::PurgeInputBuffer, "PurgeInputBuffer"))
        return status;
    Deliver();
    m_Queue.clear();
    return 0;
}

int FakeDevice::ResetDevice()
{
    return Enter(Op::ResetDevice, "ResetDevice");
}

int FakeDevice::Write(const Bytes& data, unsigned long& written)
{
    if (int status = Enter(Op::Write, "Write " + Hex(data)))
        return status;
    m_Writes.push_back(data);
    written = static_cast<unsigned long>(data.size());
    if (!m_Replies.empty())
    {
        std::vector<Chunk> reply = std::move(m_Replies.front());
        m_Replies.pop_front();
        Schedule(reply);
    }
    else if (m_Responder)
    {
        Schedule(m_Responder(data));
    }
    return 0;
}

int FakeDevice::Read(Bytes& buffer, unsigned long length)
{
    if (int status = Enter(Op::Read, "Read " + std::to_string(length)))
    {
        buffer.clear();
        return status;
    }
    const auto deadline = m_Clock->Now() + std::chrono::milliseconds(m_ReadTimeoutMs);
    Deliver();
    // Let the clock run to each arrival until enough bytes are there or the deadline passes.
    while (m_Queue.size() < length && !m_Scheduled.empty() &&
           m_Scheduled.begin()->first <= deadline)
    {
        m_Clock->SleepUntil(m_Scheduled.begin()->first);
        Deliver();
    }
    const bool complete = m_Queue.size() >= length;
    if (!complete)
        m_Clock->SleepUntil(deadline);
    std::size_t n = std::min<std::size_t>(length, m_Queue.size());
    if (complete && m_Overfill > 0 && m_Queue.size() > n)
    {
        const std::size_t extra = std::min(m_Overfill, m_Queue.size() - n);
        n += extra;
        m_Calls.back() += " +" + std::to_string(extra);
        m_Overfill = 0;
    }
    buffer.assign(m_Queue.begin(), m_Queue.begin() + static_cast<std::ptrdiff_t>(n));
    m_Queue.erase(m_Queue.begin(), m_Queue.begin() + static_cast<std::ptrdiff_t>(n));
    return complete ? 0 : FTD2xx::STATUS_READ_TIMEOUT;
}

namespace
{

// The link's view of an opened FakeDevice; closing the link closes the device.
class FakeBackend : public FTD2xx::DeviceBackend
{
public:
    explicit FakeBackend(std::shared_ptr<FakeDevice> device) : m_Device(std::move(device)) {}
    ~FakeBackend() override { m_Device->OnClose(); }

    int SetLatencyTimer(unsigned char ms) override { return m_Device->SetLatencyTimer(ms); }
    int SetUSBParameters(unsigned long in, unsigned long out) override
    {
        return m_Device->SetUSBParameters(in, out);
    }
    int SetTimeouts(unsigned long r, unsigned long w) override
    {
        return m_Device->SetTimeouts(r, w);
    }
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) override
    {
        return m_Device->GetStatus(rx, tx, events);
    }
    int PurgeInputBuffer() override { return m_Device->PurgeInputBuffer(); }
    int ResetDevice() override { return m_Device->ResetDevice(); }
    int Write(const Bytes& data, unsigned long& written) override
    {
        return m_Device->Write(data, written);
    }
    int Read(Bytes& buffer, unsigned long length) override
    {
        return m_Device->Read(buffer, length);
    }

private:
    std::shared_ptr<FakeDevice> m_Device;
};

} // namespace

FakeProvider::FakeProvider(std::vector<std::shared_ptr<FakeDevice>> devices)
    : m_Devices(std::move(devices))
{
}

void FakeProvider::FailEnumerate(int status, int times)
{
    m_FailStatus = status;
    m_FailTimes = times;
}

int FakeProvider::Enumerate(std::vector<FTD2xx::DeviceInfo>& devices)
{
    ++m_EnumerateCount;
    if (m_FailTimes != 0)
    {
        if (m_FailTimes > 0)
            --m_FailTimes;
        return m_FailStatus;
    }
    devices.clear();
    for (const auto& device : m_Devices)
        devices.push_back(device->Info());
    return 0;
}

int FakeProvider::Open(const FTD2xx::DeviceInfo& info,
                       std::unique_ptr<FTD2xx::DeviceBackend>& backend)
{
    auto it = std::find_if(m_Devices.begin(), m_Devices.end(),
                           [&](const auto& d) { return d->Info().serial == info.serial; });
    if (it == m_Devices.end())
        return FTD2xx::STATUS_DEVICE_NOT_FOUND;
    if (int status = (*it)->OnOpen())
        return status;
    backend = std::make_unique<FakeBackend>(*it);
    return 0;
}

ScopedProviders::ScopedProviders(std::vector<std::shared_ptr<FTD2xx::DeviceProvider>> providers)
{
    FTD2xx::Proxy::SetProviders(std::move(providers));
}

ScopedProviders::~ScopedProviders()
{
    FTD2xx::Proxy::UseDefaultProviders();
}

} // namespace LinkFake
