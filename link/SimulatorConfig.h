#pragma once

#include "link/LinkExport.h"

#include <optional>
#include <span>
#include <string>

namespace FTD2xx
{

// The absolute encoder attached to a simulated box.
struct FTD2XX_API EncoderModel
{
    unsigned stBits = 13;
    unsigned mtBits = 12;
    double rpm = 60.0; // negative turns backward
    bool gray = false; // the encoder sends Gray code instead of binary
    // Standstill noise: each reading is off by a Gaussian amount of this standard deviation
    // in counts (ST steps), rounded to whole counts; the same readings in every run.
    double noise = 0;
};

// Faults a simulated box shows on demand. 0 switches a fault off.
struct FTD2XX_API SimulatorFaults
{
    unsigned long glitchEvery = 0;     // every Nth reading is wrong (its top data bit flipped)
    unsigned long lateReplyMs = 0;     // command replies arrive this much later
    unsigned long stallAfter = 0;      // a sampling run stops streaming after N readings
    unsigned long unplugAtCommand = 0; // the box vanishes on its Nth command
    // The box vanishes this long after it was opened, also while readings stream.
    unsigned long unplugAfterMs = 0;
    // A box that vanished returns this long after, in its power-on state.
    unsigned long replugAfterMs = 0;
    // Opens after the box returned that fail with an access error, as when the hot-plug
    // event comes before udev has set the device's permissions.
    unsigned long deniedOpens = 0;
    unsigned long stuckEvery = 0;   // every Nth reading is held for the next kStuckHold
    unsigned long slipEvery = 0;    // at every Nth reading MT steps by one without an ST wrap
    unsigned long grayBitEvery = 0; // every Nth reading has a middle bit of the frame flipped
    enum Dead
    {
        DEAD_NONE,
        DEAD_ONES,  // every data bit set: no encoder on the line
        DEAD_ZEROS, // every data bit clear: a line shorted low
    };
    Dead dead = DEAD_NONE;

    static constexpr unsigned kStuckHold = 256;

    // A long cable: above this clock the encoder's bits arrive too late, and some readings
    // come one bit late (shifted right, the idle line in the top bit). The share of such
    // readings grows with the clock; which readings they are is fixed, so runs repeat.
    unsigned long cableMaxClockHz = 0;

    // The highest clean clock of a cable of `metres`: the round trip (10 ns per metre plus
    // 100 ns in the line drivers) must stay within half a clock period.
    static unsigned long CableMaxClock(double metres);
};

// One key of TAVIK_SIMULATOR as the docs list it.
struct FTD2XX_API SimulatorSetting
{
    const char* name;  // "glitch"
    const char* value; // what follows "=": "N", or the words it takes: "forward|backward"
    const char* doc;   // one line: "every Nth reading is wrong (its top data bit flipped)"
    bool fault;
};

// Settings of the box simulator, as written in TAVIK_SIMULATOR:
//   N[,key=value...]   with N = 0 to 8 simulated boxes (1 when only settings are given)
// with the keys of Settings().
struct FTD2XX_API SimulatorConfig
{
    static constexpr unsigned kMaxBoxes = 8;

    unsigned boxes = 0;
    EncoderModel encoder;
    SimulatorFaults faults;

    // Empty text and "0" give no boxes. On a malformed text returns false, leaves
    // `config` untouched and says why in `error`.
    static bool Parse(const std::string& text, SimulatorConfig& config, std::string& error);
    // The keys Parse takes, in the docs' order; one table drives both, and a test holds the
    // README, the notes, the man page and the fuzz dictionary to it.
    static std::span<const SimulatorSetting> Settings();

    // The simulator a program runs with, from TAVIK_SIMULATOR's `text` (null when unset) and
    // its --simulate option, which keeps the settings given there and asks for one box when
    // none are. Nothing when no box is simulated. A malformed text simulates nothing, and
    // `warning` says why: "TAVIK_SIMULATOR ignored: ...".
    static std::optional<SimulatorConfig> ForProgram(const char* text, bool simulate,
                                                     std::string& warning);
};

} // namespace FTD2xx
