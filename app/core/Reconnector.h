#pragma once

#include "driver/Box.h"
#include "driver/SampleParameter.h"
#include "link/Clock.h"

#include <array>
#include <chrono>
#include <string>

namespace App
{

class HistorySink;

// What a box is given back when it returns after an unplug: it comes back in its power-on
// state, and these replace it.
struct BoxSettings
{
    Tavik::SampleParameter::SERIAL_MODE mode = Tavik::SampleParameter::SSI_Binary;
    unsigned clockHz = 0;
    unsigned stBits = 12;
    unsigned mtBits = 13;
    unsigned dataMask = 0;
    unsigned grayMask = 0;
    unsigned spiWord = 0;
    std::array<Tavik::Box::OUTPUT_MODE, 3> outputs{Tavik::Box::OUT_OPEN, Tavik::Box::OUT_OPEN,
                                                   Tavik::Box::OUT_OPEN};
    // PWR_OFF: the supply was off and stays off.
    Tavik::Box::POWER_MODE supply = Tavik::Box::PWR_OFF;

    // Read from an open box (the bit counts split as the window does: up to 12 ST bits, the
    // rest MT). The first failed read is returned, `settings` then unchanged.
    static int Read(Tavik::Box& box, BoxSettings& settings);
    bool operator==(const BoxSettings&) const = default;
};

// Whether a failed open says the device is there but cannot be opened yet: no access rights
// (the hot-plug event came before udev set them) or busy (another handle holds it).
bool MeansBusy(int status, const std::string& statusText);

// Gets a box back by its serial number after it was unplugged: waits for it to be listed,
// opens it, retrying while the open fails with an access or busy error, then restores its
// settings with one history line each. Every wait is on the given clock. No Qt; the window,
// tavik-cli and the Python module share it. The box, the sink and the clock are borrowed.
class Reconnector
{
public:
    // Before each open attempt.
    static constexpr std::array<std::chrono::milliseconds, 4> kRetryDelays{
        std::chrono::milliseconds(0), std::chrono::milliseconds(100),
        std::chrono::milliseconds(300), std::chrono::milliseconds(1000)};
    // Between two looks at the list while waiting for the box.
    static constexpr std::chrono::milliseconds kPollInterval{100};

    enum Result
    {
        REOPENED, // open, every setting restored
        ABSENT,   // not listed (within the wait)
        REFUSED,  // listed, but every attempt met an access or busy error
        FAILED,   // another error while opening or restoring; see LastError
    };

    Reconnector(Tavik::Box& box, HistorySink& history, FTD2xx::Clock& clock);

    // Whether a box with `serial` is listed now (any box for ""); the box must be closed.
    bool IsListed(const std::string& serial);
    // Looks every kPollInterval until the box is listed or `wait` has passed.
    bool WaitUntilListed(const std::string& serial, FTD2xx::Clock::Duration wait);
    // Opens the listed box with `serial` (attempts after kRetryDelays), then, with the line
    // "Box SERIAL is back; restoring its settings.", Restore.
    Result Reopen(const std::string& serial, const BoxSettings& settings);
    // WaitUntilListed, then Reopen.
    Result WaitAndReopen(const std::string& serial, const BoxSettings& settings,
                         FTD2xx::Clock::Duration wait);
    // Writes `settings` to the open box, one history line for each; stops at the first
    // failure, with its error line. Mode, clock and bit counts go in one parameter set.
    bool Restore(const BoxSettings& settings);

    // The error of the last FAILED or REFUSED, with the box's words.
    const std::string& LastError() const { return m_LastError; }
    // Open attempts of the last Reopen.
    int Attempts() const { return m_Attempts; }

private:
    int IndexOf(const std::string& serial);
    bool Check(int status, const std::string& what);

    Tavik::Box& m_Box;
    HistorySink& m_History;
    FTD2xx::Clock& m_Clock;
    std::string m_LastError;
    int m_Attempts = 0;
};

} // namespace App
