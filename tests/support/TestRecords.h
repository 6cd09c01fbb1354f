#pragma once

// Production test records written by hand as the spool holds them, for the store, spool and
// report tests. The fields follow docs/notes/test-record.schema.json.

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace TestRecords
{

struct Spec
{
    int id = 1; // gives the UUID
    std::string serial = "ENC-0001";
    std::string station = "station-a";
    std::string start = "2026-12-09T10:00:00.000Z";
    std::string outcome = "PASS";
    std::string plan = "incoming";
    std::string rootCause;
    std::string attachment; // "<uuid>.h5" or empty
    bool sweep = false;
};

inline Spec Unit(int id, const std::string& serial = "ENC-0001",
                 const std::string& outcome = "PASS")
{
    Spec s;
    s.id = id;
    s.serial = serial;
    s.outcome = outcome;
    return s;
}

inline std::string Uuid(int id)
{
    char text[40];
    std::snprintf(text, sizeof text, "00000000-0000-4000-8000-%012d", id);
    return text;
}

inline nlohmann::ordered_json Document(const Spec& s)
{
    using json = nlohmann::ordered_json;
    const bool failed = s.outcome == "FAIL";
    json measurements = json::array();
    measurements.push_back({{"name", "st_monotony_errors"},
                            {"value", failed ? 3 : 0},
                            {"unit", "errors"},
                            {"limits", {{"comparison", "EQ"}, {"low", 0}}},
                            {"outcome", failed ? "FAIL" : "PASS"}});
    measurements.push_back(
        {{"name", "rpm"},
         {"value", s.outcome == "MARGINAL" ? 118.5 : 60.25},
         {"unit", "rpm"},
         {"limits", {{"comparison", "GELE"}, {"low", 10}, {"high", 120}, {"marginal_high", 110}}},
         {"outcome", s.outcome == "MARGINAL" ? "MARGINAL" : "PASS"}});
    json steps = json::array();
    steps.push_back({{"name", "turn the shaft"},
                     {"kind", "batch"},
                     {"outcome", failed ? "FAIL" : s.outcome},
                     {"attempts", 1},
                     {"measurements", measurements}});
    if (s.sweep)
    {
        json points = json::array();
        for (int k = 1; k <= 8; ++k)
            points.push_back({{"clock_hz", 250000 * k},
                              {"error_rate", k < 6 ? 0.0 : 0.002 * (k - 5) * (k - 5)},
                              {"readings", 2000}});
        steps.push_back(
            {{"name", "cable"},
             {"kind", "sweep"},
             {"outcome", "PASS"},
             {"attempts", 2},
             {"measurements", json::array({{{"name", "max_clean_clock_hz"},
                                            {"value", 1250000},
                                            {"unit", "Hz"},
                                            {"limits", {{"comparison", "GE"}, {"low", 1000000}}},
                                            {"outcome", "PASS"}}})},
             {"sweep", points}});
    }
    return {{"schema", "tavik-test-record/1"},
            {"uuid", Uuid(s.id)},
            {"unit", {{"serial", s.serial}, {"part_number", "ENC-13-12"}}},
            {"station", s.station},
            {"operator", "Ada"},
            {"start", s.start},
            {"end", s.start.substr(0, 17) + "42.500Z"},
            {"plan",
             {{"name", s.plan},
              {"version", "1.0"},
              {"sha256", std::string(64, 'a')},
              {"file", s.plan + ".toml"}}},
            {"box",
             {{"serial", "SIM00001"},
              {"description", "Tavik simulated box"},
              {"settings",
               {{"mode", "SSI"},
                {"clock_hz", 1000000},
                {"st_bits", 13},
                {"mt_bits", 12},
                {"data_mask", 33554431},
                {"gray_mask", 0},
                {"spi_word", 0},
                {"supply", "Internal (+5V)"}}}}},
            {"steps", steps},
            {"root_cause", s.rootCause.empty() ? json() : json(s.rootCause)},
            {"outcome", s.outcome},
            {"program", {{"name", "Tavik"}, {"version", "1.3.2"}}},
            {"attachment", s.attachment.empty() ? json() : json(s.attachment)}};
}

// Writes <uuid>.json into `folder` as the spool's writer does: a temporary file, renamed.
inline std::string Write(const std::string& folder, const Spec& s)
{
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + Uuid(s.id) + ".json";
    std::ofstream(path + ".tmp") << Document(s).dump(2);
    std::filesystem::rename(path + ".tmp", path);
    return path;
}

} // namespace TestRecords
