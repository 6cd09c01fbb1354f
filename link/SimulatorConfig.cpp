#include "link/SimulatorConfig.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
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

} // namespace

unsigned long SimulatorFaults::CableMaxClock(double metres)
{
    return static_cast<unsigned long>(1e9 / (2.0 * (10.0 * metres + 100.0)));
}

bool SimulatorConfig::Parse(const std::string& text, SimulatorConfig& config, std::string& error)
{
    SimulatorConfig result;
    bool countGiven = false;
    bool anySetting = false;
    double direction = 0; // set by dir; wins over the sign of rpm

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

        unsigned long n = 0;
        const auto bad = [&](const char* expected)
        {
            error = "invalid value \"" + value + "\" for " + key + " (expected " + expected + ")";
            return false;
        };
        if (key == "boxes")
        {
            if (!ParseUnsigned(value, kMaxBoxes, n))
                return bad("0 to 8");
            result.boxes = static_cast<unsigned>(n);
            countGiven = true;
            continue;
        }
        anySetting = true;
        if (key == "st" || key == "mt")
        {
            if (!ParseUnsigned(value, 32, n))
                return bad("0 to 32");
            (key == "st" ? result.encoder.stBits : result.encoder.mtBits) =
                static_cast<unsigned>(n);
        }
        else if (key == "rpm")
        {
            double rpm = 0;
            if (!ParseDouble(value, rpm) || std::fabs(rpm) > 100000.0)
                return bad("a number of turns per minute, at most 100000");
            result.encoder.rpm = rpm;
        }
        else if (key == "dir")
        {
            if (value != "forward" && value != "backward")
                return bad("forward or backward");
            direction = value == "forward" ? 1.0 : -1.0;
        }
        else if (key == "code")
        {
            if (value != "binary" && value != "gray")
                return bad("binary or gray");
            result.encoder.gray = value == "gray";
        }
        else if (key == "dead")
        {
            if (value != "ones" && value != "zeros" && value != "none")
                return bad("ones, zeros or none");
            result.faults.dead = value == "ones"    ? SimulatorFaults::DEAD_ONES
                                 : value == "zeros" ? SimulatorFaults::DEAD_ZEROS
                                                    : SimulatorFaults::DEAD_NONE;
        }
        else if (key == "stuck" || key == "slip" || key == "graybit")
        {
            if (!ParseUnsigned(value, 1000000000UL, n))
                return bad("a whole number, 0 to switch it off");
            SimulatorFaults& f = result.faults;
            (key == "stuck" ? f.stuckEvery : key == "slip" ? f.slipEvery : f.grayBitEvery) = n;
        }
        else if (key == "glitch" || key == "late" || key == "stall" || key == "unplug")
        {
            if (!ParseUnsigned(value, 1000000000UL, n))
                return bad("a whole number, 0 to switch it off");
            SimulatorFaults& f = result.faults;
            (key == "glitch"  ? f.glitchEvery
             : key == "late"  ? f.lateReplyMs
             : key == "stall" ? f.stallAfter
                              : f.unplugAtCommand) = n;
        }
        else if (key == "cable")
        {
            if (!ParseCable(value, result.faults.cableMaxClockHz))
                return bad("metres (50, 50m) or the highest clean clock (500k, 1.2M, 500000Hz)");
        }
        else
        {
            error = "unknown setting \"" + key + "\"";
            return false;
        }
    }

    if (result.encoder.stBits + result.encoder.mtBits == 0 ||
        result.encoder.stBits + result.encoder.mtBits > 48)
    {
        error = "st + mt must be 1 to 48 bits";
        return false;
    }
    if (direction != 0)
        result.encoder.rpm = std::copysign(result.encoder.rpm, direction);
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
