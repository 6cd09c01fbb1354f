#include "driver/Box.h"

#include "driver/XAssertionDetail.h"
#include "link/Proxy.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <thread>

namespace Tavik
{

namespace
{

enum Command : unsigned char
{
    CMD_RESET = 0x0C,
    CMD_SET_POWER = 0x12,
    CMD_GET_POWER = 0x13,
    CMD_SET_OUTPUT = 0x14,
    CMD_GET_OUTPUT = 0x15,
    CMD_SAMPLE = 0x16,
    CMD_SET_PARAMETER = 0x40,
    CMD_GET_PARAMETER = 0x41,
    CMD_SET_SPI_DATA = 0x42,
    CMD_GET_SPI_DATA = 0x43,
    CMD_SET_DATA_MASK = 0x44,
    CMD_GET_DATA_MASK = 0x45,
    CMD_SET_GRAY_MASK = 0x46,
    CMD_GET_GRAY_MASK = 0x47,
    CMD_TERMINATE_SAMPLE = 0xFE,
};

constexpr unsigned char kLatencyMs = 4;
constexpr unsigned long kUsbInSize = 512;
constexpr unsigned long kUsbOutSize = 0;
constexpr unsigned long kTimeoutMs = 200;
constexpr unsigned int kSettleMs = 400;
// After the box stops streaming, readings of up to one latency period plus the chip's
// FIFO are still on their way: the link counts as quiet after this long without a byte.
constexpr unsigned long kStreamQuietMs = kLatencyMs + 10;
constexpr int kStreamQuietRounds = 20;
// A reply that missed the read timeout may still come: wait one more read timeout.
constexpr unsigned long kReplyQuietMs = kTimeoutMs;
constexpr int kReplyQuietRounds = 3;
constexpr unsigned long kDrainChunk = 65536;
constexpr std::size_t kParameterBlockSize = 8;
constexpr std::size_t kReadingSize = 4;
constexpr int kOutputCount = 3;

constexpr unsigned char kPowerCodes[] = {0x00, 0x18, 0x08, 0x10};
constexpr const char* kPowerNames[] = {"PWR_OFF", "PWR_EXTERNAL", "PWR_INTERNAL_DCDC",
                                       "PWR_INTERNAL"};
constexpr const char* kOutputNames[] = {"OUT_OPEN", "OUT_LOW_GND", "OUT_HIGH_UB"};

void RealSleep(unsigned int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

Box::SleepFunction& SleepHook()
{
    static Box::SleepFunction sleep = RealSleep;
    return sleep;
}

} // namespace

void SplitStMt(unsigned int stBits, unsigned int mtBits, unsigned int value, unsigned int& st,
               unsigned int& mt)
{
    st = value & LowMask(stBits);
    mt = (stBits >= 32 ? 0u : value >> stBits) & LowMask(mtBits);
}

struct Box::Impl
{
    // Bytes that belong to no command may still arrive: after a run (readings in flight)
    // or after a timed-out reply. The next command first waits for the link to go quiet.
    enum Unsettled
    {
        SETTLED,
        STREAM,
        REPLY,
    };

    std::string lastError;
    std::string serial;
    std::string description;
    SampleParameter parameter;
    FTD2xx::Proxy link;
    Unsettled unsettled = SETTLED;
    // A sampling run goes on in the box: from a Sample that returned early until all its
    // readings are collected, or TerminateSample or Reset ends it.
    bool running = false;
    std::size_t runRemaining = 0;

    // Status FAILED with the link's text for `linkStatus`.
    int LinkFailure(int linkStatus)
    {
        lastError = FTD2xx::Proxy::GetStatusAsString(linkStatus);
        return FAILED;
    }

    // NOT_ALLOWED while a run is active, for every command but those that collect or end it.
    int RefuseDuringRun()
    {
        lastError = "A sampling run is active: only GetNextSamples, TerminateSample and Reset "
                    "are allowed until it is complete or terminated.";
        return NOT_ALLOWED;
    }

    void EndRun(Unsettled after)
    {
        running = false;
        runRemaining = 0;
        if (after > unsettled)
            unsettled = after;
    }

    int Settle();
    int Transact(const std::vector<unsigned char>& command, std::vector<unsigned char>& reply,
                 bool settleFirst, bool* sent = nullptr);
};

// Drops whatever arrives until a whole quiet period passes without a byte, then purges.
// FAILED when the box still sends after the last round.
int Box::Impl::Settle()
{
    if (unsettled == SETTLED)
        return OK;
    const unsigned long quietMs = unsettled == REPLY ? kReplyQuietMs : kStreamQuietMs;
    const int rounds = unsettled == REPLY ? kReplyQuietRounds : kStreamQuietRounds;
    if (quietMs != kTimeoutMs)
        if (int status = link.SetTimeouts(quietMs, kTimeoutMs); status != FTD2xx::STATUS_OK)
            return LinkFailure(status);
    int failure = FTD2xx::STATUS_OK;
    bool quiet = false;
    std::vector<unsigned char> dropped;
    for (int round = 0; round < rounds && !quiet && failure == FTD2xx::STATUS_OK; ++round)
    {
        dropped.assign(kDrainChunk, 0);
        const int status = link.Read(dropped, kDrainChunk);
        if (status == FTD2xx::STATUS_READ_TIMEOUT)
            quiet = dropped.empty();
        else if (status != FTD2xx::STATUS_OK)
            failure = status;
    }
    if (quietMs != kTimeoutMs)
        if (int status = link.SetTimeouts(kTimeoutMs, kTimeoutMs);
            status != FTD2xx::STATUS_OK && failure == FTD2xx::STATUS_OK)
            failure = status;
    if (failure == FTD2xx::STATUS_OK)
        failure = link.PurgeInputBuffer();
    if (failure != FTD2xx::STATUS_OK)
        return LinkFailure(failure);
    if (!quiet)
    {
        lastError = "The box kept sending for " + std::to_string(rounds * quietMs) +
                    " ms although no reply or reading was due.";
        return FAILED;
    }
    unsettled = SETTLED;
    return OK;
}

int Box::Impl::Transact(const std::vector<unsigned char>& command,
                        std::vector<unsigned char>& reply, bool settleFirst, bool* sent)
{
    if (sent)
        *sent = false;
    if (settleFirst)
        if (int status = Settle(); status != OK)
            return status;
    unsigned long rx = 0, tx = 0, events = 0;
    if (int status = link.GetStatus(rx, tx, events); status != FTD2xx::STATUS_OK)
        return LinkFailure(status);
    // Bytes waiting now are left over from an earlier command that timed out or was
    // terminated; they must not be taken for this command's reply.
    if (rx > 0)
        if (int status = link.PurgeInputBuffer(); status != FTD2xx::STATUS_OK)
            return LinkFailure(status);

    unsigned long written = 0;
    if (int status = link.Write(command, written); status != FTD2xx::STATUS_OK)
        return LinkFailure(status);
    if (sent)
        *sent = true;

    const std::size_t expected = reply.size();
    if (expected == 0)
        return OK;
    const int status = link.Read(reply, static_cast<unsigned long>(expected));
    if (status == FTD2xx::STATUS_OK && reply.size() != expected)
    {
        // The link promises exactly the length asked for on success. A reply of another size
        // cannot be told from the bytes around it: never hand on part of it as the answer,
        // and let whatever follows pass before the next command.
        lastError = "Reply of " + std::to_string(reply.size()) + " bytes from box where " +
                    std::to_string(expected) + " were expected.";
        reply.resize(std::min(reply.size(), expected));
        unsettled = STREAM;
        return FAILED;
    }
    if (reply.size() > expected)
        reply.resize(expected);
    if (status == FTD2xx::STATUS_READ_TIMEOUT)
    {
        unsettled = REPLY; // the reply may still come
        return TIMEOUT;
    }
    if (status != FTD2xx::STATUS_OK)
        return LinkFailure(status);
    return OK;
}

Box::Box() : m_Impl(std::make_unique<Impl>()) {}

Box::~Box()
{
    Close();
}

Box::SleepFunction Box::SetSleepFunction(SleepFunction sleep)
{
    SleepFunction previous = std::move(SleepHook());
    SleepHook() = sleep ? std::move(sleep) : SleepFunction(RealSleep);
    return previous;
}

const char* Box::GetStatusAsString(int status) const
{
    switch (status)
    {
    case OK:
        return "OK";
    case FAILED:
        return m_Impl->lastError.c_str();
    case NOT_ALLOWED:
        return "NOT_ALLOWED";
    case INVALID_PARAMETER:
        return "INVALID_PARAMETER";
    case DEVICE_NOT_OPENED:
        return "DEVICE_NOT_OPENED";
    case TIMEOUT:
        return "TIMEOUT";
    default:
        return "unknown";
    }
}

int Box::GetConnectedDevices(unsigned long& count) const
{
    if (IsOpen())
        return NOT_ALLOWED;
    if (int status = FTD2xx::Proxy::GetConnectedDevices(count); status != FTD2xx::STATUS_OK)
        return m_Impl->LinkFailure(status);
    return OK;
}

int Box::GetDeviceInformation(int index, std::string& serial, std::string& description) const
{
    if (IsOpen())
        return NOT_ALLOWED;
    if (index < 0)
        return m_Impl->LinkFailure(FTD2xx::STATUS_DEVICE_NOT_FOUND);
    const auto device = static_cast<unsigned long>(index);
    int status =
        FTD2xx::Proxy::GetDeviceInformation(device, FTD2xx::Proxy::INFO_SERIAL_NUMBER, serial);
    if (status == FTD2xx::STATUS_OK)
        status = FTD2xx::Proxy::GetDeviceInformation(device, FTD2xx::Proxy::INFO_DESCRIPTION,
                                                     description);
    if (status != FTD2xx::STATUS_OK)
        return m_Impl->LinkFailure(status);
    return OK;
}

int Box::Open(int index)
{
    Close();
    if (GetDeviceInformation(index, m_Impl->serial, m_Impl->description) != OK)
        return FAILED;

    FTD2xx::Proxy& link = m_Impl->link;
    int status = link.Open(index);
    if (status == FTD2xx::STATUS_OK)
        status = link.SetLatencyTimer(kLatencyMs);
    if (status == FTD2xx::STATUS_OK)
        status = link.SetUSBParameters(kUsbInSize, kUsbOutSize);
    if (status == FTD2xx::STATUS_OK)
        status = link.SetTimeouts(kTimeoutMs, kTimeoutMs);
    if (status != FTD2xx::STATUS_OK)
    {
        m_Impl->LinkFailure(status);
        Close();
        return FAILED;
    }
    // The box needs this long after the link opens before it takes commands.
    SleepHook()(kSettleMs);
    // Another program may have left a run streaming: its readings must not be taken for the
    // first command's reply.
    m_Impl->unsettled = Impl::STREAM;
    return OK;
}

bool Box::IsOpen() const
{
    return m_Impl->link.IsOpen();
}

void Box::Close()
{
    if (m_Impl->link.IsOpen())
        m_Impl->link.Close();
    m_Impl->running = false;
    m_Impl->runRemaining = 0;
    m_Impl->unsettled = Impl::SETTLED;
}

const std::string& Box::GetSerial() const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "Box not open", detail::kBoxSource, __LINE__);
    return m_Impl->serial;
}

const std::string& Box::GetDescription() const
{
    if (!IsOpen())
        XAssertionFailed("IsOpen()", "Box not open", detail::kBoxSource, __LINE__);
    return m_Impl->description;
}

int Box::ProcessCmd(const std::vector<unsigned char>& command,
                    std::vector<unsigned char>& reply) const
{
    return m_Impl->Transact(command, reply, true);
}

int Box::ProcessCmd(unsigned char command, std::vector<unsigned char>& reply) const
{
    return ProcessCmd(std::vector<unsigned char>{command}, reply);
}

int Box::WriteData(const std::vector<unsigned char>& command)
{
    std::vector<unsigned char> none;
    return ProcessCmd(command, none);
}

int Box::Reset()
{
    // Nothing can be taken for the reply of a command without one: send at once, then
    // let readings of an ended run and late replies pass.
    std::vector<unsigned char> none;
    if (int status = m_Impl->Transact({CMD_RESET}, none, false); status != OK)
        return status;
    // The box may be streaming a run this driver never saw: one that another program, or
    // an earlier Open, started. Drain whatever the driver believes.
    m_Impl->EndRun(Impl::STREAM);
    return m_Impl->Settle();
}

int Box::ResetUsb()
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    if (int status = m_Impl->link.ResetDevice(); status != FTD2xx::STATUS_OK)
        return m_Impl->LinkFailure(status);
    return OK;
}

int Box::SetSampleParameter(const SampleParameter& p)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    if (!p.Validate(m_Impl->lastError))
        return FAILED;
    std::vector<unsigned char> command;
    p.Export(command);
    command.insert(command.begin(), CMD_SET_PARAMETER);
    // Keep a Validate warning as the last error text unless the send fails.
    const int status = WriteData(command);
    if (status == OK)
        m_Impl->parameter = p;
    return status;
}

int Box::GetSampleParameter(SampleParameter& p) const
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    std::vector<unsigned char> reply(kParameterBlockSize);
    if (int status = ProcessCmd(CMD_GET_PARAMETER, reply); status != OK)
        return status;
    p.Import(reply);
    if (!p.Validate(m_Impl->lastError))
        return FAILED;
    m_Impl->parameter = p;
    return OK;
}

int Box::Sample(std::vector<unsigned int>& values)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    const std::size_t count = m_Impl->parameter.GetSampleCount();
    std::vector<unsigned char> reply(count * kReadingSize, 0);
    const Impl::Unsettled before = m_Impl->unsettled;
    bool sent = false;
    const int status = m_Impl->Transact({CMD_SAMPLE}, reply, true, &sent);
    const std::size_t received = reply.size() / kReadingSize;
    FTD2xx::CopyBytesToUnsignedInt(static_cast<unsigned int>(received), reply, values);
    if (status == OK)
    {
        // A box that holds a larger sample count than the driver's copy (set by another
        // program) streams on after the readings asked for: the next command waits for
        // quiet first, so that none of them is taken for its reply.
        m_Impl->unsettled = Impl::STREAM;
    }
    else if (sent)
    {
        // The run goes on in the box; what is still to come is collected, not a reply.
        m_Impl->unsettled = before == Impl::REPLY ? Impl::REPLY : Impl::SETTLED;
        m_Impl->running = true;
        m_Impl->runRemaining = count - received;
    }
    return status;
}

int Box::GetNextSamples(std::vector<unsigned int>& values)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    FTD2xx::Proxy& link = m_Impl->link;
    unsigned long rx = 0, tx = 0, events = 0;
    if (int status = link.GetStatus(rx, tx, events); status != FTD2xx::STATUS_OK)
        return m_Impl->LinkFailure(status);
    const unsigned long n = rx - rx % kReadingSize;
    if (n == 0)
        values.clear();
    else
    {
        std::vector<unsigned char> bytes(n);
        if (int status = link.Read(bytes, n); status != FTD2xx::STATUS_OK)
            return m_Impl->LinkFailure(status);
        if (bytes.size() != n)
        {
            m_Impl->lastError = "Read " + std::to_string(bytes.size()) + " bytes from box where " +
                                std::to_string(n) + " were waiting.";
            return FAILED;
        }
        FTD2xx::CopyBytesToUnsignedInt(static_cast<unsigned int>(n / kReadingSize), bytes, values);
        const std::size_t got = n / kReadingSize;
        m_Impl->runRemaining -= got < m_Impl->runRemaining ? got : m_Impl->runRemaining;
    }
    // A Sample whose failed read brought every reading leaves nothing to collect: the run
    // ends here too. A box that holds a larger sample count than ours streams on: the next
    // command waits for quiet first.
    if (m_Impl->running && m_Impl->runRemaining == 0)
        m_Impl->EndRun(Impl::STREAM);
    return OK;
}

int Box::TerminateSample()
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    std::vector<unsigned char> none;
    if (int status = m_Impl->Transact({CMD_TERMINATE_SAMPLE}, none, false); status != OK)
        return status;
    // Readings already on their way keep arriving for a while; drop them all, so that
    // the box is idle and the queue empty on return.
    m_Impl->EndRun(Impl::STREAM);
    return m_Impl->Settle();
}

const char* Box::GetPowerModeAsString(POWER_MODE mode)
{
    if (mode <= PWR_INTERNAL)
        return kPowerNames[mode];
    detail::ReportValue("Invalid enum POWER_MODE (", mode, ").", __LINE__);
    return "";
}

bool Box::GetPowerModeAsEnum(const char* text, POWER_MODE& mode)
{
    if (!text)
        return false;
    for (unsigned int i = 0; i < std::size(kPowerNames); ++i)
    {
        if (std::strcmp(text, kPowerNames[i]) == 0)
        {
            mode = static_cast<POWER_MODE>(i);
            return true;
        }
    }
    return false;
}

int Box::SetPowerMode(POWER_MODE mode)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    if (mode != PWR_OFF)
    {
        POWER_MODE current = PWR_OFF;
        if (int status = GetPowerMode(current); status != OK)
            return status;
        if (current != PWR_OFF)
            return NOT_ALLOWED;
    }
    const unsigned char code = mode <= PWR_INTERNAL ? kPowerCodes[mode] : 0x00;
    return WriteData({CMD_SET_POWER, code});
}

int Box::GetPowerMode(POWER_MODE& mode) const
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    std::vector<unsigned char> reply(1);
    if (int status = ProcessCmd(CMD_GET_POWER, reply); status != OK)
        return status;
    for (unsigned int i = 0; i < std::size(kPowerCodes); ++i)
    {
        if (reply[0] == kPowerCodes[i])
        {
            mode = static_cast<POWER_MODE>(i);
            return OK;
        }
    }
    // The byte came from outside the program: an error to show, not a broken invariant.
    m_Impl->lastError =
        detail::ValueText("Unknown response (", reply[0], ") from box while reading power mode");
    return FAILED;
}

const char* Box::GetOutputModeAsString(OUTPUT_MODE mode)
{
    if (mode <= OUT_HIGH_UB)
        return kOutputNames[mode];
    detail::ReportValue("Invalid enum OUTPUT_MODE (", mode, ").", __LINE__);
    return "";
}

int Box::SetOutput(int index, OUTPUT_MODE mode)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    // A mode wider than two bits would spill into the neighbouring outputs.
    if (index < 0 || index >= kOutputCount || mode > OUT_HIGH_UB)
        return INVALID_PARAMETER;
    std::vector<unsigned char> reply(1);
    if (int status = ProcessCmd(CMD_GET_OUTPUT, reply); status != OK)
        return status;
    const int shift = 2 * index;
    unsigned int state = reply[0];
    state &= ~(3u << shift);
    state |= static_cast<unsigned int>(mode) << shift;
    return WriteData({CMD_SET_OUTPUT, static_cast<unsigned char>(state)});
}

int Box::GetOutput(int index, OUTPUT_MODE& mode) const
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    if (index < 0 || index >= kOutputCount)
        return INVALID_PARAMETER;
    std::vector<unsigned char> reply(1);
    if (int status = ProcessCmd(CMD_GET_OUTPUT, reply); status != OK)
        return status;
    const unsigned int state = (reply[0] >> (2 * index)) & 3u;
    if (state > OUT_HIGH_UB)
    {
        m_Impl->lastError =
            detail::ValueText("Unknown response (", state, ") from box while reading output mode");
        return FAILED;
    }
    mode = static_cast<OUTPUT_MODE>(state);
    return OK;
}

namespace
{

std::vector<unsigned char> RegisterCommand(unsigned char command, unsigned int value)
{
    std::vector<unsigned char> bytes(5);
    bytes[0] = command;
    FTD2xx::UnsignedIntToByte(value, 4, &bytes[1]);
    return bytes;
}

} // namespace

int Box::SetSPIData(unsigned int value)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    return WriteData(RegisterCommand(CMD_SET_SPI_DATA, value));
}

int Box::SetDataMask(unsigned int mask)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    return WriteData(RegisterCommand(CMD_SET_DATA_MASK, mask));
}

int Box::SetGrayBinaryMask(unsigned int mask)
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    return WriteData(RegisterCommand(CMD_SET_GRAY_MASK, mask));
}

int Box::GetSPIData(unsigned int& value) const
{
    return GetRegister(CMD_GET_SPI_DATA, value);
}

int Box::GetDataMask(unsigned int& mask) const
{
    return GetRegister(CMD_GET_DATA_MASK, mask);
}

int Box::GetGrayBinaryMask(unsigned int& mask) const
{
    return GetRegister(CMD_GET_GRAY_MASK, mask);
}

int Box::GetRegister(unsigned char command, unsigned int& value) const
{
    if (!IsOpen())
        return DEVICE_NOT_OPENED;
    if (m_Impl->running)
        return m_Impl->RefuseDuringRun();
    std::vector<unsigned char> reply(4);
    if (int status = ProcessCmd(command, reply); status != OK)
        return status;
    value = FTD2xx::BytesToUnsignedInt(reply.data(), 4);
    return OK;
}

} // namespace Tavik
