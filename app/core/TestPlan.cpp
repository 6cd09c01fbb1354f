#include "app/core/TestPlan.h"

#include "app/core/BatchFile.h"
#include "app/core/BoxSession.h"
#include "app/core/Formats.h"
#include "app/core/Sha256.h"

#include <toml++/toml.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>

namespace App
{

using Tavik::Box;
using Tavik::SampleParameter;

namespace
{
constexpr unsigned R = 1u << STEP_READ;
constexpr unsigned B = 1u << STEP_BATCH;
constexpr unsigned S = 1u << STEP_SWEEP;
constexpr unsigned C = 1u << STEP_CHECK;

// One row per measurement; the runner computes them in the same names (TestRunner.cpp), a
// test holds the two and docs/notes/test-record.md to this table.
constexpr std::array kMeasurements = {
    MeasurementInfo{"readings", "readings", R | B | C, "readings that arrived"},
    MeasurementInfo{"distinct_values", "values", R | B | C, "distinct readings (run analysis)"},
    MeasurementInfo{"raw_value", "counts", R, "the last reading as the box sent it"},
    MeasurementInfo{"st_position", "counts", R, "its ST part"},
    MeasurementInfo{"mt_position", "counts", R, "its MT part"},
    MeasurementInfo{"rpm", "rpm", B | C,
                    "ST speed, either direction (run analysis); none when ST did not move or "
                    "the delay is unknown"},
    MeasurementInfo{"analysis_events", "events", B | C, "events of every class (run analysis)"},
    MeasurementInfo{"spike_events", "events", B | C, "spikes (run analysis)"},
    MeasurementInfo{"spike_ppm", "ppm", B | C, "readings in spikes per million"},
    MeasurementInfo{"jump_events", "events", B | C, "jumps (run analysis)"},
    MeasurementInfo{"jump_ppm", "ppm", B | C, "readings in jumps per million"},
    MeasurementInfo{"reversal_events", "events", B | C, "reversals (run analysis)"},
    MeasurementInfo{"reversal_ppm", "ppm", B | C, "readings in reversals per million"},
    MeasurementInfo{"stuck_events", "events", B | C, "stuck values (run analysis)"},
    MeasurementInfo{"stuck_ppm", "ppm", B | C, "readings in stuck values per million"},
    MeasurementInfo{"gray_fault_events", "events", B | C, "Gray faults (run analysis)"},
    MeasurementInfo{"gray_fault_ppm", "ppm", B | C, "readings in Gray faults per million"},
    MeasurementInfo{"out_of_step_events", "events", B | C, "ST-MT out of step (run analysis)"},
    MeasurementInfo{"out_of_step_ppm", "ppm", B | C, "readings out of step per million"},
    MeasurementInfo{"all_ones_events", "events", R | B | C,
                    "runs of readings with every data bit set (run analysis)"},
    MeasurementInfo{"all_ones_ppm", "ppm", R | B | C,
                    "readings with every data bit set per million"},
    MeasurementInfo{"all_zeros_events", "events", R | B | C,
                    "runs of readings with every data bit clear (run analysis)"},
    MeasurementInfo{"all_zeros_ppm", "ppm", R | B | C,
                    "readings with every data bit clear per million"},
    MeasurementInfo{"st_monotony_errors", "errors", C, "ST monotony errors (code tester)"},
    MeasurementInfo{"mt_monotony_errors", "errors", C, "MT monotony errors (code tester)"},
    MeasurementInfo{"st_step_errors", "errors", C, "ST step errors (code tester)"},
    MeasurementInfo{"mt_step_errors", "errors", C, "MT step errors (code tester)"},
    MeasurementInfo{"check_errors", "errors", C, "all four (code tester); none when not checked"},
    MeasurementInfo{"st_turns", "turns", C, "ST turns (code tester)"},
    MeasurementInfo{"mt_turns", "turns", C, "MT turns (code tester)"},
    MeasurementInfo{"max_clean_clock_hz", "Hz", S,
                    "the highest clock clean from the lowest up (clock sweep); 0 when none"},
    MeasurementInfo{"recommended_clock_hz", "Hz", S,
                    "one step below the first clock with errors (clock sweep); 0 when none"},
};

constexpr std::array<const char*, 5> kOutcomes = {"PASS", "MARGINAL", "FAIL", "ERROR", "ABORTED"};
constexpr std::array<const char*, 4> kKinds = {"read", "batch", "sweep", "check"};
constexpr std::array<const char*, 10> kComparisons = {"EQ", "NE",   "GT",   "GE",   "LT",
                                                      "LE", "GELE", "GTLT", "GELT", "GTLE"};

struct PlanError
{
    std::string text;
};

// Walks the parsed document and turns every fault into "<file>:<line>: <key>: <what>".
class Reader
{
public:
    explicit Reader(const std::string& file) : m_File(file) {}

    [[noreturn]] void Fail(const toml::source_region& where, const std::string& key,
                           const std::string& what) const
    {
        throw PlanError{Format("%s:%u: %s: %s", m_File.c_str(),
                               std::max(1u, unsigned(where.begin.line)), key.c_str(),
                               what.c_str())};
    }

    // Every key of `table` must be one of `allowed`.
    void OnlyKeys(const toml::table& table, const std::string& path,
                  std::initializer_list<const char*> allowed) const
    {
        for (auto&& [key, node] : table)
        {
            const std::string_view name = key.str(); // clang 14 lambdas take no bindings
            const bool known = std::any_of(allowed.begin(), allowed.end(),
                                           [&](const char* a) { return name == a; });
            if (!known)
                Fail(key.source(), Join(path, key.str()), "unknown key");
        }
    }

    static std::string Join(const std::string& path, std::string_view key)
    {
        return path.empty() ? std::string(key) : path + "." + std::string(key);
    }

    std::optional<std::string> Text(const toml::table& t, const std::string& path, const char* key,
                                    bool required) const
    {
        const toml::node* node = t.get(key);
        if (!node)
        {
            if (required)
                Fail(t.source(), Join(path, key), "missing");
            return std::nullopt;
        }
        if (!node->is_string())
            Fail(node->source(), Join(path, key), "expected a text in quotes");
        return node->value<std::string>();
    }

    std::optional<double> Number(const toml::table& t, const std::string& path,
                                 const char* key) const
    {
        const toml::node* node = t.get(key);
        if (!node)
            return std::nullopt;
        if (!node->is_number())
            Fail(node->source(), Join(path, key), "expected a number");
        const double value = *node->value<double>();
        if (!std::isfinite(value))
            Fail(node->source(), Join(path, key), "expected a finite number");
        return value;
    }

    std::optional<unsigned> Whole(const toml::table& t, const std::string& path, const char* key,
                                  std::uint64_t min, std::uint64_t max) const
    {
        const toml::node* node = t.get(key);
        if (!node)
            return std::nullopt;
        if (!node->is_integer())
            Fail(node->source(), Join(path, key), "expected a whole number");
        const std::int64_t value = *node->value<std::int64_t>();
        if (value < 0 || std::uint64_t(value) < min || std::uint64_t(value) > max)
            Fail(node->source(), Join(path, key),
                 Format("%lld is out of range (%llu to %llu)", (long long)value,
                        (unsigned long long)min, (unsigned long long)max));
        return unsigned(value);
    }

    bool Flag(const toml::table& t, const std::string& path, const char* key) const
    {
        const toml::node* node = t.get(key);
        if (!node)
            return false;
        if (!node->is_boolean())
            Fail(node->source(), Join(path, key), "expected true or false");
        return *node->value<bool>();
    }

    template <class T>
    T Choice(const toml::table& t, const std::string& path, const char* key,
             const std::map<std::string, T>& choices, T fallback) const
    {
        const std::optional<std::string> text = Text(t, path, key, false);
        if (!text)
            return fallback;
        const auto found = choices.find(*text);
        if (found == choices.end())
        {
            std::string names;
            for (const auto& [name, value] : choices)
                names += (names.empty() ? "" : ", ") + name;
            Fail(t.get(key)->source(), Join(path, key), "\"" + *text + "\" is not one of " + names);
        }
        return found->second;
    }

private:
    const std::string& m_File;
};

const std::map<std::string, MONOTONY> kMonotonies = {
    {"auto", MONO_AUTODETECT}, {"asc", MONO_ASC}, {"desc", MONO_DESC}, {"none", MONO_NO_TEST}};

bool IsClock(unsigned hz)
{
    const auto& clocks = BoxSession::Clocks();
    return std::find(clocks.begin(), clocks.end(), hz) != clocks.end();
}

void ReadBox(const Reader& r, const toml::table& root, PlanBox& box)
{
    const toml::node* node = root.get("box");
    if (!node || !node->is_table())
        r.Fail(node ? node->source() : root.source(), "box",
               node ? "expected a table [box]" : "missing");
    const toml::table& t = *node->as_table();
    r.OnlyKeys(t, "box",
               {"mode", "code", "clock_hz", "st_bits", "mt_bits", "data_mask", "gray_mask",
                "spi_word", "supply"});
    const bool spi = r.Choice<bool>(t, "box", "mode", {{"SSI", false}, {"SPI", true}}, false);
    const bool gray = r.Choice<bool>(t, "box", "code", {{"binary", false}, {"gray", true}}, false);
    box.mode = spi ? (gray ? SampleParameter::SPI_Gray : SampleParameter::SPI_Binary)
                   : (gray ? SampleParameter::SSI_Gray : SampleParameter::SSI_Binary);
    box.clockHz = r.Whole(t, "box", "clock_hz", 1, 8000000).value_or(box.clockHz);
    if (!IsClock(box.clockHz))
        r.Fail(t.get("clock_hz") ? t.get("clock_hz")->source() : t.source(), "box.clock_hz",
               Format("%u Hz is not a selectable clock (8 MHz / n, n = 1 to 128)", box.clockHz));
    box.stBits = r.Whole(t, "box", "st_bits", 0, BoxSession::ST_BITS_MAX).value_or(box.stBits);
    box.mtBits = r.Whole(t, "box", "mt_bits", 0, BoxSession::MT_BITS_MAX).value_or(box.mtBits);
    if (box.stBits + box.mtBits < 1 || box.stBits + box.mtBits > 32)
        r.Fail(t.source(), "box.st_bits", "st_bits + mt_bits must be 1 to 32");
    const unsigned mask = Tavik::LowMask(box.stBits + box.mtBits);
    box.dataMask = r.Whole(t, "box", "data_mask", 0, 0xFFFFFFFFu).value_or(mask);
    box.grayMask = r.Whole(t, "box", "gray_mask", 0, 0xFFFFFFFFu).value_or(mask);
    box.spiWord = r.Whole(t, "box", "spi_word", 0, 0xFFFFFFFFu).value_or(0);
    if (t.get("supply"))
        box.supply = r.Choice<Box::POWER_MODE>(t, "box", "supply",
                                               {{"external", Box::PWR_EXTERNAL},
                                                {"internal", Box::PWR_INTERNAL},
                                                {"internal_dcdc", Box::PWR_INTERNAL_DCDC}},
                                               Box::PWR_INTERNAL);
}

void ReadLimits(const Reader& r, const toml::table& t, const std::string& path, Limits& limits)
{
    const std::optional<std::string> text = r.Text(t, path, "comparison", true);
    const auto found = std::find(kComparisons.begin(), kComparisons.end(), *text);
    if (found == kComparisons.end())
        r.Fail(t.get("comparison")->source(), path + ".comparison",
               "\"" + *text + "\" is not one of EQ NE GT GE LT LE GELE GTLT GELT GTLE");
    limits.comparison = Comparison(found - kComparisons.begin());
    const auto value = r.Number(t, path, "value");
    limits.low = r.Number(t, path, "low");
    limits.high = r.Number(t, path, "high");
    limits.marginalLow = r.Number(t, path, "marginal_low");
    limits.marginalHigh = r.Number(t, path, "marginal_high");
    const auto fail = [&](const char* key, const std::string& what)
    {
        const toml::node* node = t.get(key);
        r.Fail(node ? node->source() : t.source(), path + "." + key, what);
    };
    const std::string name = *text;
    const auto forbid = [&](const char* key, bool present)
    {
        if (present)
            fail(key, "not taken by " + name);
    };
    const auto need = [&](const char* key, bool present)
    {
        if (!present)
            fail(key, "missing: " + name + " needs it");
    };
    const Comparison c = limits.comparison;
    if (c == CMP_EQ || c == CMP_NE)
    {
        need("value", value.has_value());
        forbid("low", limits.low.has_value());
        forbid("high", limits.high.has_value());
        forbid("marginal_low", limits.marginalLow.has_value());
        forbid("marginal_high", limits.marginalHigh.has_value());
        limits.low = limits.high = value;
        return;
    }
    forbid("value", value.has_value());
    const bool lowSide = c != CMP_LT && c != CMP_LE;
    const bool highSide = c != CMP_GT && c != CMP_GE;
    const auto side = [&](bool taken, const char* key, bool present)
    { taken ? need(key, present) : forbid(key, present); };
    side(lowSide, "low", limits.low.has_value());
    side(highSide, "high", limits.high.has_value());
    if (!lowSide)
        forbid("marginal_low", limits.marginalLow.has_value());
    if (!highSide)
        forbid("marginal_high", limits.marginalHigh.has_value());
    if (lowSide && highSide && *limits.low > *limits.high)
        fail("low", "above high");
    // The bands lie inside the limits: a value in them passes, but only just.
    if (limits.marginalLow &&
        (*limits.marginalLow < *limits.low || (highSide && *limits.marginalLow > *limits.high)))
        fail("marginal_low", "must lie within low and high");
    if (limits.marginalHigh &&
        (*limits.marginalHigh > *limits.high || (lowSide && *limits.marginalHigh < *limits.low)))
        fail("marginal_high", "must lie within low and high");
    if (limits.marginalLow && limits.marginalHigh && *limits.marginalLow > *limits.marginalHigh)
        fail("marginal_low", "above marginal_high");
}

void ReadStep(const Reader& r, const toml::table& t, const std::string& path, const PlanBox& box,
              PlanStep& step)
{
    step.name = *r.Text(t, path, "name", true);
    step.kind = r.Choice<StepKind>(
        t, path, "kind",
        {{"read", STEP_READ}, {"batch", STEP_BATCH}, {"sweep", STEP_SWEEP}, {"check", STEP_CHECK}},
        STEP_BATCH);
    if (!t.get("kind"))
        r.Fail(t.source(), path + ".kind", "missing (read, batch, sweep or check)");
    switch (step.kind)
    {
    case STEP_READ:
    case STEP_BATCH:
        r.OnlyKeys(t, path,
                   {"name", "kind", "critical", "retries", "count", "delay_us", "clock_hz",
                    "measurements"});
        break;
    case STEP_CHECK:
        r.OnlyKeys(t, path,
                   {"name", "kind", "critical", "retries", "count", "delay_us", "clock_hz",
                    "st_monotony", "mt_monotony", "st_step", "mt_step", "measurements"});
        break;
    case STEP_SWEEP:
        r.OnlyKeys(t, path,
                   {"name", "kind", "critical", "retries", "count", "delay_us", "from_hz", "to_hz",
                    "measurements"});
        break;
    }
    step.critical = r.Flag(t, path, "critical");
    step.retries = r.Whole(t, path, "retries", 0, 10).value_or(0);
    if (step.kind == STEP_SWEEP)
    {
        step.sweep.fromHz = r.Whole(t, path, "from_hz", 1, 8000000).value_or(step.sweep.fromHz);
        step.sweep.toHz = r.Whole(t, path, "to_hz", 1, 8000000).value_or(step.sweep.toHz);
        step.sweep.count = r.Whole(t, path, "count", 3, 16777214).value_or(step.sweep.count);
        step.sweep.delayUs = r.Whole(t, path, "delay_us", 10, 4095).value_or(0);
        if (const std::string why = ClockSweep::CheckSettings(step.sweep); !why.empty())
            r.Fail(t.source(), path + ".from_hz", why.substr(std::string("Clock sweep: ").size()));
    }
    else
    {
        const bool read = step.kind == STEP_READ;
        // The code tester and the analysis want runs of 3 readings and more.
        step.count = r.Whole(t, path, "count", read ? 1 : 3, read ? 1000 : 16777214)
                         .value_or(read ? 16 : 10000);
        step.delayUs = r.Whole(t, path, "delay_us", 10, 4095).value_or(0);
        step.clockHz = r.Whole(t, path, "clock_hz", 1, 8000000).value_or(0);
        if (step.clockHz != 0 && !IsClock(step.clockHz))
            r.Fail(t.get("clock_hz")->source(), path + ".clock_hz",
                   Format("%u Hz is not a selectable clock", step.clockHz));
    }
    if (step.kind == STEP_CHECK)
    {
        step.check.stMonotony = r.Choice(t, path, "st_monotony", kMonotonies, MONO_AUTODETECT);
        step.check.mtMonotony = r.Choice(t, path, "mt_monotony", kMonotonies, MONO_AUTODETECT);
        step.check.stStep = r.Whole(t, path, "st_step", 1, Tavik::LowMask(box.stBits)).value_or(1);
        step.check.mtStep = r.Whole(t, path, "mt_step", 1, Tavik::LowMask(box.mtBits)).value_or(1);
        // Every error is counted: the limits judge them, not the tester's early stop.
        step.check.errorLimit = 0xFFFFFFFFu;
    }

    const toml::node* list = t.get("measurements");
    if (!list || !list->is_array_of_tables() || list->as_array()->empty())
        r.Fail(list ? list->source() : t.source(), path + ".measurements",
               "expected at least one [[steps.measurements]] table");
    std::size_t i = 0;
    for (const toml::node& node : *list->as_array())
    {
        const std::string at = path + Format(".measurements[%u]", unsigned(i++));
        const toml::table& m = *node.as_table();
        r.OnlyKeys(m, at,
                   {"name", "comparison", "value", "low", "high", "marginal_low", "marginal_high"});
        PlanMeasurement measurement;
        measurement.name = *r.Text(m, at, "name", true);
        const MeasurementInfo* info = FindMeasurement(measurement.name);
        if (!info)
            r.Fail(m.get("name")->source(), at + ".name",
                   "unknown measurement \"" + measurement.name + "\"");
        if (!(info->kinds & (1u << step.kind)))
            r.Fail(m.get("name")->source(), at + ".name",
                   "\"" + measurement.name + "\" does not come from a " + StepKindName(step.kind) +
                       " step");
        measurement.unit = info->unit;
        ReadLimits(r, m, at, measurement.limits);
        step.measurements.push_back(std::move(measurement));
    }
}
} // namespace

const char* TestOutcomeName(TestOutcome outcome)
{
    return unsigned(outcome) < kOutcomes.size() ? kOutcomes[outcome] : "ERROR";
}

TestOutcome Worse(TestOutcome a, TestOutcome b)
{
    return std::max(a, b);
}

const char* StepKindName(StepKind kind)
{
    return unsigned(kind) < kKinds.size() ? kKinds[kind] : "unknown";
}

const char* ComparisonName(Comparison comparison)
{
    return unsigned(comparison) < kComparisons.size() ? kComparisons[comparison] : "EQ";
}

const char* PlanModeName(SampleParameter::SERIAL_MODE mode)
{
    return mode == SampleParameter::SPI_Binary || mode == SampleParameter::SPI_Gray ? "SPI" : "SSI";
}

const char* SupplyName(Box::POWER_MODE supply)
{
    switch (supply)
    {
    case Box::PWR_EXTERNAL:
        return "external";
    case Box::PWR_INTERNAL:
        return "internal";
    case Box::PWR_INTERNAL_DCDC:
        return "internal_dcdc";
    default:
        return "off";
    }
}

TestOutcome Limits::Judge(std::optional<double> value) const
{
    if (!value)
        return OUTCOME_FAIL;
    const double v = *value;
    const double lo = low.value_or(0);
    const double hi = high.value_or(0);
    bool pass = false;
    switch (comparison)
    {
    case CMP_EQ:
        pass = v == lo;
        break;
    case CMP_NE:
        pass = v != lo;
        break;
    case CMP_GT:
        pass = v > lo;
        break;
    case CMP_GE:
        pass = v >= lo;
        break;
    case CMP_LT:
        pass = v < hi;
        break;
    case CMP_LE:
        pass = v <= hi;
        break;
    case CMP_GELE:
        pass = v >= lo && v <= hi;
        break;
    case CMP_GTLT:
        pass = v > lo && v < hi;
        break;
    case CMP_GELT:
        pass = v >= lo && v < hi;
        break;
    case CMP_GTLE:
        pass = v > lo && v <= hi;
        break;
    }
    if (!pass)
        return OUTCOME_FAIL;
    if ((marginalLow && v < *marginalLow) || (marginalHigh && v > *marginalHigh))
        return OUTCOME_MARGINAL;
    return OUTCOME_PASS;
}

std::string Limits::Text() const
{
    const auto number = [](const std::optional<double>& v) { return Format("%g", v.value_or(0)); };
    std::string text = ComparisonName(comparison);
    if (low && high && *low != *high)
        text += " " + number(low) + " to " + number(high);
    else
        text += " " + number(low ? low : high);
    if (marginalLow || marginalHigh)
    {
        std::string band;
        if (marginalLow)
            band = "below " + number(marginalLow);
        if (marginalHigh)
            band += (band.empty() ? "" : ", ") + std::string("above ") + number(marginalHigh);
        text += " (marginal " + band + ")";
    }
    return text;
}

std::span<const MeasurementInfo> KnownMeasurements()
{
    return kMeasurements;
}

const MeasurementInfo* FindMeasurement(std::string_view name)
{
    for (const MeasurementInfo& info : kMeasurements)
        if (name == info.name)
            return &info;
    return nullptr;
}

bool ParseTestPlan(std::string_view text, const std::string& file, TestPlan& plan,
                   std::string& error)
{
    TestPlan parsed;
    parsed.file = file;
    parsed.sha256 = Sha256Hex(text);
    const Reader r(file);
    try
    {
        const toml::table root = toml::parse(text, file);
        r.OnlyKeys(root, "", {"name", "version", "box", "steps"});
        parsed.name = *r.Text(root, "", "name", true);
        parsed.version = *r.Text(root, "", "version", true);
        ReadBox(r, root, parsed.box);
        const toml::node* steps = root.get("steps");
        if (!steps || !steps->is_array_of_tables() || steps->as_array()->empty())
            r.Fail(steps ? steps->source() : root.source(), "steps",
                   "expected at least one [[steps]] table");
        std::size_t i = 0;
        for (const toml::node& node : *steps->as_array())
        {
            PlanStep step;
            ReadStep(r, *node.as_table(), Format("steps[%u]", unsigned(i++)), parsed.box, step);
            parsed.steps.push_back(std::move(step));
        }
    }
    catch (const toml::parse_error& e)
    {
        error = Format("%s:%u: %s", file.c_str(), unsigned(e.source().begin.line),
                       std::string(e.description()).c_str());
        return false;
    }
    catch (const PlanError& e)
    {
        error = e.text;
        return false;
    }
    plan = std::move(parsed);
    return true;
}

bool LoadTestPlan(const std::string& path, TestPlan& plan, std::string& error)
{
    std::string text;
    return BatchFile::ReadText(path, text, error) && ParseTestPlan(text, path, plan, error);
}

} // namespace App
