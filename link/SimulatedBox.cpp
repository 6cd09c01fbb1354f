#include "link/SimulatedBox.h"

#include "link/Bits.h"

#include "link/Proxy.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace FTD2xx
{

namespace
{

// Argument bytes that follow each command byte; -1 for bytes the box does not know.
int ArgumentLength(unsigned char command)
{
    switch (command)
    {
    case 0x0C:
    case 0x13:
    case 0x15:
    case 0x16:
    case 0x41:
    case 0x43:
    case 0x45:
    case 0x47:
    case 0xFE:
        return 0;
    case 0x12:
    case 0x14:
        return 1;
    case 0x42:
    case 0x44:
    case 0x46:
        return 4;
    case 0x40:
        return 8;
    default:
        return -1;
    }
}

bool IsPowered(unsigned char code)
{
    return code == 0x08 || code == 0x10 || code == 0x18;
}

unsigned Word(const unsigned char* bytes)
{
    return BytesToUnsignedInt(bytes, 4);
}

// A Gaussian offset of standard deviation `sigma` counts for reading `n`, rounded: Box-Muller
// on two splitmix64 draws of the reading's number, so every run scatters the same way.
std::int64_t Noise(double sigma, std::uint64_t n)
{
    const auto draw = [](std::uint64_t z)
    {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (static_cast<double>(z >> 11) + 0.5) / 9007199254740992.0; // (0, 1)
    };
    const double u1 = draw(2 * n), u2 = draw(2 * n + 1);
    const double g = std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    return static_cast<std::int64_t>(std::llround(g * sigma));
}
} // namespace

SimulatedBox::SimulatedBox(std::string serial, const EncoderModel& encoder,
                           const SimulatorFaults& faults, Clock& clock)
    : m_Serial(std::move(serial)), m_Clock(clock), m_Epoch(clock.Now()), m_Encoder(encoder),
      m_Faults(faults)
{
}

// ---- Inspection and settings ----

void SimulatedBox::SetEncoder(const EncoderModel& encoder)
{
    std::lock_guard lock(m_Mutex);
    m_Encoder = encoder;
}

void SimulatedBox::SetFaults(const SimulatorFaults& faults)
{
    std::lock_guard lock(m_Mutex);
    m_Faults = faults;
    m_CommandUnplugDone = m_TimedUnplugDone = false;
    if (m_Run)
        m_Run->stallAt = faults.stallAfter ? static_cast<std::uint32_t>(std::min<unsigned long>(
                                                 faults.stallAfter, 0xFFFFFFFFu))
                                           : std::numeric_limits<std::uint32_t>::max();
}

void SimulatedBox::Unplug()
{
    std::lock_guard lock(m_Mutex);
    if (m_Plugged)
        Vanish(m_Clock.Now());
}

void SimulatedBox::Replug()
{
    std::lock_guard lock(m_Mutex);
    if (!m_Plugged)
        ComeBack();
}

void SimulatedBox::Vanish(Clock::TimePoint at)
{
    m_Plugged = false;
    m_Open = false;
    m_OpenedAt.reset();
    m_UnpluggedAt = at;
    ++m_Session;
    ++m_PlugChanges;
    m_Input.clear();
    m_Pending.clear();
    m_Run.reset();
    m_Rx.Clear();
}

void SimulatedBox::ComeBack()
{
    m_Plugged = true;
    m_UnpluggedAt.reset();
    m_Commands = 0;
    m_DeniedLeft = m_Faults.deniedOpens;
    ++m_PlugChanges;
    PowerOnState();
}

std::optional<Clock::TimePoint> SimulatedBox::TimedUnplugAt() const
{
    if (!m_Plugged || !m_OpenedAt || !m_Faults.unplugAfterMs || m_TimedUnplugDone)
        return std::nullopt;
    return *m_OpenedAt + std::chrono::milliseconds(m_Faults.unplugAfterMs);
}

void SimulatedBox::Update(Clock::TimePoint now)
{
    if (const auto at = TimedUnplugAt(); at && now >= *at)
    {
        m_TimedUnplugDone = true;
        Vanish(*at);
    }
    if (!m_Plugged && m_UnpluggedAt && m_Faults.replugAfterMs &&
        now >= *m_UnpluggedAt + std::chrono::milliseconds(m_Faults.replugAfterMs))
        ComeBack();
}

bool SimulatedBox::IsPlugged()
{
    std::lock_guard lock(m_Mutex);
    Update(m_Clock.Now());
    return m_Plugged;
}

std::uint64_t SimulatedBox::GetPlugChanges()
{
    std::lock_guard lock(m_Mutex);
    Update(m_Clock.Now());
    return m_PlugChanges;
}

bool SimulatedBox::IsOpen() const
{
    std::lock_guard lock(m_Mutex);
    return m_Open;
}

bool SimulatedBox::IsStreaming() const
{
    std::lock_guard lock(m_Mutex);
    return m_Run.has_value();
}

void SimulatedBox::SetParameterBlock(const Block& block)
{
    std::lock_guard lock(m_Mutex);
    m_Block = block;
}

SimulatedBox::Block SimulatedBox::GetParameterBlock() const
{
    std::lock_guard lock(m_Mutex);
    return m_Block;
}

void SimulatedBox::SetPowerCode(unsigned char code)
{
    std::lock_guard lock(m_Mutex);
    m_Power = code;
}

void SimulatedBox::SetOutputByte(unsigned char state)
{
    std::lock_guard lock(m_Mutex);
    m_Outputs = state;
}

unsigned char SimulatedBox::GetPowerCode() const
{
    std::lock_guard lock(m_Mutex);
    return m_Power;
}

unsigned char SimulatedBox::GetOutputByte() const
{
    std::lock_guard lock(m_Mutex);
    return m_Outputs;
}

unsigned SimulatedBox::GetDataMask() const
{
    std::lock_guard lock(m_Mutex);
    return m_DataMask;
}

unsigned SimulatedBox::GetGrayMask() const
{
    std::lock_guard lock(m_Mutex);
    return m_GrayMask;
}

unsigned SimulatedBox::GetSPIData() const
{
    std::lock_guard lock(m_Mutex);
    return m_SPIData;
}

unsigned long SimulatedBox::GetReadTimeoutMs() const
{
    std::lock_guard lock(m_Mutex);
    return m_ReadTimeoutMs;
}

unsigned char SimulatedBox::GetLatencyTimer() const
{
    std::lock_guard lock(m_Mutex);
    return m_Latency;
}

std::uint64_t SimulatedBox::GetCommandCount() const
{
    std::lock_guard lock(m_Mutex);
    return m_Commands;
}

std::uint64_t SimulatedBox::GetReadingsSent() const
{
    std::lock_guard lock(m_Mutex);
    return m_ReadingsSent;
}

std::uint64_t SimulatedBox::GetEncoderPosition(Clock::TimePoint t) const
{
    std::lock_guard lock(m_Mutex);
    return PositionAt(t);
}

unsigned SimulatedBox::ComputeReading(Clock::TimePoint t) const
{
    std::lock_guard lock(m_Mutex);
    return ReadingAt(t);
}

// ---- The encoder ----

std::uint64_t SimulatedBox::PositionAt(Clock::TimePoint t) const
{
    const long double ns = static_cast<long double>((t - m_Epoch).count());
    const long double turns = ns * static_cast<long double>(m_Encoder.rpm) / 60e9L;
    const long double steps =
        std::floor(turns * std::ldexp(1.0L, static_cast<int>(m_Encoder.stBits)));
    const long double modulus =
        std::ldexp(1.0L, static_cast<int>(m_Encoder.stBits + m_Encoder.mtBits));
    long double position = std::fmod(steps, modulus);
    if (position < 0)
        position += modulus;
    return static_cast<std::uint64_t>(position);
}

unsigned SimulatedBox::ReadingAt(Clock::TimePoint t, std::uint64_t mtSlips, bool flipBit,
                                 std::int64_t noise) const
{
    // The box shifts one bit into its 32-bit register per data clock, MSB first: the
    // encoder's frame, then zeros once the frame has ended. An unpowered encoder leaves
    // the data line idle (high).
    const unsigned dataBits = m_Block[1];
    std::uint64_t value = 0;
    if (!IsPowered(m_Power) || m_Faults.dead == SimulatorFaults::DEAD_ONES)
        value = LowMask(dataBits);
    else if (m_Faults.dead == SimulatorFaults::DEAD_ZEROS)
        value = 0;
    else
    {
        const unsigned frameBits = m_Encoder.stBits + m_Encoder.mtBits;
        std::uint64_t frame = PositionAt(t);
        if (mtSlips != 0 && m_Encoder.mtBits != 0)
            frame = (frame + (mtSlips << m_Encoder.stBits)) & LowMask(frameBits);
        if (noise != 0)
            frame = (frame + std::uint64_t(noise)) & LowMask(frameBits);
        if (m_Encoder.gray)
            frame ^= frame >> 1;
        if (flipBit && frameBits > 1)
            frame ^= std::uint64_t(1) << (frameBits / 2);
        if (dataBits <= frameBits)
            value = frame >> (frameBits - dataBits);
        else if (dataBits - frameBits < 64)
            value = frame << (dataBits - frameBits);
    }
    unsigned reading = static_cast<unsigned>(value & 0xFFFFFFFFu) & m_DataMask;
    if (m_Block[7] & 0x80) // the Gray modes decode the bits under the Gray mask
    {
        unsigned b = reading & m_GrayMask;
        for (unsigned shift = 1; shift < 32; shift <<= 1)
            b ^= b >> shift;
        reading = (reading & ~m_GrayMask) | (b & m_GrayMask);
    }
    return reading;
}

// ---- Box behaviour ----

void SimulatedBox::PowerOnState()
{
    m_Block = kDefaultBlock;
    m_Power = 0;
    m_Outputs = 0;
    m_DataMask = kDefaultDataMask;
    m_GrayMask = kDefaultGrayMask;
    m_SPIData = 0;
    m_Run.reset();
}

int SimulatedBox::LinkError() const
{
    // libusb's words for a vanished device.
    return MakeErrorStatus("No such device (it may have been disconnected)");
}

bool SimulatedBox::Valid(std::uint64_t session)
{
    Update(m_Clock.Now());
    return m_Plugged && m_Open && session == m_Session;
}

Clock::TimePoint SimulatedBox::ReadingTime(const Run& run, std::uint32_t index) const
{
    const std::uint64_t ps = (static_cast<std::uint64_t>(index) + 1) * run.periodPs;
    return run.start + std::chrono::nanoseconds(ps / 1000);
}

Clock::TimePoint SimulatedBox::PendingTail(Clock::TimePoint now) const
{
    return m_Pending.empty() || m_Pending.back().at < now ? now : m_Pending.back().at;
}

void SimulatedBox::Deliver(Clock::TimePoint now)
{
    while (!m_Pending.empty() && m_Pending.front().at <= now)
    {
        m_Rx.Append(m_Pending.front().bytes);
        m_Pending.pop_front();
    }
    if (!m_Run || !m_Pending.empty())
        return;
    Run& run = *m_Run;
    while (run.next < run.count && run.next < run.stallAt && ReadingTime(run, run.next) <= now)
        m_Rx.Append(TakeReading(run));
    if (run.next >= run.count)
        m_Run.reset();
}

std::vector<unsigned char> SimulatedBox::TakeReading(Run& run)
{
    const std::uint64_t nth = m_ReadingsSent + 1;
    const auto every = [nth](unsigned long n) { return n != 0 && nth % n == 0; };
    m_MtSlips += every(m_Faults.slipEvery);
    const std::int64_t noise = m_Encoder.noise > 0 ? Noise(m_Encoder.noise, nth) : 0;
    unsigned reading =
        ReadingAt(ReadingTime(run, run.next), m_MtSlips, every(m_Faults.grayBitEvery), noise);
    if (m_HoldLeft != 0)
    {
        reading = m_HoldValue;
        --m_HoldLeft;
    }
    else if (every(m_Faults.stuckEvery))
    {
        m_HoldValue = reading;
        m_HoldLeft = SimulatorFaults::kStuckHold;
    }
    ++run.next;
    ++m_ReadingsSent;
    if (m_Faults.glitchEvery && m_ReadingsSent % m_Faults.glitchEvery == 0)
    {
        // Flip the highest bit the reading can have, so the glitch shows as a jump.
        const unsigned dataBits = m_Block[1];
        const unsigned top = dataBits == 0    ? 1u
                             : dataBits >= 32 ? 0x80000000u
                                              : 1u << (dataBits - 1);
        reading ^= top;
    }
    if (m_Faults.cableMaxClockHz)
        reading = OverCable(reading, m_ReadingsSent);
    std::vector<unsigned char> bytes(4);
    UnsignedIntToByte(reading, 4, bytes.data());
    return bytes;
}

unsigned SimulatedBox::OverCable(unsigned reading, std::uint64_t index) const
{
    const unsigned units = m_Block[0] >= 128 ? m_Block[0] - 127u : 1u;
    const double hz = 8e6 / units;
    const double limit = static_cast<double>(m_Faults.cableMaxClockHz);
    if (hz <= limit)
        return reading;
    // The share of late readings: 0.1 % at 5 % over the limit, at most half of them.
    const double share = std::min(0.5, 0.02 * (hz / limit - 1.0));
    // splitmix64 of the reading's number: the same readings fail in every run.
    std::uint64_t z = index + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    if (static_cast<double>(z >> 11) >= share * 9007199254740992.0) // 2^53
        return reading;
    const unsigned dataBits = m_Block[1];
    const unsigned top = dataBits == 0 ? 0u : dataBits >= 32 ? 0x80000000u : 1u << (dataBits - 1);
    return (reading >> 1) | top;
}

void SimulatedBox::StopRun(Clock::TimePoint now)
{
    // The chip passes data on once per latency period, so the readings of the last period
    // are still on their way when the box stops: they arrive after the stop command, as
    // if the stream ran on for one latency period.
    Run& run = *m_Run;
    const Clock::TimePoint until = now + std::chrono::milliseconds(m_Latency);
    while (run.next < run.count && run.next < run.stallAt)
    {
        const Clock::TimePoint at = ReadingTime(run, run.next);
        if (at > until)
            break;
        m_Pending.push_back({at, TakeReading(run)});
    }
    m_Run.reset();
}

std::optional<Clock::TimePoint> SimulatedBox::WhenQueued(std::size_t bytes) const
{
    std::size_t have = m_Rx.Size();
    if (have >= bytes)
        return Clock::TimePoint{};
    for (const Chunk& chunk : m_Pending)
    {
        have += chunk.bytes.size();
        if (have >= bytes)
            return chunk.at;
    }
    if (!m_Run)
        return std::nullopt;
    const std::uint64_t readings = (bytes - have + 3) / 4;
    const std::uint64_t last = m_Run->next + readings - 1;
    if (last >= m_Run->count || last >= m_Run->stallAt)
        return std::nullopt;
    return ReadingTime(*m_Run, static_cast<std::uint32_t>(last));
}

void SimulatedBox::Reply(Clock::TimePoint now, std::vector<unsigned char> bytes)
{
    Clock::TimePoint at = PendingTail(now) + kReplyLatency;
    at += std::chrono::milliseconds(m_Faults.lateReplyMs);
    m_Pending.push_back({at, std::move(bytes)});
}

void SimulatedBox::ReplyWord(Clock::TimePoint now, unsigned value)
{
    std::vector<unsigned char> bytes(4);
    UnsignedIntToByte(value, 4, bytes.data());
    Reply(now, std::move(bytes));
}

void SimulatedBox::Execute(unsigned char command, const unsigned char* args, Clock::TimePoint now)
{
    if (m_Run)
    {
        if (command == 0xFE)
            StopRun(now);
        else if (command == 0x0C)
        {
            StopRun(now);
            PowerOnState();
        }
        return;
    }
    switch (command)
    {
    case 0x0C:
        PowerOnState();
        break;
    case 0x12:
        m_Power = args[0];
        break;
    case 0x13:
        Reply(now, {m_Power});
        break;
    case 0x14:
        m_Outputs = args[0];
        break;
    case 0x15:
        Reply(now, {m_Outputs});
        break;
    case 0x16:
    {
        Run run;
        const unsigned clocks = m_Block[1] + 1u;
        const unsigned units = m_Block[0] >= 128 ? m_Block[0] - 127u : 1u; // 8 MHz / units
        const unsigned delayFactor = BytesToUnsignedInt(&m_Block[2], 2);
        // The box starts a reading every `delay`. A delay shorter than the frame cannot be
        // kept: the next reading then starts when the last one has been clocked out.
        const std::uint64_t framePs = std::uint64_t{clocks} * units * 125000u;
        const std::uint64_t delayPs = (delayFactor + 1ull) * 62500u;
        run.periodPs = std::max(framePs, delayPs);
        run.count = BytesToUnsignedInt(&m_Block[4], 3);
        run.start = PendingTail(now);
        run.stallAt = m_Faults.stallAfter ? static_cast<std::uint32_t>(std::min<unsigned long>(
                                                m_Faults.stallAfter, 0xFFFFFFFFu))
                                          : std::numeric_limits<std::uint32_t>::max();
        if (run.count)
            m_Run = run;
        break;
    }
    case 0x40:
        std::copy(args, args + 8, m_Block.begin());
        break;
    case 0x41:
        Reply(now, std::vector<unsigned char>(m_Block.begin(), m_Block.end()));
        break;
    case 0x42:
        m_SPIData = Word(args);
        break;
    case 0x43:
        ReplyWord(now, m_SPIData);
        break;
    case 0x44:
        m_DataMask = Word(args);
        break;
    case 0x45:
        ReplyWord(now, m_DataMask);
        break;
    case 0x46:
        m_GrayMask = Word(args);
        break;
    case 0x47:
        ReplyWord(now, m_GrayMask);
        break;
    default:
        break; // 0xFE with no run: nothing to stop
    }
}

// ---- The link ----

class SimulatedDevice : public DeviceBackend
{
public:
    SimulatedDevice(std::shared_ptr<SimulatedBox> box, std::uint64_t session)
        : m_Box(std::move(box)), m_Session(session)
    {
    }
    ~SimulatedDevice() override { m_Box->DeviceClose(m_Session); }

    int SetLatencyTimer(unsigned char ms) override
    {
        return m_Box->DeviceSetLatencyTimer(m_Session, ms);
    }
    int SetUSBParameters(unsigned long in, unsigned long out) override
    {
        return m_Box->DeviceSetUSBParameters(m_Session, in, out);
    }
    int SetTimeouts(unsigned long readMs, unsigned long writeMs) override
    {
        return m_Box->DeviceSetTimeouts(m_Session, readMs, writeMs);
    }
    int GetStatus(unsigned long& rx, unsigned long& tx, unsigned long& events) override
    {
        return m_Box->DeviceGetStatus(m_Session, rx, tx, events);
    }
    int PurgeInputBuffer() override { return m_Box->DevicePurgeInputBuffer(m_Session); }
    int ResetDevice() override { return m_Box->DeviceResetDevice(m_Session); }
    int Write(const std::vector<unsigned char>& data, unsigned long& written) override
    {
        return m_Box->DeviceWrite(m_Session, data, written);
    }
    int Read(std::vector<unsigned char>& buffer, unsigned long length) override
    {
        return m_Box->DeviceRead(m_Session, buffer, length);
    }

private:
    std::shared_ptr<SimulatedBox> m_Box;
    std::uint64_t m_Session;
};

int SimulatedBox::Open(std::unique_ptr<DeviceBackend>& backend)
{
    std::lock_guard lock(m_Mutex);
    const Clock::TimePoint now = m_Clock.Now();
    Update(now);
    if (!m_Plugged)
        return STATUS_DEVICE_NOT_FOUND;
    if (m_Open)
        return STATUS_DEVICE_NOT_OPENED; // held by another handle
    if (m_DeniedLeft > 0)
    {
        --m_DeniedLeft;
        return MakeErrorStatus("usb_open() failed: Access denied (insufficient permissions)");
    }
    m_Open = true;
    m_OpenedAt = now;
    ++m_Session;
    m_ReadTimeoutMs = kDefaultReadTimeoutMs;
    Deliver(m_Clock.Now());
    m_Rx.Clear(); // a fresh host queue
    backend = std::make_unique<SimulatedDevice>(shared_from_this(), m_Session);
    return STATUS_OK;
}

void SimulatedBox::DeviceClose(std::uint64_t session)
{
    std::lock_guard lock(m_Mutex);
    if (session != m_Session || !m_Open)
        return;
    m_Open = false;
    m_OpenedAt.reset();
    m_Rx.Clear();
}

int SimulatedBox::DeviceSetLatencyTimer(std::uint64_t session, unsigned char ms)
{
    std::lock_guard lock(m_Mutex);
    if (!Valid(session))
        return LinkError();
    if (ms < 2) // the chip's smallest latency timer
        return STATUS_INVALID_PARAMETER;
    m_Latency = ms;
    return STATUS_OK;
}

int SimulatedBox::DeviceSetUSBParameters(std::uint64_t session, unsigned long, unsigned long)
{
    std::lock_guard lock(m_Mutex);
    return Valid(session) ? STATUS_OK : LinkError();
}

int SimulatedBox::DeviceSetTimeouts(std::uint64_t session, unsigned long readMs, unsigned long)
{
    std::lock_guard lock(m_Mutex);
    if (!Valid(session))
        return LinkError();
    m_ReadTimeoutMs = readMs;
    return STATUS_OK;
}

int SimulatedBox::DeviceGetStatus(std::uint64_t session, unsigned long& rx, unsigned long& tx,
                                  unsigned long& events)
{
    std::lock_guard lock(m_Mutex);
    if (!Valid(session))
        return LinkError();
    Deliver(m_Clock.Now());
    rx = static_cast<unsigned long>(m_Rx.Size());
    tx = 0;
    events = 0;
    return STATUS_OK;
}

int SimulatedBox::DevicePurgeInputBuffer(std::uint64_t session)
{
    std::lock_guard lock(m_Mutex);
    if (!Valid(session))
        return LinkError();
    Deliver(m_Clock.Now());
    m_Rx.Clear();
    return STATUS_OK;
}

int SimulatedBox::DeviceResetDevice(std::uint64_t session)
{
    // Resets the USB chip only: its queue is lost, the box behind it runs on.
    return DevicePurgeInputBuffer(session);
}

int SimulatedBox::DeviceWrite(std::uint64_t session, const std::vector<unsigned char>& data,
                              unsigned long& written)
{
    std::lock_guard lock(m_Mutex);
    written = 0;
    if (!Valid(session))
        return LinkError();
    const Clock::TimePoint now = m_Clock.Now();
    Deliver(now);
    m_Input.insert(m_Input.end(), data.begin(), data.end());
    written = static_cast<unsigned long>(data.size());
    std::size_t pos = 0;
    while (pos < m_Input.size())
    {
        const int length = ArgumentLength(m_Input[pos]);
        if (length < 0)
        {
            ++pos; // the box skips bytes it does not know
            continue;
        }
        if (m_Input.size() - pos < 1u + static_cast<unsigned>(length))
            break;
        ++m_Commands;
        if (m_Faults.unplugAtCommand && !m_CommandUnplugDone &&
            m_Commands >= m_Faults.unplugAtCommand)
        {
            m_CommandUnplugDone = true;
            Vanish(now);
            written = 0;
            return LinkError();
        }
        Execute(m_Input[pos], m_Input.data() + pos + 1, now);
        pos += 1u + static_cast<unsigned>(length);
    }
    m_Input.erase(m_Input.begin(), m_Input.begin() + static_cast<std::ptrdiff_t>(pos));
    return STATUS_OK;
}

int SimulatedBox::DeviceRead(std::uint64_t session, std::vector<unsigned char>& buffer,
                             unsigned long length)
{
    std::unique_lock lock(m_Mutex);
    if (!Valid(session))
        return LinkError();
    const Clock::TimePoint deadline = m_Clock.Now() + std::chrono::milliseconds(m_ReadTimeoutMs);
    for (;;)
    {
        const Clock::TimePoint now = m_Clock.Now();
        Deliver(now);
        if (m_Rx.Size() >= length)
        {
            m_Rx.Take(length, buffer);
            return STATUS_OK;
        }
        if (now >= deadline)
        {
            m_Rx.Take(m_Rx.Size(), buffer);
            return STATUS_READ_TIMEOUT;
        }
        const std::optional<Clock::TimePoint> ready = WhenQueued(length);
        Clock::TimePoint until = ready && *ready < deadline ? *ready : deadline;
        if (const auto gone = TimedUnplugAt(); gone && *gone < until)
            until = std::max(now, *gone);
        lock.unlock();
        m_Clock.SleepUntil(until);
        lock.lock();
        if (!Valid(session))
            return LinkError();
    }
}

} // namespace FTD2xx
