#pragma once

#include "link/Backend.h"
#include "link/ByteQueue.h"
#include "link/Clock.h"
#include "link/LinkExport.h"
#include "link/SimulatorConfig.h"

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace FTD2xx
{

// Byte-level model of one encoder box with an absolute encoder attached, plus the host
// receive queue of its USB link. Time comes from the given clock: nothing happens in a
// thread of its own, every byte is produced when the host looks and stamped with the
// moment it would have arrived, so a manual clock simulates long runs at once while the
// system clock paces them in real time.
//
// The box works through its commands one after the other. While a sampling run streams
// it only watches for TerminateSample (0xFE, ends the run) and Reset (0x0C, ends the run
// and restores the power-on state); every other command that arrives then is dropped
// unanswered. Readings of the last latency period before the run ends are still in
// flight and arrive after it, as on a real link. With the supply off the data line idles high, so
// each data bit reads 1.
//
// Thread-safe; the open device and test code may use it from different threads.
class FTD2XX_API SimulatedBox : public std::enable_shared_from_this<SimulatedBox>
{
public:
    using Block = std::array<unsigned char, 8>;

    // Power-on values of the box's registers.
    static constexpr Block kDefaultBlock = {131, 25, 0x1F, 0x03, 1, 0, 0, 0x24};
    static constexpr unsigned kDefaultDataMask = 0xFFFFFFFFu;
    static constexpr unsigned kDefaultGrayMask = 0xFFFFFFFFu;
    // Time from a command to its reply on the wire.
    static constexpr Clock::Duration kReplyLatency = std::chrono::milliseconds(1);
    static constexpr unsigned long kDefaultReadTimeoutMs = 200;

    SimulatedBox(std::string serial, const EncoderModel& encoder, const SimulatorFaults& faults,
                 Clock& clock);

    const std::string& GetSerial() const { return m_Serial; }
    Clock& GetClock() const { return m_Clock; }

    // Opens the link to this box; fails while it is open already or unplugged.
    int Open(std::unique_ptr<DeviceBackend>& backend);

    // -- Settings and inspection for tests and demonstrations --
    void SetEncoder(const EncoderModel& encoder);
    void SetFaults(const SimulatorFaults& faults);
    void Unplug();
    void Replug(); // back in the list, in its power-on state
    // Whether the box is attached now; the timed faults (unplug_after, replug) happen here
    // as in every other call, when the clock has passed their moment.
    bool IsPlugged();
    // Counts the box's unplugs and replugs: what a hot-plug event would tell.
    std::uint64_t GetPlugChanges();
    bool IsOpen() const;
    bool IsStreaming() const;
    // What a faulty box might hold: any 8 bytes, read back as they are by command 0x41.
    void SetParameterBlock(const Block& block);
    Block GetParameterBlock() const;
    // Likewise any power code and output state byte.
    void SetPowerCode(unsigned char code);
    void SetOutputByte(unsigned char state);
    unsigned char GetPowerCode() const;
    unsigned char GetOutputByte() const;
    unsigned GetDataMask() const;
    unsigned GetGrayMask() const;
    unsigned GetSPIData() const;
    unsigned long GetReadTimeoutMs() const;
    unsigned char GetLatencyTimer() const;
    std::uint64_t GetCommandCount() const;
    std::uint64_t GetReadingsSent() const;
    // The encoder's position (ST and MT bits) at time t.
    std::uint64_t GetEncoderPosition(Clock::TimePoint t) const;
    // The reading the box would report for a reading taken at time t with its current
    // registers (no glitch).
    unsigned ComputeReading(Clock::TimePoint t) const;

    // -- The link operations of an open device (see DeviceBackend). `session` is the one
    // that Open handed out; after an unplug or another Open the old session only fails.
    int DeviceSetLatencyTimer(std::uint64_t session, unsigned char ms);
    int DeviceSetUSBParameters(std::uint64_t session, unsigned long in, unsigned long out);
    int DeviceSetTimeouts(std::uint64_t session, unsigned long readMs, unsigned long writeMs);
    int DeviceGetStatus(std::uint64_t session, unsigned long& rx, unsigned long& tx,
                        unsigned long& events);
    int DevicePurgeInputBuffer(std::uint64_t session);
    int DeviceResetDevice(std::uint64_t session);
    int DeviceWrite(std::uint64_t session, const std::vector<unsigned char>& data,
                    unsigned long& written);
    int DeviceRead(std::uint64_t session, std::vector<unsigned char>& buffer, unsigned long length);
    void DeviceClose(std::uint64_t session);

private:
    struct Chunk
    {
        Clock::TimePoint at;
        std::vector<unsigned char> bytes;
    };
    struct Run
    {
        Clock::TimePoint start;
        std::uint64_t periodPs = 0;
        std::uint32_t count = 0;
        std::uint32_t next = 0;
        std::uint32_t stallAt = 0; // readings after this index never come
    };

    // Callers hold m_Mutex.
    void PowerOnState();
    int LinkError() const;
    // Brings the timed faults up to `now`.
    void Update(Clock::TimePoint now);
    // Update, then whether `session` is the open one.
    bool Valid(std::uint64_t session);
    // When the open box vanishes by unplug_after; nothing when it does not.
    std::optional<Clock::TimePoint> TimedUnplugAt() const;
    void Vanish(Clock::TimePoint at);
    void ComeBack();
    void Deliver(Clock::TimePoint now);
    // The next reading of `run` as it goes on the wire.
    std::vector<unsigned char> TakeReading(Run& run);
    // A reading as a long cable delivers it at the current clock.
    unsigned OverCable(unsigned reading, std::uint64_t index) const;
    // Ends the run at `now`; the readings still in flight go on arriving.
    void StopRun(Clock::TimePoint now);
    std::optional<Clock::TimePoint> WhenQueued(std::size_t bytes) const;
    Clock::TimePoint ReadingTime(const Run& run, std::uint32_t index) const;
    // `mtSlips` moves the MT part of the frame, `flipBit` flips one bit of the frame on the line.
    unsigned ReadingAt(Clock::TimePoint t, std::uint64_t mtSlips = 0, bool flipBit = false,
                       std::int64_t noise = 0) const;
    Clock::TimePoint PendingTail(Clock::TimePoint now) const;
    void Execute(unsigned char command, const unsigned char* args, Clock::TimePoint now);
    void Reply(Clock::TimePoint now, std::vector<unsigned char> bytes);
    void ReplyWord(Clock::TimePoint now, unsigned value);
    std::uint64_t PositionAt(Clock::TimePoint t) const;

    const std::string m_Serial;
    Clock& m_Clock;
    const Clock::TimePoint m_Epoch;

    mutable std::mutex m_Mutex;
    EncoderModel m_Encoder;
    SimulatorFaults m_Faults;
    bool m_Plugged = true;
    bool m_Open = false;
    std::optional<Clock::TimePoint> m_OpenedAt;
    std::optional<Clock::TimePoint> m_UnpluggedAt;
    bool m_CommandUnplugDone = false; // each unplug fault fires once per SetFaults
    bool m_TimedUnplugDone = false;
    unsigned long m_DeniedLeft = 0;
    std::uint64_t m_PlugChanges = 0;
    std::uint64_t m_Session = 0;

    // Box registers.
    Block m_Block = kDefaultBlock;
    unsigned char m_Power = 0;
    unsigned char m_Outputs = 0;
    unsigned m_DataMask = kDefaultDataMask;
    unsigned m_GrayMask = kDefaultGrayMask;
    unsigned m_SPIData = 0;

    // Link settings.
    unsigned long m_ReadTimeoutMs = kDefaultReadTimeoutMs;
    unsigned char m_Latency = 16;

    std::vector<unsigned char> m_Input; // command bytes not yet complete
    std::deque<Chunk> m_Pending;        // replies on their way
    std::optional<Run> m_Run;           // readings on their way, after m_Pending
    ByteQueue m_Rx;                     // arrived, not yet read
    std::uint64_t m_Commands = 0;
    std::uint64_t m_ReadingsSent = 0;
    std::uint64_t m_MtSlips = 0; // MT steps the slip fault has added so far
    unsigned m_HoldLeft = 0;     // readings the stuck fault still repeats
    unsigned m_HoldValue = 0;
};

} // namespace FTD2xx
