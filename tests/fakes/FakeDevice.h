#pragma once

#include "link/Backend.h"
#include "link/Clock.h"
#include "link/Proxy.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

// A scripted stand-in for one device on the USB link, for tests.
//
// It records every call and every byte written, and answers writes with programmed
// replies. Bytes "arrive" at points in time of a ManualClock: at once, later within the
// read timeout, or too late. A Read that cannot be satisfied moves the clock to the
// moment the last needed byte arrives, or to its deadline, and never sleeps.
namespace LinkFake
{

using Bytes = std::vector<unsigned char>;
using Duration = FTD2xx::Clock::Duration;

// Operations whose outcome a test can force.
enum class Op
{
    Open,
    SetLatencyTimer,
    SetUSBParameters,
    SetTimeouts,
    GetStatus,
    PurgeInputBuffer,
    ResetDevice,
    Write,
    Read,
};

// Part of a reply: `bytes` arrive `after` the write that caused them.
struct Chunk
{
    Duration after{};
    Bytes bytes;
};

// "0C", "40 83 18 1F 03 01 00 00 24": the form in which Calls() shows written bytes.
std::string Hex(const Bytes& bytes);

class FakeDevice
{
public:
    // Works on `clock` if given, else on a clock of its own.
    FakeDevice(std::string serial, std::string description,
               std::shared_ptr<FTD2xx::ManualClock> clock = nullptr);

    const FTD2xx::DeviceInfo& Info() const { return m_Info; }
    FTD2xx::ManualClock& Clock() { return *m_Clock; }
    FTD2xx::Clock::TimePoint Now() const { return m_Clock->Now(); }

    // --- Script ---------------------------------------------------------------------
    // Replies are consumed one per successful Write, in order; an empty one answers a
    // command that has no reply. AddChunkedReply spreads one reply over several arrival
    // times. A write that finds no scripted reply asks the responder (if any); otherwise
    // nothing arrives.
    void AddReply(Bytes bytes, Duration after = {});
    void AddChunkedReply(std::vector<Chunk> chunks);
    using Responder = std::function<std::vector<Chunk>(const Bytes& written)>;
    void SetResponder(Responder responder);
    // Bytes that arrive `after` from now, whatever is written (stale or stray bytes).
    void Arrive(Bytes bytes, Duration after = {});
    // The next `times` calls of `op` fail with `status` (times < 0: all of them).
    void Fail(Op op, int status, int times = 1);
    void ClearFailures();
    // The next complete Read hands on up to `extra` bytes more than asked for, with success,
    // when that many wait; its call then reads "Read 4 +2". The real receive queue never
    // does this; the driver must not trust it.
    void Overfill(std::size_t extra) { m_Overfill = extra; }

    // --- Observation ----------------------------------------------------------------
    // Every call in order: "Open", "Close", "SetLatencyTimer 4", "SetUSBParameters 512 0",
    // "SetTimeouts 200 200", "GetStatus", "PurgeInputBuffer", "ResetDevice",
    // "Write 16", "Read 4". A call failed by Fail() ends in " failed".
    const std::vector<std::string>& Calls() const { return m_Calls; }
    void ClearCalls() { m_Calls.clear(); }
    // Each successful write's bytes.
    const std::vector<Bytes>& Writes() const { return m_Writes; }
    void ClearWrites() { m_Writes.clear(); }
    // Bytes that have arrived by now and wait to be read.
    std::size_t Waiting();
    // Bytes scheduled to arrive later.
    std::size_t Scheduled() const;
    bool IsOpen() const { return m_Open; }
    int OpenCount() const { return m_OpenCount; }
    unsigned long ReadTimeoutMs() const { return m_ReadTimeoutMs; }

    // --- Backend side (called through the link) ------------------------------------------
    int OnOpen();
    void OnClose();
    int SetLatencyTimer(unsigned char milliseconds);
    int SetUSBParameters(unsigned long inSize, unsigned long outSize);
    int SetTimeouts(unsigned long readMs, unsigned long writeMs);
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events);
    int PurgeInputBuffer();
    int ResetDevice();
    int Write(const Bytes& data, unsigned long& written);
    int Read(Bytes& buffer, unsigned long length);

private:
    // Records the call; returns the forced status of `op`, or 0.
    int Enter(Op op, std::string call);
    // Moves every byte due by now into the receive queue.
    void Deliver();
    void Schedule(const std::vector<Chunk>& chunks);

    struct Failure
    {
        int status;
        int times;
    };

    FTD2xx::DeviceInfo m_Info;
    std::shared_ptr<FTD2xx::ManualClock> m_Clock;
    std::deque<std::vector<Chunk>> m_Replies;
    Responder m_Responder;
    std::multimap<FTD2xx::Clock::TimePoint, Bytes> m_Scheduled;
    std::deque<unsigned char> m_Queue;
    std::map<Op, Failure> m_Failures;
    std::vector<std::string> m_Calls;
    std::vector<Bytes> m_Writes;
    unsigned long m_ReadTimeoutMs = 200;
    std::size_t m_Overfill = 0;
    bool m_Open = false;
    int m_OpenCount = 0;
};

// Lists its devices in order and opens them by serial number.
class FakeProvider : public FTD2xx::DeviceProvider
{
public:
    explicit FakeProvider(std::vector<std::shared_ptr<FakeDevice>> devices = {});

    void Add(std::shared_ptr<FakeDevice> device) { m_Devices.push_back(std::move(device)); }
    void Clear() { m_Devices.clear(); }
    // The next `times` enumerations fail with `status` (times < 0: all of them).
    void FailEnumerate(int status, int times = 1);
    int EnumerateCount() const { return m_EnumerateCount; }

    int Enumerate(std::vector<FTD2xx::DeviceInfo>& devices) override;
    int Open(const FTD2xx::DeviceInfo& device,
             std::unique_ptr<FTD2xx::DeviceBackend>& backend) override;

private:
    std::vector<std::shared_ptr<FakeDevice>> m_Devices;
    int m_FailStatus = 0;
    int m_FailTimes = 0;
    int m_EnumerateCount = 0;
};

// Installs providers as the link's only device source for its lifetime, then brings
// back the default ones.
class ScopedProviders
{
public:
    explicit ScopedProviders(std::vector<std::shared_ptr<FTD2xx::DeviceProvider>> providers);
    ~ScopedProviders();
    ScopedProviders(const ScopedProviders&) = delete;
    ScopedProviders& operator=(const ScopedProviders&) = delete;
};

} // namespace LinkFake
