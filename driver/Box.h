#pragma once

#include "driver/DriverExport.h"
#include "driver/SampleParameter.h"
#include "link/Bits.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Tavik
{

using FTD2xx::LowMask;

// Splits a reading into its singleturn part (the low stBits bits) and its multiturn part
// (the next mtBits bits). A width of 32 or more means all bits; for stBits >= 32 the
// multiturn part is 0.
TAVIK_DRIVER_API void SplitStMt(unsigned int stBits, unsigned int mtBits, unsigned int value,
                                unsigned int& st, unsigned int& mt);

// One encoder box on the USB link. Closed after construction; Open connects it, Close and
// the destructor disconnect it (the supply is not switched off). Not copyable; use from
// one thread at a time.
//
// Every operation that talks to the box returns a status code (OK, FAILED, ...) and never
// throws for device or link failures. FAILED always comes with a fresh last error text,
// which GetStatusAsString(FAILED) returns. Every command needs an open box and returns
// DEVICE_NOT_OPENED, sending nothing, when it is closed (Reset excepted).
//
// A reply from the box that the driver cannot interpret (an unknown power code, output
// state 3) is FAILED with an "Unknown response ..." text. Broken invariants of the
// program's own code (an enumeration value out of range) are failed internal assertions,
// reported through XAssertionFailed (driver/XAssertion.h): by default that logs and throws.
//
// Bytes that belong to no command are not taken for a reply: after Open (another program
// may have left a run streaming), after a run ends, after a Sample, or after a reply timed
// out, the next command first drops what arrives until the
// link has been quiet for a while (a latency period plus a margin; a whole read timeout
// after a timeout). The bound on late replies follows: one that comes up to about 400 ms
// after its command (the 200 ms read timeout plus at least 200 ms of quiet) is dropped; a
// later one can be taken for the reply of the command sent after the quiet period.
class TAVIK_DRIVER_API Box
{
public:
    enum STATUS : int
    {
        OK = 0,
        FAILED = 1,            // text: the last error text
        NOT_ALLOWED = 2,       // e.g. enumerating while open, power source change
        INVALID_PARAMETER = 3, // e.g. output index outside 0 to 2
        DEVICE_NOT_OPENED = 4,
        TIMEOUT = 5, // the reply did not come within the 200 ms read timeout
    };

    // Encoder supply. Box code bytes: 0x00, 0x18, 0x08, 0x10.
    enum POWER_MODE : unsigned int
    {
        PWR_OFF = 0,
        PWR_EXTERNAL = 1,
        PWR_INTERNAL_DCDC = 2,
        PWR_INTERNAL = 3,
    };

    // State of one of the three digital outputs.
    enum OUTPUT_MODE : unsigned int
    {
        OUT_OPEN = 0,
        OUT_LOW_GND = 1,
        OUT_HIGH_UB = 2,
    };

    Box();
    virtual ~Box();
    Box(const Box&) = delete;
    Box& operator=(const Box&) = delete;

    // "OK", the last error text (FAILED), "NOT_ALLOWED", "INVALID_PARAMETER",
    // "DEVICE_NOT_OPENED", "TIMEOUT", or "unknown" for other codes. The pointer stays
    // valid until the next operation on this box.
    const char* GetStatusAsString(int status) const;

    // --- Devices and connection -------------------------------------------------------

    // Number of attached devices. NOT_ALLOWED while this box is open; FAILED on a link
    // failure.
    int GetConnectedDevices(unsigned long& count) const;
    // Serial number and description of device `index` (0 to count - 1). NOT_ALLOWED while
    // open; FAILED on a link failure (an unknown index included).
    int GetDeviceInformation(int index, std::string& serial, std::string& description) const;

    // Closes the link if open, reads the device's serial and description, opens it, sets
    // latency 4 ms, USB transfer sizes 512/0 and 200 ms read and write timeouts, then
    // waits 400 ms for the box to settle. OK, or FAILED with the box closed.
    int Open(int index);
    bool IsOpen() const;
    void Close();
    // Texts stored by the last successful Open. Asking a closed box is a failed assertion;
    // if the handler returns, the stored text is returned anyway.
    const std::string& GetSerial() const;
    const std::string& GetDescription() const;

    // Command 0x0C. Sent without checking that the box is open: a closed box gives FAILED
    // with the link's text. Ends a run, also one this driver did not start (another program,
    // an earlier Open); then drops what is still in flight, as TerminateSample does.
    int Reset();
    // Resets the USB device through the link. FAILED on a link failure.
    int ResetUsb();

    // --- Sample parameters --------------------------------------------------------------

    // Validates `p` into the last error text: FAILED, with nothing sent, when invalid.
    // Otherwise sends it (command 0x40); on OK the box's stored copy becomes `p`, and the
    // last error text keeps any Validate warning.
    int SetSampleParameter(const SampleParameter& p);
    // Reads the set from the box (command 0x41) into `p`. A transaction failure is returned
    // as is and leaves `p` unchanged. Otherwise `p` is overwritten and validated: OK and
    // the stored copy becomes `p`, or FAILED with the validation message.
    int GetSampleParameter(SampleParameter& p) const;

    // --- Sampling -----------------------------------------------------------------------

    // Command 0x16: takes as many readings as the sample count of the set last written to
    // or read from the box (1 after construction). `values` is replaced by the readings
    // received, in order, never more than the sample count. OK: all came; readings that
    // follow them (a box holding a larger count) are dropped before the next command, as
    // after a run. A link that says OK with more or fewer bytes gives FAILED. TIMEOUT: the run
    // outlasts the read timeout and `values` holds those that came; collect the rest with
    // GetNextSamples. FAILED: a link failure (`values` then holds sample-count zeros if
    // nothing was read).
    //
    // After a Sample that sent its command and returned early, the run is active until
    // GetNextSamples has collected the rest, or TerminateSample or Reset ends it. While it
    // is, every other command answers NOT_ALLOWED, with a last error text that says why,
    // and sends nothing.
    int Sample(std::vector<unsigned int>& values);
    // Collects readings that arrived since, without sending a command. `values` is
    // replaced by the whole readings waiting (empty if none; a trailing partial reading
    // stays queued). FAILED on a link failure, a read timeout included, with `values`
    // unchanged.
    int GetNextSamples(std::vector<unsigned int>& values);
    // Command 0xFE: stops a running sampling. Readings not yet collected, and those still
    // on their way, are discarded: on OK the box is idle and nothing is queued. FAILED if
    // the box still sends after about 280 ms.
    int TerminateSample();

    // --- Power, outputs, registers --------------------------------------------------------

    // "PWR_OFF", "PWR_EXTERNAL", "PWR_INTERNAL_DCDC", "PWR_INTERNAL"; any other value is a
    // failed assertion, and "" if the handler returns.
    static const char* GetPowerModeAsString(POWER_MODE mode);
    // Exact, case-sensitive match of one of the four names: sets `mode` and returns true.
    // Otherwise false, `mode` unchanged.
    static bool GetPowerModeAsEnum(const char* text, POWER_MODE& mode);
    // Switches the supply (command 0x12). PWR_OFF is always sent. Any other mode is only
    // switched on from off: the current mode is read first (its failure, an unknown code
    // included, returned as is) and NOT_ALLOWED is returned, with nothing sent, unless it
    // is PWR_OFF.
    int SetPowerMode(POWER_MODE mode);
    // Command 0x13. An unknown code from the box gives FAILED with the text "Unknown
    // response ( 0x.. ) from box while reading power mode", `mode` unchanged.
    int GetPowerMode(POWER_MODE& mode) const;

    // "OUT_OPEN", "OUT_LOW_GND", "OUT_HIGH_UB"; any other value is a failed assertion, and
    // "" if the handler returns.
    static const char* GetOutputModeAsString(OUTPUT_MODE mode);
    // Sets output `index` (0 to 2) and keeps the others: reads the state byte (0x15), then
    // sends the changed byte (0x14). INVALID_PARAMETER for an index or mode out of range.
    int SetOutput(int index, OUTPUT_MODE mode);
    // Reads output `index` (0 to 2; else INVALID_PARAMETER). State 3 from the box gives
    // FAILED with an "Unknown response ..." text, `mode` unchanged.
    int GetOutput(int index, OUTPUT_MODE& mode) const;

    // The three 32-bit registers: SPI data word (0x42/0x43), data filter mask (0x44/0x45),
    // Gray code filter mask (0x46/0x47). A failing Get leaves its argument unchanged.
    int SetSPIData(unsigned int value);
    int GetSPIData(unsigned int& value) const;
    int SetDataMask(unsigned int mask);
    int GetDataMask(unsigned int& mask) const;
    int SetGrayBinaryMask(unsigned int mask);
    int GetGrayBinaryMask(unsigned int& mask) const;

    // --- Testing aid ------------------------------------------------------------------------

    // Replaces, process-wide, the function through which Open waits (milliseconds);
    // an empty function restores the real sleep. Returns the previous one.
    using SleepFunction = std::function<void(unsigned int milliseconds)>;
    static SleepFunction SetSleepFunction(SleepFunction sleep);

protected:
    // One transaction: drops stale received bytes, writes `command`, then reads exactly
    // reply.size() bytes into `reply`. OK, TIMEOUT (reply then holds what came) or FAILED.
    int ProcessCmd(const std::vector<unsigned char>& command,
                   std::vector<unsigned char>& reply) const;
    int ProcessCmd(unsigned char command, std::vector<unsigned char>& reply) const;
    // A transaction without reply.
    int WriteData(const std::vector<unsigned char>& command);

private:
    int GetRegister(unsigned char command, unsigned int& value) const;

    struct Impl;
    std::unique_ptr<Impl> m_Impl;
};

} // namespace Tavik
