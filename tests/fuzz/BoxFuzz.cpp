// Box against a device whose replies, lengths, delays and failures come from the input,
// driving every operation. An OK answer must carry exactly the bytes that the device
// delivered in reply to that command, and every set command must send what was asked.
//
// A reply can be trusted only when no other bytes reach the receive queue while it is read.
// Bytes that arrive later from anywhere (a late reply, readings still streaming, stray bytes)
// cannot be told apart by any driver, so those operations are not checked; except bytes that
// a drain after a timeout, TerminateSample or Reset catches: the driver drops what arrives until
// the link stays quiet for a whole period (14 ms after a run, one 200 ms read timeout after a
// timed-out reply), then purges. Reset drains whether or not the driver knows of a run, and
// so does the first command after a Sample that returned OK (a box that holds a larger
// sample count streams on). A read that hands on more bytes than asked for, with success,
// must never give OK.
#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "driver/XAssertion.h"
#include "tests/fakes/FakeDevice.h"

#include "tests/fuzz/FuzzSupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using LinkFake::Bytes;
using LinkFake::Chunk;
using LinkFake::Op;
using Tavik::Box;
using Tavik::SampleParameter;
using TimePoint = FTD2xx::Clock::TimePoint;

namespace
{

// The drains of the driver: quiet periods of this length, at most this many.
struct DrainModel
{
    std::chrono::milliseconds quiet;
    int rounds;
};
constexpr DrainModel kStreamDrain{14ms, 20}; // after a run
constexpr DrainModel kReplyDrain{200ms, 3};  // after a timed-out reply
constexpr unsigned char kPowerCodes[] = {0x00, 0x18, 0x08, 0x10};
constexpr const char* kOperations[] = {"Open",
                                       "Reset",
                                       "SetPowerMode",
                                       "GetPowerMode",
                                       "SetOutput",
                                       "GetOutput",
                                       "SetSampleParameter",
                                       "GetSampleParameter",
                                       "Sample",
                                       "Sample",
                                       "GetNextSamples",
                                       "TerminateSample",
                                       "SetSPIData",
                                       "GetSPIData",
                                       "SetDataMask",
                                       "GetDataMask",
                                       "SetGrayBinaryMask",
                                       "GetGrayBinaryMask",
                                       "ResetUsb",
                                       "Close"};

std::vector<std::string> g_Reports;

void RecordReport(const char* expression, const char* info, const char*, int)
{
    g_Reports.push_back(std::string(expression) + ": " + info);
}

// One scheduled delivery of the device.
struct Arrival
{
    TimePoint time;
    long write; // index into Writes(), -1 for stray bytes
    Bytes bytes;
    TimePoint made; // when the write or the disturbance scheduled it
};

// What the driver still has to let pass before its next reply can be trusted.
enum class Unsettled
{
    None,
    Stream,  // readings of an ended run in flight
    Reply,   // a timed-out reply may still come
    Unknown, // a failed link call left it open whether the drain ran
};

struct Drain
{
    TimePoint start;
    TimePoint end; // the end of the first quiet period: all that arrived by then is dropped
};

class Harness
{
public:
    explicit Harness(FuzzedDataProvider& in)
        : in(in), device(std::make_shared<LinkFake::FakeDevice>("TV100042", "Tavik SSI/SPI Box")),
          provider(std::make_shared<LinkFake::FakeProvider>(
              std::vector<std::shared_ptr<LinkFake::FakeDevice>>{device})),
          providers({provider})
    {
        device->SetResponder([this](const Bytes& written) { return Reply(written); });
    }

    void Run()
    {
        for (int step = 0; step < 300 && in.remaining_bytes() > 0; ++step)
        {
            Disturb();
            Operate();
        }
    }

private:
    std::size_t ExpectedLength(unsigned char command) const
    {
        switch (command)
        {
        case 0x41:
            return 8;
        case 0x16:
            // Foreign bytes read as a parameter block can give the driver any count; a device
            // that sends less than a huge run lets it time out just the same.
            return 4 * std::min<std::size_t>(sampleCount, 300);
        case 0x13:
        case 0x15:
            return 1;
        case 0x43:
        case 0x45:
        case 0x47:
            return 4;
        default:
            return 0;
        }
    }

    Bytes Content(std::size_t length)
    {
        Bytes bytes = in.ConsumeBytes<unsigned char>(length);
        bytes.resize(length, 0);
        return bytes;
    }

    std::chrono::milliseconds Delay(int maxMs)
    {
        return std::chrono::milliseconds(in.ConsumeIntegralInRange(0, maxMs));
    }

    // The device's answer to one write, from the input.
    std::vector<Chunk> Reply(const Bytes& written)
    {
        const std::size_t length = written.empty() ? 0 : ExpectedLength(written[0]);
        std::vector<Chunk> chunks;
        switch (in.ConsumeIntegralInRange(0, 7))
        {
        case 0:
        case 1:
        case 2: // in time
            chunks.push_back({Delay(20), Content(length)});
            break;
        case 3: // possibly late
            chunks.push_back({Delay(400), Content(length)});
            break;
        case 4: // in pieces
        {
            Bytes all = Content(length);
            std::size_t at = 0;
            const int pieces = in.ConsumeIntegralInRange(1, 4);
            for (int i = 0; i < pieces && at < all.size(); ++i)
            {
                const std::size_t n =
                    i + 1 == pieces ? all.size() - at
                                    : in.ConsumeIntegralInRange<std::size_t>(0, all.size() - at);
                chunks.push_back({Delay(400), Bytes(all.begin() + at, all.begin() + at + n)});
                at += n;
            }
            break;
        }
        case 5: // any length
            chunks.push_back(
                {Delay(250), Content(in.ConsumeIntegralInRange<std::size_t>(0, length + 8))});
            break;
        case 6: // nothing
            break;
        default: // too long, the rest maybe later
            chunks.push_back({Delay(20), Content(length)});
            chunks.push_back({Delay(400), Content(in.ConsumeIntegralInRange<std::size_t>(1, 8))});
            break;
        }
        if (written.size() == 1 && written[0] == 0x41)
            CapSampleCount(chunks);
        const long index = static_cast<long>(device->Writes().size()) - 1;
        writeTimes.push_back(device->Now());
        for (const auto& chunk : chunks)
        {
            arrivals.push_back({device->Now() + chunk.after, index, chunk.bytes, device->Now()});
            if (trace)
                std::fprintf(stderr, "  reply to [%s] at %.3f ms: [%s]\n",
                             LinkFake::Hex(written).c_str(), Ms(arrivals.back().time),
                             LinkFake::Hex(chunk.bytes).c_str());
        }
        return chunks;
    }

    // Keeps a parameter block's sample count below 256, so that a run stays small.
    static void CapSampleCount(std::vector<Chunk>& chunks)
    {
        std::vector<Chunk*> arrival;
        for (auto& chunk : chunks)
            arrival.push_back(&chunk);
        std::stable_sort(arrival.begin(), arrival.end(),
                         [](const Chunk* x, const Chunk* y) { return x->after < y->after; });
        std::size_t offset = 0;
        for (Chunk* chunk : arrival)
            for (auto& byte : chunk->bytes)
                if (++offset == 6 || offset == 7)
                    byte = 0;
    }

    void Disturb()
    {
        switch (in.ConsumeIntegralInRange(0, 15))
        {
        case 0:
        {
            const auto after = Delay(300);
            Bytes bytes = Content(in.ConsumeIntegralInRange<std::size_t>(1, 9));
            arrivals.push_back({device->Now() + after, -1, bytes, device->Now()});
            if (trace)
                std::fprintf(stderr, "  stray bytes at %.3f ms: [%s]\n", Ms(arrivals.back().time),
                             LinkFake::Hex(bytes).c_str());
            device->Arrive(bytes, after);
            break;
        }
        case 1:
        {
            const Op ops[] = {Op::GetStatus, Op::PurgeInputBuffer, Op::Write,
                              Op::Read,      Op::ResetDevice,      Op::SetTimeouts,
                              Op::Open,      Op::SetLatencyTimer,  Op::SetUSBParameters};
            device->Fail(in.PickValueInArray(ops),
                         in.ConsumeBool() ? FTD2xx::STATUS_IO_ERROR : FTD2xx::STATUS_READ_TIMEOUT);
            break;
        }
        case 2:
            device->Clock().Advance(Delay(300));
            break;
        case 3:
            device->Overfill(in.ConsumeIntegralInRange<std::size_t>(1, 8));
            break;
        default:
            break;
        }
    }

    // The bytes the device sent in reply to write `index`, in the order they arrive.
    Bytes Own(long index) const
    {
        std::vector<const Arrival*> own;
        for (const auto& a : arrivals)
            if (a.write == index)
                own.push_back(&a);
        std::stable_sort(own.begin(), own.end(),
                         [](const Arrival* x, const Arrival* y) { return x->time < y->time; });
        Bytes bytes;
        for (const Arrival* a : own)
            bytes.insert(bytes.end(), a->bytes.begin(), a->bytes.end());
        return bytes;
    }

    // Bytes scheduled before a drain began and arriving before it ended never reach a reply.
    bool Drained(const Arrival& a) const
    {
        for (const Drain& d : drains)
            if (a.made <= d.start && a.time <= d.end)
                return true;
        return false;
    }

    // Where a drain starting at `start` ends: the driver reads one quiet period at a time
    // until one brings nothing. Only bytes scheduled by then count (a command sent after the
    // drain cannot disturb it); bytes already waiting at `start` are left out, which can only
    // make the drain end earlier than it does. No end when it never goes quiet.
    std::optional<TimePoint> DrainEnd(TimePoint start, const DrainModel& model) const
    {
        for (int round = 0; round < model.rounds; ++round)
        {
            const TimePoint from = start + round * model.quiet, to = from + model.quiet;
            if (std::none_of(arrivals.begin(), arrivals.end(),
                             [&](const Arrival& a) {
                                 return a.made <= start && a.time > from && a.time <= to &&
                                        !a.bytes.empty();
                             }))
                return to;
        }
        return std::nullopt;
    }

    void AddDrain(TimePoint start, Unsettled kind)
    {
        if (kind != Unsettled::Stream && kind != Unsettled::Reply)
            return;
        if (const auto end = DrainEnd(start, kind == Unsettled::Reply ? kReplyDrain : kStreamDrain))
            drains.push_back({start, *end});
    }

    // Follows the driver's drain state through the operation that just returned.
    void Track(int op, int status, bool opened, std::size_t firstCall, long firstWrite,
               TimePoint start, std::size_t received)
    {
        const auto& calls = device->Calls();
        const bool linkFailed =
            std::any_of(calls.begin() + static_cast<std::ptrdiff_t>(firstCall), calls.end(),
                        [](const std::string& c) { return c.ends_with(" failed"); });
        const bool wrote = static_cast<long>(device->Writes().size()) > firstWrite;
        if (op == 19 || opened)
        {
            // A box just opened may still stream a run another program left: the first
            // command drains.
            unsettled = opened && status == Box::OK ? Unsettled::Stream : Unsettled::None;
            running = false;
            runRemaining = 0;
            return;
        }
        if (op == 1 || op == 11) // Reset, TerminateSample: send, then drain
        {
            if (!wrote)
                return;
            // Whatever the driver believes: the box may stream a run that it never saw.
            const Unsettled kind =
                unsettled == Unsettled::Reply ? Unsettled::Reply : Unsettled::Stream;
            running = false;
            runRemaining = 0;
            if (status == Box::OK && !linkFailed)
                AddDrain(start, kind);
            unsettled = status == Box::OK ? Unsettled::None : Unsettled::Unknown;
            return;
        }
        if (op == 10)
        {
            if (status == Box::OK && running)
            {
                runRemaining -= std::min(received, runRemaining);
                if (runRemaining == 0)
                {
                    running = false;
                    if (unsettled == Unsettled::None)
                        unsettled = Unsettled::Stream;
                }
            }
            return;
        }
        if (op == 18)
            return;
        // Every other command drains first and sends only on a quiet link.
        if (!wrote)
        {
            if (status == Box::FAILED || status == Box::TIMEOUT)
                if (unsettled != Unsettled::None)
                    unsettled = Unsettled::Unknown;
            return;
        }
        if (!linkFailed)
            AddDrain(start, unsettled);
        unsettled = Unsettled::None;
        if (op == 8 || op == 9)
        {
            if (status == Box::OK)
                unsettled = Unsettled::Stream; // a box holding a larger count streams on
            else
            {
                // The run goes on in the box; its readings are collected, not drained.
                running = true;
                runRemaining = sampleCount - std::min<std::size_t>(received, sampleCount);
            }
        }
        else if (status == Box::TIMEOUT)
            unsettled = Unsettled::Reply;
        else if (status == Box::FAILED && Overfull(firstCall))
            unsettled = Unsettled::Stream;
    }

    // True if a reply read of the operation handed on more bytes than asked for.
    bool Overfull(std::size_t firstCall) const
    {
        const auto& calls = device->Calls();
        return std::any_of(calls.begin() + static_cast<std::ptrdiff_t>(firstCall), calls.end(),
                           [](const std::string& c)
                           { return c.starts_with("Read ") && c.find(" +") != std::string::npos; });
    }

    // True if no byte from outside writes [firstWrite, end) arrives after `start`.
    bool Clean(TimePoint start, long firstWrite) const
    {
        for (const auto& a : arrivals)
            if (a.time > start && a.write < firstWrite && !Drained(a))
                return false;
        return true;
    }

    double Ms(TimePoint t) const
    {
        return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count();
    }

    unsigned int Value(const Bytes& b) const
    {
        return b[0] | (b[1] << 8) | (b[2] << 16) | (unsigned(b[3]) << 24);
    }

    SampleParameter PickParameter()
    {
        SampleParameter p;
        p.SetSampleCount(in.ConsumeIntegralInRange(0u, 300u));
        p.SetFrequence(in.ConsumeIntegralInRange(0u, 9000000u));
        p.SetDataBits(in.ConsumeIntegralInRange(0u, 70u));
        p.SetDelay(in.ConsumeIntegralInRange(0u, 5000u));
        p.SetMode(static_cast<SampleParameter::SERIAL_MODE>(in.ConsumeIntegralInRange(0, 4)));
        return p;
    }

    void Operate()
    {
        const TimePoint start = device->Now();
        const long firstWrite = static_cast<long>(device->Writes().size());
        const std::size_t firstCall = device->Calls().size();
        const auto reportsBefore = g_Reports.size();
        const int op = in.ConsumeIntegralInRange(0, 19);
        // From a Sample that returned early until its run is collected, terminated or reset
        // the driver takes no other command.
        const bool commandDuringRun =
            running && box.IsOpen() && op >= 2 && op <= 18 && op != 10 && op != 11;
        bool opened = false;
        int status = Box::OK;
        unsigned int u = 0x5A5A5A5Au;
        Box::POWER_MODE pm = static_cast<Box::POWER_MODE>(77);
        Box::OUTPUT_MODE om = static_cast<Box::OUTPUT_MODE>(77);
        std::vector<unsigned int> values{1, 2, 3};
        SampleParameter p = PickParameter();
        const int index = in.ConsumeIntegralInRange(-1, 3);
        const unsigned int value = in.ConsumeIntegral<unsigned int>();
        // What the op wrote, once it returned.
        const auto writes = [&]
        {
            const auto& all = device->Writes();
            return std::vector<Bytes>(all.begin() + firstWrite, all.end());
        };
        const auto setter = [&](unsigned char command)
        {
            FUZZ_CHECK(writes().back() == (Bytes{command, static_cast<unsigned char>(value),
                                                 static_cast<unsigned char>(value >> 8),
                                                 static_cast<unsigned char>(value >> 16),
                                                 static_cast<unsigned char>(value >> 24)}));
        };
        const auto ownIfClean = [&](std::size_t length, Bytes& own)
        {
            if (!Clean(start, firstWrite))
                return false;
            own = Own(firstWrite);
            // OK needs the whole reply; a shorter one can only give TIMEOUT or FAILED.
            FUZZ_CHECK(own.size() >= length);
            own.resize(length);
            return true;
        };
        Bytes own;
        if (trace)
            std::fprintf(stderr, "t=%.3f ms %s%s\n", Ms(start), kOperations[op],
                         commandDuringRun ? " (during a run)" : "");
        switch (op)
        {
        case 0:
            if (!box.IsOpen() || in.ConsumeIntegralInRange(0, 9) == 0)
            {
                // Mostly the device, sometimes an index that is none.
                const int which = in.ConsumeIntegralInRange(0, 9);
                opened = true;
                status = box.Open(which < 8 ? 0 : (which == 8 ? -1 : 1));
            }
            break;
        case 1:
            status = box.Reset();
            break;
        case 2:
            pm = static_cast<Box::POWER_MODE>(in.ConsumeIntegralInRange(0, 4));
            status = box.SetPowerMode(pm);
            if (status == Box::OK && !commandDuringRun)
            {
                const auto w = writes();
                const unsigned char code = pm <= Box::PWR_INTERNAL ? kPowerCodes[pm] : 0x00;
                FUZZ_CHECK(w.back() == (Bytes{0x12, code}));
                if (pm != Box::PWR_OFF)
                {
                    FUZZ_CHECK(w.size() == 2 && w[0] == Bytes{0x13});
                    if (ownIfClean(1, own))
                        FUZZ_CHECK(own[0] == 0x00);
                }
            }
            break;
        case 3:
            status = box.GetPowerMode(pm);
            if (status == Box::OK && !commandDuringRun && ownIfClean(1, own))
            {
                const auto* code =
                    std::find(std::begin(kPowerCodes), std::end(kPowerCodes), own[0]);
                // A garbled reply must not pass for a power mode.
                FUZZ_CHECK(code != std::end(kPowerCodes));
                FUZZ_CHECK(pm == static_cast<Box::POWER_MODE>(code - std::begin(kPowerCodes)));
            }
            break;
        case 4:
            om = static_cast<Box::OUTPUT_MODE>(in.ConsumeIntegralInRange(0, 3));
            status = box.SetOutput(index, om);
            if (index < 0 || index > 2 || om > Box::OUT_HIGH_UB)
            {
                FUZZ_CHECK(status == Box::INVALID_PARAMETER || status == Box::DEVICE_NOT_OPENED ||
                           (commandDuringRun && status == Box::NOT_ALLOWED));
                FUZZ_CHECK(writes().empty());
            }
            else if (status == Box::OK && !commandDuringRun)
            {
                const auto w = writes();
                FUZZ_CHECK(w.size() == 2 && w[0] == Bytes{0x15});
                if (ownIfClean(1, own))
                {
                    const unsigned shift = 2 * index;
                    const unsigned state = (own[0] & ~(3u << shift)) | (unsigned(om) << shift);
                    FUZZ_CHECK(w[1] == (Bytes{0x14, static_cast<unsigned char>(state)}));
                }
            }
            break;
        case 5:
            status = box.GetOutput(index, om);
            if (index < 0 || index > 2)
            {
                FUZZ_CHECK(status == Box::INVALID_PARAMETER || status == Box::DEVICE_NOT_OPENED ||
                           (commandDuringRun && status == Box::NOT_ALLOWED));
                FUZZ_CHECK(writes().empty());
            }
            else if (status == Box::OK && !commandDuringRun && ownIfClean(1, own))
            {
                const unsigned state = (own[0] >> (2 * index)) & 3u;
                // State 3 is no output mode and must not pass for one.
                FUZZ_CHECK(state <= Box::OUT_HIGH_UB);
                FUZZ_CHECK(om == static_cast<Box::OUTPUT_MODE>(state));
            }
            break;
        case 6:
            status = box.SetSampleParameter(p);
            if (status == Box::OK && !commandDuringRun)
            {
                Bytes block;
                p.Export(block);
                block.insert(block.begin(), 0x40);
                FUZZ_CHECK(writes().back() == block);
                sampleCount = p.GetSampleCount();
            }
            break;
        case 7:
            status = box.GetSampleParameter(p);
            if (status == Box::OK && !commandDuringRun)
            {
                sampleCount = p.GetSampleCount();
                if (ownIfClean(8, own))
                {
                    Bytes block;
                    p.Export(block);
                    FUZZ_CHECK(block == own);
                }
            }
            break;
        case 8:
        case 9:
            status = box.Sample(values);
            FUZZ_CHECK(box.IsOpen() || status == Box::DEVICE_NOT_OPENED);
            FUZZ_CHECK(values.size() <= sampleCount || status == Box::DEVICE_NOT_OPENED ||
                       status == Box::NOT_ALLOWED);
            if (status == Box::OK && !commandDuringRun && ownIfClean(4 * sampleCount, own))
            {
                FUZZ_CHECK(values.size() == sampleCount);
                for (std::size_t i = 0; i < values.size(); ++i)
                    FUZZ_CHECK(values[i] ==
                               Value(Bytes(own.begin() + 4 * i, own.begin() + 4 * i + 4)));
            }
            break;
        case 10:
            status = box.GetNextSamples(values);
            break;
        case 11:
            status = box.TerminateSample();
            break;
        case 12:
            status = box.SetSPIData(value);
            if (status == Box::OK && !commandDuringRun)
                setter(0x42);
            break;
        case 13:
            status = box.GetSPIData(u);
            if (status == Box::OK && !commandDuringRun && ownIfClean(4, own))
                FUZZ_CHECK(u == Value(own));
            break;
        case 14:
            status = box.SetDataMask(value);
            if (status == Box::OK && !commandDuringRun)
                setter(0x44);
            break;
        case 15:
            status = box.GetDataMask(u);
            if (status == Box::OK && !commandDuringRun && ownIfClean(4, own))
                FUZZ_CHECK(u == Value(own));
            break;
        case 16:
            status = box.SetGrayBinaryMask(value);
            if (status == Box::OK && !commandDuringRun)
                setter(0x46);
            break;
        case 17:
            status = box.GetGrayBinaryMask(u);
            if (status == Box::OK && !commandDuringRun && ownIfClean(4, own))
                FUZZ_CHECK(u == Value(own));
            break;
        case 18:
            status = box.ResetUsb();
            break;
        default:
            box.Close();
            break;
        }
        if (trace)
        {
            std::fprintf(stderr, "  -> %d \"%s\", writes:", status, box.GetStatusAsString(status));
            for (const Bytes& w : writes())
                std::fprintf(stderr, " [%s]", LinkFake::Hex(w).c_str());
            std::fprintf(stderr, "\n");
        }
        FUZZ_CHECK(writeTimes.size() == device->Writes().size());
        // A reply of another length than asked for cannot be told from the bytes around it.
        if (Overfull(firstCall))
            FUZZ_CHECK(status != Box::OK);
        Track(op, status, opened, firstCall, firstWrite, start, values.size());

        FUZZ_CHECK(status >= Box::OK && status <= Box::TIMEOUT);
        const char* text = box.GetStatusAsString(status);
        FUZZ_CHECK(text != nullptr && std::string(text).size() < 500);
        if (status == Box::FAILED)
            FUZZ_CHECK(*text != '\0');
        if (commandDuringRun)
        {
            // While a run streams the box ignores commands: they must not be sent.
            FUZZ_CHECK(status == Box::NOT_ALLOWED && writes().empty());
        }
        // An assertion report means a broken invariant of the driver itself; whatever the
        // device sends is an error to show, never a report.
        if (g_Reports.size() != reportsBefore)
            std::fprintf(stderr, "report: %s\n", g_Reports.back().c_str());
        FUZZ_CHECK(g_Reports.size() == reportsBefore);
    }

    FuzzedDataProvider& in;
    std::shared_ptr<LinkFake::FakeDevice> device;
    std::shared_ptr<LinkFake::FakeProvider> provider;
    LinkFake::ScopedProviders providers;
    Box box;
    std::vector<Arrival> arrivals;
    std::vector<TimePoint> writeTimes;
    std::vector<Drain> drains;
    std::size_t sampleCount = 1; // as the driver's copy of the parameter set says
    Unsettled unsettled = Unsettled::None;
    bool running = false; // the driver holds a run as active
    std::size_t runRemaining = 0;
    // FUZZ_BOX_TRACE=1 prints every step, to read a reproducer.
    const bool trace = std::getenv("FUZZ_BOX_TRACE") != nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool installed = []
    {
        Tavik::SetXAssertionHandler(&RecordReport);
        Box::SetSleepFunction([](unsigned int) {});
        return true;
    }();
    (void)installed;
    g_Reports.clear();

    FuzzedDataProvider in(data, size);
    Harness harness(in);
    harness.Run();
    return 0;
}
