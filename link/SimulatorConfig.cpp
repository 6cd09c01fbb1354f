#include "link/SimulatorConfig.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace FTD2xx
{

namespace
{

std::string Trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool ParseUnsigned(const std::string& text, unsigned long max, unsigned long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v > max)
        return false;
    value = static_cast<unsigned long>(v);
    return true;
}

bool ParseDouble(const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno == ERANGE || end != text.c_str() + text.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

// "50" or "50m" are metres; "500k", "500kHz", "1.2M", "500000Hz" are the highest clean clock.
bool ParseCable(const std::string& text, unsigned long& maxClockHz)
{
    std::size_t end = text.find_first_not_of("0123456789.");
    const std::string number = text.substr(0, end);
    std::string unit = end == std::string::npos ? std::string() : text.substr(end);
    double value = 0;
    if (number.empty() || !ParseDouble(number, value) || value < 0)
        return false;
    if (unit.empty() || unit == "m")
    {
        if (value > 100000.0)
            return false;
        maxClockHz = value == 0 ? 0 : SimulatorFaults::CableMaxClock(value);
        return true;
    }
    double scale = 0;
    if (unit == "Hz")
        scale = 1;
    else if (unit == "k" || unit == "kHz")
        scale = 1e3;
    else if (unit == "M" || unit == "MHz")
        scale = 1e6;
    if (scale == 0 || value * scale > 1e9)
        return false;
    maxClockHz = static_cast<unsigned long>(std::llround(value * scale));
    return true;
}

// A parse in progress: the config so far and the direction, which wins over rpm's sign.
struct Parsing
{
    SimulatorConfig config;
    double direction = 0;
};

struct Row
{
    SimulatorSetting setting;
    const char* expected; // in the error for a bad value: "invalid value ... (expected ...)"
    // A fault that counts readings, commands or milliseconds; 0 switches it off.
    unsigned long SimulatorFaults::*counter = nullptr;
    // The other settings: false for a bad value.
    bool (*parse)(const std::string& value, Parsing& p) = nullptr;
};

constexpr const char* kCount = "a whole number, 0 to switch it off";
constexpr unsigned long kCountMax = 1000000000UL;

bool ParseBits(const std::string& value, unsigned& bits)
{
    unsigned long n = 0;
    if (!ParseUnsigned(value, 32, n))
        return false;
    bits = static_cast<unsigned>(n);
    return true;
}

const Row kRows[] = {
    {.setting = {"boxes", "N", "number of simulated boxes, 0 to 8 (0: none)", false},
     .expected = "0 to 8",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         unsigned long n = 0;
         if (!ParseUnsigned(value, SimulatorConfig::kMaxBoxes, n))
             return false;
         p.config.boxes = static_cast<unsigned>(n);
         return true;
     }},
    {.setting = {"st", "BITS", "singleturn bits of the encoder", false},
     .expected = "0 to 32",
     .parse = [](const std::string& value, Parsing& p)
     { return ParseBits(value, p.config.encoder.stBits); }},
    {.setting = {"mt", "BITS", "multiturn bits (st + mt: 1 to 48)", false},
     .expected = "0 to 32",
     .parse = [](const std::string& value, Parsing& p)
     { return ParseBits(value, p.config.encoder.mtBits); }},
    {.setting = {"rpm", "R", "speed in turns per minute (0: at rest); negative turns backward",
                 false},
     .expected = "a number of turns per minute, at most 100000",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         double rpm = 0;
         if (!ParseDouble(value, rpm) || std::fabs(rpm) > 100000.0)
             return false;
         p.config.encoder.rpm = rpm;
         return true;
     }},
    {.setting = {"noise", "N",
                 "readings scatter around the position: Gaussian, standard deviation N counts",
                 false},
     .expected = "a number of counts, 0 to 1000",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         double noise = 0;
         if (!ParseDouble(value, noise) || noise < 0 || noise > 1000.0)
             return false;
         p.config.encoder.noise = noise;
         return true;
     }},
    {.setting = {"dir", "forward|backward", "direction (wins over the sign of rpm)", false},
     .expected = "forward or backward",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         if (value != "forward" && value != "backward")
             return false;
         p.direction = value == "forward" ? 1.0 : -1.0;
         return true;
     }},
    {.setting = {"code", "binary|gray", "code the encoder sends", false},
     .expected = "binary or gray",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         if (value != "binary" && value != "gray")
             return false;
         p.config.encoder.gray = value == "gray";
         return true;
     }},
    {.setting = {"glitch", "N", "every Nth reading is wrong (its top data bit flipped)", true},
     .expected = kCount,
     .counter = &SimulatorFaults::glitchEvery},
    {.setting = {"late", "MS", "every command reply arrives MS ms late", true},
     .expected = kCount,
     .counter = &SimulatorFaults::lateReplyMs},
    {.setting = {"stall", "N", "each sampling run stops streaming after N readings", true},
     .expected = kCount,
     .counter = &SimulatorFaults::stallAfter},
    {.setting = {"stuck", "N", "every Nth reading is held for the next 256 readings", true},
     .expected = kCount,
     .counter = &SimulatorFaults::stuckEvery},
    {.setting = {"slip", "N", "at every Nth reading the MT part steps by one without an ST wrap",
                 true},
     .expected = kCount,
     .counter = &SimulatorFaults::slipEvery},
    {.setting = {"graybit", "N", "every Nth reading has one bit of the frame flipped on the line",
                 true},
     .expected = kCount,
     .counter = &SimulatorFaults::grayBitEvery},
    {.setting = {"dead", "ones|zeros|none",
                 "every data bit set (no encoder answering) or clear (a line shorted low)", true},
     .expected = "ones, zeros or none",
     .parse =
         [](const std::string& value, Parsing& p)
     {
         if (value != "ones" && value != "zeros" && value != "none")
             return false;
         p.config.faults.dead = value == "ones"    ? SimulatorFaults::DEAD_ONES
                                : value == "zeros" ? SimulatorFaults::DEAD_ZEROS
                                                   : SimulatorFaults::DEAD_NONE;
         return true;
     }},
    {.setting = {"unplug", "N", "the box vanishes on its Nth command", true},
     .expected = kCount,
     .counter = &SimulatorFaults::unplugAtCommand},
    {.setting = {"unplug_after", "MS",
                 "the box vanishes MS ms after it is opened, also while "
                 "readings stream",
                 true},
     .expected = kCount,
     .counter = &SimulatorFaults::unplugAfterMs},
    {.setting = {"replug", "MS", "a box that vanished returns MS ms later, in its power-on state",
                 true},
     .expected = kCount,
     .counter = &SimulatorFaults::replugAfterMs},
    {.setting = {"deny", "N",
                 "the first N opens after the box returned fail with an access "
                 "error",
                 true},
     .expected = kCount,
     .counter = &SimulatorFaults::deniedOpens},
    {.setting = {"cable", "L",
                 "a long cable: `50` or `50m` in metres, or the highest clean clock as `500k`, "
                 "`500kHz`, `1.2M` or `500000Hz`; 0 switches it off",
                 true},
     .expected = "metres (50, 50m) or the highest clean clock (500k, 1.2M, 500000Hz)",
     .parse = [](const std::string& value, Parsing& p)
     { return ParseCable(value, p.config.faults.cableMaxClockHz); }},
};

const std::array<SimulatorSetting, std::size(kRows)> kSettings = []
{
    std::array<SimulatorSetting, std::size(kRows)> settings{};
    for (std::size_t i = 0; i < settings.size(); ++i)
        settings[i] = kRows[i].setting;
    return settings;
}();

} // namespace

unsigned long SimulatorFaults::CableMaxClock(double metres)
{
    return static_cast<unsigned long>(1e9 / (2.0 * (10.0 * metres + 100.0)));
}

std::span<const SimulatorSetting> SimulatorConfig::Settings()
{
    return kSettings;
}

bool SimulatorConfig::Parse(const std::string& text, SimulatorConfig& config, std::string& error)
{
    Parsing p;
    bool countGiven = false;
    bool anySetting = false;

    std::vector<std::string> items;
    for (std::size_t start = 0;;)
    {
        const auto comma = text.find(',', start);
        items.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }

    for (std::size_t i = 0; i < items.size(); ++i)
    {
        const std::string& item = items[i];
        if (item.empty())
        {
            if (items.size() == 1)
                break; // the whole text is empty
            error = "empty setting";
            return false;
        }
        const auto eq = item.find('=');
        std::string key = eq == std::string::npos ? std::string() : Trim(item.substr(0, eq));
        std::string value = eq == std::string::npos ? item : Trim(item.substr(eq + 1));
        if (key.empty() && i == 0)
            key = "boxes";
        else if (key.empty())
        {
            error = "setting \"" + item + "\" has no name (expected name=value)";
            return false;
        }

        const Row* row = std::find_if(std::begin(kRows), std::end(kRows),
                                      [&](const Row& r) { return key == r.setting.name; });
        if (row == std::end(kRows))
        {
            error = "unknown setting \"" + key + "\"";
            return false;
        }
        unsigned long n = 0;
        const bool good = row->counter ? ParseUnsigned(value, kCountMax, n) : row->parse(value, p);
        if (!good)
        {
            error =
                "invalid value \"" + value + "\" for " + key + " (expected " + row->expected + ")";
            return false;
        }
        if (row->counter)
            p.config.faults.*(row->counter) = n;
        (row == std::begin(kRows) ? countGiven : anySetting) = true;
    }

    SimulatorConfig& result = p.config;
    if (result.encoder.stBits + result.encoder.mtBits == 0 ||
        result.encoder.stBits + result.encoder.mtBits > 48)
    {
        error = "st + mt must be 1 to 48 bits";
        return false;
    }
    if (p.direction != 0)
        result.encoder.rpm = std::copysign(result.encoder.rpm, p.direction);
    if (!countGiven && anySetting)
        result.boxes = 1;
    config = result;
    return true;
}

std::optional<SimulatorConfig> SimulatorConfig::ForProgram(const char* text, bool simulate,
                                                           std::string& warning)
{
    std::string settings = text ? text : "";
    if (simulate && (settings.empty() || settings == "0"))
        settings = "1";
    SimulatorConfig config;
    std::string error;
    if (!Parse(settings, config, error))
    {
        warning = "TAVIK_SIMULATOR ignored: " + error;
        return std::nullopt;
    }
    if (config.boxes == 0)
        return std::nullopt;
    return config;
}

} // namespace FTD2xx
